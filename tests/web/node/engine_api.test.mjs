// The WebAssembly engine through its C API, under node: every tick's
// picture equals the native engine's for each kind of JPEG, the changed
// rectangles alone rebuild the picture, bad and damaged input give their
// messages, and the sound comes out as the track holds it.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { loadEngine, hashRgb } from './engine.mjs';

const fixtures = path.join(process.env.SELFPLAY_TEST_TMP, 'parity');
const kinds = ['sampling-420', 'sampling-422', 'sampling-444', 'progressive', 'grey'];
let api;

before(async () => {
  fs.rmSync(fixtures, { recursive: true, force: true });
  execFileSync(process.env.SELFPLAY_PARITY_FIXTURES, [fixtures]);
  api = await loadEngine();
});

function nativeHashes(kind) {
  return fs.readFileSync(path.join(fixtures, `${kind}.hashes`), 'utf8').trim().split('\n')
    .map((line) => line.split(' ')[1]);
}

function openFixture(name) {
  const opened = api.open(fs.readFileSync(path.join(fixtures, name)));
  assert.ok(opened.handle > 0, opened.error);
  return opened.handle;
}

// Puts the changed rectangle of `shot` onto `canvas`, as the page does.
function applyRect(canvas, shot, width) {
  const [x, y, w, h] = shot.rect;
  for (let row = y; row < y + h; ++row) {
    const from = (row * width + x) * 4;
    canvas.set(shot.pixels.subarray(from, from + w * 4), from);
  }
}

test('every tick equals the native engine, played on and sought in any order', () => {
  for (const kind of kinds) {
    const expected = nativeHashes(kind);
    const handle = openFixture(`${kind}.exe`);
    api.indexAll(handle);
    const width = api.engine._sp_width(handle);
    assert.equal(api.engine._sp_last_tick(handle) + 1, expected.length, kind);
    const canvas = new Uint8Array(width * api.engine._sp_height(handle) * 4);
    const orders = {
      forward: expected.map((_, t) => t),
      // A fixed shuffle: back and forth across snapshots and cursor steps.
      shuffled: expected.map((_, t) => (t * 37 + 11) % expected.length),
    };
    for (const [order, ticks] of Object.entries(orders)) {
      for (const tick of ticks) {
        const shot = api.picture(handle, tick);
        assert.equal(hashRgb(shot.pixels), expected[tick], `${kind} ${order} tick ${tick}`);
        applyRect(canvas, shot, width);
        assert.equal(hashRgb(canvas), expected[tick], `${kind} ${order} tick ${tick}: changed rect`);
      }
    }
    api.engine._sp_close(handle);
  }
});

test('the first picture before the index, and the index in steps', () => {
  const handle = openFixture('sampling-420.exe');
  const first = api.picture(handle, 0);
  assert.deepEqual(first.rect, [0, 0, 200, 136]);
  assert.equal(hashRgb(first.pixels), nativeHashes('sampling-420')[0]);
  assert.equal(api.picture(handle, 0).rect[2], 0, 'the same picture again changes nothing');
  assert.equal(api.engine._sp_index_step(handle, 10), 1);
  const partial = api.engine._sp_frame_count(handle);
  assert.ok(partial > 1 && partial <= 11, `${partial} frames after a step of 10 records`);
  // What is indexed shows meanwhile, as the native engine shows it.
  const tick = api.engine._sp_tick_of_frame(handle, partial - 1);
  assert.equal(hashRgb(api.picture(handle, tick).pixels), nativeHashes('sampling-420')[tick]);
  let steps = 1;
  while (api.engine._sp_index_step(handle, 10)) ++steps;
  assert.ok(steps >= 3, `${steps} steps of 10 records for 36 frames`);
  assert.equal(api.engine._sp_frame_count(handle), 36);
  assert.equal(100 % api.engine._sp_tick_ms(handle), 0, 'ticks divide the frame interval');
  assert.equal(api.engine._sp_duration_ms(handle), api.engine._sp_last_tick(handle) * api.engine._sp_tick_ms(handle));
  assert.equal(api.engine._sp_frame_of_tick(handle, api.engine._sp_tick_of_frame(handle, 20)), 20);
  assert.equal(api.text(api.engine._sp_damage(handle)), '');
  api.picture(handle, 0);
  const size = api.scratch;
  const preview = api.engine._sp_preview_at(handle, 10, 50, size);
  assert.ok(preview);
  assert.deepEqual(Array.from(api.engine.HEAP32.subarray(size >> 2, (size >> 2) + 2)), [50, 34]);
  // A preview leaves the picture's changed rectangle to the picture's own calls.
  assert.equal(api.picture(handle, 0).rect[2], 0);
  api.engine._sp_close(handle);
  assert.equal(api.engine._sp_width(handle), 0, 'a closed handle answers nothing');
});

