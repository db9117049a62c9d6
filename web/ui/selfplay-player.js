// selfplay-player.js: plays a selfplay recording in a web page.
//
//   import { createPlayer } from './selfplay-player.js';
//   const player = await createPlayer(element, source, options);
//
// source: a URL string, an ArrayBuffer / Uint8Array, or a Blob / File.
// options: {autoplay, loop, startAt (s), speed, idleSkip, fit: 'contain' | 'none',
// controls, muted}. The promise resolves once the first picture is shown and
// rejects with an Error naming the problem. Importing the module also
// defines <selfplay-player src=... autoplay loop speed start-at idle-skip
// fit controls muted>, whose `player` property is the same object.
//
// The engine (WebAssembly) runs in a Worker (selfplay-worker.js, a classic
// script) that loads Emscripten's loader (selfplay-player-engine.js), which
// loads selfplay-player.wasm; this module's own parts (selfplay-seek-bar.js,
// selfplay-sound.js, selfplay-picture-feed.js, selfplay-controls.js,
// selfplay-media-clock.js, selfplay-engine-client.js, selfplay-source.js,
// selfplay-element.js) are imported by URL. All are found beside this file.
//
// A page that cannot serve side files (the one-file HTML export, opened from
// file://) sets, before importing this module (itself from a Blob URL):
//   globalThis.SelfplayPlayerAssets = {
//     files: {   // Blob URLs (type text/javascript) of the files' texts
//       'selfplay-seek-bar.js': ..., 'selfplay-sound.js': ...,
//       'selfplay-picture-feed.js': ..., 'selfplay-controls.js': ...,
//       'selfplay-media-clock.js': ..., 'selfplay-engine-client.js': ...,
//       'selfplay-source.js': ..., 'selfplay-element.js': ...,
//       // The loader's text, a newline, then selfplay-worker.js's text, as
//       // ONE Blob: a Blob-URL worker of a file:// page can load nothing
//       // (no importScripts, no import()). For this the loader must be a
//       // classic script (MODULARIZE with EXPORT_NAME=createSelfplayEngine,
//       // without EXPORT_ES6), so that it defines createSelfplayEngine.
//       'selfplay-worker.js': ...,
//     },
//     wasmBinary: Uint8Array of selfplay-player.wasm,
//     styles: false,   // the CSS is inline in the page: add no <link>
//   };
// and gives the recording as bytes, e.g. <selfplay-player id=...> without a
// src attribute, then `element.load(uint8Array)` (or an ArrayBuffer, a Blob):
// nothing is fetched then.

function fileUrl(name) {
  const files = globalThis.SelfplayPlayerAssets?.files;
  if (files?.[name]) return files[name];
  try {
    return new URL(name, import.meta.url).href;
  } catch (e) {
    return null;  // loaded from a Blob URL: there is nothing beside it
  }
}

// Plain imports cannot follow Blob URLs, so the parts are imported by URL.
const [{SeekBar, formatTime}, {SoundOutput}, {PictureFeed}, {buildDom, icon, kKeys, kSpeeds}, {MediaClock},
       {EngineClient}, {toBlob, nameOf, messageFor}, {defineElement}] = await Promise.all([
  import(fileUrl('selfplay-seek-bar.js')),
  import(fileUrl('selfplay-sound.js')),
  import(fileUrl('selfplay-picture-feed.js')),
  import(fileUrl('selfplay-controls.js')),
  import(fileUrl('selfplay-media-clock.js')),
  import(fileUrl('selfplay-engine-client.js')),
  import(fileUrl('selfplay-source.js')),
  import(fileUrl('selfplay-element.js')),
]);

export {formatTime, kKeys, kSpeeds};

const kPreviewWidth = 192;
const kAheadMs = 500;  // wall time the worker composes ahead of the clock while playing

function assets() {
  const given = globalThis.SelfplayPlayerAssets || {};
  return {
    workerUrl: fileUrl('selfplay-worker.js'),
    engineUrl: fileUrl('selfplay-player-engine.js'),
    wasmUrl: fileUrl('selfplay-player.wasm'),
    wasmBinary: given.wasmBinary || null,
    styles: given.styles !== false,
  };
}

