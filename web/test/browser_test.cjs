// The playground in headless Chromium, served from a local static server:
//   node browser_test.cjs --site DIR --source DIR [--screenshot FILE] [--phone-screenshot FILE]
//     [--steps-screenshot FILE] [--chromium PATH]
// For every example and end-to-end case, the page shows r1c's exact output,
// messages and status; the tree picture has one shape per tree node; errors
// mark their line; links restore programs byte for byte, and links that can't
// be read say why; the user's edits survive links and reloads; the editor
// indents and colours; untrusted programs run nothing; axe-core finds no
// serious accessibility fault, light or dark; on a phone the status stands
// beside the program. The panes are linked: the cursor's line lights its code
// and nodes, a code line its source, a node click selects its source, each
// statement has one band in source and code, and a large tree is drawn as the
// statement at the cursor. A syntax error is underlined at its token with
// its explanation beside it; the Steps pane walks the parse forward and back,
// each step's stack following from the one before, to the accept step, whose
// tree is the report's. Prints the time from the last keystroke to a
// 1,000-line program's report, linked panes and tree, the time to show a step
// of its parse, and other timings (never asserted).
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const zlib = require('zlib');

const options = { chromium: '/usr/bin/chromium', screenshot: '', 'phone-screenshot': '', 'steps-screenshot': '' };
for (let i = 2; i < process.argv.length; i += 2) options[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];

// --- A static file server on 127.0.0.1 ---------------------------------------

const contentTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.css': 'text/css',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
  '.c': 'text/plain',
  '.svg': 'image/svg+xml',
};

function serve(root) {
  const server = http.createServer((request, response) => {
    const urlPath = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const file = path.join(root, path.normalize(urlPath === '/' ? '/index.html' : urlPath));
    if (!file.startsWith(root + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': contentTypes[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// --- Expected results ------------------------------------------------------------

// NAME.expect: header lines (status, stderr, args, stdin), '---', then the exact standard output.
function readExpect(file) {
  const data = fs.readFileSync(file);
  const split = data.indexOf('---\n');
  const expect = { status: null, stderr: '', stdin: 'file', stdout: data.subarray(split + 4) };
  for (const line of data.subarray(0, split).toString('latin1').split('\n')) {
    const [key, value] = [line.slice(0, line.indexOf(': ')), line.slice(line.indexOf(': ') + 2)];
    if (key === 'status') expect.status = Number(value);
    if (key === 'stderr') expect.stderr += value + '\n';
    if (key === 'stdin') expect.stdin = value;
  }
  return expect;
}

function findCases(source) {
  const cases = [];
  const walk = (dir) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true }).sort((a, b) => a.name.localeCompare(b.name))) {
      const file = path.join(dir, entry.name);
      if (entry.isDirectory()) walk(file);
      else if (entry.name.endsWith('.expect')) cases.push(file);
    }
  };
  walk(path.join(source, 'examples'));
  walk(path.join(source, 'tests', 'cases'));
  return cases
    .map((expectFile) => {
      const input = ['.in', '.c'].map((ext) => expectFile.replace(/\.expect$/, ext)).find((f) => fs.existsSync(f));
      return { name: path.relative(source, expectFile), input, expect: readExpect(expectFile) };
    })
    .filter((c) => c.input && c.expect.stdin === 'file');
}

// The number of nodes in a report's printed tree: each node's text is
// followed by a blank; '(' opens a node's children and ')'s close them.
function treeNodeCount(report) {
  const text = report.toString('latin1');
  const start = text.indexOf('Abstract Syntax Tree:\n');
  const end = text.indexOf('\n\nTotal No Of Lines:', start);
  if (start < 0 || end < 0) return 0;
  return text
    .slice(start + 'Abstract Syntax Tree:\n'.length, end)
    .split(/[ \n]+/)
    .map((word) => word.replace(/\)+$/, ''))
    .filter((word) => word && word !== '(').length;
}

// --- The page -------------------------------------------------------------------

// What the page shows: the report's and the messages' bytes read back from the
// text and byte boxes on screen, the status line and the tree pane's state.
async function shownResult(page) {
  return page.evaluate(() => {
    const bytesOf = (element) => {
      let text = '';
      const walk = (node) => {
        for (const child of node.childNodes) {
          if (child.nodeType === Node.TEXT_NODE) text += child.data;
          else if (child.classList.contains('byte')) text += String.fromCharCode(Number(child.dataset.byte));
          else walk(child);
        }
      };
      walk(element);
      return text;
    };
    const tree = document.getElementById('tree');
    const code = document.getElementById('code');
    const codeLines = [...code.querySelectorAll('.code-line')];
    return {
      code: bytesOf(code),
      codeLines: codeLines.length,
      unbanded: codeLines.filter((line) => !/\bband-\d\b/.test(line.className)).map((line) => line.textContent),
      tooltips: [...tree.querySelectorAll('svg g.node > title')].map((title) => title.textContent),
      titles: tree.querySelectorAll('svg title').length,
      treeView: tree.dataset.view,
      treeNodes: Number(tree.dataset.nodes),
      report: bytesOf(document.getElementById('report')),
      messages: bytesOf(document.getElementById('messages')),
      status: document.getElementById('status').textContent,
      treeState: tree.dataset.state,
      shapes: tree.querySelectorAll('svg g.node').length,
      updateMs: Number(document.body.dataset.updateMs),
      parts: `compile ${document.body.dataset.compileMs}, received ${document.body.dataset.receivedMs}, shown in ${document.body.dataset.showMs} more`,
    };
  });
}

// Waits until the page has shown, tree included, a compile newer than `after`.
async function waitForShown(page, after) {
  await page.waitForFunction(
    (after) => {
      const id = Number(document.getElementById('status').dataset.compileId || 0);
      const treeState = document.getElementById('tree').dataset.state;
      return id > after && Number(document.body.dataset.shownId) === id && treeState !== 'drawing';
    },
    { timeout: 60000, polling: 10 },
    after,
  );
  return shownResult(page);
}

const shownId = (page) => page.evaluate(() => Number(document.getElementById('status').dataset.compileId || 0));

async function loadFile(page, file) {
  const before = await shownId(page);
  const input = await page.$('#open-file');
  await input.uploadFile(file);
  return waitForShown(page, before);
}

