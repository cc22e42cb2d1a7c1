// The playground page: the editor, the compile and drawing workers, and the
// panes that show what r1c wrote. Everything from a program or its output is
// inserted as text or as a checked SVG picture, never as HTML.
import { createEditor, markErrorLine, replaceText } from './editor.js';
import { base64UrlToBytes, bytesToBase64Url, bytesToText, textToBytes } from './bytes.js';
import { indexOfAscii, showOutput } from './render.js';
import { abandonWorkAfterMs, maxDrawnNodes, maxDrawnTreeBytes, maxShownOutputBytes } from './limits.js';
import { checkedSvg } from './svg.js';

const editDelayMs = 150;  // the report follows the last keystroke after this pause
const reportTitle = 'Abstract Syntax Tree:\n';
const codeTitle = 'Code Generated:\n';

const element = (id) => document.getElementById(id);
const panes = {
  status: element('status'),
  messages: element('messages'),
  report: element('report'),
  code: element('code'),
  tree: element('tree'),
  timing: element('timing'),
  shareUrl: element('share-url'),
};

const view = createEditor(element('editor'), scheduleCompile);
let lastResult = null;

// --- Compiling --------------------------------------------------------------

let editTimer = 0;
let compileWorker = null;
let compiling = null;  // {id, since} of the compile in the worker
let waitingProgram = null;  // the newest program, while a compile runs
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
  compileWorker = replaceWorker(compileWorker, 'compile_worker.js', compiled, (event) => compilerStopped(event.message));
  compiling = null;
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

function compileNow() {
  clearTimeout(editTimer);
  const program = textToBytes(view.state.doc.toString());
  if (!compiling) return sendProgram(program);
  waitingProgram = program;
  if (performance.now() - compiling.since > abandonWorkAfterMs) {
    startCompileWorker();
    sendWaitingProgram();
  }
}

function sendProgram(program) {
  compiling = { id: nextCompileId++, since: performance.now() };
  panes.status.dataset.state = 'compiling';
  compileWorker.postMessage({ id: compiling.id, program }, [program.buffer]);
}

function sendWaitingProgram() {
  const program = waitingProgram;
  waitingProgram = null;
  sendProgram(program);
}

function compiled(result) {
  const since = compiling.since;
  compiling = null;
  if (waitingProgram) return sendWaitingProgram();  // this program has changed since
  shownCompileId = result.id;
  const received = performance.now();
  showResult(result, since);
  document.body.dataset.receivedMs = (received - since).toFixed(1);
  document.body.dataset.showMs = (performance.now() - received).toFixed(1);
}

// A long compile shows its time so far, and gives way to a newer program.
setInterval(() => {
  if (!compiling) return;
  const seconds = (performance.now() - compiling.since) / 1000;
  if (seconds >= 0.5) panes.status.textContent = `compiling… ${seconds.toFixed(1)} s`;
  if (waitingProgram && seconds * 1000 > abandonWorkAfterMs) {
    startCompileWorker();
    sendWaitingProgram();
  }
}, 250);

// --- Showing the result -----------------------------------------------------

function showResult(result, since) {
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
  panes.status.textContent = `exit status ${status}`;
  panes.status.classList.toggle('failed', status !== 0);

  const codeStart = titleAt >= 0 ? indexOfAscii(out, codeTitle, reportStart) : -1;
  const code = codeStart >= 0 ? out.subarray(codeStart + codeTitle.length) : new Uint8Array();
  showOutput(panes.code, code.length > maxShownOutputBytes ? code.subarray(0, maxShownOutputBytes) : code, 0);

  const errorLine = /^Line: (\d+) ;/.exec(new TextDecoder().decode(err.subarray(0, 64)));
  markErrorLine(view, errorLine ? Number(errorLine[1]) : 0);

  panes.status.dataset.state = 'done';
  panes.status.dataset.compileId = String(result.id);
  showTree(result, since);
}

