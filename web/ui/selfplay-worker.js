// The web player's engine thread (a classic Worker script): the WebAssembly
// module runs here, reading
// the recording on demand from a Blob with FileReaderSync, so neither a big
// file nor indexing ever blocks the page.
//
// Page -> worker: {type:'open', engineUrl, wasmUrl | wasmBinary, blob};
// {type:'recycle', buffer} hands a drawn picture's buffer back; then
// requests {type, id, ...} answered by {type:'reply', id, ...}:
//   picture {tick, appliedSeq} -> {tick, seq, rect:[x,y,w,h], pixels (RGBA of rect) | null, damage}
//   preview {tick, maxWidth}  -> {width, height, pixels}
//   sound   {firstFrame, count, speed} -> {samples (Float32Array), nextFrame}
// {type:'ahead', generation, fromTick, currentTick, untilTick, appliedSeq}
// asks for the ticks up to untilTick, composed ahead while playing, posted
// as {type:'frame', generation, tick, seq, rect, pixels}; {type:'ahead',
// stop:true} ends that. Worker -> page (unasked): 'opened', 'indexed'
// (progress and at the end), 'shortened' {durationMs, lastTick, frameCount,
// damage} when the idle work finds damage that ends the recording earlier,
// 'snapshots' {complete} once the idle work is done (the seeks' snapshots
// made, every block read through), 'frame', 'failed' {message}. Every
// buffer is transferred, not copied.

let engine = null;   // the Emscripten module
let handle = 0;
let blob = null;
const reader = new FileReaderSync();
const kSource = 1;  // the number sp_open hands back to spRead
const kIndexRecords = 2000;  // frame records per step: a few ms, then the page's requests
const kFirstIndexRecords = 100;  // before the first picture
const kSnapshotRestMs = 100;  // after a picture request or while composing ahead: no snapshots

self.onmessage = (event) => {
  const message = event.data;
  try {
    if (message.type === 'open') {
      open(message).catch((e) => self.postMessage({type: 'failed', message: `The player's engine did not start: ${e && e.message || e}`}));
    }
    else if (!handle) reply(message, {failed: 'no recording is open'});
    else if (message.type === 'picture') { picture(message); lastRequestAt = performance.now(); }
    else if (message.type === 'preview') preview(message);
    else if (message.type === 'sound') sound(message);
    else if (message.type === 'recycle') recycle(message.buffer);
    else if (message.type === 'ahead') aheadRequest(message);
    else if (message.type === 'close') close();
  } catch (e) {
    self.postMessage({type: 'failed', message: String(e && e.message || e)});
  }
};

function reply(request, fields, transfer = []) {
  self.postMessage({type: 'reply', id: request.id, ...fields}, transfer);
}

async function loadEngine(message) {
  const options = {
    spRead: readInto,
    print: () => {},
    printErr: (text) => console.warn(text),
  };
  if (message.wasmBinary) options.wasmBinary = message.wasmBinary;
  // Always given: without it the loader resolves the wasm against its own
  // URL, which a Blob URL cannot be a base for.
  options.locateFile = (name) => message.wasmUrl || name;
  return await (await engineFactory(message.engineUrl))(options);
}

// The Emscripten loader's factory: already here when the loader's text was
// put in front of this script (the one-file page, whose Blob-URL worker can
// load nothing else); else a classic script (importScripts), or an ES
// module (import()).
async function engineFactory(url) {
  if (typeof self.createSelfplayEngine === 'function') return self.createSelfplayEngine;
  if (!url) throw new Error('no engine loader was given');
  try {
    importScripts(url);
    if (typeof self.createSelfplayEngine === 'function') return self.createSelfplayEngine;
  } catch (e) {
    // An ES module does not run as a classic script: import it.
  }
  const imported = await import(url);
  return imported.default;
}

// Module.spRead: copies file bytes into the module's memory.
function readInto(source, offset, length, dst) {
  if (!blob || source !== kSource) return -1;
  if (offset >= blob.size || length <= 0) return 0;
  try {
    const bytes = reader.readAsArrayBuffer(blob.slice(offset, Math.min(blob.size, offset + length)));
    engine.HEAPU8.set(new Uint8Array(bytes), dst);
    return bytes.byteLength;
  } catch (e) {
    return -1;
  }
}

function text(pointer) { return pointer ? engine.UTF8ToString(pointer) : ''; }

async function open(message) {
  if (!engine) engine = await loadEngine(message);
  close();
  blob = message.blob;
  const started = performance.now();
  handle = engine._sp_open(kSource, blob.size);
  if (!handle) {
    self.postMessage({type: 'failed', message: text(engine._sp_error(0))});
    return;
  }
  // One step of the index before the first picture: a short recording is
  // then known whole when it shows (an hour takes two steps).
  const more = engine._sp_index_step(handle, kFirstIndexRecords);
  self.postMessage({
    type: 'opened',
    width: engine._sp_width(handle),
    height: engine._sp_height(handle),
    tickMs: engine._sp_tick_ms(handle),
    openMs: performance.now() - started,
  });
  if (more) {
    self.postMessage({type: 'indexed', complete: false, ...timeLine()});
    setTimeout(() => indexStep(handle), 0);
  } else {
    self.postMessage({type: 'indexed', complete: true, ...timeLine(), ...extras()});
    startIdleWork();
  }
}