async function openPage(browser, url, viewport = { width: 1400, height: 860 }) {
  const page = await browser.newPage();
  await page.setViewport(viewport);
  page.problems = [];
  page.dialogs = [];
  page.on('pageerror', (error) => page.problems.push(`page error: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error') page.problems.push(`console: ${message.text()} at ${JSON.stringify(message.location())}`);
  });
  page.on('dialog', async (dialog) => {
    page.dialogs.push(dialog.message());
    await dialog.dismiss();
  });
  await page.goto(url);
  await waitForShown(page, 0);
  return page;
}

const editorText = (page) =>
  page.evaluate(() =>
    [...document.getElementById('editor').shadowRoot.querySelectorAll('.cm-line')].map((line) => line.textContent).join('\n'),
  );

// --- The checks -------------------------------------------------------------------

let passed = 0;
let failed = 0;
function check(name, ok, detail = '') {
  if (ok) passed++;
  else {
    failed++;
    console.log(`FAIL ${name}${detail ? `: ${detail}` : ''}`);
  }
}

function firstDifference(a, b) {
  let i = 0;
  while (i < a.length && i < b.length && a[i] === b[i]) i++;
  return i;
}

async function checkCases(page, scratch) {
  let drawn = 0;
  for (const c of findCases(options.source)) {
    const shown = await loadFile(page, c.input);
    const report = Buffer.from(shown.report, 'latin1');
    const at = firstDifference(report, c.expect.stdout);
    check(
      `${c.name}: report`,
      report.equals(c.expect.stdout),
      `differs at byte ${at}: shown ${JSON.stringify(shown.report.slice(Math.max(0, at - 30), at + 30))}, ` +
        `expected ${JSON.stringify(c.expect.stdout.subarray(Math.max(0, at - 30), at + 30).toString('latin1'))}`,
    );
    check(`${c.name}: messages`, shown.messages === c.expect.stderr, JSON.stringify(shown.messages));
    check(`${c.name}: status`, shown.status === `exit status ${c.expect.status}`, shown.status);
    const codeAt = c.expect.stdout.indexOf('Code Generated:\n');
    const code = codeAt >= 0 ? c.expect.stdout.subarray(codeAt + 'Code Generated:\n'.length).toString('latin1') : '';
    check(`${c.name}: code pane`, shown.code === code, JSON.stringify(shown.code.slice(0, 80)));
    check(`${c.name}: every line of code has its statement's band`, shown.unbanded.length === 0, JSON.stringify(shown.unbanded.slice(0, 3)));
    const nodes = treeNodeCount(c.expect.stdout);
    if (shown.treeState === 'drawn') {
      drawn++;
      // A tree small enough to read is drawn whole, a larger one by statement.
      const whole = nodes <= maxWholeTreeNodes;
      check(`${c.name}: tree drawn ${whole ? 'whole' : 'by statement'}`, shown.treeView === (whole ? 'whole' : 'statement'), shown.treeView);
      const expectedShapes = whole ? nodes : shown.treeNodes;
      check(`${c.name}: tree shapes`, shown.shapes === expectedShapes && shown.shapes <= 500, `${shown.shapes} shapes for ${expectedShapes} nodes`);
      // Tooltips name the node's kind and text, never Graphviz's names.
      const badTooltips = shown.tooltips.filter((t) => !/^(name|link|logic|arithmetic|assignment|type|control|number): \S/.test(t));
      check(`${c.name}: node tooltips`, badTooltips.length === 0 && shown.titles === shown.shapes, JSON.stringify(badTooltips.slice(0, 3)));
    } else {
      const expected = nodes === 0 ? ['none'] : ['too-large', 'choose'];
      check(`${c.name}: tree pane`, expected.includes(shown.treeState), shown.treeState);
    }
  }
  check('some trees are drawn', drawn > 0);
  console.log(`cases and examples checked; ${drawn} trees drawn`);
}

async function checkErrorLine(page, scratch) {
  const file = path.join(scratch, 'error.c');
  fs.writeFileSync(file, 'int main() {\n  int a = 1;\n  a = a + ;\n  a = 2;\n}\n');
  const shown = await loadFile(page, file);
  check('syntax error: message', shown.messages === 'Line: 3 ;syntax error\n', shown.messages);
  const marked = await page.evaluate(() => {
    const editor = document.getElementById('editor').shadowRoot;
    return {
      lines: [...editor.querySelectorAll('.cm-content .cm-line')].flatMap((line, i) =>
        line.classList.contains('cm-errorLine') ? [i + 1] : [],
      ),
      numbers: [...editor.querySelectorAll('.cm-lineNumbers .cm-errorGutter')].map((n) => n.textContent),
    };
  });
  check('syntax error: line 3 marked', JSON.stringify(marked.lines) === '[3]', JSON.stringify(marked.lines));
  check('syntax error: line number 3 marked', JSON.stringify(marked.numbers) === '["3"]', JSON.stringify(marked.numbers));
}

async function checkTyping(page) {
  const before = await shownId(page);
  await page.click('#editor >>> .cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('a');
  await page.keyboard.up('Control');
  await page.keyboard.type('void f() { x = 1; }');
  const shown = await waitForShown(page, before);
  check('typing recompiles', shown.report.endsWith('Code Generated:\nLOAD #1, R1\nSTORE R1, x\n'), shown.report);
  check('typing: the editor holds the typed text', (await editorText(page)) === 'void f() { x = 1; }');
}

async function checkSharedLink(browser, page, scratch) {
  const file = path.join(scratch, 'shared.c');
  fs.writeFileSync(file, 'int main() {\n  int n = 3;\n  while (n > 0) n = n - 1;\n}\n');
  const original = await loadFile(page, file);
  await page.click('#share');
  await page.waitForFunction(() => document.getElementById('share-url').value !== '');
  const url = await page.$eval('#share-url', (input) => input.value);
  check('share: link holds the program', /#deflate=[A-Za-z0-9_-]+$/.test(url), url);
  const opened = await openPage(browser, url);
  check('share: link restores the program', (await editorText(opened)) === fs.readFileSync(file, 'latin1').replace(/\n$/, '\n'));
  const restored = await shownResult(opened);
  check('share: same report', restored.report === original.report);
  check('share: no problems', opened.problems.length === 0, opened.problems.join('; '));
  await opened.close();
}

async function checkUntrustedPrograms(browser, base) {
  const programs = [
    'int main() { <script>alert(1)</script> x = 1; }\n',
    'int main() { x = 1; <img src=x onerror=alert(1)> }\n',
    'int main() { x = 1; } @"<img src=x onerror=alert(1)>"\n',
  ];
  for (const program of programs) {
    const url = `${base}#program=${Buffer.from(program).toString('base64url')}`;
    const page = await openPage(browser, url);
    await new Promise((resolve) => setTimeout(resolve, 300));
    const state = await page.evaluate(() => ({
      images: document.querySelectorAll('img').length,
      scripts: [...document.scripts].map((s) => s.getAttribute('src')),
      messages: document.getElementById('messages').textContent,
      report: document.getElementById('report').textContent,
    }));
    const name = `untrusted ${JSON.stringify(program.slice(13, 40))}`;
    check(`${name}: no dialog`, page.dialogs.length === 0, page.dialogs.join('; '));
    check(`${name}: no image element`, state.images === 0);
    check(`${name}: only the page's script`, JSON.stringify(state.scripts) === '["page.js"]', JSON.stringify(state.scripts));
    check(`${name}: program shown as text`, (await editorText(page)) === program.replace(/\n$/, '\n'));
    if (program.includes('@')) check(`${name}: echoed bytes shown as text`, state.report.endsWith('STORE R1, x\n@"'), state.report);
    await page.close();
  }
  // The policy forbids inline script: one added to the page does not run.
  const page = await openPage(browser, base);
  const policy = await page.$eval('meta[http-equiv="Content-Security-Policy"]', (meta) => meta.content);
  const scriptSources = /script-src ([^;]*)/.exec(policy)[1];
  check('policy: no inline script allowed', !/'unsafe-inline'|'unsafe-eval'|\*|data:|blob:/.test(scriptSources), scriptSources);
  const ran = await page.evaluate(() => {
    const script = document.createElement('script');
    script.textContent = 'window.inlineScriptRan = true;';
    document.body.append(script);
    return window.inlineScriptRan === true;
  });
  check('policy: an inline script does not run', !ran);
  await page.close();
}

// Programs that keep the compiler busy: the page answers while the worker
// compiles, and shows the result without drawing the tree.
async function checkLargePrograms(page, scratch) {
  const chain = `int main() { a = a${' + a'.repeat(100000)}; }\n`;
  // Blocks of 100 statements, so that no list comes near the parse stack's limit.
  const statement = '    { int i = 0; while (i < 10) { i = i + 1; if (i % 2 == 0) x = x * i; else x = x - i; } }\n';
  const block = `  {\n${statement.repeat(100)}  }\n`;
  const paste = `int main() {\n${block.repeat(Math.ceil((10 << 20) / block.length))}}\n`;
  for (const [name, program] of [['100,000-operator chain', chain], ['10 MB program', paste]]) {
    const file = path.join(scratch, 'large.c');
    fs.writeFileSync(file, program);
    const before = await shownId(page);
    const input = await page.$('#open-file');
    await input.uploadFile(file);
    let answers = 0;
    let longestAnswerMs = 0;
    while ((await shownId(page)) === before && answers < 100000) {
      const asked = Date.now();
      await page.evaluate(() => document.getElementById('status').textContent);
      longestAnswerMs = Math.max(longestAnswerMs, Date.now() - asked);
      answers++;
    }
    const shown = await waitForShown(page, before);
    check(`${name}: compiled`, shown.status === 'exit status 0', shown.status);
    check(`${name}: too large to draw`, shown.treeState === 'too-large', shown.treeState);
    const note = await page.$eval('#tree', (tree) => tree.textContent);
    check(`${name}: says so`, note.startsWith('Too large to draw'), note);
    console.log(
      `${name} (${program.length.toLocaleString('en')} bytes): shown after ${shown.updateMs} ms ` +
        `(${shown.parts}); the page answered ${answers} times meanwhile, the slowest in ${longestAnswerMs} ms`,
    );
  }
}

// A 1,000-line program: the time from sending it to the worker to the page
// showing its report, code and tree pane.
function thousandLines(scratch) {
  const lines = ['int main() {', '  int a = 1, b = 2, c = 3;'];
  while (lines.length < 999) lines.push(`  if (a < ${lines.length}) b = b + a * ${lines.length} - c; else c = c - 1;`);
  lines.push('}');
  const file = path.join(scratch, 'thousand_lines.c');
  fs.writeFileSync(file, lines.join('\n') + '\n');
  return file;
}

async function measureUpdates(page, scratch) {
  const file = thousandLines(scratch);
  const times = [];
  const parts = [];
  for (let i = 0; i < 5; i++) {
    const shown = await loadFile(page, file);
    check('1,000 lines: compiled', shown.status === 'exit status 0', shown.status);
    times.push(shown.updateMs);
    parts.push(`${shown.updateMs} ms: ${shown.parts}`);
  }
  times.sort((a, b) => a - b);
  console.log(`1,000-line program, compile and redraw in the page: median ${times[2]} ms`);
  console.log(`  runs (ms from sending the program: compile in the worker, result received, shown): ${parts.join('; ')}`);

  // A tree near the largest the page draws whole, for comparison.
  const small = ['int main() {', '  int a = 1;'];
  while (small.length < 9) small.push(`  if (a < ${small.length}) a = a + ${small.length}; else a = a - 1;`);
  small.push('}');
  fs.writeFileSync(file, small.join('\n') + '\n');
  const drawnTimes = [];
  for (let i = 0; i < 3; i++) {
    const shown = await loadFile(page, file);
    check('tree near the limit is drawn whole', shown.treeState === 'drawn' && shown.treeView === 'whole', shown.treeState);
    drawnTimes.push(`${shown.updateMs} ms (${shown.shapes} nodes)`);
  }
  console.log(`10-line program, compile and draw its whole tree: ${drawnTimes.join(', ')}`);
}

// --- The linked panes ------------------------------------------------------------

const maxWholeTreeNodes = 150;  // the page draws larger trees by statement

// Moves the cursor to the end of `line` with the keyboard.
async function cursorToLine(page, line) {
  await focusEditor(page);
  await page.keyboard.down('Control');
  await page.keyboard.press('Home');
  await page.keyboard.up('Control');
  for (let i = 1; i < line; i++) await page.keyboard.press('ArrowDown');
  await page.keyboard.press('End');
}

// What the panes show linked: the lit code lines' text, the lit tree nodes'
// tooltips, the lit source text, the selection, and the bands of the source
// lines and of the lit code lines.
const linkedState = (page) =>
  page.evaluate(() => {
    const editor = document.getElementById('editor').shadowRoot;
    const bandOf = (element) => /\bband-(\d)\b/.exec(element.className)?.[1] ?? '';
    return {
      code: [...document.querySelectorAll('#code .code-line.linked')].map((line) => line.textContent.replace(/\n$/, '')),
      codeBands: [...document.querySelectorAll('#code .code-line.linked')].map(bandOf),
      nodes: [...document.querySelectorAll('#tree g.node.linked > title')].map((title) => title.textContent),
      source: [...editor.querySelectorAll('.cm-linked')].map((mark) => mark.textContent).join(''),
      selection: editor.getSelection ? editor.getSelection().toString() : document.getSelection().toString(),
      lineBands: [...editor.querySelectorAll('.cm-line')].map(bandOf),
      marked: (document.getElementById('code').dataset.marked || '').split(' ').filter(Boolean),
      tree: { ...document.getElementById('tree').dataset },
    };
  });

async function checkLinkedPanes(page, scratch) {
  let before = await shownId(page);
  await page.select('#examples', 'gcd');
  await waitForShown(page, before);
  // Line 5 is "b = a % b;".
  await cursorToLine(page, 5);
  await page.waitForFunction(() => document.querySelectorAll('#code .code-line.linked').length === 3, { timeout: 5000 }).catch(() => {});
  let state = await linkedState(page);
  check('linked: the cursor on a line lights its code', JSON.stringify(state.code) === '["LOAD a, R1","MOD R1, b","STORE R1, b"]', JSON.stringify(state.code));
  check('linked: ... and its tree nodes', state.nodes.includes('arithmetic: %') && state.nodes.includes('assignment: =') && state.nodes.length === 5, JSON.stringify(state.nodes));
  check('linked: a statement has one band in source and code', state.lineBands[4] !== '' && state.codeBands.every((band) => band === state.lineBands[4]), JSON.stringify(state));
  check('linked: statements next to each other have different bands', state.lineBands[3] !== state.lineBands[4] && state.lineBands[4] !== state.lineBands[5], JSON.stringify(state.lineBands));
  // A code line under the pointer lights its node's source.
  const mod = await page.evaluateHandle(() => [...document.querySelectorAll('#code .code-line')].find((line) => line.textContent.startsWith('MOD')));
  await mod.hover();
  state = await linkedState(page);
  check('linked: a code line lights its source', state.source === 'a % b' && JSON.stringify(state.nodes) === '["arithmetic: %"]', JSON.stringify(state));
  // A click on a tree node selects its source.
  const number = await page.evaluateHandle(() => [...document.querySelectorAll('#tree g.node')].find((node) => node.querySelector('title').textContent === 'number: 462'));
  await number.click();
  state = await linkedState(page);
  check('linked: a tree node lights its code', JSON.stringify(state.code) === '["LOAD #462, R1"]', JSON.stringify(state.code));
  check('linked: a click on a node selects its source', state.selection === '462', JSON.stringify(state.selection));
  await page.mouse.move(0, 0);

  // Byte offsets become the editor's positions whatever comes before: bytes
  // of two, three and four in UTF-8, and bytes that are not UTF-8.
  for (const [name, prefix] of [['é', Buffer.from('é')], ['€', Buffer.from('€€')], ['emoji', Buffer.from('😀')], ['raw bytes', Buffer.from([0xff, 0xc3])]]) {
    const file = path.join(scratch, 'linked_bytes.c');
    fs.writeFileSync(file, Buffer.concat([Buffer.from('int main() {\n  '), prefix, Buffer.from(' x = 1; '), prefix, Buffer.from(' y = 22;\n}\n')]));
    await loadFile(page, file);
    const line = await page.evaluateHandle(() => [...document.querySelectorAll('#code .code-line')].find((l) => l.textContent.startsWith('LOAD #22')));
    await line.hover();
    state = await linkedState(page);
    check(`linked, after ${name}: a code line lights its source`, state.source === '22', JSON.stringify(state.source));
    await page.mouse.move(0, 0);
  }

  // A large program: the tree of the statement at the cursor, with its path to the root.
  await loadFile(page, thousandLines(scratch));
  for (const line of [11, 2]) {
    await cursorToLine(page, line);
    await page.waitForFunction((line) => {
      const tree = document.getElementById('tree');
      return tree.dataset.state === 'drawn' && tree.dataset.firstLine === String(line);
    }, { timeout: 20000 }, line).catch(() => {});
    state = await linkedState(page);
    const shapes = await page.evaluate(() => document.querySelectorAll('#tree svg g.node').length);
    check(`1,000 lines, line ${line}: the statement at the cursor is drawn`, state.tree.view === 'statement' && state.tree.firstLine === String(line) && shapes === Number(state.tree.nodes) && shapes < 200, JSON.stringify(state.tree));
    check(`1,000 lines, line ${line}: its nodes lit`, state.nodes.length > 0 && state.code.length > 0, JSON.stringify(state));
  }
  // On every line the cursor moves to: its code lit, in one run, the first in
  // the line's band (a line of nested statements holds theirs too), its test
  // among them.
  const wrong = [];
  for (let line = 3; line <= 22; line++) {
    await page.keyboard.press('ArrowDown');
    state = await linkedState(page);
    const band = state.lineBands[line - 1];
    const marked = state.marked.map(Number);
    const oneRun = marked.every((j, k) => k === 0 || j === marked[k - 1] + 1);
    if (!state.code.length || band === '' || state.codeBands[0] !== band || !oneRun || !state.code.some((c) => c.startsWith('IFFALSE'))) {
      wrong.push(`line ${line}: ${JSON.stringify(state.code)} in bands ${state.codeBands} for ${band}`);
    }
  }
  check('1,000 lines: each line lights its code, in its band', wrong.length === 0, wrong.slice(0, 2).join('; '));
  await cursorToLine(page, 2);

  // The time from a cursor move to the next statement's tree drawn.
  const moves = [];
  for (let i = 0; i < 6; i++) {
    const [key, line] = i % 2 ? ['ArrowUp', 2] : ['ArrowDown', 3];
    const started = Date.now();
    await page.keyboard.press(key);
    await page.waitForFunction((line) => document.getElementById('tree').dataset.firstLine === String(line), { timeout: 20000, polling: 5 }, line);
    moves.push(Date.now() - started);
  }
  moves.sort((a, b) => a - b);
  console.log(`1,000-line program, from a cursor move to the next statement's tree drawn: median ${moves[3]} ms (${moves.join(', ')} ms)`);
  check('linked: no errors', page.problems.length === 0, page.problems.join('; '));
}

// --- Diagnostics and steps ---------------------------------------------------------

const editorMarks = (page) =>
  page.evaluate(() => {
    const editor = document.getElementById('editor').shadowRoot;
    const texts = (selector) => [...editor.querySelectorAll(selector)].map((mark) => mark.textContent);
    return {
      underlined: texts('.cm-lintRange-error'),
      points: editor.querySelectorAll('.cm-lintPoint-error').length,
      notes: [...editor.querySelectorAll('.cm-errorNote')].map((line) => line.dataset.note),
      at: document.body.dataset.diagnostic,
      lines: [...editor.querySelectorAll('.cm-line')].map((line) => line.textContent),
    };
  });

// The error is underlined at its token, after bytes of any width, with
// r1explain's message beside it; on every prefix of an example, the mark
// stands at the line and column the diagnostic gives, and a program that
// compiles has none.
async function checkDiagnostics(page, scratch) {
  const message = "unexpected ';', expecting an identifier, a number, '(' or a prefix operator";
  const file = path.join(scratch, 'diagnosed.c');
  for (const [name, program] of [
    ['plain', 'int main() {\n  x = 3 + ;\n}\n'],
    ['after UTF-8 and raw bytes', Buffer.concat([Buffer.from('int main() {\n  y = 1; \u20ac\u{1f600} '), Buffer.from([0xff]), Buffer.from(' x = 3 + ;\n}\n')])],
  ]) {
    fs.writeFileSync(file, program);
    await loadFile(page, file);
    const marks = await editorMarks(page);
    check(`diagnostic, ${name}: underlined at ";"`, JSON.stringify(marks.underlined) === '[";"]', JSON.stringify(marks));
    check(`diagnostic, ${name}: the message beside it`, JSON.stringify(marks.notes) === JSON.stringify([message]), JSON.stringify(marks.notes));
  }
  const gcd = fs.readFileSync(path.join(options.source, 'examples', 'gcd.c'));
  const wrong = [];
  for (let cut = 5; cut < gcd.length - 2; cut += 9) {
    fs.writeFileSync(file, gcd.subarray(0, cut));
    await loadFile(page, file);
    const marks = await editorMarks(page);
    const [line, column] = (marks.at || '0:0').split(':').map(Number);
    const from = (marks.lines[line - 1] ?? '').slice(column - 1);
    const placed = marks.underlined.length === 1 ? from.startsWith(marks.underlined[0]) : marks.points === 1;
    if (!placed || marks.notes.length !== 1 || !marks.notes[0].startsWith('unexpected')) wrong.push(`cut at ${cut}: ${JSON.stringify(marks)}`);
  }
  check('diagnostic: every prefix of gcd is marked where its error is', wrong.length === 0, wrong.slice(0, 2).join('; '));
  fs.writeFileSync(file, gcd);
  await loadFile(page, file);
  const marks = await editorMarks(page);
  check('diagnostic: none once the program compiles', marks.underlined.length + marks.points + marks.notes.length === 0, JSON.stringify(marks));
}

const stepsState = (page) =>
  page.evaluate(() => {
    const editor = document.getElementById('editor').shadowRoot;
    return {
      ...document.getElementById('steps-pane').dataset,
      action: document.getElementById('step-action').textContent,
      stack: [...document.querySelectorAll('#stack li[data-entry]')].map((item) => item.title),
      stackSize: Number(document.getElementById('stack').dataset.size),
      tree: document.getElementById('step-tree').textContent,
      token: [...editor.querySelectorAll('.cm-stepToken')].map((mark) => mark.textContent).join(''),
      reduced: [...editor.querySelectorAll('.cm-stepReduced')].map((mark) => mark.textContent).join(''),
    };
  });

// Presses `key` in the Steps pane; waits until the step and its stack are shown.
async function step(page, key) {
  await page.keyboard.press(key);
  await page.waitForFunction(
    () => {
      const shown = document.getElementById('steps-pane').dataset;
      const compiled = document.getElementById('status').dataset.compileId;
      return shown.compileId === compiled && shown.pending === 'no' && shown.shownTaken === shown.taken && shown.kind !== '';
    },
    { timeout: 20000, polling: 5 },
  );
}

const squeezed = (text) => text.replace(/\s+/g, '');

// Forward, each step's stack follows from the one before: a shift pushes the
// token marked in the source, a reduction replaces its right side by its left
// side, covering the bytes marked; back, each step shows again what it showed
// going forward; the last step of each example accepts, its tree the report's.
async function checkSteps(page) {
  let before = await shownId(page);
  await page.select('#examples', 'gcd');
  await waitForShown(page, before);
  await page.focus('#steps');
  await step(page, 'Home');
  const forward = [await stepsState(page)];
  const wrong = [];
  for (let taken = 1; taken <= 70; taken++) {
    await step(page, 'ArrowRight');
    const state = await stepsState(page);
    const previous = forward[taken - 1].stackSize;
    const top = state.stack[state.stack.length - 1] ?? '';
    const reduction = /^reduce by rule \d+ \((\w+) -> (.*?)\)(,| without)/.exec(state.action);
    if (state.taken !== String(taken)) wrong.push(`step ${taken} shown as ${state.taken}`);
    else if (state.kind === 'shift') {
      if (state.stackSize !== previous + 1 || !state.token || !top.endsWith(`: ${state.token}`)) wrong.push(`shift ${taken}: ${JSON.stringify(state)}`);
    } else if (state.kind === 'reduce' && reduction) {
      const rightSide = reduction[2] === '(empty)' ? 0 : reduction[2].split(' ').length;
      const covered = top.includes(': ') ? top.slice(top.indexOf(': ') + 2) : '';
      if (state.stackSize !== previous - rightSide + 1 || !top.startsWith(`${reduction[1]},`) || squeezed(covered) !== squeezed(state.reduced)) {
        wrong.push(`reduce ${taken}: ${JSON.stringify(state)}`);
      }
    } else wrong.push(`step ${taken}: ${state.kind}, ${state.action}`);
    forward.push(state);
  }
  check('steps: each stack follows from the one before', wrong.length === 0, wrong.slice(0, 2).join('; '));
  const back = [];
  for (let taken = 69; taken >= 0; taken--) {
    await step(page, 'ArrowLeft');
    const state = await stepsState(page);
    const same = (a, b) => a.taken === b.taken && a.action === b.action && JSON.stringify(a.stack) === JSON.stringify(b.stack) && a.tree === b.tree;
    if (!same(state, forward[taken])) back.push(`step ${taken}: ${JSON.stringify(state)} against ${JSON.stringify(forward[taken])}`);
  }
  check('steps: going back shows each step as going forward did', back.length === 0, back.slice(0, 1).join('; '));

  for (const name of ['gcd', 'countdown', 'for_forms', 'leap_year']) {
    before = await shownId(page);
    await page.select('#examples', name);
    const shown = await waitForShown(page, before);
    await page.focus('#steps');
    await step(page, 'Home');  // once the pane has the new compile's parse
    await step(page, 'End');
    const state = await stepsState(page);
    check(`steps, ${name}: the last step accepts`, state.kind === 'accept' && state.action.startsWith('accept') && state.taken === state.total, JSON.stringify(state).slice(0, 300));
    const report = shown.report.slice(shown.report.indexOf('(') - 1, shown.report.indexOf('\n\nTotal No Of Lines:'));
    check(`steps, ${name}: its tree is the report's`, squeezed(state.tree) === squeezed(report), `${state.tree.slice(0, 80)} against ${report.slice(0, 80)}`);
  }
  // Buttons step too; a syntax error's parse ends in its error.
  await page.click('#step-back');
  await page.waitForFunction(() => document.getElementById('steps-pane').dataset.shownTaken === String(Number(document.getElementById('steps-pane').dataset.total) - 1));
  check('steps: the back button steps back', (await stepsState(page)).kind !== 'accept');
  await selectAllAndType(page, 'int main() { x = 3 + ; }');
  await page.focus('#steps');
  await step(page, 'End');
  const state = await stepsState(page);
  check('steps: a syntax error ends its parse', state.kind === 'error' && state.action.startsWith('error: expecting') && state.token === ';', JSON.stringify(state).slice(0, 300));
  check('steps: no errors', page.problems.length === 0, page.problems.join('; '));
}

// The time to show a step of a 1,000-line program's parse: the last, reached
// by running the parse to its end; steps back from it, the first of which
// runs the parse again; steps forward, fetched in blocks.
async function measureSteps(page, scratch) {
  await loadFile(page, thousandLines(scratch));
  await page.focus('#steps');
  const timed = async (key) => {
    const started = Date.now();
    await step(page, key);
    return Date.now() - started;
  };
  const last = await timed('End');
  const state = await stepsState(page);
  check('steps, 1,000 lines: the last step accepts', state.kind === 'accept', state.kind);
  const back = [];
  for (let i = 0; i < 9; i++) back.push(await timed('ArrowLeft'));
  await step(page, 'Home');
  const forward = [];
  for (let i = 0; i < 9; i++) forward.push(await timed('ArrowRight'));
  const median = (times) => [...times].sort((a, b) => a - b)[Math.floor(times.length / 2)];
  console.log(
    `1,000-line program's parse (${Number(state.total).toLocaleString('en')} steps): the last step shown in ${last} ms; ` +
      `a step back from it median ${median(back)} ms (${back.join(', ')}); a step forward from the start median ${median(forward)} ms (${forward.join(', ')})`,
  );
}

// --- Links, edits, the editor, keys, accessibility, phones ----------------------

// A deterministic stream of pseudo-random bytes (xorshift32).
function pseudoRandomBytes(length, seed) {
  const bytes = Buffer.alloc(length);
  let x = seed >>> 0 || 1;
  for (let i = 0; i < length; i++) {
    x ^= x << 13;
    x ^= x >>> 17;
    x ^= x << 5;
    x >>>= 0;
    bytes[i] = x & 0xff;
  }
  return bytes;
}

// Downloads from `page` go to `dir`; returns a function that waits for a file there.
async function allowDownloads(page, dir) {
  fs.mkdirSync(dir, { recursive: true });
  const session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: dir });
  return async (name) => {
    const file = path.join(dir, name);
    for (let i = 0; i < 200 && !fs.existsSync(file); i++) await new Promise((resolve) => setTimeout(resolve, 50));
    const bytes = fs.existsSync(file) ? fs.readFileSync(file) : null;
    if (bytes) fs.rmSync(file);
    return bytes;
  };
}

const pageState = (page) =>
  page.evaluate(() => ({
    source: document.body.dataset.source,
    menu: document.getElementById('examples').value,
    menuOptions: [...document.getElementById('examples').options].map((o) => o.value),
    notice: document.getElementById('notice').textContent,
    hash: location.hash,
  }));

const focusEditor = (page) => page.evaluate(() => document.getElementById('editor').shadowRoot.querySelector('.cm-content').focus());

async function selectAllAndType(page, text) {
  const before = await shownId(page);
  await focusEditor(page);  // a click could miss the text of a long program
  await page.keyboard.down('Control');
  await page.keyboard.press('a');
  await page.keyboard.up('Control');
  await page.keyboard.type(text);
  return waitForShown(page, before);
}

// Links that can't be read say why, keep their fragment and show no program
// of theirs; old links, padded or in standard base64, still open.
async function checkLinkForms(browser, base) {
  const program = 'int main() { x = 1; }\n';
  const deflated = zlib.deflateRawSync(Buffer.from(program)).toString('base64url');
  const bad = [
    ['misspelt key', `#prog=${deflated}`],
    ['character outside the alphabet', `#deflate=${deflated.slice(0, 5)}!${deflated.slice(5)}`],
    ['cut-off compressed program', `#deflate=${deflated.slice(0, deflated.length - 6)}`],
    ['half a byte', '#program=A'],
    ['not compressed', `#deflate=${Buffer.from('plain text, not deflated at all').toString('base64url')}`],
  ];
  for (const [name, hash] of bad) {
    const page = await openPage(browser, base + hash);
    const state = await pageState(page);
    check(`bad link, ${name}: says why`, state.notice.startsWith("This link's program could not be opened."), state.notice);
    check(`bad link, ${name}: keeps the fragment`, state.hash === hash, state.hash);
    check(`bad link, ${name}: opens nothing of its own`, state.source !== 'link' && !state.menuOptions.includes(':link'));
    check(`bad link, ${name}: no errors`, page.problems.length === 0, page.problems.join('; '));
    await page.close();
  }
  const standard = Buffer.from(program).toString('base64');
  for (const hash of [`#program=${standard}`, `#program=${standard.replace(/=/g, '%3D')}`, `#deflate=${deflated}`]) {
    const page = await openPage(browser, base + hash);
    check(`link ${hash.slice(0, 16)}…${hash.slice(-4)}: opens`, (await editorText(page)) === program, await editorText(page));
    check(`link ${hash.slice(0, 16)}…: source`, (await pageState(page)).source === 'link');
    await page.close();
  }
}

// A 1 MB program of text and raw bytes: its link holds it byte for byte,
// opens it byte for byte (saved back as a file), and says "Copied".
async function checkLargeLink(browser, page, base, scratch) {
  await browser.defaultBrowserContext().overridePermissions(base.replace(/\/$/, ''), ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
  const line = 'int main() { int a = 1; while (a < 100) a = a * 2 + 1; }\n';
  const text = Buffer.from(line.repeat(Math.ceil((512 << 10) / line.length))).subarray(0, 512 << 10);
  const program = Buffer.concat([text, pseudoRandomBytes(512 << 10, 23)]);
  const file = path.join(scratch, 'one_megabyte.c');
  fs.writeFileSync(file, program);
  await loadFile(page, file);
  const started = Date.now();
  await page.click('#share');
  await page.waitForFunction(() => /^(Copied|Select)/.test(document.getElementById('share-note').textContent), { timeout: 60000 });
  const madeMs = Date.now() - started;
  const url = await page.$eval('#share-url', (input) => input.value);
  const note = await page.$eval('#share-note', (element) => element.textContent);
  check('1 MB link: "Copied"', note === 'Copied', note);
  check('1 MB link: in the address', (await page.evaluate(() => location.href)) === url);
  const fragment = /#deflate=([A-Za-z0-9_-]+)$/.exec(url);
  const decoded = fragment ? zlib.inflateRawSync(Buffer.from(fragment[1], 'base64url')) : Buffer.alloc(0);
  check('1 MB link: holds the bytes', decoded.equals(program), `${decoded.length} bytes decoded`);
  console.log(`1 MB program (half raw bytes): a link of ${url.length.toLocaleString('en')} characters, made and copied in ${madeMs} ms`);

  const opened = await openPage(browser, url);
  const downloaded = await allowDownloads(opened, path.join(scratch, 'downloads'));
  await opened.click('#save-program');
  const saved = await downloaded('program.c');
  check('1 MB link: opens byte for byte', saved !== null && saved.equals(program), saved ? `${saved.length} bytes` : 'not saved');
  const report = (await shownResult(opened)).report;
  await opened.keyboard.down('Control');
  await opened.keyboard.press('s');
  await opened.keyboard.up('Control');
  const savedReport = await downloaded('report.txt');
  check('Ctrl+S saves the report', savedReport !== null && savedReport.toString('latin1') === report);
  check('1 MB link: no errors', opened.problems.length === 0, opened.problems.join('; '));
  await opened.close();
}

// A 3 MB program is too large for a link: the page says so, offers to save
// it, and answers meanwhile.
async function checkTooLargeLink(page, scratch) {
  const file = path.join(scratch, 'three_megabytes.c');
  fs.writeFileSync(file, pseudoRandomBytes(3 << 20, 7));
  await loadFile(page, file);
  const addressBefore = await page.evaluate(() => location.href);
  await page.click('#share');
  let answers = 0;
  let slowest = 0;
  const started = Date.now();
  for (;;) {
    const asked = Date.now();
    const notice = await page.$eval('#notice', (element) => element.textContent);
    slowest = Math.max(slowest, Date.now() - asked);
    answers++;
    if (notice.includes('too large to share as a link') || Date.now() - started > 60000) break;
  }
  const state = await page.evaluate(() => ({
    notice: document.getElementById('notice').textContent,
    offer: [...document.querySelectorAll('#notice button')].map((b) => b.textContent),
    shareBoxHidden: document.getElementById('share-box').hidden,
    address: location.href,
  }));
  check('3 MB link: too large to share', state.notice.includes('too large to share as a link'), state.notice);
  check('3 MB link: offers to save the program', JSON.stringify(state.offer) === '["Save program"]', JSON.stringify(state.offer));
  check('3 MB link: no link shown or put in the address', state.shareBoxHidden && state.address === addressBefore);
  console.log(`3 MB program: "too large to share" after ${Date.now() - started} ms; the page answered ${answers} times meanwhile, the slowest in ${slowest} ms`);
}

// Your edits are kept: opening a link shows its program and leaves them, a
// reload keeps what was edited last, and the previous program stays in the menu.
async function checkEditsKept(browser, base) {
  const mine = 'int main() { mine = 1; }';
  const shared = 'int main() { shared = 2; }\n';
  const page = await openPage(browser, base);
  await selectAllAndType(page, mine);
  check('edits: become your program', (await pageState(page)).source === 'mine');
  const linkUrl = `${base}#deflate=${zlib.deflateRawSync(Buffer.from(shared)).toString('base64url')}`;
  const linked = await openPage(browser, linkUrl);
  let state = await pageState(linked);
  check('edits: the link shows its program', (await editorText(linked)) === shared && state.source === 'link' && state.menu === ':link');
  check('edits: your program stays in the menu', state.menuOptions.includes(':mine'), JSON.stringify(state.menuOptions));
  await page.bringToFront();  // a page in the background draws no frames
  await page.reload();
  await waitForShown(page, 0);
  check('edits: kept after opening a link', (await editorText(page)) === mine, await editorText(page));
  await page.close();

  // Editing the linked program makes it yours; the one before is "previous".
  await linked.bringToFront();
  const before = await shownId(linked);
  await linked.click('#editor >>> .cm-content');
  await linked.keyboard.down('Control');
  await linked.keyboard.press('End');
  await linked.keyboard.up('Control');
  await linked.keyboard.type(' ');
  await waitForShown(linked, before);
  state = await pageState(linked);
  check('edits: editing a link makes it yours, and leaves the address', state.source === 'mine' && state.hash === '', JSON.stringify(state));
  await linked.reload();
  await waitForShown(linked, 0);
  state = await pageState(linked);
  check('edits: a reload keeps the edited link', (await editorText(linked)) === `${shared} ` && state.menu === ':mine', await editorText(linked));
  const previous = await shownId(linked);
  await linked.select('#examples', ':previous');
  await waitForShown(linked, previous);
  check('edits: the program before is "previous"', (await editorText(linked)) === mine, await editorText(linked));
  await linked.select('#examples', 'gcd');
  await linked.waitForFunction(() => document.body.dataset.source === 'example');
  state = await pageState(linked);
  check('edits: the menu names the example shown', state.menu === 'gcd', JSON.stringify(state));
  check('edits: no errors', linked.problems.length === 0, linked.problems.join('; '));
  await linked.close();
}

// Indenting, dedenting on '}', bracket matching, colours, bytes shown as the
// report shows them, and the keys.
async function checkEditor(page, scratch) {
  await selectAllAndType(page, 'int main() {\nx = 1;\nwhile (x) {\nx = 0;\n}\n}');
  check('editor: indents and dedents on "}"', (await editorText(page)) === 'int main() {\n  x = 1;\n  while (x) {\n    x = 0;\n  }\n}', await editorText(page));
  const marks = await page.evaluate(() => {
    const editor = document.getElementById('editor').shadowRoot;
    const colourOf = (word) => {
      const span = [...editor.querySelectorAll('.cm-line span')].find((s) => s.textContent === word);
      return span ? getComputedStyle(span).color : '';
    };
    return {
      brackets: editor.querySelectorAll('.cm-matchingBracket').length,
      colours: ['int', 'while', 'x', '1'].map(colourOf),
    };
  });
  check('editor: the brackets at the cursor match', marks.brackets === 2, String(marks.brackets));
  check('editor: keywords, names and numbers coloured apart', new Set(marks.colours).size >= 3 && !marks.colours.includes(''), JSON.stringify(marks.colours));

  const file = path.join(scratch, 'bytes.c');
  fs.writeFileSync(file, Buffer.from('int\0main\r\x01\xff', 'latin1'));
  await loadFile(page, file);
  const boxes = await page.evaluate(() => [...document.getElementById('editor').shadowRoot.querySelectorAll('.cm-specialChar')].map((b) => b.textContent));
  check('editor: NUL, CR and other bytes shown as the report shows them', JSON.stringify(boxes) === '["00","0D","01","FF"]', JSON.stringify(boxes));
  // Undo stays within the program loaded: it never brings back the one before.
  await focusEditor(page);
  await page.keyboard.down('Control');
  await page.keyboard.press('z');
  await page.keyboard.up('Control');
  const afterUndo = await page.evaluate(() => document.getElementById('editor').shadowRoot.querySelector('.cm-content').textContent);
  check('editor: undo does not go back past a loaded program', afterUndo === 'int00main0D01FF', JSON.stringify(afterUndo));

  // '?' outside the editor lists the keys; Esc closes the list.
  await page.click('h1');
  await page.keyboard.press('?');
  check('keys: "?" lists the shortcuts', await page.$eval('#keys-dialog', (dialog) => dialog.open));
  await page.keyboard.press('Escape');
  check('keys: Esc closes the list', !(await page.$eval('#keys-dialog', (dialog) => dialog.open)));
  // Ctrl+Enter compiles without waiting for the pause.
  const before = await shownId(page);
  await page.click('#editor >>> .cm-content');
  await page.keyboard.type(' ');
  await page.keyboard.down('Control');
  await page.keyboard.press('Enter');
  await page.keyboard.up('Control');
  const status = await page.evaluate(() => ({ ...document.getElementById('status').dataset }));
  check('keys: Ctrl+Enter compiles at once', Number(status.compileId) > before || status.state === 'compiling', JSON.stringify(status));
  await waitForShown(page, before);
  // Esc, then Tab, leaves the editor.
  await page.keyboard.press('Escape');
  await page.keyboard.press('Tab');
  check('keys: Esc, Tab leaves the editor', await page.evaluate(() => document.activeElement !== document.getElementById('editor')));
}

// Every control in the header is reached with Tab, the file input included.
async function checkKeyboardReach(browser, base) {
  const page = await openPage(browser, base);
  const reached = [];
  for (let i = 0; i < 14; i++) {
    await page.keyboard.press('Tab');
    reached.push(await page.evaluate(() => document.activeElement?.id || document.activeElement?.tagName));
  }
  const controls = ['examples', 'open-file', 'save-program', 'share', 'save-report', 'theme', 'show-keys'];
  const missing = controls.filter((id) => !reached.includes(id));
  check('keyboard: every header control is reached with Tab', missing.length === 0, `missing ${missing.join(', ')}; reached ${reached.join(', ')}`);
  await page.close();
}

// axe-core finds no serious or critical violation, in the light and dark themes.
async function checkAccessibility(page) {
  const before = await shownId(page);
  await page.select('#examples', 'gcd');
  await waitForShown(page, before);
  await cursorToLine(page, 5);  // the linked code and nodes lit, in each theme's colours
  await page.focus('#steps');  // a stack drawn, a reduction lit
  for (let i = 0; i < 13; i++) await step(page, 'ArrowRight');
  const axeSource = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
  await page.evaluate(axeSource);  // through the driver, which the page's policy does not govern
  for (const theme of ['light', 'dark']) {
    await page.select('#theme', theme);
    const violations = await page.evaluate(async () => {
      const results = await window.axe.run(document, { resultTypes: ['violations'] });
      return results.violations
        .filter((v) => v.impact === 'serious' || v.impact === 'critical')
        .map((v) => `${v.id} (${v.impact}) at ${v.nodes.slice(0, 3).map((n) => JSON.stringify(n.target)).join(', ')}`);
    });
    check(`accessibility, ${theme}: no serious or critical violation`, violations.length === 0, violations.join('; '));
  }
  const alternative = await page.evaluate(() => document.querySelector('#tree svg')?.getAttribute('aria-label') || '');
  check('accessibility: the tree picture has the printed tree as its text', alternative.includes('('), alternative.slice(0, 80));
  await page.select('#theme', 'system');
  // "System" follows the system's setting as it changes.
  const themes = [];
  for (const value of ['dark', 'light']) {
    await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value }]);
    await page.waitForFunction((v) => document.documentElement.dataset.theme === v, { timeout: 5000 }, value).catch(() => {});
    themes.push(await page.evaluate(() => document.documentElement.dataset.theme));
  }
  check('theme: follows the system', JSON.stringify(themes) === '["dark","light"]', JSON.stringify(themes));
}

