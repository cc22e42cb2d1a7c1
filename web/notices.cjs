// Writes the page's third-party notice: every npm package whose code the
// page's scripts bundle, as the bundler's list of inputs names them, with its
// version, its licence and the licence's text, and what it says it was built
// from. node notices.cjs INPUTS_JSON LICENSE OUTPUT
//   INPUTS_JSON  written by bundle.cjs: the working directory and the input files
//   LICENSE      r1c's licence, whose MIT text stands in for a package that ships none
// The build fails on a package whose licence is not one of `allowed`, and on
// an embedded project (a package's provenance.json) not in `embedded`.
const fs = require('fs');
const path = require('path');

// Licences that let the page bundle and serve the code, minified, with this notice.
const allowed = new Set(['MIT', 'ISC', 'BSD-2-Clause', 'BSD-3-Clause', 'Apache-2.0', '0BSD']);

// Projects compiled into a package's WebAssembly, by the start of their
// archive's name: their licences, with the notices those ask for.
const embedded = {
  graphviz: {
    name: 'Graphviz',
    license: 'EPL-1.0',
    notice: 'Under the Eclipse Public License 1.0 (https://www.eclipse.org/legal/epl-v10.html),\n' +
      'provided without warranty of any kind; its contributors disclaim all liability\n' +
      'for damages. Its source code is at the address above.',
  },
  expat: {
    name: 'Expat',
    license: 'MIT',
    notice: 'Copyright (c) 1998-2000 Thai Open Source Software Center Ltd and Clark Cooper\n' +
      'Copyright (c) 2001 and later, the Expat maintainers (COPYING in its source)\n\n' + 'MIT_TEXT',
  },
};
// Build tools named in a provenance, whose code is not in the output.
const toolchains = /^pkg:docker\//;

const [inputsPath, licensePath, outputPath] = process.argv.slice(2);
const bundled = JSON.parse(fs.readFileSync(inputsPath, 'utf8'));

// The package directory of each input under node_modules (scoped or not).
const packageDirs = new Set();
for (const input of bundled.inputs) {
  const file = path.resolve(bundled.workingDir, input);
  const match = /^(.*[\\/]node_modules[\\/](?:@[^\\/]+[\\/])?[^\\/]+)[\\/]/.exec(file);
  if (match) packageDirs.add(match[1]);
}

// The MIT licence's text below its copyright line, from r1c's own LICENSE.
const mitText = fs.readFileSync(licensePath, 'utf8').split(/^Copyright .*$/m)[1].trim();

function licenseText(dir, license) {
  const file = fs.readdirSync(dir).find((name) => /^([a-z0-9]+-)?(licen[cs]e|copying)(\.|$)/i.test(name));
  if (file) return fs.readFileSync(path.join(dir, file), 'utf8').trim();
  // No licence file: the copyright lines of the package's banner comments, and
  // the licence's text where it is known.
  const copyrights = new Set();
  for (const input of bundled.inputs) {
    const inputPath = path.resolve(bundled.workingDir, input);
    if (!inputPath.startsWith(dir + path.sep)) continue;
    const banner = /^\/\*!([\s\S]*?)\*\//.exec(fs.readFileSync(inputPath, 'utf8'));
    for (const line of banner ? banner[1].split('\n') : []) {
      if (/^\s*Copyright\b/.test(line)) copyrights.add(line.trim());
    }
  }
  if (license !== 'MIT' || copyrights.size === 0) {
    throw new Error(`${dir}: no licence file, and no copyright line to go with the ${license} licence's text`);
  }
  return [...copyrights].join('\n') + '\n\n' + mitText;
}

// What a package says, in lib/provenance.json, it was built from: each
// project compiled in, with its licence's notice.
function builtFrom(dir) {
  const provenance = path.join(dir, 'lib', 'provenance.json');
  if (!fs.existsSync(provenance)) return [];
  const statement = JSON.parse(fs.readFileSync(provenance, 'utf8'));
  const parts = [];
  for (const { uri } of statement.predicate.buildDefinition.resolvedDependencies || []) {
    if (toolchains.test(uri)) continue;
    const archive = uri.split('/').pop();
    const key = Object.keys(embedded).find((name) => archive.toLowerCase().startsWith(name));
    if (!key) throw new Error(`${dir}: embeds ${uri}, whose licence is not known here (web/notices.cjs)`);
    const { name, license, notice } = embedded[key];
    parts.push(`Compiled into it: ${name} (${license}), from\n${uri}\n\n${notice.replace('MIT_TEXT', mitText)}`);
  }
  return parts;
}

const sections = [];
for (const dir of [...packageDirs].sort()) {
  const info = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));
  const license = typeof info.license === 'object' ? info.license.type : info.license;
  if (!allowed.has(license)) throw new Error(`${info.name} ${info.version}: licence ${license} is not one the page may bundle`);
  sections.push([`${info.name} ${info.version} (${license})\n\n${licenseText(dir, license)}`, ...builtFrom(dir)].join('\n\n'));
}

const rule = '-'.repeat(79);
const text = [
  'Third-party software in the r1c playground',
  '',
  'r1c is free software under the MIT licence (LICENSE.txt). The page\'s scripts',
  'bundle the npm packages below, each under its own licence, reproduced here.',
  'r1c_playground.js and .wasm are r1c compiled with Emscripten, which links in',
  'its runtime and system libraries: Emscripten\'s (MIT or University of',
  'Illinois/NCSA), musl libc (MIT), and LLVM\'s libc++, libc++abi and compiler-rt',
  '(Apache-2.0 WITH LLVM-exception, or NCSA and MIT in older releases).',
  '',
  ...sections.map((section) => rule + '\n' + section + '\n'),
].join('\n');
fs.writeFileSync(outputPath, text);
