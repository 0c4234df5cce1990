// Drives the browser build (build/web) in headless Debian chromium through puppeteer-core:
// the headless checksums against the native ones, the live page (start screen, a scene, the
// audio clock, Escape), a missing data file, and no console errors.
//
//   node tests/web/web_test.js SITE_DIR REFERENCE_DIR OUT_DIR [--bench]
//
// REFERENCE_DIR holds checksums-60.txt, the lines of the exact native build's
// `brindlehop --headless --checksums --fps 60` (tests/reference.sh); screenshots go to OUT_DIR.
'use strict';

const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [siteDir, referenceDir, outDir] = process.argv.slice(2);
const nativeFile = referenceDir && path.join(referenceDir, 'checksums-60.txt');
const benchOnly = process.argv.includes('--bench');
if (!siteDir || !referenceDir || !outDir) {
  console.error('usage: node web_test.js SITE_DIR REFERENCE_DIR OUT_DIR [--bench]');
  process.exit(2);
}
fs.mkdirSync(outDir, { recursive: true });

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.txt': 'text/plain', '.jpg': 'image/jpeg', '.ogg': 'audio/ogg' };

// A static server of the site; names in `hidden` answer 404, as a broken upload would, and
// names in `garbled` answer these bytes instead of the file's.
function serve(root, hidden, garbled = new Map()) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(path.resolve(root), name.endsWith('/') ? name + 'index.html' : name);
    if (!file.startsWith(path.resolve(root)) || hidden.has(name) || !fs.existsSync(file) ||
        fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end('not found');
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
    if (garbled.has(name)) {
      response.end(garbled.get(name));
      return;
    }
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

function findChromium() {
  for (const candidate of [process.env.CHROMIUM, '/usr/bin/chromium', '/usr/bin/chromium-browser']) {
    if (candidate && fs.existsSync(candidate)) return candidate;
  }
  throw new Error('no chromium found (apt-get install chromium, or set CHROMIUM)');
}

let failures = 0;
let passes = 0;
function check(ok, what) {
  console.log((ok ? 'ok   ' : 'FAIL ') + what);
  if (ok) passes++;
  else failures++;
}

// A page that records its console; errors are kept apart.
async function openPage(browser, url) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 900 });
  const log = { lines: [], errors: [] };
  page.on('console', (message) => {
    const text = message.text();
    if (message.type() === 'error') log.errors.push(text);
    log.lines.push(text);
  });
  page.on('pageerror', (error) => log.errors.push('page error: ' + error.message));
  await page.goto(url, { waitUntil: 'load' });
  return { page, log };
}

