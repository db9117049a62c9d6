// Embedding: createPlayer with every kind of source and its options, the
// player's methods and events, its refusals, and <selfplay-player>.
import assert from 'node:assert/strict';
import path from 'node:path';
import {describe, test} from 'node:test';
import {openPage, pictureDifference, screenshot, useSite, waitFor} from './harness.mjs';

const kEmbedPage = `<!doctype html>
<html><head><meta charset="utf-8"><title>embed</title></head>
<body style="margin:0;background:#222">
<div id="host" style="width:800px"></div>
<script type="module">
  import {createPlayer} from '/selfplay-player.js';
  window.createPlayer = createPlayer;
  window.pageReady = true;
</script>
</body></html>`;

const kElementPage = `<!doctype html>
<html><head><meta charset="utf-8"><title>element</title></head>
<body style="margin:0;background:#222">
<div style="width:720px">
  <selfplay-player id="lesson" src="/fixtures/lesson.exe" loop speed="1.5" start-at="5" fit="none" muted></selfplay-player>
</div>
<script type="module" src="/selfplay-player.js"></script>
</body></html>`;

const site = useSite({pages: {'embed.html': kEmbedPage, 'element.html': kElementPage}});

async function embedPage(errors) {
  const page = await openPage(site.browser, `${site.server.origin}/fixtures/embed.html`, errors);
  await waitFor(page, () => window.pageReady);
  return page;
}