function treeMessage(text, state, since) {
  panes.tree.dataset.state = state;
  panes.tree.dataset.nodes = '';
  const note = document.createElement('p');
  note.className = 'note';
  note.textContent = text;
  panes.tree.replaceChildren(note);
  shown(since);
}

function showTree(result, since) {
  const { tree, treeBytes } = result;
  if (tree.state === 'none') return treeMessage('No tree: the report holds none.', 'none', since);
  if (tree.state === 'too-large') {
    const size = tree.nodes > 0 ? `${tree.nodes.toLocaleString('en')} nodes` : `${treeBytes.toLocaleString('en')} bytes of tree`;
    return treeMessage(
      `Too large to draw: ${size}. The page draws trees of up to ${maxDrawnNodes.toLocaleString('en')} nodes ` +
        `(and ${maxDrawnTreeBytes / 1024} KB of printed tree); the report holds the whole tree.`,
      'too-large',
      since,
    );
  }
  panes.tree.dataset.state = 'drawing';
  requestDrawing({ id: result.id, dot: tree.dot, nodes: tree.nodes, since });
}

// The time from sending the program to the page showing all of its result.
function shown(since) {
  requestAnimationFrame(() => {
    const ms = performance.now() - since;
    document.body.dataset.updateMs = ms.toFixed(1);
    document.body.dataset.compileMs = lastResult.compileMs.toFixed(1);
    document.body.dataset.shownId = String(shownCompileId);
    panes.timing.textContent = `compiled and shown in ${Math.round(ms)} ms`;
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
    treeMessage(`The tree could not be drawn: ${event.message}`, 'failed', job.since);
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
  if (!picture) return treeMessage(`The tree could not be drawn. ${result.error}`, 'failed', job.since);
  panes.tree.replaceChildren(picture);
  panes.tree.dataset.state = 'drawn';
  panes.tree.dataset.nodes = String(job.nodes);
  shown(job.since);
}

// --- Programs: examples, files, links ---------------------------------------

function setProgram(bytes) {
  replaceText(view, bytesToText(bytes));
  compileNow();
}

function programFromLink() {
  const match = /^#program=([A-Za-z0-9_-]*)$/.exec(location.hash);
  if (!match) return null;
  try {
    return base64UrlToBytes(match[1]);
  } catch {
    return null;
  }
}

async function fetchBytes(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

async function loadExample(name) {
  setProgram(await fetchBytes(`examples/${encodeURIComponent(name)}.c`));
  history.replaceState(null, '', location.pathname + location.search);
}

async function fillExamples() {
  const menu = element('examples');
  const names = await (await fetch('examples/index.json')).json();
  for (const name of names) {
    const option = document.createElement('option');
    option.value = name;
    option.textContent = name;
    menu.append(option);
  }
  menu.addEventListener('change', () => {
    if (menu.value) loadExample(menu.value);
  });
  return names;
}

function shareLink() {
  const bytes = textToBytes(view.state.doc.toString());
  const url = `${location.origin}${location.pathname}${location.search}#program=${bytesToBase64Url(bytes)}`;
  history.replaceState(null, '', url);
  panes.shareUrl.value = url;
  panes.shareUrl.hidden = false;
  panes.shareUrl.select();
  navigator.clipboard?.writeText(url).catch(() => {});
}

function saveReport() {
  if (!lastResult) return;
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([lastResult.out], { type: 'application/octet-stream' }));
  link.download = 'report.txt';
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

element('open-file').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  if (file) setProgram(new Uint8Array(await file.arrayBuffer()));
  event.target.value = '';
});
element('share').addEventListener('click', shareLink);
panes.tree.addEventListener('click', () => panes.tree.classList.toggle('fit'));
element('save-report').addEventListener('click', saveReport);
window.addEventListener('hashchange', () => {
  const program = programFromLink();
  if (program) setProgram(program);
});

async function start() {
  startCompileWorker();
  startDrawWorker();
  const names = await fillExamples();
  const linked = programFromLink();
  if (linked) setProgram(linked);
  else if (names.length) loadExample(names.includes('countdown') ? 'countdown' : names[0]);
  else compileNow();
}

start();