async function waitFor(what, test, seconds) {
  const end = Date.now() + seconds * 1000;
  while (Date.now() < end) {
    if (await test()) return true;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  throw new Error('timed out waiting for ' + what);
}

async function headlessChecksums(browser, base) {
  const native = fs.readFileSync(nativeFile, 'utf8').split('\n').filter((l) => l.startsWith('frame '));
  const started = Date.now();
  const { page, log } = await openPage(browser, base + '/index.html?headless&fps=60');
  await waitFor('the headless run', () => log.lines.some((l) => l.startsWith('brindlehop: exit')), 300);
  const web = log.lines.filter((l) => l.startsWith('frame '));
  fs.writeFileSync(path.join(outDir, 'web_checksums.txt'), web.join('\n') + '\n');
  const known = new Set(fs.readFileSync(path.join(__dirname, 'known_differences.txt'), 'utf8')
    .split('\n').filter((l) => /^[0-9]+$/.test(l)).map((l) => 'frame ' + l + ' '));
  let explained = 0;
  let unexplained = 0;
  for (let i = 0; i < Math.max(native.length, web.length); ++i) {
    if (native[i] === web[i]) continue;
    const frame = (native[i] || web[i] || '').split(' ').slice(0, 2).join(' ') + ' ';
    // A known frame may differ in its checksum only: same time, same scene.
    const sameMoment = native[i] && web[i] &&
      native[i].replace(/crc32 \S+$/, '') === web[i].replace(/crc32 \S+$/, '');
    if (known.has(frame) && sameMoment) {
      explained++;
      continue;
    }
    if (unexplained < 10) console.log('  native: ' + native[i] + '\n  web:    ' + web[i]);
    unexplained++;
  }
  check(native.length > 5000, 'the native run gave every frame at 60 fps (' + native.length + ')');
  check(web.length === native.length && unexplained === 0,
        `headless checksums equal the native ones: ${web.length} frames, ${unexplained} differ, ` +
        `${explained} known differences (${((Date.now() - started) / 1000).toFixed(1)} s)`);
  check(log.lines.includes('brindlehop: exit 0'), 'the headless run ends with status 0');
  check(log.errors.length === 0, 'no console errors in the headless run ' + JSON.stringify(log.errors));
  await page.close();
}

// The 29 frames tests/frames_test.cpp locks (at 10 fps), taken from the browser.
async function lockedFrames(browser, base) {
  const source = fs.readFileSync(path.join(__dirname, '..', 'frames_test.cpp'), 'utf8');
  const table = source.slice(source.indexOf('kLocked[] = {'), source.indexOf('};', source.indexOf('kLocked[] = {')));
  const locked = [...table.matchAll(/\{(\d+), 0x([0-9a-f]{8})\}/g)].map((m) => [m[1], m[2]]);
  const at = locked.map(([frame]) => (Number(frame) / 10).toFixed(1)).join(',');
  const { page, log } = await openPage(browser, base + '/index.html?headless&fps=10&at=' + at);
  await waitFor('the locked frames', () => log.lines.some((l) => l.startsWith('brindlehop: exit')), 120);
  const web = new Map(log.lines.filter((l) => l.startsWith('frame '))
    .map((l) => [l.split(' ')[1], l.split(' ').pop()]));
  const wrong = locked.filter(([frame, crc]) => web.get(frame) !== crc);
  check(locked.length === 29 && wrong.length === 0,
        `the ${locked.length} locked frames come out of the browser to the bit` +
        (wrong.length ? ': wrong ' + wrong.map(([f]) => f).join(', ') : ''));
  await page.close();
}

async function livePage(browser, base) {
  const { page, log } = await openPage(browser, base + '/index.html');
  await waitFor('the start screen', () => page.$eval('#prompt', (e) => e.textContent === 'Click to start'), 60);
  await page.screenshot({ path: path.join(outDir, 'start.png') });
  check(await page.$eval('#start h1', (e) => e.textContent === 'Brindlehop'), 'the start screen shows the title');

  await page.click('#start');
  await waitFor('the first frame', () => page.evaluate(() => window.brindlehop.stats.frames > 0), 20);
  const firstFrameMs = await page.evaluate(() => window.brindlehop.stats.firstFrameMs);
  console.log(`     first frame ${firstFrameMs.toFixed(0)} ms after the click`);
  // The clock: sampled over a second, it must move forward and never back.
  const heard = [];
  for (let i = 0; i < 20; ++i) {
    heard.push(await page.evaluate(() => window.brindlehop.heardSeconds()));
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  const monotonic = heard.every((t, i) => i === 0 || t >= heard[i - 1]);
  check(monotonic && heard[heard.length - 1] > heard[0],
        `the audio clock advances monotonically (${heard[0].toFixed(3)} s to ${heard[heard.length - 1].toFixed(3)} s)`);
  await new Promise((resolve) => setTimeout(resolve, 2000));
  await page.screenshot({ path: path.join(outDir, 'scene.png') });

  const view = await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const box = canvas.getBoundingClientRect();
    const pixels = canvas.getContext('2d').getImageData(0, 0, 512, 384).data;
    let lit = 0;
    for (let i = 0; i < pixels.length; i += 4) if (pixels[i] + pixels[i + 1] + pixels[i + 2] > 0) lit++;
    return { left: box.left, top: box.top, width: box.width, height: box.height,
             innerWidth: window.innerWidth, innerHeight: window.innerHeight, lit,
             rendering: getComputedStyle(canvas).imageRendering,
             frames: window.brindlehop.stats.frames };
  });
  const scale = view.width / 512;
  check(Number.isInteger(scale) && scale === Math.floor(Math.min(view.innerWidth / 512, view.innerHeight / 384)) &&
        view.height === 384 * scale, `the canvas is scaled by the largest whole multiple (${scale})`);
  check(Math.abs(view.left - (view.innerWidth - view.width) / 2) <= 1 &&
        Math.abs(view.top - (view.innerHeight - view.height) / 2) <= 1, 'the canvas is centred');
  check(view.rendering === 'pixelated', 'the pixels are drawn sharp (image-rendering: pixelated)');
  check(view.lit > 512 * 384 / 4, `the first scene is on the canvas (${view.lit} lit pixels, ${view.frames} frames)`);

  await page.keyboard.press('Escape');
  await waitFor('the start screen after Escape', () => page.$eval('#start', (e) => e.style.display !== 'none'), 10);
  const after = await page.evaluate(() => ({ running: window.brindlehop.running(), status: window.brindlehop.stats.exitStatus }));
  check(!after.running && after.status === 0, 'Escape ends the show and brings back the start screen');
  await page.screenshot({ path: path.join(outDir, 'after_escape.png') });

  // A second start works as the first did.
  await page.click('#start');
  await waitFor('a frame of the second run', () => page.evaluate(() => window.brindlehop.stats.frames > 10), 20);
  check(true, 'the show starts again after Escape');
  await page.keyboard.press('Escape');
  check(log.errors.length === 0, 'no console errors in the live page ' + JSON.stringify(log.errors));
  await page.close();
}

