// The compile worker: runs r1c (WebAssembly) on each program it is sent and
// answers with the output, the messages, the exit status and, for a tree
// small enough to draw, r1tree's DOT graph of it.
import { maxDrawnNodes, maxDrawnTreeBytes } from './limits.js';

importScripts('r1c_playground.js');
const compilerReady = self.createCompiler();

const copyOut = (compiler, data, size) => compiler.HEAPU8.slice(data, data + size);

function compile(compiler, program) {
  const input = compiler._playground_input(program.length);  // may grow memory, replacing HEAPU8
  compiler.HEAPU8.set(program, input);
  const status = compiler._playground_compile();
  const out = copyOut(compiler, compiler._playground_out(), compiler._playground_out_size());
  const err = copyOut(compiler, compiler._playground_err(), compiler._playground_err_size());
  const treeBytes = compiler._playground_tree_size();
  let tree = { state: treeBytes > 0 ? 'too-large' : 'none', nodes: 0, dot: '' };
  if (treeBytes > 0 && treeBytes <= maxDrawnTreeBytes) {
    tree.nodes = compiler._playground_make_dot();
    if (tree.nodes === 0) tree.state = 'none';
    if (tree.nodes > 0 && tree.nodes <= maxDrawnNodes) {
      tree.state = 'drawable';
      tree.dot = new TextDecoder().decode(copyOut(compiler, compiler._playground_dot(), compiler._playground_dot_size()));
    }
  }
  return { status, out, err, treeBytes, tree };
}

self.onmessage = async ({ data }) => {
  const compiler = await compilerReady;
  const started = performance.now();
  const result = compile(compiler, data.program);
  result.id = data.id;
  result.compileMs = performance.now() - started;
  self.postMessage(result, [result.out.buffer, result.err.buffer]);
};