function addStyles() {
  if (!assets().styles || !fileUrl('selfplay-player.css') || document.querySelector('link[data-selfplay-player]')) return;
  const link = document.createElement('link');
  link.rel = 'stylesheet';
  link.href = fileUrl('selfplay-player.css');
  link.dataset.selfplayPlayer = '';
  document.head.appendChild(link);
}

export class Player extends EventTarget {
  constructor(host, options = {}) {
    super();
    addStyles();
    this.options = {autoplay: false, loop: false, startAt: 0, speed: 1, idleSkip: false, fit: 'contain',
                     controls: true, muted: false, ...options};
    this.host = host;
    this.clock = new MediaClock();
    this.speedIndex = Math.max(0, kSpeeds.indexOf(Number(this.options.speed)));
    if (kSpeeds[this.speedIndex] !== Number(this.options.speed)) this.speedIndex = nearestSpeed(this.options.speed);
    this.clock.setSpeed(kSpeeds[this.speedIndex]);
    this.idleSkip = !!this.options.idleSkip;
    this.oneToOne = this.options.fit === 'none';
    this.muted = !!this.options.muted;
    this.volume = 1;
    this.durationMs = 0;
    this.tickMs = 40;
    this.marks = [];
    this.idle = [];
    this.frameTicks = null;
    this.damage = '';
    this.disposed = false;
    this.waitingForGesture = false;
    this.seekWaiters = [];
    buildDom(this, SeekBar);
    this.ready = new Promise((resolve, reject) => { this.resolveReady = resolve; this.rejectReady = reject; });
    this.indexDone = new Promise((resolve) => { this.resolveIndexDone = resolve; });
    this.ready.catch(() => {});
  }

  // ---- the public API ----
  play() {
    if (!this.engine || this.disposed) return;
    if (this.waitingForGesture) return this.startAfterGesture();
    // Inside a click or key this lets the sound start; elsewhere it waits.
    this.sound?.resumeInGesture();
    if (!this.clock.paused) return;
    if (this.indexComplete && this.clock.now() >= this.durationMs) this.clock.seek(0);
    this.setPaused(false);
  }
  pause() { if (this.engine && !this.clock.paused) this.setPaused(true); }
  togglePause() { this.clock.paused ? this.play() : this.pause(); }
  getCurrentTime() { return Math.min(this.clock.now(), this.durationMs) / 1000; }
  getDuration() { return this.durationMs / 1000; }
  get paused() { return this.clock.paused; }
  get speed() { return kSpeeds[this.speedIndex]; }

  seek(seconds) { return this.seekTo(Number(seconds) * 1000); }

  setSpeed(x) {
    this.speedIndex = nearestSpeed(x);
    this.applySpeed();
  }
  setIdleSkip(on) {
    this.idleSkip = !!on;
    this.idleButton.setAttribute('aria-pressed', String(this.idleSkip));
    this.idleButton.classList.toggle('sp-on', this.idleSkip);
  }
  setMuted(muted) {
    this.muted = !!muted;
    this.sound?.setVolume(this.muted ? 0 : this.volume);
    this.muteButton.innerHTML = icon(this.muted ? 'muted' : 'sound');
    this.muteButton.classList.toggle('sp-on', this.muted);
    if (!this.muted && this.waitingForGesture) this.startAfterGesture();
  }
  setVolume(volume) {
    this.volume = Math.min(1, Math.max(0, volume));
    this.volumeInput.value = String(Math.round(this.volume * 100));
    this.sound?.setVolume(this.muted ? 0 : this.volume);
  }
  setFit(fit) {
    this.oneToOne = fit === 'none';
    this.root.classList.toggle('sp-one-to-one', this.oneToOne);
    this.fitButton.textContent = this.oneToOne ? '1:1' : 'Fit';
    this.fitButton.title = this.oneToOne ? 'Actual size: fit to the width (1)' : 'Fitted: show at actual size (1)';
  }

