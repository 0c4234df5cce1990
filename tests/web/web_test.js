// Drives the browser build (build/web) in headless Debian chromium and firefox-esr through
// puppeteer-core: the headless checksums against the native reference at 60, 50 and 24 fps, the
// live page (start screen, a scene, the music's schedule and clock, Escape, the natural end),
// the one-file page from disk, and the failures a visitor can meet (missing and broken data,
// music that cannot play, a sound that never starts, the folder opened from disk).
//
//   node tests/web/web_test.js SITE_DIR REFERENCE_DIR OUT_DIR [--native PROGRAM] [--bench | --throttled]
//
// --bench runs no tests: it reports, twelve times over, the native program's --bench medians and
// the page's ?bench medians taken straight after them, scene by scene with their ratio, and the
// machine's load; then the median ratio per scene. --throttled plays 30 s of the live page
// (?timings) in chromium with the processor slowed 4 times and then not at all (the DevTools
// protocol's CPU throttling) and reports the frames shown, the largest gap between two of them,
// how many gaps pass 20 ms (by the animation frames' times, with when the first of them ended,
// and by when their callbacks ran), and each frame's time split into rendering, conversion and
// putImageData. Both are reports, not a pass or fail: speed is read from them, never tested.
//
// REFERENCE_DIR holds checksums-60.txt, checksums-50.txt and checksums-24.txt, the lines of
// `brindlehop --headless --checksums --fps N` of a build with the exactly compiled decoder.
// PROGRAM, the native build, is timed from start to first frame beside the page's click to first
// frame. Screenshots go to OUT_DIR.
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const url = require('url');
const puppeteer = require('puppeteer-core');

const [siteDir, referenceDir, outDir] = process.argv.slice(2);
const benchOnly = process.argv.includes('--bench');
const throttledOnly = process.argv.includes('--throttled');
const nativeAt = process.argv.indexOf('--native');
const nativeProgram = nativeAt > 0 ? process.argv[nativeAt + 1] : null;
if (!siteDir || !referenceDir || !outDir) {
  console.error('usage: node web_test.js SITE_DIR REFERENCE_DIR OUT_DIR [--native PROGRAM] [--bench | --throttled]');
  process.exit(2);
}
fs.mkdirSync(outDir, { recursive: true });

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.txt': 'text/plain', '.jpg': 'image/jpeg', '.ogg': 'audio/ogg' };