// Indexes a step at a time, yielding to the page's requests in between;
// the times and marks are posted when it is complete.
function indexStep(forHandle) {
  if (forHandle !== handle) return;
  const more = engine._sp_index_step(handle, kIndexRecords);
  if (more) {
    self.postMessage({type: 'indexed', complete: false, ...timeLine()});
    setTimeout(() => indexStep(forHandle), 0);
    return;
  }
  self.postMessage({type: 'indexed', complete: true, ...timeLine(), ...extras()});
  startIdleWork();
}

// The work of idle moments once the index is complete, one slice per task:
// the full-frame snapshots seeks start from (without them a seek in an hour
// composes from far back), then the read-through of the blocks no seek
// decoded. Each slice takes about one frame's composing, so none is done
// while the page is asking for pictures or the worker composes ahead: it
// waits a little and tries again.
let lastRequestAt = -Infinity;
let idleWorkFor = 0;  // the handle whose idle work is being done; 0 when none
function startIdleWork() {
  idleWorkFor = handle;
  afterMessages(idleWork);
}

function idleWork() {
  if (!handle || idleWorkFor !== handle) return;
  const busy = aheadTimer || (ahead && ahead.next <= ahead.until) ||
               performance.now() - lastRequestAt < kSnapshotRestMs;
  if (busy) {
    const forHandle = handle;
    setTimeout(() => { if (forHandle === handle) idleWork(); }, kSnapshotRestMs);
    return;
  }
  const frames = engine._sp_frame_count(handle);
  const more = engine._sp_idle_work(handle);
  // The idle work also reads through the blocks no seek decoded: one that
  // does not decode ends the recording earlier.
  if (engine._sp_frame_count(handle) !== frames) self.postMessage({type: 'shortened', ...timeLine()});
  if (!more) {
    idleWorkFor = 0;
    self.postMessage({type: 'snapshots', complete: true});
    return;
  }
  afterMessages(idleWork);
}

function timeLine() {
  const frames = engine._sp_frame_count(handle);
  return {
    durationMs: engine._sp_duration_ms(handle),
    lastTick: engine._sp_last_tick(handle),
    frameCount: frames,
    damage: text(engine._sp_damage(handle)),
  };
}

// Reads a list of doubles the engine writes, counted first.
function doubles(call, perItem) {
  const count = call(0, 0);
  if (count <= 0) return new Float64Array(0);
  const bytes = count * perItem * 8;
  const pointer = engine._malloc(bytes);
  try {
    const written = Math.min(count, call(pointer, count));
    return engine.HEAPF64.slice(pointer / 8, pointer / 8 + written * perItem);
  } finally {
    engine._free(pointer);
  }
}

function extras() {
  const marks = doubles((p, max) => engine._sp_marks(handle, p, max), 1);
  const idle = doubles((p, max) => engine._sp_idle_stretches(handle, p, max), 2);
  const frames = engine._sp_frame_count(handle);
  const frameTicks = new Float64Array(frames);
  for (let k = 0; k < frames; ++k) frameTicks[k] = engine._sp_tick_of_frame(handle, k);
  const rate = engine._sp_sound_rate(handle);
  return {
    marks, idle, frameTicks,
    sound: rate > 0 ? {rate, channels: engine._sp_sound_channels(handle), frames: engine._sp_sound_frames(handle)}
                    : null,
    soundProblem: rate > 0 ? '' : text(engine._sp_error(handle)),
  };
}

const scratch = {pointer: 0, bytes: 0};
function scratchOf(bytes) {
  if (scratch.bytes < bytes) {
    if (scratch.pointer) engine._free(scratch.pointer);
    scratch.pointer = engine._malloc(bytes);
    scratch.bytes = bytes;
  }
  return scratch.pointer;
}

// Pictures sent as changed rectangles, numbered; those the page may not
// have drawn (sent after the last it says it drew) are covered again by
// the next picture it asks for.
let sentSeq = 0;
let undrawn = [];  // {seq, rect}

function union(a, b) {
  if (!a || a[2] <= 0 || a[3] <= 0) return b;
  if (!b || b[2] <= 0 || b[3] <= 0) return a;
  const x = Math.min(a[0], b[0]);
  const y = Math.min(a[1], b[1]);
  return [x, y, Math.max(a[0] + a[2], b[0] + b[2]) - x, Math.max(a[1] + a[3], b[1] + b[3]) - y];
}

function forgetDrawn(appliedSeq) {
  undrawn = undrawn.filter((sent) => sent.seq > appliedSeq);
}

