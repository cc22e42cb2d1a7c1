// The drawing worker: lays out a DOT graph with Graphviz (WebAssembly) and
// answers with the picture as SVG text.
import { instance } from '@viz-js/viz';

const vizReady = instance();

self.onmessage = async ({ data }) => {
  const viz = await vizReady;
  const started = performance.now();
  const result = viz.render(data.dot, { format: 'svg', engine: 'dot' });
  const svg = result.status === 'success' ? result.output : '';
  const error = result.status === 'success' ? '' : result.errors.map((e) => e.message).join('\n');
  self.postMessage({ id: data.id, svg, error, drawMs: performance.now() - started });
};