// A static server of the site; names in `hidden` answer 404, as a broken upload would, and
// names in `garbled` answer these bytes instead of the file's. An isolated server sends the
// headers that make its pages cross-origin isolated, where performance.now() counts in 5 µs
// steps instead of 100 µs: the bench's per-frame times need that.
function serve(root, hidden = new Set(), garbled = new Map(), isolated = false) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(path.resolve(root), name.endsWith('/') ? name + 'index.html' : name);
    if (!file.startsWith(path.resolve(root)) || hidden.has(name) || !fs.existsSync(file) ||
        fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end('not found');
      return;
    }
    const headers = { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' };
    if (isolated) {
      headers['Cross-Origin-Opener-Policy'] = 'same-origin';
      headers['Cross-Origin-Embedder-Policy'] = 'require-corp';
    }
    response.writeHead(200, headers);
    if (garbled.has(name)) {
      response.end(garbled.get(name));
      return;
    }
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function withServer(hidden, garbled, body) {
  const server = await serve(siteDir, hidden, garbled);
  try {
    return await body(`http://127.0.0.1:${server.address().port}`);
  } finally {
    server.close();
  }
}

function findProgram(variable, candidates, pkg) {
  for (const candidate of [process.env[variable], ...candidates]) {
    if (candidate && fs.existsSync(candidate)) return candidate;
  }
  throw new Error(`no ${pkg} found (apt-get install ${pkg}, or set ${variable})`);
}

let failures = 0;
let passes = 0;
let browserName = '';
function check(ok, what) {
  console.log((ok ? 'ok   ' : 'FAIL ') + `[${browserName}] ` + what);
  if (ok) passes++;
  else failures++;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A page that records its console; errors are kept apart.
async function openPage(browser, address, viewport = { width: 1280, height: 900 }, setup = null) {
  const page = await browser.newPage();
  await page.setViewport(viewport);
  if (setup) await page.evaluateOnNewDocument(setup);
  const log = { lines: [], errors: [] };
  page.on('console', (message) => {
    const text = message.text();
    if (message.type() === 'error') log.errors.push(text);
    log.lines.push(text);
  });
  page.on('pageerror', (error) => log.errors.push('page error: ' + error.message));
  await page.goto(address, { waitUntil: 'load' });
  return { page, log };
}

async function waitFor(what, test, seconds) {
  const end = Date.now() + seconds * 1000;
  while (Date.now() < end) {
    if (await test()) return true;
    await sleep(100);
  }
  throw new Error('timed out waiting for ' + what);
}

const stats = (page) => page.evaluate(() => Object.assign({ running: window.brindlehop.running() },
                                                          window.brindlehop.stats));
const text = (page, selector) => page.$eval(selector, (e) => e.textContent);

async function clickToStart(page) {
  await waitFor('the start screen', async () => (await text(page, '#prompt')) === 'Click to start', 60);
  await page.click('#start');
}

// A digest of the canvas, to tell whether the picture moves.
const canvasDigest = (page) => page.evaluate(() => {
  const pixels = document.getElementById('screen').getContext('2d').getImageData(0, 0, 512, 384).data;
  let sum = 0;
  for (let i = 0; i < pixels.length; i += 4) sum = (sum * 31 + pixels[i] + pixels[i + 1] * 7) >>> 0;
  return sum;
});

// ---- Frames ----

async function headlessChecksums(browser, address, fps) {
  const reference = fs.readFileSync(path.join(referenceDir, `checksums-${fps}.txt`), 'utf8')
    .split('\n').filter((l) => l.startsWith('frame '));
  const started = Date.now();
  const { page, log } = await openPage(browser, `${address}?headless&fps=${fps}`);
  await waitFor('the headless run', () => log.lines.some((l) => l.startsWith('brindlehop: exit')), 600);
  const web = log.lines.filter((l) => l.startsWith('frame '));
  fs.writeFileSync(path.join(outDir, `${browserName}_checksums-${fps}.txt`), web.join('\n') + '\n');
  let differ = 0;
  for (let i = 0; i < Math.max(reference.length, web.length); ++i) {
    if (reference[i] === web[i]) continue;
    if (differ < 5) console.log('  native: ' + reference[i] + '\n  web:    ' + web[i]);
    differ++;
  }
  check(reference.length > fps * 100 && web.length === reference.length && differ === 0,
        `every frame at ${fps} fps equals the reference: ${web.length} frames, ${differ} differ ` +
        `(${path.basename(new URL(address).pathname)}, ${((Date.now() - started) / 1000).toFixed(1)} s)`);
  check(log.lines.includes('brindlehop: exit 0') && log.errors.length === 0,
        `the ${fps} fps run ends with status 0 and no console errors ${JSON.stringify(log.errors)}`);
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

// ---- The live page ----

// Milliseconds from the native program's start to its first frame (--timings), on SDL's dummy
// video and audio drivers.
function nativeFirstFrameMs() {
  const root = path.resolve(siteDir, '..', '..');
  const result = childProcess.spawnSync(nativeProgram, ['--window', '--timings'], {
    cwd: root, timeout: 8000, killSignal: 'SIGKILL', encoding: 'utf8',
    env: Object.assign({}, process.env, { SDL_VIDEODRIVER: 'dummy', SDL_AUDIODRIVER: 'dummy' }),
  });
  const match = /timing \+([0-9.]+) ms wall[^\n]*: first frame out/.exec(result.stderr || '');
  return match ? Number(match[1]) : null;
}

// The buffers of the music follow each other sample for sample: each starts on the context's
// sample grid exactly where the one before it ends, with the next frames of the piece, across
// the loop too. Returns what is wrong, or ''.
function scheduleFaults(schedule) {
  const { log, rate, contextRate, frameCount, fromFrame, startFrame } = schedule;
  if (log.length === 0) return 'nothing scheduled';
  if (contextRate !== rate) return `the context runs at ${contextRate} Hz, the music at ${rate} Hz`;
  let expectFrame = startFrame;    // on the context's clock
  let expectMusic = fromFrame;     // unwrapped frame of the piece
  for (const [i, entry] of log.entries()) {
    const at = entry.when * contextRate;
    const skipped = entry.offset * rate;
    if (Math.abs(at - Math.round(at)) > 1e-6 || Math.abs(skipped - Math.round(skipped)) > 1e-6) {
      return `buffer ${i} starts between samples (${at}, offset ${skipped})`;
    }
    const music = entry.pass * frameCount + entry.first + Math.round(skipped);
    if (Math.round(at) !== expectFrame || music !== expectMusic) {
      return `buffer ${i} starts at frame ${Math.round(at)} with music frame ${music}, ` +
             `not ${expectFrame} with ${expectMusic}`;
    }
    const frames = entry.frames - Math.round(skipped);
    expectFrame += frames;
    expectMusic += frames;
  }
  return '';
}

async function livePage(browser, base) {
  const { page, log } = await openPage(browser, base + '/index.html');
  await waitFor('the start screen', async () => (await text(page, '#prompt')) === 'Click to start', 60);
  await page.screenshot({ path: path.join(outDir, `${browserName}_start.png`) });
  check((await text(page, '#start h1')) === 'Brindlehop', 'the start screen shows the title');
  const labels = [];
  for (let i = 0; i < 2; ++i) {
    const label = await text(page, '#fullscreen');
    await page.click('#fullscreen');
    await waitFor('the full screen switch', async () => (await text(page, '#fullscreen')) !== label, 5);
    labels.push(await text(page, '#fullscreen'));
  }
  check(labels.join() === 'Leave full screen,Full screen', 'the button enters and leaves full screen, saying which');

  const nativeMs = nativeProgram ? [nativeFirstFrameMs()] : [];
  await page.click('#start');
  await waitFor('the first frame', async () => (await stats(page)).frames > 0, 20);
  const firstFrameMs = [(await stats(page)).firstFrameMs];
  // The clock, sampled over a second and a half, moves forward and never back.
  const heard = [];
  for (let i = 0; i < 30; ++i) {
    heard.push(await page.evaluate(() => window.brindlehop.heardSeconds()));
    await sleep(50);
  }
  const audioState = await page.evaluate(() => window.brindlehop.audioState());
  if (audioState === 'running') {
    const monotonic = heard.every((t, i) => i === 0 || t >= heard[i - 1]);
    check(monotonic && heard[heard.length - 1] > heard[0] + 1,
          `the heard clock advances and never steps back (${heard[0].toFixed(3)} s to ` +
          `${heard[heard.length - 1].toFixed(3)} s)`);
    const fault = scheduleFaults(await page.evaluate(() => window.brindlehop.schedule()));
    check(fault === '', 'the music plays as buffers that meet sample for sample ' + fault);
  } else {
    // A browser without an output device (firefox-esr headless) never starts the context.
    const noticeText = await text(page, '#notice');
    check(/has not started the sound/.test(noticeText) && (await stats(page)).frames > 30,
          `a sound that does not start is said on the page and the show goes on: ${noticeText}`);
  }
  await sleep(1000);
  await page.screenshot({ path: path.join(outDir, `${browserName}_scene.png`) });

  const view = await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const box = canvas.getBoundingClientRect();
    const pixels = canvas.getContext('2d').getImageData(0, 0, 512, 384).data;
    let lit = 0;
    for (let i = 0; i < pixels.length; i += 4) if (pixels[i] + pixels[i + 1] + pixels[i + 2] > 0) lit++;
    return { left: box.left, top: box.top, width: box.width, height: box.height,
             innerWidth: window.innerWidth, innerHeight: window.innerHeight, lit,
             rendering: getComputedStyle(canvas).imageRendering,
             button: getComputedStyle(document.getElementById('fullscreen')).opacity,
             frames: window.brindlehop.stats.frames };
  });
  const scale = view.width / 512;
  check(Number.isInteger(scale) && scale === Math.floor(Math.min(view.innerWidth / 512, view.innerHeight / 384)) &&
        view.height === 384 * scale, `the canvas is scaled by the largest whole multiple (${scale})`);
  check(Math.abs(view.left - (view.innerWidth - view.width) / 2) <= 1 &&
        Math.abs(view.top - (view.innerHeight - view.height) / 2) <= 1, 'the canvas is centred');
  check(view.rendering === 'pixelated', 'the pixels are drawn sharp (image-rendering: pixelated)');
  check(view.lit > 512 * 384 / 4, `the first scene is on the canvas (${view.lit} lit pixels, ${view.frames} frames)`);
  check(view.button === '0', `the Full screen button keeps out of the show (opacity ${view.button})`);

  await page.keyboard.press('Escape');
  await waitFor('the start screen after Escape', () => page.$eval('#start', (e) => e.style.display !== 'none'), 10);
  const after = await stats(page);
  check(!after.running && after.exitStatus === 0, 'Escape ends the show and brings back the start screen');

  // A second start works as the first did.
  if (nativeProgram) nativeMs.push(nativeFirstFrameMs());
  await clickToStart(page);
  await waitFor('a frame of the second run', async () => (await stats(page)).frames > 10, 20);
  firstFrameMs.push((await stats(page)).firstFrameMs);
  // Click to first frame against the native program's start to first frame, each the better of
  // two, as the machine may be busy with other work at any one of them.
  const figures = `click to first frame ${firstFrameMs.map((ms) => ms.toFixed(0)).join(' and ')} ms; ` +
                  `the native program's start to first frame ${nativeMs.map((ms) => ms === null ? '?' : ms.toFixed(0)).join(' and ')} ms`;
  if (nativeMs.length > 0) {
    check(nativeMs.every((ms) => ms !== null) && Math.min(...firstFrameMs) <= 3 * Math.min(...nativeMs),
          'the first frame comes within three times the native time: ' + figures);
  } else {
    console.log('     ' + figures);
  }
  await page.keyboard.press('Escape');
  await waitFor('the second Escape', async () => !(await stats(page)).running, 10);
  check(log.errors.length === 0, 'the show starts again after Escape; no console errors ' + JSON.stringify(log.errors));
  await page.close();
}

// The end of the show: started 2.5 s before it, it must end by itself, bring the start screen
// back with status 0 and start again on the next click.
async function naturalEnd(browser, base) {
  const { page, log } = await openPage(browser, base + '/index.html?start=97.5');
  await clickToStart(page);
  await waitFor('the first frame', async () => (await stats(page)).frames > 0, 30);
  let ended = true;
  try {
    await waitFor('the end of the show', async () => !(await stats(page)).running, 15);
  } catch (e) {
    ended = false;
  }
  const end = await stats(page);
  const shown = await page.$eval('#start', (e) => e.style.display !== 'none');
  check(ended && end.exitStatus === 0 && shown && end.frames > 60,
        `the show ends by itself at 100 s with status 0 and the start screen (${end.frames} frames)`);
  await clickToStart(page);
  await waitFor('a frame of the next run', async () => (await stats(page)).frames > 10, 20);
  check((await stats(page)).running, 'after the end the show starts again on a click');
  await page.keyboard.press('Escape');
  check(log.errors.length === 0, 'no console errors at the end of the show ' + JSON.stringify(log.errors));
  await page.close();
}

// Started in the last second of the piece, past the show's end: the buffers are scheduled over
// the loop to the beginning before the show ends, and must meet there as anywhere. The first
// run starts the context; the second finds it running and schedules at once.
async function loopSeam(browser, base) {
  const { page } = await openPage(browser, base + '/index.html?start=103.5');
  await clickToStart(page);
  await waitFor('the end of the first run', async () => (await stats(page)).exitStatus !== null, 30);
  await waitFor('the sound', async () => (await page.evaluate(() => window.brindlehop.audioState())) === 'running', 10);
  await clickToStart(page);
  await waitFor('the end of the second run', async () => (await stats(page)).runs === 2 &&
                !(await stats(page)).running, 30);
  const schedule = await page.evaluate(() => window.brindlehop.schedule());
  const fault = scheduleFaults(schedule);
  check(fault === '' && schedule.log.some((entry) => entry.pass === 1),
        `the music's buffers meet sample for sample over the loop ${fault}`);
  await page.close();
}

// A context that never runs (as in a browser without an output device): after a short wait the
// page says so and the show runs on the silent clock.
async function soundNeverStarts(browser, base) {
  const { page, log } = await openPage(browser, base + '/index.html', undefined, () => {
    const Real = window.AudioContext;
    window.AudioContext = class extends Real {
      constructor(options) {
        super(options);
        super.suspend();
      }
      resume() { return new Promise(() => {}); }
    };
  });
  await clickToStart(page);
  await waitFor('the notice', async () => /has not started the sound/.test(await text(page, '#notice')), 10);
  const before = await canvasDigest(page);
  await sleep(1500);
  const after = await canvasDigest(page);
  await page.screenshot({ path: path.join(outDir, `${browserName}_no_sound.png`) });
  check(before !== after && (await stats(page)).running,
        'a sound that never starts is said on the page and the show moves on the silent clock');
  await page.keyboard.press('Escape');
  check(log.errors.length === 0, 'no console errors without sound ' + JSON.stringify(log.errors));
  await page.close();
}

// Music that cannot play (damaged, empty) is named on the page, and the show plays on silently.
async function brokenMusic(browser) {
  const ogg = fs.readFileSync(path.join(siteDir, 'data', 'tolvik_tune.ogg'));
  const damaged = Buffer.from(ogg);
  for (let i = 0; i < 64; ++i) damaged[Math.floor(ogg.length / 2) + i] ^= 0x5a;
  for (const [what, bytes] of [['damaged', damaged], ['empty', Buffer.alloc(0)]]) {
    await withServer(new Set(), new Map([['/data/tolvik_tune.ogg', bytes]]), async (base) => {
      const { page, log } = await openPage(browser, base + '/index.html');
      await clickToStart(page);
      await waitFor('the notice', async () => (await text(page, '#notice')) !== '', 10);
      const before = await canvasDigest(page);
      await sleep(1000);
      const noticeText = await text(page, '#notice');
      const moving = before !== (await canvasDigest(page)) && (await stats(page)).running;
      await page.screenshot({ path: path.join(outDir, `${browserName}_music_${what}.png`) });
      check(noticeText.includes('data/tolvik_tune.ogg') && /without its music/.test(noticeText) && moving,
            `${what} music is named on the page and the show plays on: ${noticeText}`);
      await page.keyboard.press('Escape');
      await waitFor('the start screen', async () => !(await stats(page)).running, 10);
      check((await text(page, '#message')).includes('data/tolvik_tune.ogg') && log.errors.length === 0,
            `the start screen still names the ${what} music; no console errors`);
      await page.close();
    });
  }
}

async function missingFile(browser) {
  await withServer(new Set(['/data/tex.jpg']), new Map(), async (base) => {
    const { page } = await openPage(browser, base + '/index.html');
    await waitFor('the failure', async () => (await text(page, '#message')) !== '', 30);
    const message = await text(page, '#message');
    check(message.includes('data/tex.jpg'), 'a data file that fails to load is named on the page: ' + message);
    await page.close();
  });
}

// A file that loads but is no picture: the native asset check names it before the start screen
// offers the click, by the site's folder rather than the program's in-memory one.
async function brokenFile(browser) {
  await withServer(new Set(), new Map([['/data/tex.jpg', 'not a picture']]), async (base) => {
    const { page, log } = await openPage(browser, base + '/index.html');
    await waitFor('the failure', async () => (await text(page, '#message')) !== '', 30);
    const message = await text(page, '#message');
    const end = await stats(page);
    check(message.includes('data/tex.jpg') && !message.includes('/data ') && end.frames === 0 &&
          end.exitStatus === 2 && (await text(page, '#prompt')) === 'The show cannot start.',
          'a broken data file stops the show before its first frame, named on the page: ' + message);
    await page.screenshot({ path: path.join(outDir, `${browserName}_broken_data.png`) });
    check(log.errors.length === 0, 'a broken data file is no console error ' + JSON.stringify(log.errors));
    await page.close();
  });
}

// ---- From disk ----

const fileUrl = (name) => url.pathToFileURL(path.resolve(siteDir, name)).href;

async function folderFromDisk(browser) {
  const { page } = await openPage(browser, fileUrl('index.html'));
  await waitFor('the message', async () => (await text(page, '#message')) !== '', 30);
  const message = await text(page, '#message');
  await page.screenshot({ path: path.join(outDir, `${browserName}_from_disk.png`) });
  check(message.includes('brindlehop.html') && message.includes('http.server'),
        'the folder opened from disk says to open the one-file page or serve the folder');
  await page.close();
}

async function oneFile(browser) {
  const size = fs.statSync(path.join(siteDir, 'brindlehop.html')).size;
  check(size <= 4.5e6, `brindlehop.html is one file of ${(size / 1e6).toFixed(2)} MB`);
  const { page, log } = await openPage(browser, fileUrl('brindlehop.html'));
  await clickToStart(page);
  await waitFor('frames', async () => (await stats(page)).frames > 60, 30);
  const before = await canvasDigest(page);
  await sleep(500);
  check(before !== (await canvasDigest(page)), 'brindlehop.html plays from disk');
  await page.screenshot({ path: path.join(outDir, `${browserName}_one_file.png`) });
  await page.keyboard.press('Escape');
  check(log.errors.length === 0, 'no console errors in the one-file page ' + JSON.stringify(log.errors));
  await page.close();
}

// At 300 × 200 the start screen's title, lines and button stay inside and apart.
async function smallWindow(browser, base) {
  const { page } = await openPage(browser, base + '/index.html', { width: 300, height: 200 });
  await waitFor('the start screen', async () => (await text(page, '#prompt')) === 'Click to start', 60);
  await page.screenshot({ path: path.join(outDir, `${browserName}_start_300x200.png`) });
  const boxes = await page.evaluate(() => ['#start h1', '#prompt', '#start .hint', '#fullscreen'].map((s) => {
    const r = document.querySelector(s).getBoundingClientRect();
    const e = document.querySelector(s);
    return { s, left: r.left, top: r.top, right: r.right, bottom: r.bottom,
             clipped: e.scrollWidth > e.clientWidth + 1 };
  }));
  const inside = boxes.every((b) => b.left >= 0 && b.top >= 0 && b.right <= 300 && b.bottom <= 200 && !b.clipped);
  const apart = boxes.every((a, i) => boxes.every((b, j) => j <= i || a.bottom <= b.top || b.bottom <= a.top ||
                                                 a.right <= b.left || b.right <= a.left));
  check(inside && apart, 'at 300 x 200 the start screen fits without overlaps ' +
        (inside && apart ? '' : JSON.stringify(boxes)));
  await page.close();
}

// The bench lines' medians by scene: {scene: ms}.
function benchMedians(lines) {
  const medians = {};
  for (const line of lines) {
    const match = /^scene (\d+): \d+ frames, median ([0-9.]+) ms/.exec(line);
    if (match) medians[match[1]] = Number(match[2]);
  }
  return medians;
}

async function pageBench(browser, base) {
  const { page, log } = await openPage(browser, base + '/index.html?bench');
  await waitFor('the bench run', () => log.lines.some((l) => l.startsWith('brindlehop: exit')), 600);
  const isolated = await page.evaluate(() => window.crossOriginIsolated === true);
  await page.close();
  if (!isolated) throw new Error('the bench page is not cross-origin isolated: its clock counts in 100 µs steps');
  return benchMedians(log.lines);
}

function nativeBench() {
  const result = childProcess.spawnSync(nativeProgram, ['--bench'], {
    cwd: path.resolve(siteDir, '..', '..'), encoding: 'utf8', timeout: 300000,
  });
  if (result.status !== 0) throw new Error(`${nativeProgram} --bench ended with ${result.status}: ${result.stderr}`);
  return benchMedians(result.stdout.split('\n'));
}

// Native, then the page, straight after each other, twelve times; the load as the machine reports
// it. Then the median of the rounds' ratios per scene, with the middle half of them: the medians
// of either side alone jump between two levels from run to run (up to half apart), so one round's
// ratio, or a ratio of the best medians, says little.
const kBenchRounds = 12;
async function benchReport(browser, base) {
  if (!nativeProgram) throw new Error('--bench needs --native PROGRAM to compare with');
  const ratios = {};
  for (let round = 1; round <= kBenchRounds; ++round) {
    const load = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
    const native = nativeBench();
    const web = await pageBench(browser, base);
    console.log(`round ${round}, load ${load}: median ms per frame, native --bench and ${browserName} ?bench`);
    for (const scene of Object.keys(native)) {
      const ratio = web[scene] / native[scene];
      console.log(`  scene ${scene}: native ${native[scene].toFixed(3)}  browser ${web[scene].toFixed(3)}  ` +
                  `ratio ${ratio.toFixed(2)}`);
      (ratios[scene] = ratios[scene] || []).push(ratio);
    }
  }
  console.log(`the ratios of the ${kBenchRounds} rounds: median (middle half)`);
  for (const [scene, values] of Object.entries(ratios)) {
    values.sort((a, b) => a - b);
    const n = values.length;
    const median = (values[(n - 1) >> 1] + values[n >> 1]) / 2;
    console.log(`  scene ${scene}: ${median.toFixed(2)} (${values[n >> 2].toFixed(2)} to ` +
                `${values[n - 1 - (n >> 2)].toFixed(2)})`);
  }
}

// 30 s of the show from the click with the processor slowed `rate` times; the split from the
// page's ?timings, on a cross-origin isolated page for the finer clock.
async function throttledShow(browser, base, rate) {
  const { page, log } = await openPage(browser, base + '/index.html?timings');
  await waitFor('the start screen', async () => (await text(page, '#prompt')) === 'Click to start', 60);
  const cdp = await page.target().createCDPSession();
  await cdp.send('Emulation.setCPUThrottlingRate', { rate });
  const load = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
  await page.click('#start');
  await sleep(30000);
  const split = await page.evaluate(() => window.brindlehop.frameTimings());
  const shown = (await stats(page)).frames;
  await cdp.send('Emulation.setCPUThrottlingRate', { rate: 1 });
  const part = (p) => `median ${p.median.toFixed(2)}, mean ${p.mean.toFixed(2)}, p99 ${p.p99.toFixed(2)}`;
  console.log(`processor slowed ${rate}x, load ${load}: ${shown} frames in 30 s (${(shown / 30).toFixed(1)} fps), ` +
              `largest gap ${split.largestGapMs.toFixed(1)} ms, ${split.gapsOver20Ms} gaps over 20 ms ` +
              `ending ${JSON.stringify(split.gapsAtMs)} ms after the click ` +
              `(between the animation frames' times; between their callbacks: largest ` +
              `${split.largestCallbackGapMs.toFixed(1)} ms, ${split.callbackGapsOver20Ms} over 20 ms)`);
  console.log(`  ms per frame: rendering ${part(split.rendering)}; conversion ${part(split.conversion)}; ` +
              `putImageData ${part(split.putImageData)}`);
  if (log.errors.length > 0) console.log('  console errors: ' + JSON.stringify(log.errors));
  await page.keyboard.press('Escape');
  await page.close();
}

async function launch(name) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `brindlehop-${name}-`));
  if (name === 'firefox') {
    const browser = await puppeteer.launch({
      product: 'firefox', protocol: 'webDriverBiDi', headless: true, userDataDir: profile,
      executablePath: findProgram('FIREFOX', ['/usr/bin/firefox-esr', '/usr/bin/firefox'], 'firefox-esr'),
    });
    return { browser, profile };
  }
  const browser = await puppeteer.launch({
    executablePath: findProgram('CHROMIUM', ['/usr/bin/chromium', '/usr/bin/chromium-browser'], 'chromium'),
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--autoplay-policy=no-user-gesture-required', '--use-fake-ui-for-media-stream',
           '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
           `--user-data-dir=${profile}`],
  });
  return { browser, profile };
}

