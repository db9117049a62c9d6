// selfplay-media-clock.js: the player's clock (part of selfplay-player.js).

// The media clock: the recording's time in milliseconds, moving at the speed
// while playing, read from a time source in milliseconds (the sound's
// output clock while it runs, else performance.now()).
export class MediaClock {
  constructor() {
    this.source = () => performance.now();
    this.base = 0;
    this.since = this.source();
    this.speed = 1;
    this.paused = true;
  }
  now() {
    if (this.paused) return this.base;
    // Before a newly scheduled start is heard, the time stands still.
    return this.base + Math.max(0, this.source() - this.since) * this.speed;
  }
  seek(ms, startsAt = this.source()) { this.base = ms; this.since = startsAt; }
  setPaused(paused) { this.rebase(); this.paused = paused; }
  setSpeed(speed) { this.rebase(); this.speed = speed; }
  setSource(source) { this.rebase(); this.source = source; this.since = source(); }
  rebase() { this.base = this.now(); this.since = this.source(); }
}
