// The web player's figures in headless Chromium, each beside an anchor
// measured in the same run:
//   first picture of a 15-minute 1920 x 1080 recording handed to the player
//   (a Blob in memory), and its whole index; anchor: reading the file once
//   (Blob.arrayBuffer);
//   seek p50 / p95 on a 1-hour 1920 x 1080 recording, paused, 200 times
//   chosen at random, and the engine's own part of them (composing in the
//   worker); anchor: one 1920 x 1080 putImageData;
//   playing the 15-minute recording at 4x for 30 s: how far behind the
//   clock the shown picture is at each animation frame; anchor: the
//   animation frame's own period.
//
//   node bench/web/browser_figures.mjs [--site DIR] [--fixtures PROGRAM] [--seconds N]
// defaults: build-web/selfplay-web and build/tests/web/browser/web_browser_fixtures.
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {launchBrowser, openPage, scratchDir, startServer, waitFor} from '../../tests/web/browser/harness.mjs';
import {execFileSync} from 'node:child_process';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const args = process.argv.slice(2);
const option = (name, fallback) => {
  const at = args.indexOf(name);
  return at >= 0 ? args[at + 1] : fallback;
};
const site = path.resolve(option('--site', path.join(root, 'build-web/selfplay-web')));
const program = path.resolve(option('--fixtures', path.join(root, 'build/tests/web/browser/web_browser_fixtures')));
const playSeconds = Number(option('--seconds', 30));

const kBenchPage = `<!doctype html><html><head><meta charset="utf-8"></head>
<body style="margin:0;background:#000"><div id="host" style="width:1920px"></div>
<script type="module">
  import {createPlayer} from '/selfplay-player.js';
  window.createPlayer = createPlayer;
  window.pageReady = true;
</script></body></html>`;

function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(p / 100 * sorted.length))];
}