async function inBrowser(name, body) {
  browserName = name;
  let launched = null;
  try {
    launched = await launch(name);
    await body(launched.browser);
  } catch (e) {
    check(false, e.message);
  } finally {
    if (launched) {
      await launched.browser.close().catch(() => {});
      fs.rmSync(launched.profile, { recursive: true, force: true });
    }
  }
}

(async () => {
  const server = await serve(siteDir);
  const base = `http://127.0.0.1:${server.address().port}`;
  if (benchOnly) {
    const isolatedServer = await serve(siteDir, new Set(), new Map(), true);
    await inBrowser('chromium', (browser) =>
      benchReport(browser, `http://127.0.0.1:${isolatedServer.address().port}`));
    isolatedServer.close();
  } else if (throttledOnly) {
    const isolatedServer = await serve(siteDir, new Set(), new Map(), true);
    const isolated = `http://127.0.0.1:${isolatedServer.address().port}`;
    await inBrowser('chromium', async (browser) => {
      await throttledShow(browser, isolated, 4);
      await throttledShow(browser, isolated, 1);
    });
    isolatedServer.close();
  } else {
    await inBrowser('chromium', async (browser) => {
      await livePage(browser, base);
      await naturalEnd(browser, base);
      await loopSeam(browser, base);
      await soundNeverStarts(browser, base);
      await brokenMusic(browser);
      await missingFile(browser);
      await brokenFile(browser);
      await smallWindow(browser, base);
      await folderFromDisk(browser);
      await oneFile(browser);
      await lockedFrames(browser, base);
      await headlessChecksums(browser, base + '/index.html', 60);
      await headlessChecksums(browser, base + '/index.html', 50);
      await headlessChecksums(browser, fileUrl('brindlehop.html'), 24);
    });
    await inBrowser('firefox', async (browser) => {
      await livePage(browser, base);
      await headlessChecksums(browser, base + '/index.html', 60);
    });
  }
  server.close();
  console.log(`web: ${passes} passed, ${failures} failed`);
  process.exit(failures === 0 ? 0 : 1);
})();
