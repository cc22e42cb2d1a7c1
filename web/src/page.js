// The playground page: the editor, the compile and drawing workers, and the
// panes that show what r1c wrote. Everything from a program or its output is
// inserted as text or as a checked SVG picture, never as HTML.
import { createEditor, markErrorLine, replaceText, selectSpan, showBands, showDiagnostic, showLinked, showStepMarks } from './editor.js';
import { bytesToText, textToBytes } from './bytes.js';
import { indexOfAscii, showCodeLines, showOutput } from './render.js';
import { abandonWorkAfterMs, maxDrawnNodes, maxDrawnTreeBytes, maxShownOutputBytes, maxWholeTreeNodes } from './limits.js';
import {
  byteToCharIndex,
  codeOfNodes,
  dotOf,
  nodeTooltip,
  nodesOfLine,
  readMap,
  statementOfLine,
  subtreeWithPath,
} from './compile_map.js';
import { checkedSvg } from './svg.js';
import { makeLink, maxLinkLength, readFragment } from './links.js';
import { keepProgram, loadProgram } from './storage.js';
import { bindThemeMenu } from './theme.js';
import { bindTabs } from './tabs.js';
import { bindZoomControls, stopZoom, zoomable } from './zoom.js';
import { bindKeys } from './keys.js';
import { createSteps } from './steps.js';

const editDelayMs = 150;  // the report follows the last keystroke after this pause
const reportTitle = 'Abstract Syntax Tree:\n';
const codeTitle = 'Code Generated:\n';
const lineTotalTitle = '\n\nTotal No Of Lines:';

const element = (id) => document.getElementById(id);
const panes = {
  status: element('status'),
  messages: element('messages'),
  report: element('report'),
  code: element('code'),
  tree: element('tree'),
  progress: element('progress'),
  timing: element('timing'),
  shareBox: element('share-box'),
  shareUrl: element('share-url'),
  shareNote: element('share-note'),
  notice: element('notice'),
  menu: element('examples'),
  sourceName: element('source-name'),
};

const view = createEditor(element('editor'), edited, pointedAtLine, cursorMoved);
let lastResult = null;
let lastEditAt = 0;  // performance.now() of the last keystroke; 0 after a program is loaded

// --- Compiling --------------------------------------------------------------

let editTimer = 0;
let compileWorker = null;
let compiling = null;  // {id, since} of the compile in the worker
let waitingProgram = null;  // the newest program, while a compile runs
let waitingDoc = null;  // the editor's document it was taken from
let nextCompileId = 1;
let shownCompileId = 0;

// A new worker running script, in place of old (stopped if running): its
// results go to onResult, and its failure, kept from the console, to onFailure.
function replaceWorker(old, script, onResult, onFailure) {
  if (old) old.terminate();
  const worker = new Worker(script);
  worker.onmessage = ({ data }) => onResult(data);
  worker.onerror = (event) => {
    event.preventDefault();
    onFailure(event);
  };
  return worker;
}

function startCompileWorker() {
  compileWorker = replaceWorker(compileWorker, 'compile_worker.js', fromCompiler, (event) => compilerStopped(event.message));
  compiling = null;
  steps.workerRestarted();
}

// The compile worker answers compiles, and the Steps pane's questions.
function fromCompiler(data) {
  if (data.type) steps.received(data);
  else compiled(data);
}

// The worker failed (out of memory, say): the page says so and starts a new one.
function compilerStopped(message) {
  startCompileWorker();
  panes.status.textContent = `the compiler stopped: ${message}`;
  panes.status.classList.add('failed');
  panes.status.dataset.state = 'stopped';
  if (waitingProgram) sendWaitingProgram();
}

function scheduleCompile() {
  clearTimeout(editTimer);
  editTimer = setTimeout(compileNow, editDelayMs);
}

let programBytes = null;  // the program's bytes, as last compiled; null after an edit

function compileNow() {
  clearTimeout(editTimer);
  keepMine();
  const doc = view.state.doc;
  const program = textToBytes(doc.toString());
  programBytes = program.slice();  // the original goes to the worker
  if (!compiling) return sendProgram(program, doc);
  waitingProgram = program;
  waitingDoc = doc;
  if (performance.now() - compiling.since > abandonWorkAfterMs) {
    startCompileWorker();
    sendWaitingProgram();
  }
}

