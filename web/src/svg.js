// Graphviz's picture, parsed as SVG and kept only if it holds nothing but
// drawing elements: no scripts, no event handlers, no links or foreign content.
const allowedElements = new Set(['svg', 'g', 'title', 'polygon', 'polyline', 'ellipse', 'path', 'text', 'defs']);

export function checkedSvg(svgText) {
  const parsed = new DOMParser().parseFromString(svgText, 'image/svg+xml');
  const root = parsed.documentElement;
  if (root.namespaceURI !== 'http://www.w3.org/2000/svg' || root.localName !== 'svg') return null;
  for (const node of [root, ...root.querySelectorAll('*')]) {
    if (!allowedElements.has(node.localName)) {
      node.remove();
      continue;
    }
    for (const attribute of [...node.attributes]) {
      const name = attribute.localName.toLowerCase();
      if (name.startsWith('on') || name === 'href' || name === 'style') node.removeAttributeNode(attribute);
    }
  }
  return document.importNode(root, true);
}
