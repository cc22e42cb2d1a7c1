// Bundles the page's scripts, each with the modules it imports, into the
// site folder: node bundle.cjs SOURCE_DIR SITE_DIR [INPUTS_JSON] (npm packages
// on NODE_PATH). INPUTS_JSON receives the files bundled, for the notice of
// third-party software (notices.cjs).
const fs = require('fs');
const path = require('path');
const esbuild = require('esbuild');

const [sourceDir, siteDir, inputsPath] = process.argv.slice(2);
const result = esbuild.buildSync({
  entryPoints: ['page.js', 'compile_worker.js', 'draw_worker.js', 'link_worker.js'].map((name) => path.join(sourceDir, name)),
  bundle: true,
  minify: true,
  format: 'iife',
  target: 'es2022',
  outdir: siteDir,
  nodePaths: (process.env.NODE_PATH || '').split(path.delimiter).filter(Boolean),
  logLevel: 'warning',
  metafile: true,
});
if (inputsPath) {
  const inputs = Object.keys(result.metafile.inputs);
  fs.writeFileSync(inputsPath, JSON.stringify({ workingDir: process.cwd(), inputs }, null, 1) + '\n');
}
