// Writes the one-file page: index.html with the program (brindlehop.js), the WebAssembly and the
// data files inside it, so that it plays when opened from disk, where a browser lets a page read
// no other file. The WebAssembly and the data go in as base64 in window.brindlehopBundle, which
// page.js takes instead of fetching.
//
//   node web/one_file.js SITE_DIR OUT_FILE MAX_BYTES
//
// SITE_DIR is the folder build (index.html, page.js, brindlehop.js and .wasm, data/ with its
// files.txt). Fails when the page would exceed MAX_BYTES.
'use strict';

const fs = require('fs');
const path = require('path');

const [siteDir, outFile, maxBytesText] = process.argv.slice(2);
if (!siteDir || !outFile || !maxBytesText) {
  console.error('usage: node one_file.js SITE_DIR OUT_FILE MAX_BYTES');
  process.exit(2);
}

function read(name) {
  return fs.readFileSync(path.join(siteDir, name));
}

// Script text goes inside <script> elements, where "</script" would end it early.
function inline(name) {
  const text = read(name).toString('utf8');
  if (/<\/script/i.test(text)) {
    console.error(`one_file: ${name} contains "</script", which cannot be inlined`);
    process.exit(1);
  }
  return '<script>\n' + text + '\n</script>';
}

const names = read('data/files.txt').toString('utf8').split('\n').filter((n) => n !== '');
const bundle = '{"wasm":' + JSON.stringify(read('brindlehop.wasm').toString('base64')) +
  ',"files":[' + names.map((n) => JSON.stringify([n, read('data/' + n).toString('base64')])).join(',\n') +
  ']}';

const html = read('index.html').toString('utf8');
const tag = '<script src="page.js"></script>';
if (!html.includes(tag)) {
  console.error(`one_file: ${path.join(siteDir, 'index.html')} has no ${tag}`);
  process.exit(1);
}
const page = html.replace(tag, () => [
  inline('brindlehop.js'),
  '<script>\nwindow.brindlehopBundle = ' + bundle + ';\n</script>',
  inline('page.js'),
].join('\n'));

const maxBytes = Number(maxBytesText);
const size = Buffer.byteLength(page);
if (size > maxBytes) {
  console.error(`one_file: ${outFile} would be ${size} bytes, more than the ${maxBytes} allowed`);
  process.exit(1);
}
fs.writeFileSync(outFile + '.part', page);
fs.renameSync(outFile + '.part', outFile);
console.log(`one_file: ${outFile}, ${(size / 1e6).toFixed(2)} MB`);
