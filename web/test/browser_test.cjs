// The playground in headless Chromium, served from a local static server:
//   node browser_test.cjs --site DIR --source DIR [--screenshot FILE] [--chromium PATH]
// For every example and end-to-end case, the page shows r1c's exact output,
// messages and status; the tree picture has one shape per tree node; errors
// mark their line; links restore programs; untrusted programs run nothing.
// Prints the time to compile and show a 1,000-line program (never asserted).
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const options = { chromium: '/usr/bin/chromium', screenshot: '' };
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
    return {
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

async function openPage(browser, url) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 860 });
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
    if (shown.treeState === 'drawn') {
      drawn++;
      const nodes = treeNodeCount(c.expect.stdout);
      check(`${c.name}: tree shapes`, shown.shapes === nodes, `${shown.shapes} shapes for ${nodes} nodes`);
    } else {
      const expected = treeNodeCount(c.expect.stdout) > 0 ? 'too-large' : 'none';
      check(`${c.name}: tree pane`, shown.treeState === expected, shown.treeState);
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
  const url = await page.$eval('#share-url', (input) => input.value);
  check('share: link holds the program', /#program=[A-Za-z0-9_-]+$/.test(url), url);
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
async function measureUpdates(page, scratch) {
  const lines = ['int main() {', '  int a = 1, b = 2, c = 3;'];
  while (lines.length < 999) lines.push(`  if (a < ${lines.length}) b = b + a * ${lines.length} - c; else c = c - 1;`);
  lines.push('}');
  const file = path.join(scratch, 'thousand_lines.c');
  fs.writeFileSync(file, lines.join('\n') + '\n');
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

  // The largest tree the page draws, for comparison.
  const small = ['int main() {', '  int a = 1;'];
  while (small.length < 32) small.push(`  if (a < ${small.length}) a = a + ${small.length}; else a = a - 1;`);
  small.push('}');
  fs.writeFileSync(file, small.join('\n') + '\n');
  const drawnTimes = [];
  for (let i = 0; i < 3; i++) {
    const shown = await loadFile(page, file);
    check('tree near the limit is drawn', shown.treeState === 'drawn', shown.treeState);
    drawnTimes.push(`${shown.updateMs} ms (${shown.shapes} nodes)`);
  }
  console.log(`33-line program, compile and draw its tree: ${drawnTimes.join(', ')}`);
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
      await page.screenshot({ path: options.screenshot });
      console.log(`screenshot: ${options.screenshot}`);
    }
    await checkCases(page, scratch);
    await checkErrorLine(page, scratch);
    await checkTyping(page);
    await checkSharedLink(browser, page, scratch);
    await checkUntrustedPrograms(browser, base);
    await measureUpdates(page, scratch);
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
