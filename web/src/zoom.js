// Zoom and pan for the tree picture (Panzoom): the wheel, a pinch or a drag,
// and buttons for the keyboard. A picture first fits its pane; on a phone,
// where that makes its labels too small to read, it starts zoomed in on the
// root at the top.
import Panzoom from '@panzoom/panzoom';

const labelPoints = 14;  // Graphviz's label size, in the picture's own units
const smallestLabelPx = 12;
const narrowScreen = matchMedia('(max-width: 700px)');  // the style sheet's phone layout

let zoom = null;

// Makes `svg` (already in `pane`) zoomable; the previous picture's zoom ends.
export function zoomable(pane, svg) {
  zoom?.destroy();
  zoom = Panzoom(svg, { maxScale: 40, minScale: 0.25, step: 0.3, cursor: 'grab' });
  const box = svg.getBoundingClientRect();
  const ownWidth = svg.viewBox.baseVal?.width || box.width;
  const labelPx = (labelPoints * box.width) / ownWidth;
  if (narrowScreen.matches && labelPx > 0 && labelPx < smallestLabelPx) {
    // Zoomed about the middle of the picture's top edge, where the root is.
    const point = { clientX: box.left + box.width / 2, clientY: box.top };
    zoom.zoomToPoint(Math.min(smallestLabelPx / labelPx, 40), point, { animate: false, force: true });
  }
  pane.dataset.zoom = zoom.getScale().toFixed(2);
  svg.addEventListener('panzoomchange', () => {
    pane.dataset.zoom = zoom.getScale().toFixed(2);
  });
}

export function stopZoom() {
  zoom?.destroy();
  zoom = null;
}

// The wheel over the pane and the zoom buttons act on the current picture.
export function bindZoomControls(pane, buttons) {
  pane.addEventListener('wheel', (event) => zoom?.zoomWithWheel(event), { passive: false });
  buttons.in.addEventListener('click', () => zoom?.zoomIn());
  buttons.out.addEventListener('click', () => zoom?.zoomOut());
  buttons.reset.addEventListener('click', () => zoom?.reset());
}