function sendProgram(program, doc) {
  compiling = { id: nextCompileId++, since: performance.now(), editAt: lastEditAt, doc };
  panes.status.dataset.state = 'compiling';
  compileWorker.postMessage({ type: 'compile', id: compiling.id, program }, [program.buffer]);
}

function sendWaitingProgram() {
  const program = waitingProgram;
  waitingProgram = null;
  sendProgram(program, waitingDoc);
}

function compiled(result) {
  const job = compiling;
  compiling = null;
  panes.progress.textContent = '';
  if (waitingProgram) return sendWaitingProgram();  // this program has changed since
  shownCompileId = result.id;
  const received = performance.now();
  showResult(result, job);
  const since = job.since;
  document.body.dataset.receivedMs = (received - since).toFixed(1);
  document.body.dataset.showMs = (performance.now() - received).toFixed(1);
}

// A long compile shows its time so far, and gives way to a newer program.
setInterval(() => {
  if (!compiling) return;
  const seconds = (performance.now() - compiling.since) / 1000;
  if (seconds >= 0.5) panes.progress.textContent = ` compiling… ${seconds.toFixed(1)} s`;
  if (waitingProgram && seconds * 1000 > abandonWorkAfterMs) {
    startCompileWorker();
    sendWaitingProgram();
  }
}, 250);

// --- Showing the result -----------------------------------------------------

// The printed tree of a report, as text: the picture's text alternative.
function printedTree(out) {
  const start = indexOfAscii(out, reportTitle);
  const end = start >= 0 ? indexOfAscii(out, lineTotalTitle, start) : -1;
  return end > start ? new TextDecoder().decode(out.subarray(start + reportTitle.length, end)) : '';
}

function showResult(result, job) {
  lastResult = result;
  const { status, out, err } = result;
  // Bytes echoed before the report are all the output when there is no report.
  const titleAt = indexOfAscii(out, reportTitle);
  const reportStart = titleAt >= 0 ? titleAt : out.length;
  const shown = out.length > maxShownOutputBytes ? out.subarray(0, maxShownOutputBytes) : out;
  showOutput(panes.report, shown, Math.min(reportStart, shown.length));
  element('report-truncated').hidden = shown.length === out.length;
  element('report-truncated').textContent =
    `The report is ${out.length.toLocaleString('en')} bytes long; the first ` +
    `${shown.length.toLocaleString('en')} are shown. Save it to see it whole.`;
  showOutput(panes.messages, err, 0);
  const statusText = `exit status ${status}`;
  if (panes.status.textContent !== statusText) panes.status.textContent = statusText;  // announced only when it changes
  panes.status.classList.toggle('failed', status !== 0);

  const codeStart = titleAt >= 0 ? indexOfAscii(out, codeTitle, reportStart) : -1;
  const code = codeStart >= 0 ? out.subarray(codeStart + codeTitle.length) : new Uint8Array();
  const shownCode = code.length > maxShownOutputBytes ? code.subarray(0, maxShownOutputBytes) : code;
  linkResult(result, job);
  if (linking.map && codeStart >= 0) {
    const from = codeStart + codeTitle.length;
    linking.code = showCodeLines(panes.code, out, from, from + shownCode.length, linking.map);
  } else {
    showOutput(panes.code, shownCode, 0);
  }

  const errorLine = /^Line: (\d+) ;/.exec(new TextDecoder().decode(err.subarray(0, 64)));
  markErrorLine(view, errorLine ? Number(errorLine[1]) : 0);
  showDiagnosticOf(result, job);
  stepping.doc = job.doc;
  stepping.positions = null;
  steps.reset(result.id);

  panes.status.dataset.state = 'done';
  panes.status.dataset.compileId = String(result.id);
  showTree(result, job);
  followCursor(true);
}