// On a phone: the status and the error stand just below the program, the
// tree's labels are large enough to read, and the Steps tab shows the parse.
async function checkPhone(browser, base, scratch) {
  const phone = { width: 390, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 1 };
  const page = await openPage(browser, base, phone);
  const before = await shownId(page);
  await page.select('#examples', 'gcd');
  await waitForShown(page, before);
  const label = await page.evaluate(() => {
    const text = document.querySelector('#tree svg g.node text');
    return text ? text.getBoundingClientRect().height : 0;
  });
  check('phone: tree labels readable', label >= 11, `${label.toFixed(1)} px`);
  const file = path.join(scratch, 'phone_error.c');
  fs.writeFileSync(file, 'int main() {\n  a = a + ;\n}\n');
  await loadFile(page, file);
  const layout = await page.evaluate(() => {
    const box = (id) => {
      const { top, bottom } = document.getElementById(id).getBoundingClientRect();
      return { top, bottom };
    };
    return { editor: box('editor'), status: box('status'), messages: box('messages'), text: document.getElementById('messages').textContent };
  });
  check('phone: the error is shown', layout.text === 'Line: 2 ;syntax error\n', layout.text);
  check(
    'phone: status and error just below the program, on the first screen',
    layout.status.top >= layout.editor.bottom && layout.status.top - layout.editor.bottom < 60 && layout.messages.bottom <= phone.height,
    JSON.stringify(layout),
  );
  // The Steps tab shows the pane, its stack wrapped within the screen's width.
  await page.click('#tab-steps');
  await page.click('#step-last');  // the error at ';'
  await page.waitForFunction(() => document.getElementById('steps-pane').dataset.kind === 'error', { timeout: 10000 }).catch(() => {});
  await page.click('#step-back');
  await page.waitForFunction(() => {
    const shown = document.getElementById('steps-pane').dataset;
    return shown.pending === 'no' && Number(shown.shownTaken) === Number(shown.total) - 1;
  }, { timeout: 10000 }).catch(() => {});
  const steps = await page.evaluate(() => {
    const pane = document.getElementById('steps-pane').getBoundingClientRect();
    const stack = document.getElementById('stack');
    return { height: pane.height, shown: document.getElementById('steps-pane').dataset.shownTaken, total: Number(document.getElementById('steps-pane').dataset.total), entries: stack.children.length, overflow: stack.scrollWidth - stack.clientWidth, tree: document.getElementById('tree-pane').getBoundingClientRect().height };
  });
  check('phone: the Steps tab shows the parse, the stack within the screen', steps.height > 300 && steps.shown === String(steps.total - 1) && steps.entries > 1 && steps.overflow <= 0 && steps.tree === 0, JSON.stringify(steps));
  await page.click('#tab-tree');
  if (options['phone-screenshot']) {
    await page.screenshot({ path: options['phone-screenshot'] });
    console.log(`phone screenshot: ${options['phone-screenshot']}`);
  }
  check('phone: no errors', page.problems.length === 0, page.problems.join('; '));
  await page.close();
}