  // The picture at 1:1 as shown now, cursor and caption included.
  snapshot() {
    if (!this.canvas.width) return null;
    return this.context.getImageData(0, 0, this.canvas.width, this.canvas.height);
  }

  dispose() {
    if (this.disposed) return;
    this.disposed = true;
    cancelAnimationFrame(this.frameRequest);
    clearInterval(this.watchdog);
    this.sound?.close();
    this.engine?.terminate();
    this.engine = null;
    document.removeEventListener('keydown', this.gestureListener, true);
    document.removeEventListener('pointerdown', this.gestureListener, true);
    this.root.remove();
  }

  // ---- opening ----
  async open(source) {
    try {
      this.name = nameOf(source);
      const blob = await toBlob(source);
      if (blob.size === 0) throw new Error(`${this.name} is empty: a selfplay recording was expected`);
      await this.startEngine(blob);
      await this.showFirstPicture();
      this.resolveReady(this);
      this.emit('ready');
      this.startPlaying();
    } catch (e) {
      const error = e instanceof Error ? e : new Error(String(e));
      this.showError(error.message);
      this.emit('error', {message: error.message});
      this.rejectReady(error);
      this.engine?.terminate();
      this.engine = null;
    }
    return this.ready;
  }

  startEngine(blob) {
    const where = assets();
    return new Promise((resolve, reject) => {
      this.openedPromise = {resolve, reject};
      let worker;
      try {
        // Classic: a module worker cannot start from a Blob URL on a file:// page.
        worker = new Worker(where.workerUrl, {name: 'selfplay-player'});
      } catch (e) {
        reject(new Error(`The player's engine did not start: ${e.message}`));
        return;
      }
      this.engine = new EngineClient(worker, (message) => this.onEngineEvent(message));
      this.feed = new PictureFeed(this.engine, this.context, {
        shown: (tick, picture) => this.onShown(tick, picture),
        failed: (reply) => {
          this.failedPicture = reply.failed;
          if (reply.damage) this.showDamage(reply.damage);
        },
      });
      this.engine.post({type: 'open', blob, engineUrl: where.engineUrl, wasmUrl: where.wasmUrl,
                        wasmBinary: where.wasmBinary});
    });
  }

  onEngineEvent(message) {
    if (this.disposed) return;
    if (message.type === 'frame') {
      this.feed?.onFrame(message);
    } else if (message.type === 'opened') {
      this.width = message.width;
      this.height = message.height;
      this.tickMs = Math.max(1, message.tickMs);
      this.openMs = message.openMs;
      this.openedPromise?.resolve();
    } else if (message.type === 'indexed') {
      this.onIndexed(message);
    } else if (message.type === 'shortened') {
      this.durationMs = message.durationMs;
      if (message.damage) this.showDamage(message.damage);
      this.updateLabels();
      this.render(true);
    } else if (message.type === 'snapshots') {
      // Seeks are at their quickest from here on.
      this.snapshotsComplete = true;
      this.emit('snapshots');
    } else if (message.type === 'failed') {
      const text = messageFor(this.name, message.message);
      this.resolveIndexDone();
      if (this.openedPromise && !this.width) {
        this.openedPromise.reject(new Error(text));
      } else {
        this.showStatus(text, 'error');
        this.emit('error', {message: text});
      }
    }
  }

  onIndexed(message) {
    this.durationMs = message.durationMs;
    this.indexComplete = message.complete;
    if (message.damage) this.showDamage(message.damage);
    if (message.complete) {
      this.marks = Array.from(message.marks);
      this.idle = [];
      for (let k = 0; k + 1 < message.idle.length; k += 2) this.idle.push([message.idle[k], message.idle[k + 1]]);
      this.frameTicks = message.frameTicks;
      this.soundInfo = message.sound;
      if (!message.sound && message.soundProblem) this.showStatus(message.soundProblem, 'note');
      this.indexedAt = performance.now();
      this.bar.setMarks(this.marks);
      if (this.sound && message.sound) this.sound.setTrack(message.sound);
      this.resolveIndexDone();
      this.emit('indexed');
    }
    this.bar.setDuration(this.durationMs);
    this.updateLabels();
  }

