// The page around the show: loading, the start screen, the canvas and its scaling, full screen,
// keys, the music through Web Audio and its heard clock, failures and notices on the page, and
// the headless and bench modes that print to the console.
//
// The same script serves the folder build (files fetched from the server) and the one-file page
// (brindlehop.html), which carries the program, the WebAssembly and the data inside itself as
// window.brindlehopBundle and so plays from disk.
'use strict';

(function () {
  const params = new URLSearchParams(location.search);
  const headless = params.has('headless');
  const bench = params.has('bench');
  const timings = params.has('timings');
  const bundle = window.brindlehopBundle || null;
  const startScreen = document.getElementById('start');
  const prompt = document.getElementById('prompt');
  const message = document.getElementById('message');
  const notice = document.getElementById('notice');
  const canvas = document.getElementById('screen');
  const fullscreenButton = document.getElementById('fullscreen');
  const context2d = canvas.getContext('2d');

  // How long after the click the sound may take to start before the show goes on silently.
  const kAudioStartMs = 1500;
  // Seconds of music kept scheduled ahead of the context's clock.
  const kScheduleAhead = 1.5;
  // Seconds between the first scheduling and the first sample, so it is not already late.
  const kStartLead = 0.03;
  // How long a notice stays over the show before it fades.
  const kNoticeMs = 10000;
  // Scheduled buffers remembered for the tests (a whole show schedules about 300).
  const kScheduleLogLength = 4096;
  // Frames whose split ?timings keeps: the whole show at 60 fps and some.
  const kTimedFrames = 8192;
  // And where the first this many gaps between shown frames fell.
  const kGapsKept = 32;

  // ?start=S begins the show S seconds into the music: to see its end without the rest.
  const startSeconds = (() => {
    if (headless || bench || !params.has('start')) return 0;
    const value = Number(params.get('start'));
    if (Number.isFinite(value) && value >= 0) return value;
    console.warn('brindlehop: ?start= takes seconds (0 or more); starting at the beginning');
    return 0;
  })();

  const dataFiles = new Map();  // name -> bytes, loaded once and given to every run
  let wasmModule = null;        // compiled once; each run instantiates it afresh
  let ready = false;
  let loading = false;          // a run of the program is under way, before or during the show
  let running = false;          // the show plays: from the click to the exit
  let startWaiter = null;       // resumes a run that waits for the click, once loaded
  let errorLines = [];
  let notices = [];
  let noticeTimer = 0;
  let keys = [];
  let frame = null;             // ImageData over the program's frame, in its memory
  let audioContext = null;
  let audioDeadline = 0;
  let clickTime = 0;

  // The music as the program hands it over: consecutive chunks from frame 0, each played by its
  // own buffer source, the next one starting on the very sample where the one before ends. The
  // context frame `startFrame` plays music frame `fromFrame`; everything else follows from that.
  const music = {
    playing: false,
    failed: false,     // the context never started: the program falls back to the silent clock
    channels: 0,
    rate: 0,
    frameCount: 0,
    chunks: [],        // {first, frames, buffer}
    queued: 0,         // frames handed over so far
    fromFrame: 0,
    startFrame: null,  // on the context's sample grid; null until the sound starts
    next: 0,           // the chunk to schedule next ...
    pass: 0,           // ... in this pass of the loop
    sources: new Set(),
    log: [],           // {first, frames, pass, when, offset} of every buffer scheduled
  };

  // With ?timings, each shown frame's time split three ways, in ms: from the program's resumption
  // to its conversion (the music clock, decoding, drawing the scene), the conversion to the
  // canvas's RGBA bytes, and handing them to the canvas (ImageData.set and putImageData); and the
  // gaps between shown frames, two ways. Kept in arrays made once, so timing adds nothing per
  // frame.
  const split = {
    parts: timings ? new Float64Array(kTimedFrames * 3) : null,
    count: 0,
    resumedAt: 0,      // 0 until a frame's work begins on an animation frame
    convertingAt: 0,
    frameTime: 0,      // the last shown frame's animation frame time
    largestGapMs: 0,
    gapsOver20Ms: 0,
    gapsAt: timings ? new Float64Array(kGapsKept) : null,  // ms after the click of the first gaps
    calledAt: 0,       // when the last shown frame's animation frame callback ran
    largestCallbackGapMs: 0,
    callbackGapsOver20Ms: 0,
  };

  function frameSummary() {
    const count = Math.min(split.count, kTimedFrames);
    const gapsKept = Math.min(split.gapsOver20Ms, kGapsKept);
    const part = (k) => {
      const values = [];
      for (let i = 0; i < count; ++i) values.push(split.parts[3 * i + k]);
      values.sort((a, b) => a - b);
      const mean = values.reduce((a, b) => a + b, 0) / Math.max(count, 1);
      return { median: values[Math.floor(count / 2)] || 0, mean, p99: values[Math.floor(count * 0.99)] || 0 };
    };
    return { frames: count, rendering: part(0), conversion: part(1), putImageData: part(2),
             largestGapMs: split.largestGapMs, gapsOver20Ms: split.gapsOver20Ms,
             gapsAtMs: Array.from(split.gapsAt.subarray(0, gapsKept), (at) => Math.round(at)),
             largestCallbackGapMs: split.largestCallbackGapMs,
             callbackGapsOver20Ms: split.callbackGapsOver20Ms };
  }

  // What the tests and curious people can read.
  const stats = { firstFrameMs: -1, frames: 0, runs: 0, exitStatus: null };
  window.brindlehop = {
    stats,
    heardSeconds: () => page.heardSeconds(),
    running: () => running,
    audioState: () => (audioContext ? audioContext.state : 'none'),
    frameTimings: () => (timings ? frameSummary() : null),
    schedule: () => ({ rate: music.rate, contextRate: audioContext ? audioContext.sampleRate : 0,
                       frameCount: music.frameCount, fromFrame: music.fromFrame,
                       startFrame: music.startFrame, log: music.log.slice() }),
  };

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

  // Something the visitor should know while the show plays on: over the page for a while, and
  // on the start screen once the show ends. Without text, shows again those there are.
  function showNotice(text) {
    if (text !== null) notices.push(text);
    if (notices.length === 0) return;
    notice.textContent = notices.join('\n');
    notice.classList.add('shown');
    clearTimeout(noticeTimer);
    noticeTimer = setTimeout(() => notice.classList.remove('shown'), kNoticeMs);
  }

  // The program's messages name its in-memory folder; the visitor knows the files by the
  // site's data/ folder, or not at all in the one-file page.
  function forVisitor(line) {
    return line.replace(/the data folder \/data is not usable:/,
      bundle ? 'the data inside this page is not usable:' : 'the data files in data/ are not usable:');
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

  // ---- The music's schedule ----

  // Context seconds at which unwrapped music frame p is heard.
  function timeOfFrame(p) {
    const contextRate = audioContext.sampleRate;
    return (music.startFrame + (p - music.fromFrame) * contextRate / music.rate) / contextRate;
  }

  // Starts the sound once the context runs and the starting frame is at hand.
  function startSound() {
    if (!music.playing || music.startFrame !== null || audioContext === null ||
        audioContext.state !== 'running' || music.queued <= music.fromFrame) return;
    music.startFrame = Math.ceil((audioContext.currentTime + kStartLead) * audioContext.sampleRate);
  }

  // Schedules chunks until kScheduleAhead seconds past now are covered, or the decoded ones
  // run out; past the end of the piece the loop begins again with chunk 0.
  function scheduleMusic() {
    startSound();
    if (!music.playing || music.startFrame === null) return;
    const now = audioContext.currentTime;
    for (;;) {
      if (music.next >= music.chunks.length) {
        if (music.queued < music.frameCount) return;
        music.next = 0;
        music.pass++;
      }
      const chunk = music.chunks[music.next];
      const first = music.pass * music.frameCount + chunk.first;
      if (first + chunk.frames <= music.fromFrame) {
        music.next++;
        continue;
      }
      // The first buffer may begin before the starting frame: it plays from there.
      const begin = Math.max(first, music.fromFrame);
      let when = timeOfFrame(begin);
      if (when > now + kScheduleAhead) return;
      let offset = (begin - first) / music.rate;
      // A chunk that comes late (a page stalled for seconds) joins the clock where it stands.
      if (when < now) {
        offset += now - when;
        when = now;
      }
      music.next++;
      if (offset >= chunk.buffer.duration) continue;
      const source = audioContext.createBufferSource();
      source.buffer = chunk.buffer;
      source.connect(audioContext.destination);
      source.onended = () => {
        source.disconnect();
        music.sources.delete(source);
      };
      source.start(when, offset);
      music.sources.add(source);
      if (music.log.length < kScheduleLogLength) {
        music.log.push({ first: chunk.first, frames: chunk.frames, pass: music.pass, when, offset });
      }
    }
  }

  // The context did not start in time: say so, and let the program run on its silent clock.
  function audioDidNotStart() {
    audioDeadline = 0;
    if (audioContext === null || audioContext.state === 'running' || !running) return;
    music.failed = true;
    showNotice('The browser has not started the sound (is there an output device?): the show ' +
               'plays silently.');
    audioContext.close().catch(() => {});
    audioContext = null;  // the next click tries a fresh one
  }

  // ---- The calls the wasm back ends make (platform/display_web.cpp, platform/audio_web.cpp) ----
  const page = {
    canvasReady: () => context2d !== null,
    nextKey: () => keys.shift() || 0,
    frameConverting() {
      if (timings) split.convertingAt = performance.now();
    },
    // The frame's RGBA bytes at offset in the program's memory (buffer). The ImageData is a view
    // of them, made again only when the memory, the place or the size changes (a new run, or
    // memory that grew and so left its old buffer behind).
    showFrame(buffer, offset, width, height) {
      const convertedAt = timings ? performance.now() : 0;
      if (frame === null || frame.data.buffer !== buffer || frame.data.byteOffset !== offset ||
          frame.width !== width || frame.height !== height) {
        frame = new ImageData(new Uint8ClampedArray(buffer, offset, width * height * 4), width, height);
      }
      context2d.putImageData(frame, 0, 0);
      if (stats.frames++ === 0) stats.firstFrameMs = performance.now() - clickTime;
      if (timings) {
        const now = performance.now();
        if (split.resumedAt > 0 && split.count < kTimedFrames) {
          const at = 3 * split.count++;
          split.parts[at] = split.convertingAt - split.resumedAt;
          split.parts[at + 1] = convertedAt - split.convertingAt;
          split.parts[at + 2] = now - convertedAt;
        }
        split.resumedAt = 0;
      }
    },
    // Resumes the program on the next animation frame; a hidden tab gets none, so a timer
    // stands in.
    nextFrame(wakeUp) {
      let done = false;
      const go = (frameTime) => {
        if (done) return;
        done = true;
        if (timings) {
          // Each frame is drawn in its own animation frame and shown with it, so the gaps
          // between the times of the animation frames that carry one are the gaps between
          // shown frames: 16.7 ms at 60 Hz, 33 when one was missed. The gaps between the
          // callbacks themselves also count how late each began (a slowed processor starts
          // them up to a few ms late without missing a frame).
          const now = performance.now();
          if (frameTime !== undefined) {
            if (split.frameTime > 0) {
              const gap = frameTime - split.frameTime;
              if (gap > split.largestGapMs) split.largestGapMs = gap;
              if (gap > 20) {
                const kept = split.gapsOver20Ms++;
                if (kept < kGapsKept) split.gapsAt[kept] = frameTime - clickTime;
              }
            }
            split.frameTime = frameTime;
          }
          if (split.calledAt > 0) {
            const gap = now - split.calledAt;
            if (gap > split.largestCallbackGapMs) split.largestCallbackGapMs = gap;
            if (gap > 20) split.callbackGapsOver20Ms++;
          }
          split.calledAt = now;
          split.resumedAt = now;
        }
        resume(wakeUp);
      };
      requestAnimationFrame(go);
      setTimeout(() => go(), 100);
    },
    // The program has loaded and checked its material and waits for the click to start the
    // music, so the show starts the moment the visitor asks for it.
    waitForStart(wakeUp) {
      startWaiter = wakeUp;
      prompt.textContent = 'Click to start';
      startScreen.classList.remove('waiting');
    },
    audioReady: () => audioContext !== null && !music.failed,
    startSeconds: () => startSeconds,
    startMusic(channels, rate, frameCount) {
      if (audioContext === null || music.failed) return false;
      page.stopMusic();
      Object.assign(music, { playing: true, channels, rate, frameCount, chunks: [], queued: 0,
                             fromFrame: Math.min(Math.round(startSeconds * rate), frameCount - 1),
                             startFrame: null, next: 0, pass: 0, log: [] });
      return true;
    },
    musicChannels: () => music.channels,
    // Frames [firstFrame, firstFrame + frames) of the piece, a Float32Array per channel (views
    // of the program's memory, copied at once).
    queueMusic(channels, firstFrame, frames) {
      if (!music.playing || audioContext === null || firstFrame !== music.queued) return;
      try {
        const buffer = audioContext.createBuffer(music.channels, frames, music.rate);
        for (let c = 0; c < music.channels; ++c) buffer.copyToChannel(channels[c], c);
        music.chunks.push({ first: firstFrame, frames, buffer });
        music.queued = firstFrame + frames;
        scheduleMusic();
      } catch (e) {
        music.failed = true;
        showNotice('The music cannot play here (' + e.message + '): the show plays silently.');
      }
    },
    musicFailed: () => music.failed,
    // The program could not load or play the music; what is wrong came just before, on stderr.
    musicUnavailable() {
      showNotice('The show plays on without its music.');
    },
    // Seconds of music heard since it started, unwrapped, from the start position: the context
    // time of the sample now at the speakers, carried forward on the page's clock between audio
    // blocks. Standing at the start position until the sound begins.
    heardSeconds() {
      scheduleMusic();
      if (audioContext === null || music.startFrame === null) return startSeconds;
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
      return startSeconds + heard - music.startFrame / audioContext.sampleRate;
    },
    stopMusic() {
      music.playing = false;
      for (const source of music.sources) {
        try { source.stop(); } catch (e) { /* not started or already stopped */ }
        source.disconnect();
      }
      music.sources.clear();
      music.chunks = [];
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
    if (params.has('timings')) args.push('--timings');
    return args;
  }

  function showStartScreen() {
    document.body.classList.remove('playing');
    canvas.style.display = 'none';
    startScreen.style.display = 'flex';
    clearTimeout(noticeTimer);
    notice.classList.remove('shown');
  }

  // Resumes the program where it waits; a run that ends there (Escape, the end of the show)
  // leaves by the exit the runtime throws.
  function resume(wakeUp) {
    try {
      wakeUp();
    } catch (e) {
      if (!(e && e.name === 'ExitStatus')) throw e;
    }
  }

  function finished(status) {
    running = false;
    loading = false;
    startWaiter = null;
    stats.exitStatus = status;
    clearTimeout(audioDeadline);
    page.stopMusic();
    if (headless || bench) {
      console.log('brindlehop: exit ' + status);
      return;
    }
    showStartScreen();
    if (status !== 0) {
      // A broken data set or a failed start stays broken: no point offering the click again.
      ready = false;
      prompt.textContent = 'The show cannot start.';
      startScreen.classList.add('waiting');
      showMessage(errorLines.join('\n') || 'The show stopped with status ' + status + '.');
    } else {
      showMessage(notices.join('\n'));
      // The next run loads while the visitor looks at the start screen.
      prompt.textContent = 'Loading…';
      startScreen.classList.add('waiting');
      run();
    }
  }

  // Starts a run of the program: in the headless and bench modes straight through, for the show
  // as far as the click (waitForStart).
  function run() {
    if (!ready || loading) return;
    loading = true;
    running = headless || bench;
    errorLines = [];
    notices = [];
    keys = [];
    createBrindlehop({
      arguments: argumentsFromUrl(),
      page,
      print: (line) => console.log(line),
      printErr: (line) => {
        line = forVisitor(line);
        errorLines.push(line);
        console.warn(line);
        // Lines for the file's name and fault reach the visitor; the bare "No Init" and
        // "Can`t play file" and the back ends' "audio:" lines are said better by the page.
        if (loading && !headless && !bench && !/^(No Init|Can`t play file|audio: |brindlehop: timing )/.test(line)) {
          showNotice(line);
        }
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
        loading = false;
        startWaiter = null;
        page.stopMusic();
        fail('The show stopped: ' + what);
        showStartScreen();
      },
    }).catch((e) => fail('The program cannot start: ' + (e && e.message ? e.message : e)));
  }

  // The context, at the music's rate where the browser allows it, so the buffers play without
  // resampling. Made while the page loads, since the first one can take half a second (the
  // browser starts its audio service); it stays suspended until the click resumes it, as
  // browsers let sound start only from a user gesture.
  function makeAudioContext() {
    const AudioContextClass = window.AudioContext || window.webkitAudioContext;
    if (!AudioContextClass || audioContext !== null) return;
    try {
      audioContext = new AudioContextClass({ sampleRate: 44100 });
    } catch (e) {
      try { audioContext = new AudioContextClass(); } catch (e2) { audioContext = null; }
    }
  }

  function onStartClick() {
    if (startWaiter === null || running) return;
    clickTime = performance.now();
    makeAudioContext();
    if (audioContext !== null) {
      if (audioContext.state === 'suspended') audioContext.resume().catch(() => {});
      audioContext.onstatechange = () => scheduleMusic();
      audioDeadline = setTimeout(audioDidNotStart, kAudioStartMs);
    }
    running = true;
    music.failed = false;
    stats.frames = 0;
    stats.firstFrameMs = -1;
    Object.assign(split, { count: 0, resumedAt: 0, frameTime: 0, largestGapMs: 0, gapsOver20Ms: 0,
                           calledAt: 0, largestCallbackGapMs: 0, callbackGapsOver20Ms: 0 });
    stats.runs++;
    showMessage('');
    document.body.classList.add('playing');
    startScreen.style.display = 'none';
    canvas.style.display = 'block';
    // What the program found while loading (music that cannot play) shows over the show too.
    showNotice(audioContext === null ? 'This browser has no Web Audio: the show plays silently.' : null);
    const wakeUp = startWaiter;
    startWaiter = null;
    resume(wakeUp);
  }

  function fromBase64(text) {
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  async function fetchBytes(name) {
    const response = await fetch(name);
    if (!response.ok) throw new Error(name + ': ' + response.status + ' ' + response.statusText);
    return new Uint8Array(await response.arrayBuffer());
  }

  // The data and the WebAssembly, from the page itself or from the server.
  async function loadFiles() {
    if (bundle) {
      for (const [name, text] of bundle.files) dataFiles.set(name, fromBase64(text));
      return fromBase64(bundle.wasm);
    }
    const list = await fetch('data/files.txt');
    if (!list.ok) throw new Error('data/files.txt: ' + list.status + ' ' + list.statusText);
    const names = (await list.text()).split('\n').filter((n) => n !== '');
    const missing = [];
    await Promise.all(names.map(async (name) => {
      try {
        dataFiles.set(name, await fetchBytes('data/' + encodeURIComponent(name)));
      } catch (e) {
        missing.push(e.message);
      }
    }));
    if (missing.length > 0) throw new Error('cannot load ' + missing.sort().join(', '));
    return fetchBytes('brindlehop.wasm');
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
      wasmModule = await WebAssembly.compile(await loadFiles());
    } catch (e) {
      if (location.protocol === 'file:') {
        // Browsers do not let a page opened from disk read the files beside it.
        const folder = decodeURIComponent(location.pathname.replace(/\/[^/]*$/, '/'))
          .replace(/^\/([A-Za-z]:)/, '$1');
        fail('A browser does not let a page opened from disk read the show\'s files beside it (' +
             e.message + ').\n\nOpen brindlehop.html in the same folder instead: it is the ' +
             'whole show in one file and plays from disk. Or serve the folder with a web ' +
             'server, for example\n  python3 -m http.server -d "' + folder + '" 8000\n' +
             'and open http://localhost:8000/');
      } else {
        fail(e.message);
      }
      return;
    }
    ready = true;
    if (headless || bench) {
      prompt.textContent = headless ? 'Rendering (headless)…' : 'Timing the scenes…';
    } else {
      makeAudioContext();
    }
    run();
  }

  // A run ends as the native program does, by exiting; in a browser the exit is an ExitStatus
  // thrown after onExit has run. The frame loop's resume catches its own; these are for any
  // other way out.
  window.addEventListener('unhandledrejection', (event) => {
    if (event.reason && event.reason.name === 'ExitStatus') event.preventDefault();
  });
  window.addEventListener('error', (event) => {
    if (event.error && event.error.name === 'ExitStatus') event.preventDefault();
  });
  window.addEventListener('resize', fitCanvas);
  startScreen.addEventListener('click', onStartClick);
  fullscreenButton.addEventListener('click', toggleFullscreen);
  document.addEventListener('fullscreenchange', () => {
    fullscreenButton.textContent = document.fullscreenElement ? 'Leave full screen' : 'Full screen';
  });
  // Over the show the button stays out of sight until the pointer moves.
  let pointerTimer = 0;
  window.addEventListener('pointermove', () => {
    document.body.classList.add('pointer');
    clearTimeout(pointerTimer);
    pointerTimer = setTimeout(() => document.body.classList.remove('pointer'), 2000);
  });
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

  if (typeof createBrindlehop === 'function') {
    load();
  } else {
    const script = document.createElement('script');
    script.src = 'brindlehop.js';
    script.onload = load;
    script.onerror = () => fail('The program (brindlehop.js) did not load.');
    document.body.appendChild(script);
  }
})();