// Composes `tick`; the rectangle to send (with `also` added) and its pixels.
function compose(tick, also) {
  const out = scratchOf(16);
  const started = performance.now();
  const pixels = engine._sp_picture_at(handle, tick, out);
  const composeMs = performance.now() - started;
  if (!pixels) return {failed: text(engine._sp_error(handle)), damage: text(engine._sp_damage(handle))};
  const rect = union(Array.from(engine.HEAP32.subarray(out / 4, out / 4 + 4)), also) || [0, 0, 0, 0];
  const copy = copyRect(pixels, rect);
  const seq = ++sentSeq;
  if (rect[2] > 0 && rect[3] > 0) undrawn.push({seq, rect});
  return {tick, rect, pixels: copy, seq, composeMs, damage: text(engine._sp_damage(handle)),
          durationMs: engine._sp_duration_ms(handle)};
}

function picture(request) {
  let also = null;
  for (const sent of undrawn) if (sent.seq > request.appliedSeq) also = union(also, sent.rect);
  undrawn = [];
  const result = compose(request.tick, also);
  reply(request, result, result.pixels ? [result.pixels.buffer] : []);
}

// Runs `task` after the messages already queued, without setTimeout's
// 4 ms floor for nested timers (at 4x a tick is 10 ms of the page's time).
const yieldChannel = new MessageChannel();
const yielded = [];
yieldChannel.port1.onmessage = () => yielded.shift()?.();
function afterMessages(task) {
  yielded.push(task);
  yieldChannel.port2.postMessage(0);
}

// Composing ahead of the page's clock while it plays.
let ahead = null;  // {generation, next, until}
let aheadTimer = 0;

function aheadRequest(message) {
  if (message.stop) {
    ahead = null;
    return;
  }
  forgetDrawn(message.appliedSeq);
  if (!ahead || ahead.generation !== message.generation) {
    ahead = {generation: message.generation, next: message.fromTick, until: message.untilTick};
  }
  ahead.until = Math.max(ahead.until, message.untilTick);
  // Ticks the clock has passed are not composed: the page needs only the latest.
  ahead.next = Math.max(ahead.next, message.currentTick);
  if (!aheadTimer) {
    aheadTimer = 1;
    afterMessages(composeAhead);
  }
}

function composeAhead() {
  aheadTimer = 0;
  if (!ahead || !handle || ahead.next > ahead.until) return;
  const result = compose(ahead.next, null);
  if (result.failed) {
    ahead = null;
    self.postMessage({type: 'failed', message: result.failed});
    return;
  }
  self.postMessage({type: 'frame', generation: ahead.generation, ...result}, result.pixels ? [result.pixels.buffer] : []);
  ++ahead.next;
  // One tick a task: the page's requests come in between.
  aheadTimer = 1;
  afterMessages(composeAhead);
}

function copyRect(pixels, rect) {
  const [x, y, w, h] = rect;
  const width = engine._sp_width(handle);
  let copy = null;
  if (w > 0 && h > 0) {
    const heap = engine.HEAPU8;
    const start = pixels + (y * width + x) * 4;
    copy = spareBuffer(w * h * 4);
    if (w === width) {
      copy.set(heap.subarray(start, start + w * h * 4));  // whole rows: one copy
    } else {
      for (let row = 0; row < h; ++row) {
        const from = start + row * width * 4;
        copy.set(heap.subarray(from, from + w * 4), row * w * 4);
      }
    }
  }
  return copy;
}

// Picture buffers the page has drawn and handed back: a whole picture's
// 8 MB is not allocated anew at every seek.
const spares = [];
function recycle(buffer) {
  if (buffer instanceof ArrayBuffer && spares.length < 3) spares.push(buffer);
}
function spareBuffer(bytes) {
  let best = -1;
  for (let k = 0; k < spares.length; ++k) {
    if (spares[k].byteLength >= bytes && (best < 0 || spares[k].byteLength < spares[best].byteLength)) best = k;
  }
  if (best < 0) return new Uint8ClampedArray(bytes);
  const [buffer] = spares.splice(best, 1);
  return new Uint8ClampedArray(buffer, 0, bytes);
}

function preview(request) {
  const size = scratchOf(16);
  const pixels = engine._sp_preview_at(handle, request.tick, request.maxWidth, size);
  if (!pixels) {
    reply(request, {width: 0, height: 0, pixels: null});
    return;
  }
  const width = engine.HEAP32[size / 4];
  const height = engine.HEAP32[size / 4 + 1];
  const copy = new Uint8ClampedArray(engine.HEAPU8.subarray(pixels, pixels + width * height * 4));
  reply(request, {width, height, pixels: copy}, [copy.buffer]);
}

function sound(request) {
  const channels = Math.max(1, engine._sp_sound_channels(handle));
  const out = engine._malloc(request.count * channels * 4);
  try {
    const written = engine._sp_sound_read(handle, request.firstFrame, request.count, out, request.speed);
    const samples = engine.HEAPF32.slice(out / 4, out / 4 + written * channels);
    reply(request, {samples, channels, nextFrame: engine._sp_sound_next_frame(handle)}, [samples.buffer]);
  } finally {
    engine._free(out);
  }
}

function close() {
  ahead = null;
  idleWorkFor = 0;
  undrawn = [];
  if (handle) engine._sp_close(handle);
  handle = 0;
  blob = null;
}