  async showFirstPicture() {
    this.canvas.width = this.width;
    this.canvas.height = this.height;
    this.root.style.setProperty('--sp-width', this.width + 'px');
    this.root.style.setProperty('--sp-aspect', `${this.width} / ${this.height}`);
    const startMs = Math.max(0, Number(this.options.startAt) || 0) * 1000;
    // A later start needs the time line up to there: the whole index
    // (a second or two for hours; the first picture at 0 needs none).
    if (startMs > 0) await this.indexDone;
    this.clock.seek(Math.min(startMs, this.durationMs));
    await this.render(true);
    if (this.failedPicture) throw new Error(messageFor(this.name, this.failedPicture));
    this.firstPictureAt = performance.now();
    this.bar.setDuration(this.durationMs);
    this.bar.setPosition(this.clock.now());
    this.updateTime(this.clock.now());
    this.root.classList.remove('sp-loading');
  }

  // After the first picture: sound, then play when asked to (and allowed).
  async startPlaying() {
    this.sound = new SoundOutput(this.engine, this.clock);
    this.sound.setVolume(this.muted ? 0 : this.volume);
    if (this.soundInfo) this.sound.setTrack(this.soundInfo);
    this.watchdog = setInterval(() => { if (document.hidden) this.step(); }, 250);
    if (!this.options.autoplay) return;
    const running = await this.sound.tryStart();
    if (this.disposed) return;
    if (running || this.muted) {
      this.play();
    } else {
      // The browser holds sound back until the user acts: the first picture
      // and a play button; the first click or key starts both.
      this.waitingForGesture = true;
      this.root.classList.add('sp-blocked');
      this.gestureListener = () => this.startAfterGesture();
      document.addEventListener('keydown', this.gestureListener, {capture: true, once: true});
      document.addEventListener('pointerdown', this.gestureListener, {capture: true, once: true});
    }
  }

  startAfterGesture() {
    if (!this.waitingForGesture) return;
    this.waitingForGesture = false;
    this.root.classList.remove('sp-blocked');
    document.removeEventListener('keydown', this.gestureListener, true);
    document.removeEventListener('pointerdown', this.gestureListener, true);
    // resume() must be called within the gesture; the rest follows.
    this.sound?.resumeInGesture();
    // The click or Space that this pointer or key goes on to make must not
    // pause again what it started.
    this.startedByGestureAt = performance.now();
    this.play();
  }

  // ---- the play loop ----
  setPaused(paused) {
    if (paused) {
      this.clock.setPaused(true);
      this.sound?.stop();
    } else {
      this.clock.setPaused(false);
      this.sound?.playFrom(this.clock.now(), this.speed);
    }
    this.playButton.innerHTML = icon(paused ? 'play' : 'pause');
    this.playButton.title = paused ? 'Play (Space)' : 'Pause (Space)';
    this.root.classList.toggle('sp-paused', paused);
    this.emit(paused ? 'pause' : 'play');
    this.scheduleFrame();
    this.step();
  }

  scheduleFrame() {
    if (this.frameRequest || this.clock.paused || this.disposed) return;
    this.frameRequest = requestAnimationFrame(() => {
      this.frameRequest = 0;
      this.step();
      this.scheduleFrame();
    });
  }