// The positions in the editor's text `doc` of each byte of its program:
// at(byte); the same numbers for ASCII.
function positionsOf(doc) {
  const text = doc.toString();
  const charAt = byteToCharIndex(text, textToBytes(text).length);
  return { text, at: (byte) => (charAt ? charAt[Math.min(byte, charAt.length - 1)] : Math.min(byte, text.length)) };
}

// r1explain's diagnostic of a syntax error, underlined in the editor. After an
// edit made since the compile, the marks shown move with the text until the
// next compile.
function showDiagnosticOf(result, job) {
  if (job.doc !== view.state.doc) return;
  const found = result.diagnostic;
  if (!found) return showDiagnostic(view, null);
  const { at } = positionsOf(job.doc);
  showDiagnostic(view, { from: at(found.begin), to: at(found.end), message: found.message });
  document.body.dataset.diagnostic = `${found.line}:${found.column}`;
}

// The Steps pane walks the parse of the program last shown.
const stepping = { doc: null, positions: null, marked: '[null,null]' };
const stepPositions = () => {
  if (!stepping.positions) stepping.positions = positionsOf(stepping.doc);
  return stepping.positions;
};
const steps = createSteps({
  elements: {
    pane: element('steps-pane'),
    first: element('step-first'),
    back: element('step-back'),
    forward: element('step-forward'),
    last: element('step-last'),
    position: element('step-position'),
    action: element('step-action'),
    rule: element('step-rule'),
    stack: element('stack'),
    treeTitle: element('step-tree-title'),
    tree: element('step-tree'),
  },
  post: (message) => compileWorker.postMessage(message),
  showMarks(token, reduced) {
    const current = stepping.doc !== null && stepping.doc === view.state.doc;
    const spans = current ? [token, reduced].map((span) => span && span.map(stepPositions().at)) : [null, null];
    const key = JSON.stringify(spans);
    if (key === stepping.marked) return;
    stepping.marked = key;
    showStepMarks(view, ...spans);
  },
  textOf(begin, end) {
    if (!stepping.doc) return '';
    const { text, at } = stepPositions();
    return text.slice(at(begin), at(end));
  },
});

function treeMessage(text, state, job) {
  stopZoom();
  panes.tree.dataset.state = state;
  panes.tree.dataset.nodes = '';
  const note = document.createElement('p');
  note.className = 'note';
  note.textContent = text;
  panes.tree.replaceChildren(note);
  panes.tree.dataset.view = '';
  panes.tree.dataset.statement = '';
  panes.tree.dataset.firstLine = '';
  if (!job.redraw) shown(job);
}

function showTree(result, job) {
  const { tree, treeBytes } = result;
  if (tree.state === 'none') return treeMessage('No tree: the report holds none.', 'none', job);
  if (tree.state === 'too-large') {
    const size = tree.nodes > 0 ? `${tree.nodes.toLocaleString('en')} nodes` : `${treeBytes.toLocaleString('en')} bytes of tree`;
    return treeMessage(
      `Too large to draw: ${size}. The page draws trees of up to ${maxDrawnNodes.toLocaleString('en')} nodes ` +
        `(and ${maxDrawnTreeBytes / 1024} KB of printed tree); the report holds the whole tree.`,
      'too-large',
      job,
    );
  }
  if (tree.state === 'mapped') return drawMapped(job);
  panes.tree.dataset.state = 'drawing';
  requestDrawing({ id: result.id, dot: tree.dot, nodes: tree.nodes, text: printedTree(result.out), since: job.since, editAt: job.editAt });
}

