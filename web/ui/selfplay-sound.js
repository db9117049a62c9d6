// The recording's sound on Web Audio. Chunks are read from the engine
// (stretched by libsonic there at other speeds than 1x, the pitch kept) and
// scheduled back to back on the AudioContext's time line; the media clock
// then reads its time from what the output is playing, so the picture
// follows the sound as selfplay-view's follows its sound device.

const kLead = 0.06;       // s between a (re)start and its first sample
const kAhead = 0.5;       // s of sound kept scheduled
const kChunk = 0.2;       // s of output per read

export class SoundOutput {
  constructor(engine, clock) {
    this.engine = engine;
    this.clock = clock;
    this.track = null;
    this.context = null;
    this.gain = null;
    this.volume = 1;
    this.speed = 1;
    this.generation = 0;
    this.sources = new Set();
    this.lastAudible = 0;
  }

  setTrack(track) { this.track = track; }

  running() { return this.context && this.context.state === 'running'; }

  makeContext() {
    if (this.context) return;
    const AudioContextClass = globalThis.AudioContext || globalThis.webkitAudioContext;
    if (!AudioContextClass) return;
    this.context = new AudioContextClass({latencyHint: 'playback'});
    this.gain = this.context.createGain();
    this.gain.gain.value = this.volume;
    this.gain.connect(this.context.destination);
    this.context.addEventListener('statechange', () => this.onStateChange());
    this.onStateChange();
  }

  // True when the browser lets sound start without the user's action.
  async tryStart() {
    this.makeContext();
    if (!this.context) return false;
    if (this.running()) return true;
    const resumed = this.context.resume().catch(() => {});
    await Promise.race([resumed, new Promise((resolve) => setTimeout(resolve, 400))]);
    return this.running();
  }

  // Called from inside a click or a key's handler, which lets sound start.
  resumeInGesture() {
    this.makeContext();
    this.context?.resume().catch(() => {});
  }

  onStateChange() {
    if (!this.context) return;
    if (this.running() && !this.onContextClock) {
      this.onContextClock = true;
      this.lastAudible = 0;
      this.clock.setSource(() => this.audibleMs());
      if (!this.clock.paused) this.playFrom(this.clock.now(), this.speed);
    }
  }

  // The context's time (ms) of the sample the listener hears now.
  audibleMs() {
    const context = this.context;
    let ms;
    const stamp = context.getOutputTimestamp?.();
    if (stamp && stamp.performanceTime > 0) {
      ms = stamp.contextTime * 1000 + (performance.now() - stamp.performanceTime);
    } else {
      ms = (context.currentTime - (context.outputLatency || context.baseLatency || 0)) * 1000;
    }
    // The stamp moves in steps; between them the estimate must not go back.
    this.lastAudible = Math.max(this.lastAudible, ms);
    return this.lastAudible;
  }

  setVolume(volume) {
    this.volume = volume;
    if (this.gain) this.gain.gain.value = volume;
  }

  // Starts the sound at `ms` of the recording, at `speed`, and sets the
  // clock to reach `ms` when its first sample is heard.
  playFrom(ms, speed) {
    this.stop();
    this.speed = speed;
    if (!this.running()) return;
    const startsAt = this.context.currentTime + kLead;
    this.clock.seek(ms, startsAt * 1000);
    if (!this.track) return;
    this.nextTime = startsAt;
    this.nextFrame = Math.round(ms / 1000 * this.track.rate);
    this.ended = this.nextFrame >= this.track.frames;
    this.pump();
  }

  stop() {
    ++this.generation;
    this.busy = false;
    for (const source of this.sources) {
      try { source.stop(); } catch (e) { /* not started yet */ }
      source.disconnect();
    }
    this.sources.clear();
  }

  // Keeps kAhead seconds scheduled; called at every picture step.
  pump() {
    if (!this.running() || !this.track || this.busy || this.ended || this.clock.paused) return;
    if (this.nextTime === undefined || this.nextTime > this.context.currentTime + kAhead) return;
    this.busy = true;
    const generation = this.generation;
    const count = Math.max(256, Math.round(kChunk * this.track.rate));
    this.engine.request('sound', {firstFrame: this.nextFrame, count, speed: this.speed}).then((reply) => {
      if (generation !== this.generation) return;
      this.busy = false;
      if (reply.failed || !reply.samples || reply.samples.length === 0) {
        this.ended = true;
        return;
      }
      this.schedule(reply.samples, reply.channels);
      this.nextFrame = reply.nextFrame;
      this.pump();
    });
  }

  schedule(samples, channels) {
    const context = this.context;
    const frames = Math.floor(samples.length / channels);
    const buffer = context.createBuffer(channels, frames, this.track.rate);
    for (let c = 0; c < channels; ++c) {
      const data = buffer.getChannelData(c);
      for (let i = 0; i < frames; ++i) data[i] = samples[i * channels + c];
    }
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(this.gain);
    const when = this.nextTime;
    this.nextTime += frames / this.track.rate;
    // A chunk that comes late keeps its place on the time line: its head is cut.
    const late = context.currentTime - when;
    if (late >= buffer.duration) return;
    if (late > 0) source.start(0, late);
    else source.start(when);
    this.sources.add(source);
    source.onended = () => { this.sources.delete(source); source.disconnect(); };
  }

  close() {
    this.stop();
    this.context?.close().catch(() => {});
    this.context = null;
  }
}