async function missingFile(browser) {
  const server = await serve(siteDir, new Set(['/data/tex.jpg']));
  const { page } = await openPage(browser, `http://127.0.0.1:${server.address().port}/index.html`);
  await waitFor('the failure', () => page.$eval('#message', (e) => e.textContent !== ''), 30);
  const text = await page.$eval('#message', (e) => e.textContent);
  check(text.includes('data/tex.jpg'), 'a data file that fails to load is named on the page: ' + text);
  await page.close();
  server.close();
}

// A file that loads but is no picture: the native asset check names it, before the show starts.
async function brokenFile(browser) {
  const server = await serve(siteDir, new Set(), new Map([['/data/tex.jpg', 'not a picture']]));
  const { page, log } = await openPage(browser, `http://127.0.0.1:${server.address().port}/index.html`);
  await waitFor('the start screen', () => page.$eval('#prompt', (e) => e.textContent === 'Click to start'), 60);
  await page.click('#start');
  await waitFor('the failure', () => page.$eval('#message', (e) => e.textContent !== ''), 30);
  const text = await page.$eval('#message', (e) => e.textContent);
  const state = await page.evaluate(() => ({ frames: window.brindlehop.stats.frames,
                                              status: window.brindlehop.stats.exitStatus }));
  check(text.includes('data/tex.jpg') && state.frames === 0 && state.status === 2,
        'a broken data file stops the show before its first frame, named on the page: ' + text);
  await page.screenshot({ path: path.join(outDir, 'broken_data.png') });
  check(log.errors.length === 0, 'a broken data file is no console error ' + JSON.stringify(log.errors));
  await page.close();
  server.close();
}

async function benchLines(browser, base) {
  const { page, log } = await openPage(browser, base + '/index.html?bench');
  await waitFor('the bench run', () => log.lines.some((l) => l.startsWith('brindlehop: exit')), 600);
  for (const line of log.lines) if (/^(scene|whole|bench)/.test(line)) console.log(line);
  await page.close();
}

(async () => {
  const server = await serve(siteDir, new Set());
  const base = `http://127.0.0.1:${server.address().port}`;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'brindlehop-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: findChromium(),
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--autoplay-policy=no-user-gesture-required', '--use-fake-ui-for-media-stream',
           '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
           `--user-data-dir=${profile}`],
  });
  try {
    if (benchOnly) {
      await benchLines(browser, base);
    } else {
      await headlessChecksums(browser, base);
      await lockedFrames(browser, base);
      await livePage(browser, base);
      await missingFile(browser);
      await brokenFile(browser);
    }
  } catch (e) {
    check(false, e.message);
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log(`web: ${passes} passed, ${failures} failed`);
  process.exit(failures === 0 ? 0 : 1);
})();
