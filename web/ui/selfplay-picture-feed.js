// The pictures, from the engine's worker to the canvas. Each comes as the
// rectangle that changed since the engine's previous picture, so every one
// the worker composed must be drawn, in order, or covered again later.
//
// Paused, and at a seek, one picture is asked for. While playing, the
// worker composes the ticks ahead of the clock (`ahead` messages say how
// far) and posts them as `frame` messages; each is drawn when the clock
// reaches its tick, so a costly frame is ready before its time. Frames of
// an abandoned run (a seek, a pause) are dropped; the next picture asked
// for then covers what they changed: the worker adds the rectangles of the
// frames sent after the last one drawn (`appliedSeq`).

export class PictureFeed {
  // calls: {shown(tick, reply), failed(reply)}
  constructor(engine, context, calls) {
    this.engine = engine;
    this.context = context;
    this.calls = calls;
    this.generation = 0;
    this.appliedSeq = 0;
    this.shownTick = -1;
    this.queue = [];
    this.running = false;     // ahead frames asked for in this generation
    this.askedUntil = -1;
    this.inFlight = 0;
    this.wanted = null;       // a picture asked for while another was composed
  }

  // The one picture at `tick` (paused, a seek, the first picture).
  show(tick, force = false) {
    this.stop();
    if (!force && !this.needsResync && tick === this.shownTick && !this.inFlight) return Promise.resolve();
    if (this.inFlight && !this.needsResync) {
      this.wanted = tick;
      return Promise.resolve();
    }
    return this.ask(tick);
  }

  async ask(tick) {
    this.needsResync = false;
    ++this.inFlight;
    const reply = await this.engine.request('picture', {tick, appliedSeq: this.appliedSeq});
    --this.inFlight;
    if (reply.failed) {
      this.calls.failed(reply);
      return;
    }
    this.draw(reply);
    this.calls.shown(tick, reply);
    if (this.wanted !== null && !this.inFlight && !this.running) {
      const next = this.wanted;
      this.wanted = null;
      if (next !== this.shownTick) this.ask(next);
    }
  }

  // While playing: draws the frames that are due at `tick` and asks for
  // those up to `untilTick`.
  play(tick, untilTick) {
    while (this.queue.length && this.queue[0].tick <= tick) {
      const frame = this.queue.shift();
      this.draw(frame);
      this.calls.shown(frame.tick, frame);
    }
    if (this.needsResync) this.ask(tick);
    if (untilTick > this.askedUntil || !this.running) {
      this.running = true;
      this.askedUntil = untilTick;
      this.engine.post({type: 'ahead', generation: this.generation, fromTick: Math.max(tick, this.shownTick + 1),
                        currentTick: tick, untilTick, appliedSeq: this.appliedSeq});
    }
  }

  // The clock jumped or stopped: the frames composed ahead are abandoned.
  stop() {
    if (!this.running && !this.queue.length) return;
    ++this.generation;
    this.running = false;
    this.askedUntil = -1;
    for (const frame of this.queue) this.recycle(frame);
    this.queue = [];
    this.needsResync = true;
    this.engine.post({type: 'ahead', stop: true});
  }

  onFrame(frame) {
    if (frame.generation !== this.generation || !this.running) {
      // Abandoned: stop() has marked that the next picture asked for must
      // cover it, and the worker sent it before composing that picture.
      this.recycle(frame);
      return;
    }
    this.queue.push(frame);
  }

  draw(picture) {
    if (picture.pixels) {
      const [x, y, w, h] = picture.rect;
      this.context.putImageData(new ImageData(picture.pixels, w, h), x, y);
      this.recycle(picture);
    }
    this.appliedSeq = picture.seq;
    this.shownTick = picture.tick;
    this.lastComposeMs = picture.composeMs;  // the engine's share, for the benchmark
  }

  // The buffer goes back to the worker for the next picture.
  recycle(picture) {
    if (!picture.pixels) return;
    const buffer = picture.pixels.buffer;
    picture.pixels = null;
    this.engine.post({type: 'recycle', buffer}, [buffer]);
  }
}