test('a file that is no recording, and one read that fails, are named', () => {
  const none = api.open(new TextEncoder().encode('hello, this is a text file and no recording'.repeat(20)));
  assert.equal(none.handle, 0);
  assert.match(none.error, /no recording/);
  assert.match(none.error, /was expected/);
  const empty = api.open(new Uint8Array(0));
  assert.equal(empty.handle, 0);
  assert.match(empty.error, /no recording/);
});

test('a cut recording plays up to its damage, which names item and offset', () => {
  const bytes = fs.readFileSync(path.join(fixtures, 'sampling-444.exe'));
  const cut = bytes.subarray(0, bytes.length - Math.floor((bytes.length - 495616) / 3));
  const opened = api.open(cut);
  assert.ok(opened.handle > 0, opened.error);
  api.indexAll(opened.handle);
  const damage = api.text(api.engine._sp_damage(opened.handle));
  assert.match(damage, /frame \d+/);
  assert.match(damage, /offset [\d,]+/);
  const frames = api.engine._sp_frame_count(opened.handle);
  assert.ok(frames > 1 && frames < 36, `${frames} frames`);
  const expected = nativeHashes('sampling-444');
  const last = api.engine._sp_tick_of_frame(opened.handle, frames - 1);
  assert.equal(hashRgb(api.picture(opened.handle, last).pixels), expected[last]);
  // Past the damage the picture stays the last frame's.
  assert.ok(api.picture(opened.handle, 1e9));
  api.engine._sp_close(opened.handle);
});

test('a read the page cannot make is a stream read error, not a crash', () => {
  const opened = api.open(fs.readFileSync(path.join(fixtures, 'progressive.exe')), { failing: true });
  assert.equal(opened.handle, 0);
  assert.match(opened.error, /Stream read error/);
});

test('the sound track, straight and stretched with its pitch kept', () => {
  const handle = openFixture('tone.exe');
  api.indexAll(handle);
  const e = api.engine;
  assert.equal(e._sp_sound_rate(handle), 11025);
  assert.equal(e._sp_sound_channels(handle), 1);
  const frames = e._sp_sound_frames(handle);
  assert.equal(frames, 2 * 11025);
  const wav = fs.readFileSync(path.join(fixtures, 'tone.wav'));
  const out = e._malloc(4 * 4096);
  // Speed 1: the samples as stored (8-bit unsigned to -1 .. 1).
  assert.equal(e._sp_sound_read(handle, 1000, 4096, out, 1), 4096);
  const got = e.HEAPF32.subarray(out >> 2, (out >> 2) + 4096);
  for (let i = 0; i < 4096; i += 97) {
    assert.ok(Math.abs(got[i] - (wav[44 + 1000 + i] - 128) / 128) < 1 / 128, `sample ${i}`);
  }
  assert.equal(e._sp_sound_next_frame(handle), 5096);
  // Speed 2, read on to the end: about half as many frames come out.
  let next = 0, produced = 0;
  for (let guard = 0; guard < 1000; ++guard) {
    const n = e._sp_sound_read(handle, next, 1024, out, 2);
    if (n === 0) break;
    produced += n;
    next = e._sp_sound_next_frame(handle);
  }
  assert.equal(next, frames);
  assert.ok(Math.abs(produced - frames / 2) < 0.02 * frames, `${produced} frames at 2x`);
  assert.equal(e._sp_sound_read(handle, frames, 1024, out, 1), 0, 'nothing past the end');
  e._free(out);
  e._sp_close(handle);
});
