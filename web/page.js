// The page around the show: loading, the start screen, the canvas and its scaling, full screen,
// keys, the music through Web Audio and its heard clock, failures on the page, and the headless
// and bench modes that print to the console.
'use strict';

(function () {
  const params = new URLSearchParams(location.search);
  const headless = params.has('headless');
  const bench = params.has('bench');
  const startScreen = document.getElementById('start');
  const prompt = document.getElementById('prompt');
  const message = document.getElementById('message');
  const canvas = document.getElementById('screen');
  const fullscreenButton = document.getElementById('fullscreen');
  const context2d = canvas.getContext('2d');

  const dataFiles = new Map();  // name -> bytes, fetched once and given to every run
  let wasmModule = null;        // compiled once; each run instantiates it afresh
  let ready = false;
  let running = false;
  let errorLines = [];
  let keys = [];
  let frame = null;             // ImageData the frames are copied into
  let audioContext = null;
  let source = null;
  let startTime = 0;
  let clickTime = 0;

  // What the tests and curious people can read.
  const stats = { firstFrameMs: -1, frames: 0, runs: 0, exitStatus: null };
  window.brindlehop = { stats, heardSeconds: () => page.heardSeconds(), running: () => running };

  function showMessage(text) {
    message.textContent = text;
  }

  function fail(text) {
    ready = false;
    prompt.textContent = 'The show cannot start.';
    showMessage(text);
    startScreen.classList.add('waiting');
    console.error('brindlehop: ' + text);
  }

  // The largest whole multiple of 512 × 384 that fits the window; at least 1.
  function fitCanvas() {
    const scale = Math.max(1, Math.floor(Math.min(window.innerWidth / canvas.width,
                                                   window.innerHeight / canvas.height)));
    canvas.style.width = canvas.width * scale + 'px';
    canvas.style.height = canvas.height * scale + 'px';
  }

  function toggleFullscreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
    } else if (document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(() => {});
    }
  }

  // The calls the wasm back ends make (platform/display_web.cpp, platform/audio_web.cpp).
  const page = {
    canvasReady: () => context2d !== null,
    nextKey: () => keys.shift() || 0,
    showFrame(bytes, width, height) {
      if (frame === null || frame.width !== width || frame.height !== height) {
        frame = context2d.createImageData(width, height);
      }
      frame.data.set(bytes);
      context2d.putImageData(frame, 0, 0);
      if (stats.frames++ === 0) stats.firstFrameMs = performance.now() - clickTime;
    },
    // Resumes on the next animation frame; a hidden tab gets none, so a timer stands in.
    nextFrame() {
      return new Promise((resolve) => {
        let done = false;
        const go = () => { if (!done) { done = true; resolve(); } };
        requestAnimationFrame(go);
        setTimeout(go, 100);
      });
    },
    audioReady: () => audioContext !== null,
    playMusic(samples, channels, rate) {
      try {
        const frames = samples.length / channels;
        const buffer = audioContext.createBuffer(channels, frames, rate);
        for (let c = 0; c < channels; ++c) {
          const out = buffer.getChannelData(c);
          for (let i = 0, at = c; i < frames; ++i, at += channels) out[i] = samples[at] / 32768;
        }
        source = audioContext.createBufferSource();
        source.buffer = buffer;
        source.loop = true;
        source.connect(audioContext.destination);
        startTime = audioContext.currentTime;
        source.start(startTime);
        return true;
      } catch (e) {
        showMessage('The music cannot play here (' + e.message + '); the show plays silently.');
        return false;
      }
    },
    // Seconds of music heard since it started: the context time of the sample now at the
    // speakers, carried forward on the page's clock between audio blocks.
    heardSeconds() {
      if (audioContext === null) return 0;
      let heard = null;
      if (typeof audioContext.getOutputTimestamp === 'function') {
        const stamp = audioContext.getOutputTimestamp();
        if (stamp && stamp.performanceTime > 0 && stamp.contextTime > 0) {
          const since = (performance.now() - stamp.performanceTime) / 1000;
          heard = stamp.contextTime + Math.min(Math.max(since, 0), 0.1);
        }
      }
      if (heard === null) {
        heard = audioContext.currentTime - (audioContext.outputLatency || 0) -
                (audioContext.baseLatency || 0);
      }
      return heard - startTime;
    },
    stopMusic() {
      if (source !== null) {
        try { source.stop(); } catch (e) { /* already stopped */ }
        source.disconnect();
        source = null;
      }
    },
  };

  function argumentsFromUrl() {
    const args = [];
    if (headless) {
      args.push('--headless', '--checksums', '--fps', params.get('fps') || '60');
      if (params.get('at')) args.push('--at', params.get('at'));
      if (params.get('until')) args.push('--until', params.get('until'));
    } else if (bench) {
      args.push('--bench');
      if (params.get('frames')) args.push('--bench-frames', params.get('frames'));
    } else if (params.get('offset')) {
      args.push('--audio-offset', params.get('offset'));
    }
    return args;
  }

  function finished(status) {
    running = false;
    stats.exitStatus = status;
    page.stopMusic();
    if (headless || bench) {
      console.log('brindlehop: exit ' + status);
      return;
    }
    canvas.style.display = 'none';
    startScreen.style.display = 'flex';
    if (status !== 0) {
      // A broken data set or a failed start stays broken: no point offering the click again.
      ready = false;
      prompt.textContent = 'The show cannot start.';
      startScreen.classList.add('waiting');
      showMessage(errorLines.join('\n') || 'The show stopped with status ' + status + '.');
    }
  }

  function run() {
    if (!ready || running) return;
    running = true;
    errorLines = [];
    keys = [];
    stats.frames = 0;
    stats.firstFrameMs = -1;
    stats.runs++;
    showMessage('');
    if (!headless && !bench) {
      startScreen.style.display = 'none';
      canvas.style.display = 'block';
    }
    createBrindlehop({
      arguments: argumentsFromUrl(),
      page,
      print: (line) => console.log(line),
      printErr: (line) => {
        errorLines.push(line);
        console.warn(line);
      },
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(wasmModule, imports).then((instance) => receive(instance),
          (e) => fail('The program cannot start: ' + e.message));
        return {};
      },
      preRun: [(module) => {
        module.FS.mkdir('/data');
        for (const [name, bytes] of dataFiles) module.FS.writeFile('/data/' + name, bytes);
      }],
      onExit: finished,
      onAbort: (what) => {
        running = false;
        page.stopMusic();
        fail('The show stopped: ' + what);
        canvas.style.display = 'none';
        startScreen.style.display = 'flex';
      },
    }).catch((e) => fail('The program cannot start: ' + (e && e.message ? e.message : e)));
  }

  function onStartClick() {
    if (!ready || running) return;
    clickTime = performance.now();
    // Browsers let sound start only from a user gesture: the context is made (or resumed) here.
    if (audioContext === null) {
      const AudioContextClass = window.AudioContext || window.webkitAudioContext;
      if (AudioContextClass) {
        try { audioContext = new AudioContextClass(); } catch (e) { audioContext = null; }
      }
      if (audioContext === null) showMessage('This browser has no Web Audio: the show plays silently.');
    }
    if (audioContext !== null && audioContext.state === 'suspended') audioContext.resume();
    run();
  }

  async function fetchBytes(name) {
    const response = await fetch('data/' + encodeURIComponent(name));
    if (!response.ok) throw new Error('data/' + name + ': ' + response.status + ' ' + response.statusText);
    return new Uint8Array(await response.arrayBuffer());
  }

  async function load() {
    if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
      fail('This browser does not run WebAssembly, which the show needs.');
      return;
    }
    if (typeof createBrindlehop !== 'function') {
      fail('The program (brindlehop.js) did not load.');
      return;
    }
    try {
      const list = await fetch('data/files.txt');
      if (!list.ok) throw new Error('data/files.txt: ' + list.status + ' ' + list.statusText);
      const names = (await list.text()).split('\n').filter((n) => n !== '');
      const missing = [];
      await Promise.all(names.map(async (name) => {
        try { dataFiles.set(name, await fetchBytes(name)); } catch (e) { missing.push(e.message); }
      }));
      if (missing.length > 0) throw new Error('cannot load ' + missing.sort().join(', '));
      const wasm = await fetch('brindlehop.wasm');
      if (!wasm.ok) throw new Error('brindlehop.wasm: ' + wasm.status + ' ' + wasm.statusText);
      wasmModule = await WebAssembly.compile(await wasm.arrayBuffer());
    } catch (e) {
      fail(e.message);
      return;
    }
    ready = true;
    if (headless || bench) {
      prompt.textContent = headless ? 'Rendering (headless)…' : 'Timing the scenes…';
      run();
      return;
    }
    prompt.textContent = 'Click to start';
    startScreen.classList.remove('waiting');
  }

  // A run ends as the native program does, by exiting; in a browser the exit surfaces as an
  // ExitStatus thrown out of the frame loop's resume, after onExit has already run.
  window.addEventListener('unhandledrejection', (event) => {
    if (event.reason && event.reason.name === 'ExitStatus') event.preventDefault();
  });
  window.addEventListener('error', (event) => {
    if (event.error && event.error.name === 'ExitStatus') event.preventDefault();
  });
  window.addEventListener('resize', fitCanvas);
  startScreen.addEventListener('click', onStartClick);
  fullscreenButton.addEventListener('click', toggleFullscreen);
  window.addEventListener('keydown', (event) => {
    if (event.key === 'f' || event.key === 'F') {
      toggleFullscreen();
    } else if (event.key === 'Escape' && running) {
      keys.push(27);
    } else {
      return;
    }
    event.preventDefault();
  });
  fitCanvas();

  const script = document.createElement('script');
  script.src = 'brindlehop.js';
  script.onload = load;
  script.onerror = () => fail('The program (brindlehop.js) did not load.');
  document.body.appendChild(script);
})();