describe('createPlayer', () => {
  test('takes a URL, an ArrayBuffer, a Uint8Array and a Blob, and resolves with the first picture shown', async () => {
    const errors = [];
    const page = await embedPage(errors);
    const results = await page.evaluate(async () => {
      const bytes = await (await fetch('/fixtures/lesson.exe')).arrayBuffer();
      const sources = {
        url: '/fixtures/lesson.exe',
        arrayBuffer: bytes,
        uint8Array: new Uint8Array(bytes),
        blob: new Blob([bytes]),
      };
      const results = {};
      for (const [kind, source] of Object.entries(sources)) {
        const player = await window.createPlayer(document.getElementById('host'), source);
        const image = player.snapshot();
        results[kind] = {duration: player.getDuration(), time: player.getCurrentTime(), paused: player.paused,
                         size: [image.width, image.height], top: Array.from(image.data.subarray(0, 4))};
        player.dispose();
      }
      results.left = document.getElementById('host').children.length;
      return results;
    });
    for (const kind of ['url', 'arrayBuffer', 'uint8Array', 'blob']) {
      assert.deepEqual(results[kind], results.url, kind);
    }
    assert.deepEqual({duration: results.url.duration, time: results.url.time, paused: results.url.paused,
                      size: results.url.size}, {duration: 19, time: 0, paused: true, size: [640, 400]});
    assert.equal(results.left, 0, 'dispose() takes the player out of the page');
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('options, methods and events', async () => {
    const page = await embedPage();
    const seen = await page.evaluate(async () => {
      const events = [];
      const player = await window.createPlayer(document.getElementById('host'), '/fixtures/lesson.exe',
        {startAt: 5, speed: 1.5, idleSkip: true, fit: 'none', controls: false, muted: true});
      for (const type of ['play', 'pause', 'seeked', 'ended', 'error']) {
        player.addEventListener(type, () => events.push(type));
      }
      const root = player.root;
      const result = {
        time: player.getCurrentTime(),
        speed: player.speed,
        idleSkip: root.querySelector('.sp-idle').getAttribute('aria-pressed'),
        controlsShown: getComputedStyle(root.querySelector('.sp-controls')).display !== 'none',
        pictureWidth: root.querySelector('canvas').getBoundingClientRect().width,
      };
      await player.seek(10);
      result.afterSeek = player.getCurrentTime();
      player.setSpeed(3);
      player.setIdleSkip(false);
      result.speedSet = player.speed;
      result.idleOff = root.querySelector('.sp-idle').getAttribute('aria-pressed');
      const playedAt = performance.now();
      player.play();
      await new Promise((resolve) => setTimeout(resolve, 1200));
      player.pause();
      result.moved = player.getCurrentTime() - 10;
      result.wall = (performance.now() - playedAt) / 1000;
      result.events = events;
      player.dispose();
      return result;
    });
    assert.equal(seen.time, 5);
    assert.equal(seen.speed, 1.5);
    assert.equal(seen.idleSkip, 'true');
    assert.equal(seen.controlsShown, false);
    assert.equal(seen.pictureWidth, 640, 'fit: none shows the picture at 1:1');
    assert.equal(seen.afterSeek, 10);
    assert.equal(seen.speedSet, 3);
    assert.equal(seen.idleOff, 'false');
    // The clock ran at the speed set, from when the sound (if the browser
    // let it start) began to be heard.
    assert.ok(seen.moved <= 3 * seen.wall + 0.1 && seen.moved >= 3 * (seen.wall - 0.5),
              `moved ${seen.moved} s in ${seen.wall} s`);
    assert.deepEqual(seen.events, ['seeked', 'play', 'pause']);
    await page.close();
  });

  test('seeks give the same pictures before and after the worker has made its snapshots', async () => {
    const page = await embedPage();
    const seen = await page.evaluate(async () => {
      const player = await window.createPlayer(document.getElementById('host'), '/fixtures/lesson.exe', {muted: true});
      const made = player.snapshotsComplete ? Promise.resolve()
        : new Promise((resolve) => player.addEventListener('snapshots', resolve, {once: true}));
      const hash = (image) => {
        let h = 2166136261;
        for (let k = 0; k < image.data.length; ++k) h = Math.imul(h ^ image.data[k], 16777619);
        return h >>> 0;
      };
      const times = [18.5, 3.2, 12.7, 0, 7.9, 15.1];
      const pictures = async () => {
        const hashes = [];
        for (const at of times) {
          await player.seek(at);
          hashes.push(hash(player.snapshot()));
        }
        return hashes;
      };
      const early = await pictures();
      await Promise.race([made, new Promise((resolve) => setTimeout(resolve, 30000))]);
      const result = {early, complete: !!player.snapshotsComplete, late: await pictures()};
      player.dispose();
      return result;
    });
    assert.ok(seen.complete, 'the worker says when its snapshots are all made');
    assert.deepEqual(seen.late, seen.early);
    assert.equal(new Set(seen.early).size, seen.early.length, 'the times chosen show different pictures');
    await page.close();
  });

  test('rejects with an Error naming the problem, and the player says so too', async () => {
    const page = await embedPage();
    const failures = await page.evaluate(async () => {
      const notes = await (await fetch('/fixtures/notes.txt')).arrayBuffer();
      const failures = {};
      for (const [kind, source] of [['notes', new File([notes], 'notes.txt')], ['missing', '/fixtures/missing.exe'],
                                    ['empty', new Uint8Array(0)]]) {
        try {
          await window.createPlayer(document.getElementById('host'), source);
          failures[kind] = 'resolved';
        } catch (error) {
          failures[kind] = {isError: error instanceof Error, message: error.message};
        }
      }
      failures.shown = document.querySelector('.sp-error').textContent;
      return failures;
    });
    assert.equal(failures.notes.isError, true);
    assert.match(failures.notes.message, /^notes\.txt is no recording: .*was expected/);
    assert.match(failures.missing.message, /missing\.exe cannot be loaded: 404/);
    assert.match(failures.empty.message, /is empty: a selfplay recording was expected/);
    assert.match(failures.shown, /notes\.txt is no recording/);
    await screenshot(page, 'embed-refused');
    await page.close();
  });
});

describe('<selfplay-player>', () => {
  test('takes its attributes, and element.player is the player', async () => {
    const errors = [];
    const page = await openPage(site.browser, `${site.server.origin}/fixtures/element.html`, errors);
    await waitFor(page, () => !!document.getElementById('lesson').player);
    const seen = await page.evaluate(async () => {
      const element = document.getElementById('lesson');
      const player = await element.ready;
      return {
        same: player === element.player,
        time: player.getCurrentTime(),
        speed: player.speed,
        loop: player.options.loop,
        muted: player.muted,
        autoplay: player.options.autoplay,
        oneToOne: element.querySelector('.selfplay-player').classList.contains('sp-one-to-one'),
        width: element.querySelector('canvas').getBoundingClientRect().width,
      };
    });
    assert.deepEqual(seen, {same: true, time: 5, speed: 1.5, loop: true, muted: true, autoplay: false,
                            oneToOne: true, width: 640});
    assert.equal((await pictureDifference(page, path.join(site.fixtures, 'lesson-5000.rgba'),
                                          "document.getElementById('lesson').player")).differing, 0);
    await screenshot(page, 'element-one-to-one');
    // Fit to the width: the element's 720 px, the aspect kept.
    const fitted = await page.evaluate(() => {
      document.getElementById('lesson').player.setFit('contain');
      const box = document.querySelector('#lesson canvas').getBoundingClientRect();
      return [box.width, Math.round(box.height)];
    });
    assert.deepEqual(fitted, [720, 450]);
    await screenshot(page, 'element-fitted');
    assert.deepEqual(errors, []);
    await page.close();
  });
});
