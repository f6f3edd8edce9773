// The page around the program: cross-origin isolation, the start gate, the canvas (whole
// scale factors, letterboxed), keys, full screen, the audio output and the end screen.
// ?test=1 runs the program on the virtual clock (as the headless host does) and keeps the
// frames named by &frames=N,M,... for the tests; &start=POSITION starts later in the song.
'use strict';

const params = new URLSearchParams(location.search);
const testMode = params.get('test') === '1';
const wantedFrames = new Set((params.get('frames') || '').split(',').filter((s) => s !== '').map(Number));
const canvas = document.getElementById('screen');
const context2d = canvas.getContext('2d', { alpha: false });
const gate = document.getElementById('gate');
const gateText = document.getElementById('gate-text');
const endScreen = document.getElementById('end');

// What the tests and the bench script read through the DevTools protocol.
const kestol = window.kestol = {
  state: 'loading', testMode, frames: {}, lastFrame: -1, presents: 0,
  firstFrameAt: null, startedAt: null, endedAt: null, presentTimes: [], presentCost: 0, messages: [],
  audio: null, block: 0,
};

function layout() {
  const host = document.fullscreenElement ? document.fullscreenElement : document.getElementById('stage');
  const scale = Math.max(1, Math.floor(Math.min(host.clientWidth / canvas.width, host.clientHeight / canvas.height)));
  canvas.style.width = canvas.width * scale + 'px';
  canvas.style.height = canvas.height * scale + 'px';
}
window.addEventListener('resize', layout);
document.addEventListener('fullscreenchange', layout);
layout();

function toggleFullscreen() {
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  else document.getElementById('stage').requestFullscreen().catch(() => {});
}
document.getElementById('fullscreen').addEventListener('click', (event) => {
  event.stopPropagation();
  toggleFullscreen();
});

let image = null;
// Called by the host (on this thread) for every picture: 32-bit pixels 0x00RRGGBB.
function present(address, width, height, pitch, bottomUp, frame) {
  const begun = performance.now();
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
    layout();
  }
  if (image === null || image.width !== width || image.height !== height) image = context2d.createImageData(width, height);
  // Whole pixels at a time (every browser is little-endian): 0x00RRGGBB in, the bytes
  // R, G, B, 255 out.
  const source = new Uint32Array(Module.HEAPU8.buffer);
  const target = new Uint32Array(image.data.buffer);
  for (let y = 0; y < height; ++y) {
    let s = (address + (bottomUp ? height - 1 - y : y) * pitch) >> 2;
    let t = y * width;
    for (let x = 0; x < width; ++x, ++s, ++t) {
      const v = source[s];
      target[t] = 0xFF000000 | ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
    }
  }
  context2d.putImageData(image, 0, 0);
  const now = performance.now();
  if (frame >= 0) {
    if (kestol.firstFrameAt === null) kestol.firstFrameAt = now;
    kestol.lastFrame = frame;
    if (kestol.presentTimes.length < 100000) kestol.presentTimes.push(now);
    if (wantedFrames.has(frame)) kestol.frames[frame] = Array.from(context2d.getImageData(0, 0, width, height).data);
  }
  ++kestol.presents;
  kestol.presentCost += performance.now() - begun;
}

// The frame position being heard, in the context's frames, from its output timestamp.
function heardContextFrame(audio) {
  const stamp = audio.getOutputTimestamp();
  return (stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000) * audio.sampleRate;
}

// For the tests: the position the program reads and the one the context says is heard,
// both in frames since the music began.
kestol.audioCheck = function () {
  const audio = kestol.audio;
  if (audio === null || kestol.state !== 'running') return null;
  const words = new Int32Array(Module.HEAPU8.buffer);
  const b = kestol.block >> 2;
  const startFrame = Atomics.load(words, b + 7);
  const startByte = Atomics.load(words, b + 2);
  const program = Module._kestol_web_audio_position() / 4 - startByte / 4;
  const heard = heardContextFrame(audio) - startFrame;
  return { program, heard, contextTime: audio.currentTime, latency: Atomics.load(words, b + 6) };
};