// The time a user waits: from the last keystroke (the pause included) to the
// page showing the 1,000-line program's report, its code linked to the line
// at the cursor, and the tree of the statement there drawn.
async function measureTyping(page, scratch) {
  await loadFile(page, thousandLines(scratch));
  await focusEditor(page);
  await page.keyboard.down('Control');
  await page.keyboard.press('End');
  await page.keyboard.up('Control');
  await page.keyboard.press('ArrowUp');  // from the empty last line, past the '}'
  await page.keyboard.press('ArrowUp');
  await page.keyboard.press('End');
  const times = [];
  for (let i = 0; i < 5; i++) {
    const before = await shownId(page);
    await page.keyboard.press(i % 2 ? 'Backspace' : 'Space');
    const shown = await waitForShown(page, before);
    times.push(Number(await page.evaluate(() => document.body.dataset.sinceKeyMs)));
    const state = await linkedState(page);
    check('typing, 1,000 lines: linked and drawn by statement', shown.treeView === 'statement' && state.tree.firstLine === '999' && state.code.length > 0, JSON.stringify(state.tree));
  }
  const sorted = [...times].sort((a, b) => a - b);
  console.log(
    `1,000-line program, from the last keystroke to the report, the linked panes and the statement's tree drawn ` +
      `(150 ms pause included): median ${sorted[2]} ms (${times.join(', ')} ms)`,
  );
}