const fixtures = scratchDir('bench-fixtures');
execFileSync(program, [fixtures, '--long'], {stdio: 'inherit'});
fs.writeFileSync(path.join(fixtures, 'bench.html'), kBenchPage);
const server = await startServer(site, fixtures);
const browser = await launchBrowser(['--autoplay-policy=no-user-gesture-required']);
const figures = [];
try {
  const page = await openPage(browser, `${server.origin}/fixtures/bench.html`);
  await page.setViewport({width: 1940, height: 1200});
  await waitFor(page, () => window.pageReady);

  // First picture and index of 15 minutes, five times (the first with the
  // engine's start: the worker and the wasm's compile).
  const opening = await page.evaluate(async () => {
    const blob = await (await fetch('/fixtures/long-15min.exe')).blob();
    const runs = [];
    for (let run = 0; run < 5; ++run) {
      const readStart = performance.now();
      await blob.arrayBuffer();
      const read = performance.now() - readStart;
      const start = performance.now();
      let indexed = 0;
      const host = document.getElementById('host');
      const player = await window.createPlayer(host, blob, {muted: true});
      const first = performance.now() - start;
      if (!player.indexComplete) await new Promise((resolve) => player.addEventListener('indexed', resolve, {once: true}));
      indexed = performance.now() - start;
      runs.push({first, indexed, read, duration: player.getDuration()});
      player.dispose();
    }
    return runs;
  });
  const warm = opening.slice(1);
  figures.push({figure: 'first picture, 15 min 1920x1080 (cold: worker and wasm start)', ms: opening[0].first, goal: '<= 500'});
  figures.push({figure: 'first picture, 15 min 1920x1080 (warm, median of 4)', ms: percentile(warm.map((r) => r.first), 50), goal: '<= 500'});
  figures.push({figure: 'whole index, 15 min 1920x1080 (cold)', ms: opening[0].indexed, goal: '<= 2000'});
  figures.push({figure: 'whole index, 15 min 1920x1080 (warm, median of 4)', ms: percentile(warm.map((r) => r.indexed), 50), goal: '<= 2000'});
  figures.push({figure: 'anchor: Blob.arrayBuffer of the 15-minute file (14 MB)', ms: percentile(opening.map((r) => r.read), 50)});

  // Seeks on an hour, paused.
  const seeking = await page.evaluate(async () => {
    const blob = await (await fetch('/fixtures/long-1h.exe')).blob();
    const player = await window.createPlayer(document.getElementById('host'), blob, {muted: true});
    if (!player.indexComplete) await new Promise((resolve) => player.addEventListener('indexed', resolve, {once: true}));
    // The snapshots the worker makes once the index is complete, while
    // nothing is asked of it; how long they take after the index.
    const indexedAt = performance.now();
    if (!player.snapshotsComplete) await new Promise((resolve) => player.addEventListener('snapshots', resolve, {once: true}));
    const snapshotsMs = performance.now() - indexedAt;
    let seed = 12345;
    const random = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
    const times = [];
    const composes = [];  // the engine's part (sp_picture_at in the worker)
    for (let k = 0; k < 200; ++k) {
      const at = random() * player.getDuration();
      const start = performance.now();
      await player.seek(at);
      times.push(performance.now() - start);
      composes.push(player.feed.lastComposeMs);
    }
    // The anchor: one whole picture put on the canvas.
    const canvas = player.root.querySelector('canvas');
    const context = canvas.getContext('2d');
    const image = context.getImageData(0, 0, canvas.width, canvas.height);
    const puts = [];
    for (let k = 0; k < 20; ++k) {
      const start = performance.now();
      context.putImageData(image, 0, 0);
      context.getImageData(0, 0, 1, 1);  // waits for the put
      puts.push(performance.now() - start);
    }
    player.dispose();
    return {times, composes, puts, snapshotsMs, duration: player.getDuration()};
  });
  figures.push({figure: 'snapshots for the seeks, 1 h 1920x1080: made after the index in', ms: seeking.snapshotsMs});
  figures.push({figure: 'seek p50, 1 h 1920x1080 (200 seeks)', ms: percentile(seeking.times, 50)});
  figures.push({figure: 'seek p95, 1 h 1920x1080 (200 seeks)', ms: percentile(seeking.times, 95), goal: '<= 150'});
  figures.push({figure: 'seek max', ms: Math.max(...seeking.times)});
  figures.push({figure: 'seek p95: the engine composing alone (sp_picture_at in the worker)', ms: percentile(seeking.composes, 95)});
  figures.push({figure: 'seek p50: the engine composing alone', ms: percentile(seeking.composes, 50)});
  figures.push({figure: 'anchor: one 1920x1080 putImageData', ms: percentile(seeking.puts, 50)});

  // Playing at 4x through a whole-screen change (at 5:00), with sound.
  const playing = await page.evaluate(async (seconds) => {
    const blob = await (await fetch('/fixtures/long-15min.exe')).blob();
    const player = await window.createPlayer(document.getElementById('host'), blob, {startAt: 240, speed: 4});
    if (!player.indexComplete) await new Promise((resolve) => player.addEventListener('indexed', resolve, {once: true}));
    player.play();
    await new Promise((resolve) => setTimeout(resolve, 1000));  // the sound's start
    const behind = [];
    const lateAt = [];  // the clock's ms where the picture was late
    const periods = [];
    let last = 0;
    const end = performance.now() + seconds * 1000;
    await new Promise((resolve) => {
      const frame = (now) => {
        if (last) periods.push(now - last);
        last = now;
        // How long ago (wall ms) the shown tick stopped being the clock's.
        const tickMs = player.tickMs;
        const media = player.clock.now();
        const shownEnd = (player.shownTick + 1) * tickMs;
        behind.push(Math.max(0, (media - shownEnd) / player.clock.speed));
        if (behind[behind.length - 1] > 17) lateAt.push(Math.round(media));
        if (performance.now() < end) requestAnimationFrame(frame);
        else resolve();
      };
      requestAnimationFrame(frame);
    });
    const result = {behind, periods, lateAt, soundClock: !!player.sound.onContextClock, at: player.getCurrentTime()};
    player.dispose();
    return result;
  }, playSeconds);
  const period = percentile(playing.periods, 50);
  const late = playing.behind.filter((ms) => ms > period).length;
  figures.push({figure: `4x play, 30 s: frames whose picture is over one frame behind (of ${playing.behind.length})`,
                count: late, goal: '0'});
  figures.push({figure: '4x play: largest lag of the shown picture behind the clock', ms: Math.max(...playing.behind)});
  figures.push({figure: '4x play: p99 lag', ms: percentile(playing.behind, 99)});
  figures.push({figure: 'anchor: animation frame period (median)', ms: period});
  figures.push({figure: '4x play: clock times (ms) of the late frames', value: playing.lateAt.join(' ') || 'none'});
  figures.push({figure: '4x play: picture followed the sound clock', value: playing.soundClock});
  await page.close();
} finally {
  await browser.close();
  await server.close();
  fs.rmSync(fixtures, {recursive: true, force: true});
}

for (const f of figures) {
  const value = f.ms !== undefined ? `${f.ms.toFixed(1)} ms` : String(f.count ?? f.value);
  console.log(`${f.figure.padEnd(86)} ${value.padStart(12)}${f.goal ? `   goal ${f.goal}` : ''}`);
}