// The output latency, as the median of the last second's estimates: the context's time
// moves in steps of the output's callbacks, so one estimate alone jitters by a step.
const latencies = [];
function animationFrame() {
  if (kestol.state !== 'running') return;
  const audio = kestol.audio;
  if (audio !== null) {
    // Frames handed to the output but not heard yet: the worklet's count less this is
    // the frame being heard.
    latencies.push(audio.currentTime * audio.sampleRate - heardContextFrame(audio));
    if (latencies.length > 61) latencies.shift();
    const sorted = latencies.slice().sort((a, b) => a - b);
    const latency = Math.max(0, Math.round(sorted[sorted.length >> 1]));
    Atomics.store(new Int32Array(Module.HEAPU8.buffer), (kestol.block >> 2) + 6, latency);
  }
  Module._kestol_web_animation_frame();
  requestAnimationFrame(animationFrame);
}

async function openAudio() {
  try {
    const audio = new AudioContext({ sampleRate: 44100, latencyHint: 'interactive' });
    if (audio.sampleRate !== 44100) throw new Error('no 44,100 Hz output');
    await audio.audioWorklet.addModule('worklet.js');
    const node = new AudioWorkletNode(audio, 'kestol-output', { numberOfInputs: 0, outputChannelCount: [2] });
    node.connect(audio.destination);
    kestol.block = Module._kestol_web_audio_block();
    node.port.postMessage({ memory: Module.HEAPU8.buffer, block: kestol.block });
    await audio.resume();
    return audio;
  } catch (error) {
    console.warn('no audio output: playing without sound (' + error + ')');
    return null;
  }
}

async function start() {
  if (kestol.state !== 'ready') return;
  kestol.state = 'starting';
  gate.hidden = true;
  kestol.startedAt = performance.now();
  kestol.audio = testMode ? null : await openAudio();
  kestol.audioReadyAt = performance.now();
  Module._kestol_web_configure(testMode ? 1 : 0, kestol.audio !== null ? 1 : 0);
  const args = [];
  if (params.get('start')) args.push('--start', params.get('start'));
  kestol.state = 'running';
  requestAnimationFrame(animationFrame);
  Module.callMain(args);
}

let lastError = '';
function showEnd(code) {
  if (kestol.state === 'ended') return;
  kestol.state = 'ended';
  kestol.exitCode = code;
  // A program that ended with an error says why (a bad ?start=, for example).
  if (code && lastError) document.getElementById('end-message').textContent = lastError;
  kestol.endedAt = performance.now();
  if (kestol.audio !== null) kestol.audio.close().catch(() => {});
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  endScreen.hidden = false;
}
document.getElementById('replay').addEventListener('click', () => location.reload());

gate.addEventListener('click', start);
document.addEventListener('keydown', (event) => {
  if (kestol.state === 'ready') {
    event.preventDefault();
    start();
  } else if (event.key === 'Enter' && event.altKey) {
    event.preventDefault();
    toggleFullscreen();
  } else if (event.key === 'Escape' && kestol.state === 'running') {
    event.preventDefault();
    Module._kestol_web_input(0);
  }
});

var Module = {
  print: (text) => console.log(text),
  printErr: (text) => {
    lastError = text;
    console.warn(text);
  },
  kestolPresent: present,
  kestolMessage: (text) => {
    kestol.messages.push(text);
    document.getElementById('message').textContent = text;
  },
  onRuntimeInitialized: () => {
    kestol.state = 'ready';
    gateText.textContent = 'Click or press any key to start';
  },
  onExit: showEnd,
  onAbort: (what) => {
    kestol.state = 'failed';
    Module.kestolMessage('The demo stopped: ' + what);
    gate.hidden = false;
    gateText.textContent = '';
  },
};

// Threads need cross-origin isolation; a static server does not send its headers, so the
// service worker adds them and the page loads once more under it.
async function boot() {
  if (!window.crossOriginIsolated) {
    if (!('serviceWorker' in navigator)) {
      gateText.textContent = 'This browser cannot run the demo here (no service workers).';
      return;
    }
    const reloaded = sessionStorage.getItem('kestol-isolation-reload') === '1';
    await navigator.serviceWorker.register('sw.js');
    if (!reloaded) {
      sessionStorage.setItem('kestol-isolation-reload', '1');
      await navigator.serviceWorker.ready;
      location.reload();
      return;
    }
    gateText.textContent = 'This page could not be isolated (SharedArrayBuffer is missing).';
    return;
  }
  sessionStorage.removeItem('kestol-isolation-reload');
  const script = document.createElement('script');
  script.src = 'vexo.js';
  document.body.appendChild(script);
}
boot();
