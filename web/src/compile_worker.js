// The compile worker: runs r1c (WebAssembly) on each program it is sent and
// answers with the output, the messages, the exit status and the map that
// links source, tree and code; for a program too large to map, r1tree's DOT
// graph of a tree small enough to draw.
import { maxDrawnNodes, maxDrawnTreeBytes, maxMappedProgramBytes } from './limits.js';
import { indexBuffers, mapIndexes } from './compile_map.js';

importScripts('r1c_playground.js');
const compilerReady = self.createCompiler();

const copyOut = (compiler, data, size) => compiler.HEAPU8.slice(data, data + size);

function compile(compiler, program) {
  const input = compiler._playground_input(program.length);  // may grow memory, replacing HEAPU8
  compiler.HEAPU8.set(program, input);
  const mapped = program.length <= maxMappedProgramBytes;
  const status = mapped ? compiler._playground_compile_mapped() : compiler._playground_compile();
  // Copied before anything else can grow the module's memory.
  const mapAt = compiler._playground_map() / 4;
  const map = mapped ? compiler.HEAP32.slice(mapAt, mapAt + compiler._playground_map_size()) : null;
  const out = copyOut(compiler, compiler._playground_out(), compiler._playground_out_size());
  const err = copyOut(compiler, compiler._playground_err(), compiler._playground_err_size());
  const treeBytes = compiler._playground_tree_size();
  let tree = { state: treeBytes > 0 ? 'too-large' : 'none', nodes: 0, dot: '' };
  if (map && map.length > 1 && map[1] > 0) {
    tree = { state: 'mapped', nodes: map[1], dot: '' };  // the page draws it from the map
  } else if (treeBytes > 0 && treeBytes <= maxDrawnTreeBytes) {
    tree.nodes = compiler._playground_make_dot();
    if (tree.nodes === 0) tree.state = 'none';
    if (tree.nodes > 0 && tree.nodes <= maxDrawnNodes) {
      tree.state = 'drawable';
      tree.dot = new TextDecoder().decode(copyOut(compiler, compiler._playground_dot(), compiler._playground_dot_size()));
    }
  }
  // The map's indexes are made here, off the page's thread.
  return { status, out, err, treeBytes, tree, map, mapIndexes: mapIndexes(map) };
}

self.onmessage = async ({ data }) => {
  const compiler = await compilerReady;
  const started = performance.now();
  const result = compile(compiler, data.program);
  result.id = data.id;
  result.compileMs = performance.now() - started;
  const transfers = [result.out.buffer, result.err.buffer];
  if (result.map) transfers.push(result.map.buffer, ...indexBuffers(result.mapIndexes));
  self.postMessage(result, transfers);
};