async function main() {
  const site = path.resolve(options.site);
  const server = await serve(site);
  const base = `http://127.0.0.1:${server.address().port}/`;
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'r1c-browser-test-'));
  const browser = await puppeteer.launch({
    executablePath: options.chromium,
    headless: true,
    userDataDir: path.join(scratch, 'profile'),
    args: [
      '--headless=new',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
  try {
    const page = await openPage(browser, base);
    if (options.screenshot) {
      await page.select('#examples', 'gcd');
      await page.waitForFunction(() => document.getElementById('tree').dataset.state === 'drawn' &&
        document.getElementById('editor').shadowRoot.querySelector('.cm-content').textContent.includes('1071'));
      await cursorToLine(page, 5);  // "b = a % b;", its code and nodes lit
      await page.waitForFunction(() => document.querySelectorAll('#code .code-line.linked').length > 0, { timeout: 5000 }).catch(() => {});
      await page.screenshot({ path: options.screenshot });
      console.log(`screenshot: ${options.screenshot}`);
    }
    if (options['steps-screenshot']) {
      // The Steps pane at the reduction of "a % b" on line 5.
      await page.focus('#steps');
      for (let i = 0; i < 400 && !(await stepsState(page)).action.includes('mul_expr -> mul_expr MULOP unary'); i++) await step(page, 'ArrowRight');
      await page.screenshot({ path: options['steps-screenshot'] });
      console.log(`steps screenshot: ${options['steps-screenshot']}`);
      await step(page, 'Home');
    }
    await checkCases(page, scratch);
    await checkLinkedPanes(page, scratch);
    await checkErrorLine(page, scratch);
    await checkDiagnostics(page, scratch);
    await checkSteps(page);
    await checkTyping(page);
    await checkSharedLink(browser, page, scratch);
    await checkLinkForms(browser, base);
    await checkLargeLink(browser, page, base, scratch);
    await page.bringToFront();  // a page in the background draws no frames
    await checkTooLargeLink(page, scratch);
    await checkEditsKept(browser, base);
    await page.bringToFront();
    await checkEditor(page, scratch);
    await checkKeyboardReach(browser, base);
    await page.bringToFront();
    await checkAccessibility(page);
    await checkPhone(browser, base, scratch);
    await page.bringToFront();
    await checkUntrustedPrograms(browser, base);
    await measureUpdates(page, scratch);
    await measureTyping(page, scratch);
    await measureSteps(page, scratch);
    await checkLargePrograms(page, scratch);
    check('page: no errors', page.problems.length === 0, page.problems.join('; '));
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(scratch, { recursive: true, force: true });
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

main().catch((error) => {
  console.log(error.stack || error);
  process.exit(1);
});