  // One look at the clock: end, idle skip, the picture for the time.
  step() {
    if (!this.engine || this.disposed) return;
    this.sound?.pump();
    let now = this.clock.now();
    if (!this.clock.paused && this.indexComplete && now >= this.durationMs) {
      if (this.options.loop) {
        this.clock.seek(0);
        this.sound?.playFrom(0, this.speed);
        this.feed.stop();
        now = 0;
        this.emit('loop');
      } else {
        this.clock.seek(this.durationMs);
        this.setPaused(true);
        this.emit('ended');
        return;
      }
    }
    if (this.idleSkip && !this.clock.paused) {
      for (const [start, end] of this.idle) {
        if (now >= start && now < end) {
          this.clock.seek(end);
          this.sound?.playFrom(end, this.speed);
          this.feed.stop();
          this.flash(`Skipped ${formatTime(end - now)} idle`);
          this.emit('skip', {from: now / 1000, to: end / 1000});
          now = end;
          break;
        }
      }
    }
    this.render(false);
    this.bar.setPosition(Math.min(now, this.durationMs));
    this.updateTime(now);
  }

  tickAt(ms) { return Math.floor(Math.max(0, Math.min(ms, this.durationMs || ms)) / this.tickMs); }

  get shownTick() { return this.feed ? this.feed.shownTick : -1; }

  // The picture for the clock's time: while playing, from the frames the
  // worker composes ahead (about half a second of the clock); else asked for.
  render(force) {
    if (!this.feed) return Promise.resolve();
    const tick = this.tickAt(this.clock.now());
    if (this.clock.paused) return this.feed.show(tick, force);
    const lastTick = Math.floor(this.durationMs / this.tickMs);
    const lead = Math.ceil(kAheadMs * this.speed / this.tickMs);
    this.feed.play(tick, this.indexComplete ? Math.min(lastTick, tick + lead) : tick + lead);
    return Promise.resolve();
  }

  onShown(tick, picture) {
    this.lastDrawn = {tick, at: performance.now()};
    if (picture.damage) {
      this.durationMs = Math.min(this.durationMs || picture.durationMs, picture.durationMs);
      this.showDamage(picture.damage);
    }
    // A seek is done when its picture shows, or a later seek's has while
    // nothing more is asked for (a drag along the bar).
    const settled = !this.feed.inFlight && this.feed.wanted === null;
    this.seekWaiters = this.seekWaiters.filter((waiter) => {
      if (waiter.tick !== tick && !settled) return true;
      waiter.resolve();
      return false;
    });
    // Paused, the clock may have been moved while this one was composed.
    if (this.clock.paused && this.tickAt(this.clock.now()) !== tick) this.render(false);
  }

  seekTo(ms) {
    if (!this.engine) return Promise.resolve();
    const target = Math.max(0, Math.min(ms, this.durationMs));
    this.clock.seek(target);
    if (!this.clock.paused) this.sound?.playFrom(target, this.speed);
    const tick = this.tickAt(target);
    const shown = new Promise((resolve) => this.seekWaiters.push({tick, resolve}));
    this.bar.setPosition(target);
    this.updateTime(target);
    // The frames composed ahead are for the time before the seek.
    this.feed.stop();
    this.feed.show(tick, true);
    return shown.then(() => { this.emit('seeked'); });
  }

  seekBy(ms) { return this.seekTo(this.clock.now() + ms); }