// A tree small enough to read is drawn whole; a larger one as the statement
// at the cursor, with its path to the root, drawn again as the cursor moves
// to another statement.
function drawMapped(job) {
  const { map } = linking;
  if (map.nodeCount <= maxWholeTreeNodes) {
    const all = Array.from({ length: map.nodeCount }, (_, i) => i);
    return drawNodes(job, { nodes: all, path: [], statement: -1, text: `as the report prints it:\n${printedTree(map.out)}` });
  }
  const line = cursorLine();
  const statement = statementOfLine(map, line);
  if (statement < 0) {
    linking.drawnStatement = -1;
    return treeMessage(
      `The tree has ${map.nodeCount.toLocaleString('en')} nodes, more than the ${maxWholeTreeNodes} shown whole: ` +
        'move the cursor onto a statement to draw it, with its path to the root.',
      'choose',
      job,
    );
  }
  if (statement === linking.drawnStatement && job.redraw) return;
  linking.drawnStatement = statement;
  const { nodes, path } = subtreeWithPath(map, statement);
  const size = nodes.length;
  if (nodes.length + path.length > maxDrawnNodes) {
    return treeMessage(
      `Too large to draw: the statement at line ${map.firstLine(statement)} has ${size.toLocaleString('en')} nodes. ` +
        `The page draws up to ${maxDrawnNodes.toLocaleString('en')}; the report holds the whole tree.`,
      'too-large',
      job,
    );
  }
  const printed = new TextDecoder().decode(map.out.subarray(map.reportBegin(statement), map.reportEnd(map.subtreeEnd[statement] - 1)));
  drawNodes(job, {
    nodes,
    path,
    statement,
    text: `the statement at line ${map.firstLine(statement)} (${size} of ${map.nodeCount} nodes, below its path from the root), as the report prints it:\n${printed}`,
  });
}

function drawNodes(job, { nodes, path, statement, text }) {
  panes.tree.dataset.state = 'drawing';
  const dot = dotOf(linking.map, nodes, path);
  linking.leftOut = path.map((item) => item.left ?? 0);
  requestDrawing({ ...job, id: shownCompileId, dot, nodes: nodes.length + path.length, text, statement, whole: statement < 0 });
}

// The time from sending the program to the page showing all of its result,
// and, after typing, from the last keystroke (the pause included).
function shown({ since, editAt }) {
  requestAnimationFrame(() => {
    const now = performance.now();
    const ms = now - since;
    document.body.dataset.updateMs = ms.toFixed(1);
    document.body.dataset.sinceKeyMs = editAt ? (now - editAt).toFixed(1) : '';
    document.body.dataset.compileMs = lastResult.compileMs.toFixed(1);
    document.body.dataset.shownId = String(shownCompileId);
    panes.timing.textContent = editAt
      ? `shown ${Math.round(now - editAt)} ms after the last keystroke`
      : `compiled and shown in ${Math.round(ms)} ms`;
  });
}

// --- Drawing ----------------------------------------------------------------

let drawWorker = null;
let drawing = null;  // the job in the drawing worker
let waitingDrawing = null;

function startDrawWorker() {
  drawWorker = replaceWorker(drawWorker, 'draw_worker.js', drawn, drawerStopped);
  drawing = null;
}

// The drawing worker failed: a new one takes the waiting job, or the page says
// why the shown tree is missing.
function drawerStopped(event) {
  const job = drawing;
  startDrawWorker();
  if (waitingDrawing) {
    sendDrawing(waitingDrawing);
    waitingDrawing = null;
  } else if (job && job.id === shownCompileId) {
    treeMessage(`The tree could not be drawn: ${event.message}`, 'failed', job);
  }
}

function requestDrawing(job) {
  if (!drawing) return sendDrawing(job);
  waitingDrawing = job;
  if (performance.now() - drawing.sent > abandonWorkAfterMs) {
    startDrawWorker();
    sendDrawing(job);
    waitingDrawing = null;
  }
}

function sendDrawing(job) {
  drawing = { ...job, sent: performance.now() };
  drawWorker.postMessage({ id: job.id, dot: job.dot });
}

function drawn(result) {
  const job = drawing;
  drawing = null;
  if (waitingDrawing) {
    sendDrawing(waitingDrawing);
    waitingDrawing = null;
    return;
  }
  if (job.id !== shownCompileId) return;
  const picture = result.svg ? checkedSvg(result.svg) : null;
  if (!picture) return treeMessage(`The tree could not be drawn. ${result.error}`, 'failed', job);
  picture.setAttribute('role', 'img');
  const mapped = job.statement !== undefined;
  picture.setAttribute('aria-label', mapped ? `Syntax tree, ${job.text}` : `Syntax tree, as the report prints it:\n${job.text}`);
  if (mapped) labelNodes(picture);
  panes.tree.replaceChildren(picture);
  zoomable(panes.tree, picture);
  panes.tree.dataset.state = 'drawn';
  panes.tree.dataset.nodes = String(job.nodes);
  panes.tree.dataset.view = !mapped ? 'whole' : job.whole ? 'whole' : 'statement';
  panes.tree.dataset.statement = mapped ? String(job.statement) : '';
  panes.tree.dataset.firstLine = mapped && job.statement >= 0 ? String(linking.map.firstLine(job.statement)) : '';
  if (mapped) showTreeMarks();
  if (!job.redraw) shown(job);
}

