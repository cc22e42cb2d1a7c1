// The compile worker: runs r1c (WebAssembly) on each program it is sent and
// answers with the output, the messages, the exit status and the map that
// links source, tree and code; for a program too large to map, r1tree's DOT
// graph of a tree small enough to draw; for a syntax error, r1explain's
// diagnostic. Asked, it also gives the last compiled program's parse: its
// steps in blocks, and the stack after any step with a partial tree.
import { maxDrawnNodes, maxDrawnTreeBytes, maxMappedProgramBytes } from './limits.js';
import { indexBuffers, mapIndexes } from './compile_map.js';
import { maxShownTreeBytes, stackRecordSize, stepRecordSize } from './steps.js';

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
  const diagnostic = status !== 0 ? diagnose(compiler) : null;
  // The map's indexes are made here, off the page's thread.
  return { status, out, err, treeBytes, tree, map, mapIndexes: mapIndexes(map), diagnostic };
}

// Where and why the program does not parse, as r1explain says it; null when
// it parses.
function diagnose(compiler) {
  if (compiler._playground_diagnose() === 0) return null;
  const at = compiler._playground_diagnostic() / 4;
  const [status, line, column, begin, end, size] = compiler.HEAP32.slice(at, at + 6);
  const message = new TextDecoder().decode(copyOut(compiler, compiler._playground_message(), size));
  return { status, line, column, begin, end, message };
}

let compiledId = 0;  // the compile whose program the module holds
const viewsTakenBack = 32;  // views made when going back
const viewsBackMs = 40;  // and the time they may take

// The stack after `taken` steps and the partial tree of entry `asked`, or with
// -1 of the topmost entry that holds one; the tree cut at maxShownTreeBytes.
function viewAt(compiler, taken, asked) {
  const size = compiler._playground_stack(taken);
  const at = compiler._playground_stack_entries() / 4;
  const stack = compiler.HEAP32.slice(at, at + size * stackRecordSize);
  let entry = asked < size ? asked : -1;
  let bytes = entry >= 0 ? compiler._playground_stack_tree(entry) : 0;
  for (let i = size - 1; entry < 0 && i > 0; i--) {
    bytes = compiler._playground_stack_tree(i);
    if (bytes > 0) entry = i;
  }
  const tree = new TextDecoder().decode(copyOut(compiler, compiler._playground_message(), Math.min(bytes, maxShownTreeBytes)));
  return { taken, asked, stack, entry, tree, treeBytes: bytes };
}

const handlers = {
  compile(compiler, data) {
    const started = performance.now();
    const result = compile(compiler, data.program);
    compiledId = data.id;
    result.id = data.id;
    result.compileMs = performance.now() - started;
    const transfers = [result.out.buffer, result.err.buffer];
    if (result.map) transfers.push(result.map.buffer, ...indexBuffers(result.mapIndexes));
    self.postMessage(result, transfers);
  },
  // A block of steps, or with last, the block that holds the last step.
  steps(compiler, data) {
    if (data.compileId !== compiledId) return;
    let first = data.first;
    let total = -1;
    if (data.last) {
      compiler._playground_stack(0x7fffffff);  // runs the parse to its end, making no text
      total = compiler._playground_steps_taken();
      first = Math.max(0, total - 1) - (Math.max(0, total - 1) % data.count);
    }
    const started = performance.now();
    const count = compiler._playground_steps(first, data.count);
    const at = compiler._playground_step_records() / 4;
    const records = compiler.HEAP32.slice(at, at + count * stepRecordSize);
    const lines = new TextDecoder().decode(copyOut(compiler, compiler._playground_step_lines(), compiler._playground_step_lines_size()));
    const reply = { type: 'steps', compileId: compiledId, first, count, ended: count < data.count, total, records, lines: lines.split('\n').slice(0, count) };
    reply.fetchMs = performance.now() - started;
    self.postMessage(reply, [records.buffer]);
  },
  // The stack after `taken` steps, and the partial tree of one of its entries:
  // `entry`, or when it is -1 the topmost that holds one. Going back makes the
  // module run the parse again from the start: the views of the steps just
  // before are made on the way, for the page to keep.
  view(compiler, data) {
    if (data.compileId !== compiledId) return;
    const started = performance.now();
    const back = data.taken < compiler._playground_steps_taken();
    const from = back ? Math.max(0, data.taken - viewsTakenBack + 1) : data.taken;
    const views = [];
    // The steps before are made only while they come quickly: a huge
    // program's partial trees take long to print.
    for (let taken = from; taken < data.taken && performance.now() - started < viewsBackMs; taken++) views.push(viewAt(compiler, taken, -1));
    views.push(viewAt(compiler, data.taken, data.entry));
    const reply = { type: 'view', compileId: compiledId, views, fetchMs: performance.now() - started };
    self.postMessage(reply, views.map((view) => view.stack.buffer));
  },
};

self.onmessage = async ({ data }) => {
  const compiler = await compilerReady;
  handlers[data.type](compiler, data);
};

// The grammar's names, for the page to name the stack's symbols and rules.
compilerReady.then((compiler) => {
  const names = new TextDecoder().decode(copyOut(compiler, compiler._playground_names(), compiler._playground_names_size()));
  self.postMessage({ type: 'names', names: names.split('\n') });
});