  frameOf(tick) {
    const ticks = this.frameTicks;
    if (!ticks || !ticks.length) return -1;
    let low = 0, high = ticks.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (ticks[middle] <= tick) low = middle; else high = middle - 1;
    }
    return low;
  }

  stepFrame(direction) {
    if (!this.engine) return;
    if (!this.clock.paused) this.setPaused(true);
    const tick = this.tickAt(this.clock.now());
    const frame = this.frameOf(tick);
    if (frame < 0) return this.seekTo((tick + direction) * this.tickMs);
    let target = frame + direction;
    // Back from inside a frame goes to that frame's start first.
    if (direction < 0 && tick > this.frameTicks[frame]) target = frame;
    target = Math.max(0, Math.min(this.frameTicks.length - 1, target));
    return this.seekTo(this.frameTicks[target] * this.tickMs);
  }

  jumpToMark(direction) {
    if (!this.marks.length) return;
    const now = this.clock.now();
    if (direction > 0) {
      const next = this.marks.find((mark) => mark > now + 1);
      if (next !== undefined) this.seekTo(next);
    } else {
      // A mark just passed is skipped over, as a player's "previous" does.
      const before = this.marks.filter((mark) => mark < now - 1500);
      this.seekTo(before.length ? before[before.length - 1] : 0);
    }
  }

  changeSpeed(direction) {
    this.speedIndex = Math.max(0, Math.min(kSpeeds.length - 1, this.speedIndex + direction));
    this.applySpeed();
  }

  applySpeed() {
    this.clock.setSpeed(this.speed);
    if (!this.clock.paused) this.sound?.playFrom(this.clock.now(), this.speed);
    this.speedSelect.value = String(this.speed);
    this.speedSelect.classList.toggle('sp-on', this.speed !== 1);
    this.flash(`${this.speed}x`);
    this.emit('ratechange');
  }

  toggleFullScreen() {
    if (document.fullscreenElement) document.exitFullscreen?.();
    else this.root.requestFullscreen?.().catch(() => {});
  }

  // ---- messages ----
  flash(text) {
    this.toast.textContent = text;
    this.toast.classList.add('sp-shown');
    clearTimeout(this.toastTimer);
    this.toastTimer = setTimeout(() => this.toast.classList.remove('sp-shown'), 1500);
  }

  showStatus(text, kind) {
    this.status.textContent = text;
    this.status.className = 'sp-status sp-' + kind;
  }

  showDamage(damage) {
    if (this.damage === damage) return;
    this.damage = damage;
    this.showStatus(`Damaged: plays up to ${damage}`, 'damage');
    this.bar.setDuration(this.durationMs);
    this.emit('damage', {message: damage});
  }

  showError(text) {
    this.root.classList.remove('sp-loading');
    this.root.classList.add('sp-failed');
    this.errorBox.textContent = text;
  }

  emit(type, detail = {}) {
    const event = new Event(type);
    Object.assign(event, detail);
    this.dispatchEvent(event);
    this.host.dispatchEvent?.(new CustomEvent('selfplay-' + type, {detail}));
  }

  updateTime(now) {
    const text = `${formatTime(Math.min(now, this.durationMs))} / ${formatTime(this.durationMs)}`;
    if (this.timeLabel.textContent !== text) this.timeLabel.textContent = text;
  }

  updateLabels() { this.updateTime(this.clock.now()); }

  toggleIdleSkip() {
    this.setIdleSkip(!this.idleSkip);
    this.flash(this.idleSkip ? `Skipping idle stretches (${this.idle.length})` : 'Idle skipping off');
  }

  toggleHelp(show = !this.root.classList.contains('sp-help-shown')) {
    this.root.classList.toggle('sp-help-shown', show);
  }

  justStarted() { return performance.now() - (this.startedByGestureAt ?? -1e9) < 600; }

  // The hover picture: one request at a time, the latest time wins.
  async preview(ms) {
    if (!this.engine || !this.width) return null;
    this.previewWanted = ms;
    if (this.previewBusy) return null;
    this.previewBusy = true;
    try {
      let image = null;
      while (this.previewWanted !== null && this.engine) {
        const at = this.previewWanted;
        this.previewWanted = null;
        const reply = await this.engine.request('preview', {tick: this.tickAt(at), maxWidth: kPreviewWidth});
        if (reply.pixels && reply.width > 0) image = new ImageData(reply.pixels, reply.width, reply.height);
        if (image) this.bar.showPreview(image);
      }
      return image;
    } finally {
      this.previewBusy = false;
    }
  }

}

function nearestSpeed(x) {
  let best = 0;
  for (let k = 1; k < kSpeeds.length; ++k) {
    if (Math.abs(kSpeeds[k] - x) < Math.abs(kSpeeds[best] - x)) best = k;
  }
  return best;
}

export async function createPlayer(host, source, options = {}) {
  if (!host || typeof host.appendChild !== 'function') throw new Error('createPlayer needs an element to fill');
  const player = new Player(host, options);
  return await player.open(source);
}

// <selfplay-player>, defined by importing this module.
export const SelfplayPlayerElement = defineElement(Player);