// The picture's shapes, named n<index> by dotOf, lead back to the map's
// nodes; their tooltips give the node's kind and text, not Graphviz's names.
function labelNodes(picture) {
  linking.treeNodes = new Map();
  for (const title of picture.querySelectorAll('title')) {
    const shape = title.parentElement;
    const left = /^e(\d+)$/.exec(title.textContent);
    if (shape.classList.contains('node') && left) {
      title.textContent = `link: ${linking.leftOut[Number(left[1])]} more links on the path from the root, left out`;
      continue;
    }
    const match = /^n(\d+)$/.exec(title.textContent);
    if (!shape.classList.contains('node') || !match) {
      title.remove();
      continue;
    }
    const node = Number(match[1]);
    shape.dataset.node = String(node);
    title.textContent = nodeTooltip(linking.map, node);
    linking.treeNodes.set(node, shape);
  }
}

// --- Linking the panes ---------------------------------------------------------
//
// With the map of the compile shown, the source line at the cursor or the
// pointer lights up the code lines and tree nodes it produced; a code line
// under the pointer lights up its node and its source; a tree node under the
// pointer its source and code, and a click on it selects its source. Each
// statement has a colour band, the same in source and code. The map's
// indexes make each of these a look-up, not a search.

const linking = {
  map: null,  // of the shown compile; null when it has none
  doc: null,  // the editor's document it was compiled from: source links hold while it is shown
  charAt: undefined,  // byte offsets in the program to the editor's positions (null: the same)
  code: null,  // the code pane's lines, by code line: code.line(j)
  treeNodes: new Map(),  // the picture's shapes, by node
  drawnStatement: -1,  // the statement drawn, when the tree is drawn by statement
  marked: { code: [], nodes: [] },
  pointer: null,  // what the pointer is on: {line} in the source, {code}, {node}; null: the cursor
};

function linkResult(result, job) {
  const map = readMap(result.map, result.out, result.mapIndexes);
  linking.map = map;
  linking.doc = map && job.doc === view.state.doc ? job.doc : null;
  linking.charAt = undefined;
  linking.code?.stop();
  linking.code = null;
  linking.treeNodes = new Map();
  linking.drawnStatement = -1;
  linking.marked = { code: [], nodes: [] };
  const bands = [];
  if (linking.doc) {
    for (let line = 1; line <= Math.min(map.lineCount, view.state.doc.lines); line++) {
      if (map.lineBand[line] >= 0) bands.push([line, map.lineBand[line]]);
    }
  }
  showBands(view, bands);
  panes.code.dataset.linked = map ? 'yes' : 'no';
}

const sourceLinked = () => linking.map && linking.doc === view.state.doc;
const cursorLine = () => view.state.doc.lineAt(view.state.selection.main.head).number;

// A node's bytes in the program as a span of the editor's text.
function sourceSpan(node) {
  const { map } = linking;
  if (linking.charAt === undefined) {
    const text = view.state.doc.toString();
    linking.charAt = byteToCharIndex(text, textToBytes(text).length);
  }
  const at = (byte) => (linking.charAt ? linking.charAt[Math.min(byte, linking.charAt.length - 1)] : byte);
  return [at(map.sourceBegin(node)), at(map.sourceEnd(node))];
}

