// Bundles the page's scripts, each with the modules it imports, into the
// site folder: node bundle.cjs SOURCE_DIR SITE_DIR (npm packages on NODE_PATH).
const path = require('path');
const esbuild = require('esbuild');

const [sourceDir, siteDir] = process.argv.slice(2);
esbuild.buildSync({
  entryPoints: ['page.js', 'compile_worker.js', 'draw_worker.js', 'link_worker.js'].map((name) => path.join(sourceDir, name)),
  bundle: true,
  minify: true,
  format: 'iife',
  target: 'es2022',
  outdir: siteDir,
  nodePaths: (process.env.NODE_PATH || '').split(path.delimiter).filter(Boolean),
  logLevel: 'warning',
});
