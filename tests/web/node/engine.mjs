// Loads the web player's engine (build-web/selfplay-web) into node and opens
// files through its C API, reading them with node's fs as the page's worker
// reads a Blob.
import { createRequire } from 'node:module';
import fs from 'node:fs';
import path from 'node:path';

export const site = process.env.SELFPLAY_WEB_SITE;

export async function loadEngine() {
  // The loader is a classic script; in node it exports its factory.
  const create = createRequire(import.meta.url)(path.join(site, 'selfplay-player-engine.js'));
  const files = new Map();
  const engine = await create({
    wasmBinary: fs.readFileSync(path.join(site, 'selfplay-player.wasm')),
    spRead(source, offset, length, dst) {
      const file = files.get(source);
      if (!file || file.fail) return -1;
      if (offset >= file.bytes.length) return 0;
      const part = file.bytes.subarray(offset, Math.min(file.bytes.length, offset + length));
      engine.HEAPU8.set(part, dst);
      return part.length;
    },
  });
  let nextSource = 1;
  const scratch = engine._malloc(64);
  const api = {
    engine,
    // Opens bytes; returns {handle, source, error}.
    open(bytes, { failing = false } = {}) {
      const source = nextSource++;
      files.set(source, { bytes, fail: failing });
      const handle = engine._sp_open(source, bytes.length);
      return { handle, source, error: engine.UTF8ToString(engine._sp_error(0)) };
    },
    indexAll(handle) {
      let steps = 0;
      while (engine._sp_index_step(handle, 100)) ++steps;
      return steps;
    },
    // {pixels (the whole RGBA picture, a copy), rect}
    picture(handle, tick) {
      const p = engine._sp_picture_at(handle, tick, scratch);
      if (!p) return null;
      const rect = Array.from(engine.HEAP32.subarray(scratch >> 2, (scratch >> 2) + 4));
      const w = engine._sp_width(handle), h = engine._sp_height(handle);
      return { pixels: engine.HEAPU8.slice(p, p + w * h * 4), rect };
    },
    text(pointer) { return engine.UTF8ToString(pointer); },
    scratch,
  };
  return api;
}

// FNV-1a 64 over R, G, B of RGBA pixels, as the native fixtures hash them.
export function hashRgb(rgba) {
  // In 32-bit halves: BigInt per byte is too slow for every tick.
  let hi = 0xcbf29ce4, lo = 0x84222325;
  for (let i = 0; i < rgba.length; i += 4) {
    for (let c = 0; c < 3; ++c) {
      lo = (lo ^ rgba[i + c]) >>> 0;
      // (hi:lo) * 0x100000001b3 = (hi:lo) * 0x1b3 + (lo << 40)
      const loMul = lo * 0x1b3;
      const carry = Math.floor(loMul / 0x100000000);
      const newLo = loMul >>> 0;
      const newHi = (Math.imul(hi, 0x1b3) + carry + ((lo << 8) >>> 0)) >>> 0;
      lo = newLo; hi = newHi;
    }
  }
  return hi.toString(16).padStart(8, '0') + lo.toString(16).padStart(8, '0');
}
