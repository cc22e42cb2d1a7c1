// The playground page: the editor, the compile and drawing workers, and the
// panes that show what r1c wrote. Everything from a program or its output is
// inserted as text or as a checked SVG picture, never as HTML.
import { createEditor, markErrorLine, replaceText } from './editor.js';
import { bytesToText, textToBytes } from './bytes.js';
import { indexOfAscii, showOutput } from './render.js';
import { abandonWorkAfterMs, maxDrawnNodes, maxDrawnTreeBytes, maxShownOutputBytes } from './limits.js';
import { checkedSvg } from './svg.js';
import { makeLink, maxLinkLength, readFragment } from './links.js';
import { keepProgram, loadProgram } from './storage.js';
import { bindThemeMenu } from './theme.js';
import { bindTabs } from './tabs.js';
import { bindZoomControls, stopZoom, zoomable } from './zoom.js';
import { bindKeys } from './keys.js';

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

const view = createEditor(element('editor'), edited);
let lastResult = null;
let lastEditAt = 0;  // performance.now() of the last keystroke; 0 after a program is loaded

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

let programBytes = null;  // the program's bytes, as last compiled; null after an edit

function compileNow() {
  clearTimeout(editTimer);
  keepMine();
  const program = textToBytes(view.state.doc.toString());
  programBytes = program.slice();  // the original goes to the worker
  if (!compiling) return sendProgram(program);
  waitingProgram = program;
  if (performance.now() - compiling.since > abandonWorkAfterMs) {
    startCompileWorker();
    sendWaitingProgram();
  }
}

function sendProgram(program) {
  compiling = { id: nextCompileId++, since: performance.now(), editAt: lastEditAt };
  panes.status.dataset.state = 'compiling';
  compileWorker.postMessage({ id: compiling.id, program }, [program.buffer]);
}

function sendWaitingProgram() {
  const program = waitingProgram;
  waitingProgram = null;
  sendProgram(program);
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
  showOutput(panes.code, code.length > maxShownOutputBytes ? code.subarray(0, maxShownOutputBytes) : code, 0);

  const errorLine = /^Line: (\d+) ;/.exec(new TextDecoder().decode(err.subarray(0, 64)));
  markErrorLine(view, errorLine ? Number(errorLine[1]) : 0);

  panes.status.dataset.state = 'done';
  panes.status.dataset.compileId = String(result.id);
  showTree(result, job);
}

function treeMessage(text, state, job) {
  stopZoom();
  panes.tree.dataset.state = state;
  panes.tree.dataset.nodes = '';
  const note = document.createElement('p');
  note.className = 'note';
  note.textContent = text;
  panes.tree.replaceChildren(note);
  shown(job);
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
  panes.tree.dataset.state = 'drawing';
  requestDrawing({ id: result.id, dot: tree.dot, nodes: tree.nodes, text: printedTree(result.out), since: job.since, editAt: job.editAt });
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
  picture.setAttribute('aria-label', `Syntax tree, as the report prints it:\n${job.text}`);
  panes.tree.replaceChildren(picture);
  zoomable(panes.tree, picture);
  panes.tree.dataset.state = 'drawn';
  panes.tree.dataset.nodes = String(job.nodes);
  shown(job);
}

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