// Lights up the code lines and tree nodes given, and the source spans.
function mark({ code = [], nodes = [], spans = [] }, scroll) {
  for (const line of linking.marked.code) linking.code?.line(line)?.classList.remove('linked');
  for (const node of linking.marked.nodes) linking.treeNodes.get(node)?.classList.remove('linked');
  linking.marked = { code, nodes, spans };
  for (const line of code) linking.code?.line(line)?.classList.add('linked');
  showTreeMarks();
  const shownSpans = sourceLinked() ? spans : [];
  if (shownSpans.length || linking.spansShown) showLinked(view, shownSpans);
  linking.spansShown = shownSpans.length > 0;
  panes.code.dataset.marked = code.join(' ');
  if (scroll && code.length && !narrowScreen.matches) linking.code?.line(code[0])?.scrollIntoView({ block: 'nearest' });
}

function showTreeMarks() {
  for (const node of linking.marked.nodes) linking.treeNodes.get(node)?.classList.add('linked');
  panes.tree.dataset.marked = linking.marked.nodes.filter((node) => linking.treeNodes.has(node)).join(' ');
}

const narrowScreen = matchMedia('(max-width: 700px)');

function markLine(line, scroll) {
  const nodes = [...nodesOfLine(linking.map, line)];
  mark({ code: codeOfNodes(linking.map, nodes), nodes }, scroll);
}

function markNode(node) {
  const { map } = linking;
  const nodes = [];
  for (let i = node; i < map.subtreeEnd[node]; i++) nodes.push(i);
  mark({ code: codeOfNodes(map, nodes), nodes: [node], spans: [sourceSpan(node)] });
}

function markCode(line) {
  const node = linking.map.codeNode(line);
  mark({ code: [line], nodes: [node], spans: [sourceSpan(node)] });
}

// What the pointer or, without it, the cursor is on, shown in every pane.
function followCursor(scroll = false) {
  if (!sourceLinked()) return mark({});
  const on = linking.pointer;
  if (on?.node !== undefined) return markNode(on.node);
  if (on?.code !== undefined) return markCode(on.code);
  markLine(on?.line ?? cursorLine(), scroll && !on);
}

// The cursor's moves come in the middle of the editor's update, which may
// not start another: they are followed just after it.
let cursorFollowQueued = false;
function cursorMoved() {
  if (cursorFollowQueued) return;
  cursorFollowQueued = true;
  queueMicrotask(() => {
    cursorFollowQueued = false;
    if (linking.pointer?.line !== undefined) linking.pointer = null;  // the cursor wins until the pointer moves again
    followCursor(true);
    if (!sourceLinked()) return;
    if (lastResult?.tree.state === 'mapped' && linking.map.nodeCount > maxWholeTreeNodes) {
      drawMapped({ since: performance.now(), editAt: 0, redraw: true });
    }
  });
}

function pointAt(on) {
  if (JSON.stringify(on) === JSON.stringify(linking.pointer)) return;
  linking.pointer = on;
  if (linking.map) followCursor();
}

function pointedAtLine(line) {
  pointAt(line > 0 ? { line } : null);
}

const lineOf = (target) => target.closest?.('.code-line');
panes.code.addEventListener('mouseover', (event) => {
  const line = lineOf(event.target);
  pointAt(line ? { code: Number(line.dataset.line) } : null);
});
panes.code.addEventListener('mouseleave', () => pointAt(null));
const shapeOf = (target) => target.closest?.('g.node[data-node]');
panes.tree.addEventListener('mouseover', (event) => {
  const shape = shapeOf(event.target);
  pointAt(shape ? { node: Number(shape.dataset.node) } : null);
});
panes.tree.addEventListener('mouseleave', () => pointAt(null));
// A click on a node, not the end of a drag, selects its source.
let pressedAt = null;
panes.tree.addEventListener('pointerdown', (event) => {
  pressedAt = { x: event.clientX, y: event.clientY };
});
panes.tree.addEventListener('click', (event) => {
  const shape = shapeOf(event.target);
  const moved = pressedAt && Math.hypot(event.clientX - pressedAt.x, event.clientY - pressedAt.y) > 4;
  if (!shape || moved || !sourceLinked()) return;
  const [from, to] = sourceSpan(Number(shape.dataset.node));
  selectSpan(view, from, to);
});

// --- Programs: your own, examples, files, links -----------------------------
//
// The rule, shown beside the program's title: editing any program makes it
// "your program", kept in this browser as you type. Examples, files and links
// only show their program; the one you had stays in the menu, and the one it
// replaces when you edit another becomes "your previous program".

