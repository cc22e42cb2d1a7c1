// Zoom and pan for the tree picture (Panzoom): the wheel, a pinch or a drag,
// and buttons for the keyboard. A picture first fits its pane; on a phone,
// where that makes its labels too small to read, it starts zoomed in on the
// root at the top.
import Panzoom from '@panzoom/panzoom';

const labelPoints = 14;  // Graphviz's label size, in the picture's own units
const smallestLabelPx = 12;
const narrowScreen = matchMedia('(max-width: 700px)');  // the style sheet's phone layout

let zoom = null;

// On a narrow screen where the fitted picture's labels are too small, the
// zoom it starts with: its labels readable and its root at the top of the
// pane, in the middle. Panzoom draws scale(s) translate(x, y) about the
// middle of the picture's box, so a point p of it lands at
// left + middle + s * (p - middle + x).
function startOnRoot(pane, svg) {
  const box = svg.getBoundingClientRect();
  const ownWidth = svg.viewBox.baseVal?.width || box.width;
  const labelPx = (labelPoints * box.width) / ownWidth;
  const root = svg.querySelector('g.node');  // Graphviz writes the root's node first
  if (!narrowScreen.matches || !root || !(labelPx > 0 && labelPx < smallestLabelPx)) return {};
  const scale = Math.min(smallestLabelPx / labelPx, 40);
  const at = root.getBoundingClientRect();
  const view = pane.getBoundingClientRect();
  const middle = { x: box.width / 2, y: box.height / 2 };
  const target = { x: view.left + view.width / 2 - box.left, y: view.top + 8 - box.top };
  const point = { x: at.left + at.width / 2 - box.left, y: at.top - box.top };
  return {
    startScale: scale,
    startX: (target.x - middle.x) / scale - point.x + middle.x,
    startY: (target.y - middle.y) / scale - point.y + middle.y,
  };
}

// Makes `svg` (already in `pane`) zoomable; the previous picture's zoom ends.
export function zoomable(pane, svg) {
  zoom?.destroy();
  zoom = Panzoom(svg, { maxScale: 40, minScale: 0.25, step: 0.3, cursor: 'grab', ...startOnRoot(pane, svg) });
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
  buttons.reset.addEventListener('click', () => zoom?.reset({ startScale: 1, startX: 0, startY: 0 }));
}
