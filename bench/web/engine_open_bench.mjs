// The web engine on a long recording under node, through its C API as the
// page's worker drives it: the first picture, the whole index (frames and
// sound), seeks at random ticks, and the WebAssembly memory at the end.
//   node --no-experimental-fetch engine_open_bench.mjs SITE_DIR RECORDING
// Prints one JSON object per figure.
import { createRequire } from 'node:module';
import fs from 'node:fs';
import path from 'node:path';

const [site, file] = process.argv.slice(2).map((p) => path.resolve(p));
const create = createRequire(import.meta.url)(path.join(site, 'selfplay-player-engine.js'));
const fd = fs.openSync(file, 'r');
const size = fs.fstatSync(fd).size;
let engine;
engine = await create({
  wasmBinary: fs.readFileSync(path.join(site, 'selfplay-player.wasm')),
  spRead: (source, offset, length, dst) => fs.readSync(fd, engine.HEAPU8, dst, length, offset),
});
const report = (name, fields) => console.log(JSON.stringify({ name, ...fields }));
const rect = engine._malloc(16);

let start = performance.now();
const handle = engine._sp_open(1, size);
if (!handle) throw new Error(engine.UTF8ToString(engine._sp_error(0)));
engine._sp_picture_at(handle, 0, rect);
report('first_picture', { ms: +(performance.now() - start).toFixed(1), goal: '<= 500 ms in the browser' });

start = performance.now();
let steps = 0;
while (engine._sp_index_step(handle, 2000)) ++steps;
report('whole_index', { ms: +(performance.now() - start).toFixed(1), steps,
                        frames: engine._sp_frame_count(handle),
                        sound_frames: engine._sp_sound_frames(handle), goal: '<= 2000 ms in the browser' });

// The snapshots the worker makes while nothing else is asked of it, then
// the read-through of the blocks seeks leave out.
start = performance.now();
let slices = 0;
while (engine._sp_idle_work(handle)) ++slices;
report('idle_work', { ms: +(performance.now() - start).toFixed(1), slices });

// Seeks as a user makes them: anywhere, one after another.
let seed = 12345;
const random = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
const last = engine._sp_last_tick(handle);
const times = [];
for (let i = 0; i < 60; ++i) {
  const tick = Math.floor(random() * (last + 1));
  const t = performance.now();
  engine._sp_picture_at(handle, tick, rect);
  times.push(performance.now() - t);
}
times.sort((a, b) => a - b);
report('seek', { p50_ms: +times[30].toFixed(1), p95_ms: +times[57].toFixed(1), goal: 'p95 <= 150 ms in the browser' });

// Hover previews along the seek bar (the first one reads the second
// reader's index).
const previews = [];
for (let i = 0; i < 20; ++i) {
  const t = performance.now();
  engine._sp_preview_at(handle, Math.floor(random() * (last + 1)), 192, rect);
  previews.push(performance.now() - t);
}
report('preview', { first_ms: +previews[0].toFixed(1), p95_later_ms: +previews.slice(1).sort((a, b) => a - b)[17].toFixed(1) });

// A minute of sound at 1.5x from the middle, as the page asks for it.
const out = engine._malloc(4 * 4096 * 2);
let next = Math.floor(engine._sp_sound_frames(handle) / 2);
start = performance.now();
let produced = 0;
while (produced < 60 * engine._sp_sound_rate(handle)) {
  const n = engine._sp_sound_read(handle, next, 4096, out, 1.5);
  if (!n) break;
  produced += n;
  next = engine._sp_sound_next_frame(handle);
}
report('sound_minute_at_1.5x', { ms: +(performance.now() - start).toFixed(1) });

report('wasm_memory', { mb: +(engine.HEAPU8.length / 1048576).toFixed(1), goal: '<= 350 MB' });
engine._sp_close(handle);