let source = { kind: 'none' };  // what the editor shows: mine, previous, example, file, link
let linked = null;  // {hash, text} of the link opened in this page
let exampleNames = [];
let keepFailedNoted = false;

const sourceTitles = {
  mine: () => 'your program, kept in this browser',
  previous: () => 'your previous program, kept in this browser',
  example: (s) => `the example ${s.name}`,
  file: (s) => `the file ${s.name}`,
  link: () => 'from the link',
  none: () => '',
};

const clearFragment = () => {
  if (location.hash) history.replaceState(null, '', location.pathname + location.search);
};

function showNotice(text, action) {
  const note = document.createElement('span');
  note.textContent = text;
  panes.notice.replaceChildren(note);
  if (action) {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = action.label;
    button.addEventListener('click', action.run);
    panes.notice.append(' ', button);
  }
}

const clearNotice = () => panes.notice.replaceChildren();

function hideShareBox() {
  panes.shareBox.hidden = true;
  panes.shareUrl.value = '';
  panes.shareNote.textContent = '';
}

// The menu holds your programs, the link's, the file's and the examples, and
// always names the program shown.
function updateMenu() {
  const options = [];
  if (source.kind === 'mine' || loadProgram('mine') !== null) options.push([':mine', 'Your program']);
  if (source.kind === 'previous' || loadProgram('previous') !== null) options.push([':previous', 'Your previous program']);
  if (linked) options.push([':link', 'Program from the link']);
  if (source.kind === 'file') options.push([':file', `File: ${source.name}`]);
  const option = ([value, text]) => Object.assign(document.createElement('option'), { value, textContent: text });
  const examples = document.createElement('optgroup');
  examples.label = 'Examples';
  examples.append(...exampleNames.map((name) => option([name, name])));
  panes.menu.replaceChildren(...options.map(option), examples);
  panes.menu.value = source.kind === 'example' ? source.name : `:${source.kind}`;
  panes.sourceName.textContent = source.kind === 'none' ? '' : `— ${sourceTitles[source.kind](source)}`;
  document.body.dataset.source = source.kind;
}

// Shows `text` from `from` (a source); the user's programs are left as they are.
function showProgram(text, from) {
  keepMine();
  replaceText(view, text);  // a new document: edited() is not called
  lastEditAt = 0;
  source = from;
  hideShareBox();
  updateMenu();
  compileNow();
}

// Every change the user makes; the first makes the program "your program".
function edited() {
  programBytes = null;
  lastEditAt = performance.now();
  hideShareBox();
  clearFragment();  // the address no longer holds this program
  if (source.kind !== 'mine') {
    const mine = loadProgram('mine');
    if (mine !== null) keepProgram('previous', mine);  // from "previous", the two swap
    source = { kind: 'mine' };
    clearNotice();
    updateMenu();
  }
  scheduleCompile();
}

// Your program is written to storage at each pause in typing, and when the
// page is left.
function keepMine() {
  if (source.kind !== 'mine' || !lastEditAt) return;
  if (keepProgram('mine', view.state.doc.toString()) || keepFailedNoted) return;
  keepFailedNoted = true;
  showNotice('Your program is too large to keep in this browser: a reload would lose it. Save it as a file instead.', {
    label: 'Save program',
    run: saveProgram,
  });
}

async function fetchBytes(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

async function loadExample(name) {
  const bytes = await fetchBytes(`examples/${encodeURIComponent(name)}.c`);
  showProgram(bytesToText(bytes), { kind: 'example', name });
}

async function fillExamples() {
  exampleNames = await (await fetch('examples/index.json')).json();
}

panes.menu.addEventListener('change', () => {
  const choice = panes.menu.value;
  clearNotice();
  if (choice === ':link' && linked) {
    history.replaceState(null, '', linked.hash);
    return showProgram(linked.text, { kind: 'link' });
  }
  clearFragment();
  if (choice === ':mine' || choice === ':previous') {
    const kind = choice.slice(1);
    return showProgram(loadProgram(kind) ?? '', { kind });
  }
  if (!choice.startsWith(':')) loadExample(choice);
});

// Opens the program in the address's fragment, if any; returns whether one
// was opened. A fragment that can't be read is left in the address, and the
// page says why.
async function openLink() {
  const found = await readFragment(location.hash);
  if (found.none) return false;
  if (found.error) {
    showNotice(`This link's program could not be opened. ${found.error} The address is left as it was; ${
      loadProgram('mine') !== null ? 'your own program is shown' : 'an example is shown'} instead.`);
    document.body.dataset.linkError = found.error;
    return false;
  }
  linked = { hash: location.hash, text: bytesToText(found.bytes) };
  clearNotice();
  showProgram(linked.text, { kind: 'link' });
  return true;
}

async function showDefault() {
  const mine = loadProgram('mine');
  if (mine !== null) return showProgram(mine, { kind: 'mine' });
  if (exampleNames.length) return loadExample(exampleNames.includes('countdown') ? 'countdown' : exampleNames[0]);
  showProgram('', { kind: 'mine' });
}

// --- Sharing and saving ------------------------------------------------------

let shareRequest = 0;

async function shareLink() {
  const request = ++shareRequest;
  if (!programBytes) compileNow();  // typed since the last compile
  const version = view.state.doc;
  clearNotice();
  panes.shareBox.hidden = false;
  panes.shareUrl.value = '';
  panes.shareNote.textContent = 'making the link…';
  let link;
  try {
    link = await makeLink(`${location.origin}${location.pathname}${location.search}`, programBytes.slice());
  } catch (error) {
    if (request === shareRequest) panes.shareNote.textContent = `The link could not be made: ${error.message}`;
    return;
  }
  if (request !== shareRequest || view.state.doc !== version) return;  // edited meanwhile
  if (link.tooLarge) {
    hideShareBox();
    const megabytes = (n) => `${(n / (1 << 20)).toFixed(1)} MB`;
    return showNotice(
      `This program is too large to share as a link: its link would be ${megabytes(link.length)} long, and browsers ` +
        `open links of up to about ${megabytes(maxLinkLength)}. Save the program as a file and share that instead.`,
      { label: 'Save program', run: saveProgram },
    );
  }
  history.replaceState(null, '', link.url);
  if (source.kind === 'link') linked.hash = location.hash;
  panes.shareUrl.value = link.url;
  panes.shareUrl.select();
  panes.shareNote.textContent = `${link.url.length.toLocaleString('en')} characters`;
  try {
    await navigator.clipboard.writeText(link.url);
    if (request === shareRequest) panes.shareNote.textContent = 'Copied';
  } catch {
    if (request === shareRequest) panes.shareNote.textContent = 'Select the link and copy it (Ctrl+C)';
  }
}

function download(bytes, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

function saveReport() {
  if (lastResult) download(lastResult.out, 'report.txt');
}

function saveProgram() {
  const name = source.kind === 'example' ? `${source.name}.c` : source.kind === 'file' ? source.name : 'program.c';
  download(textToBytes(view.state.doc.toString()), name);
}

// --- Controls -----------------------------------------------------------------

bindKeys({
  compileNow,
  saveReport,
  dialog: element('keys-dialog'),
  openButton: element('show-keys'),
  closeButton: element('close-keys'),
});
element('open-file').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  event.target.value = '';
  if (!file) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  clearFragment();
  clearNotice();
  showProgram(bytesToText(bytes), { kind: 'file', name: file.name });
});
element('share').addEventListener('click', shareLink);
element('save-report').addEventListener('click', saveReport);
element('save-program').addEventListener('click', saveProgram);
bindZoomControls(panes.tree, { in: element('zoom-in'), out: element('zoom-out'), reset: element('zoom-reset') });
bindThemeMenu(element('theme'));
bindTabs(element('tabs'));
window.addEventListener('hashchange', () => openLink());
window.addEventListener('pagehide', keepMine);
document.addEventListener('visibilitychange', () => {
  if (document.visibilityState === 'hidden') keepMine();
});

async function start() {
  startCompileWorker();
  startDrawWorker();
  await fillExamples();
  if (!(await openLink())) await showDefault();
}

start();
