// The page (index.html) in headless Chromium: opening by ?src= and by a
// drop, the first picture against the native engine's, the keys, the seek
// bar, idle skipping, the end, and the messages for bad files.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';
import {openPage, pictureDifference, scratchDir, screenshot, useSite, waitFor} from './harness.mjs';

const site = useSite();

const player = 'window.selfplayPlayer';

async function openRecording(name, errors) {
  const page = await openPage(site.browser, `${site.server.origin}/index.html?src=/fixtures/${name}`, errors);
  await waitFor(page, () => window.selfplayPlayer && window.selfplayPlayer.getDuration() > 0);
  return page;
}

// Paused, with the whole index read (marks, frames, idle stretches known).
async function pausedAndIndexed(page) {
  await page.evaluate(() => window.selfplayPlayer.pause());
  await waitFor(page, () => window.selfplayPlayer.indexComplete && window.selfplayPlayer.paused);
}

async function time(page) {
  return await page.evaluate(() => window.selfplayPlayer.getCurrentTime());
}

async function press(page, key) {
  const seeked = page.evaluate(() => new Promise((resolve) => window.selfplayPlayer.addEventListener('seeked', resolve, {once: true})));
  await page.keyboard.press(key);
  await seeked;
}

describe('opening', () => {
  test('?src= shows the first picture exactly as the native engine does, then Right, . and + act', async () => {
    const errors = [];
    const page = await openRecording('lesson.exe', errors);
    await pausedAndIndexed(page);
    await press(page, 'Home');
    assert.equal(await time(page), 0);
    const first = await pictureDifference(page, path.join(site.fixtures, 'lesson-0.rgba'));
    assert.deepEqual([first.width, first.height], [640, 400]);
    assert.equal(first.differing, 0, `bytes differing from the native picture: ${JSON.stringify(first)}`);
    await screenshot(page, 'page-first-picture');

    await press(page, 'ArrowRight');
    assert.equal(await time(page), 5);
    assert.equal((await pictureDifference(page, path.join(site.fixtures, 'lesson-5000.rgba'))).differing, 0);

    await press(page, 'Period');
    assert.equal(await time(page), 6);
    assert.equal(await page.evaluate(() => window.selfplayPlayer.paused), true);
    assert.equal((await pictureDifference(page, path.join(site.fixtures, 'lesson-6000.rgba'))).differing, 0);

    await page.keyboard.press('Equal');
    const speed = await page.evaluate(() => {
      const select = window.selfplayPlayer.root.querySelector('.sp-speed');
      return {speed: window.selfplayPlayer.speed, shown: select.options[select.selectedIndex].textContent};
    });
    assert.deepEqual(speed, {speed: 1.25, shown: '1.25x'});
    await screenshot(page, 'page-after-keys');
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('a dropped file opens', async () => {
    const errors = [];
    const page = await openPage(site.browser, `${site.server.origin}/index.html`, errors);
    await page.evaluate(async () => {
      const bytes = await (await fetch('/fixtures/lesson.exe')).arrayBuffer();
      const transfer = new DataTransfer();
      transfer.items.add(new File([bytes], 'lesson.exe', {type: 'application/x-msdownload'}));
      for (const type of ['dragenter', 'dragover', 'drop']) {
        document.body.dispatchEvent(new DragEvent(type, {dataTransfer: transfer, bubbles: true, cancelable: true}));
      }
    });
    await waitFor(page, () => window.selfplayPlayer && window.selfplayPlayer.getDuration() === 19);
    assert.equal(await page.$eval('#name', (node) => node.textContent), 'lesson.exe');
    assert.equal(await page.evaluate(() => document.body.classList.contains('dragging')), false);
    await screenshot(page, 'page-dropped');
    assert.deepEqual(errors, []);
    await page.close();
  });
});

describe('moving through', () => {
  test('a click on the seek bar seeks there; the hover shows a preview', async () => {
    const page = await openRecording('lesson.exe');
    await pausedAndIndexed(page);
    const groove = await page.$eval('.sp-groove', (node) => {
      const box = node.getBoundingClientRect();
      return {x: box.x, y: box.y, width: box.width, height: box.height};
    });
    const seeked = page.evaluate(() => new Promise((resolve) => window.selfplayPlayer.addEventListener('seeked', resolve, {once: true})));
    await page.mouse.click(groove.x + groove.width * 0.75, groove.y + groove.height / 2);
    await seeked;
    const at = await time(page);
    assert.ok(Math.abs(at - 0.75 * 19) < 0.2, `seeked to ${at} s`);
    await page.mouse.move(groove.x + groove.width * 0.25, groove.y + groove.height / 2);
    await waitFor(page, () => document.querySelector('.sp-seek.sp-has-preview.sp-hovering'));
    assert.equal(await page.$eval('.sp-preview-time', (node) => node.textContent), '0:04');
    await screenshot(page, 'seek-bar-hover');
    await page.close();
  });

  test('sought forward while playing at 4x, the picture stays exactly the native one', async () => {
    const page = await openRecording('lesson.exe');
    await pausedAndIndexed(page);
    await page.evaluate(() => { window.selfplayPlayer.setMuted(true); window.selfplayPlayer.setSpeed(4); });
    await page.keyboard.press('Space');
    await waitFor(page, () => window.selfplayPlayer.getCurrentTime() > 8);
    // The worker has composed ahead of what is shown: the seek covers that too.
    await press(page, 'ArrowRight');
    await page.keyboard.press('Space');
    assert.equal(await page.evaluate(() => window.selfplayPlayer.paused), true);
    for (const seconds of [15, 6, 5, 0]) {
      await page.evaluate((s) => window.selfplayPlayer.seek(s), seconds);
      const difference = await pictureDifference(page, path.join(site.fixtures, `lesson-${seconds * 1000}.rgba`));
      assert.equal(difference.differing, 0, `at ${seconds} s: ${JSON.stringify(difference)}`);
    }
    await page.close();
  });

  test('touch: a tap on the picture plays and pauses, a finger drags along the bar', async () => {
    const page = await openPage(site.browser, null);
    await page.setViewport({width: 800, height: 700, hasTouch: true, isMobile: true});
    await page.goto(`${site.server.origin}/index.html?src=/fixtures/lesson.exe`);
    await waitFor(page, () => window.selfplayPlayer && window.selfplayPlayer.getDuration() > 0);
    await pausedAndIndexed(page);
    await page.evaluate(() => window.selfplayPlayer.setMuted(true));
    const picture = await page.$eval('.sp-picture', (node) => {
      const box = node.getBoundingClientRect();
      return {x: box.x + box.width / 2, y: box.y + box.height / 2};
    });
    await page.touchscreen.tap(picture.x, picture.y);
    await waitFor(page, () => !window.selfplayPlayer.paused);
    // Not at once: a second tap right after the first is a double tap.
    await new Promise((resolve) => setTimeout(resolve, 1000));
    await page.touchscreen.tap(picture.x, picture.y);
    await waitFor(page, () => window.selfplayPlayer.paused && window.selfplayPlayer.getCurrentTime() < 10);
    const groove = await page.$eval('.sp-groove', (node) => {
      const box = node.getBoundingClientRect();
      return {x: box.x, y: box.y + box.height / 2, width: box.width};
    });
    await page.touchscreen.touchStart(groove.x + groove.width * 0.1, groove.y);
    await page.touchscreen.touchMove(groove.x + groove.width * 0.3, groove.y);
    await page.touchscreen.touchMove(groove.x + groove.width * 0.5, groove.y);
    await page.touchscreen.touchEnd();
    await waitFor(page, () => Math.abs(window.selfplayPlayer.getCurrentTime() - 9.5) < 0.3
      && window.selfplayPlayer.shownTick === window.selfplayPlayer.tickAt(window.selfplayPlayer.getCurrentTime() * 1000));
    await screenshot(page, 'touch-dragged');
    await page.close();
  });

  test('idle skipping jumps over the quiet stretch where nothing moves', async () => {
    const page = await openRecording('idle.exe');
    await pausedAndIndexed(page);
    assert.ok(await page.evaluate(() => window.selfplayPlayer.idle.length >= 1), 'an idle stretch is found');
    await page.keyboard.press('KeyI');
    assert.equal(await page.$eval('.sp-idle', (node) => node.getAttribute('aria-pressed')), 'true');
    const skipped = page.evaluate(() => new Promise((resolve) => window.selfplayPlayer.addEventListener(
      'skip', (event) => resolve({from: event.from, to: event.to}), {once: true})));
    await page.evaluate(async () => { await window.selfplayPlayer.seek(3); window.selfplayPlayer.play(); });
    const skip = await skipped;
    // Where the skip starts depends on when the page looked at the clock.
    assert.ok(skip.from >= 4 && skip.from < skip.to, `the skip starts at ${skip.from} s`);
    assert.ok(skip.to > 12 && skip.to <= 14, `the skip ends at ${skip.to} s`);
    assert.ok(await time(page) >= skip.to);
    await page.close();
  });

  test('the end: `ended` and a stop, or with loop, from the start again', async () => {
    const page = await openPage(site.browser, `${site.server.origin}/index.html`);
    const url = `${site.server.origin}/fixtures/lesson.exe`;
    const ended = await page.evaluate(async (src) => {
      const {createPlayer} = await import('/selfplay-player.js');
      const host = document.getElementById('player');
      const player = await createPlayer(host, src, {startAt: 17, muted: true});
      const done = new Promise((resolve) => player.addEventListener('ended', resolve, {once: true}));
      player.play();
      await done;
      const result = {time: player.getCurrentTime(), paused: player.paused, duration: player.getDuration()};
      player.dispose();
      return result;
    }, url);
    assert.deepEqual(ended, {time: 19, paused: true, duration: 19});

    const looped = await page.evaluate(async (src) => {
      const {createPlayer} = await import('/selfplay-player.js');
      const player = await createPlayer(document.getElementById('player'), src, {startAt: 18, loop: true, muted: true});
      let endedFired = false;
      player.addEventListener('ended', () => { endedFired = true; });
      const again = new Promise((resolve) => player.addEventListener('loop', resolve, {once: true}));
      player.play();
      await again;
      await new Promise((resolve) => setTimeout(resolve, 300));
      const result = {time: player.getCurrentTime(), paused: player.paused, endedFired};
      player.dispose();
      return result;
    }, url);
    assert.equal(looped.paused, false);
    assert.equal(looped.endedFired, false);
    assert.ok(looped.time < 5, `after the loop at ${looped.time} s`);
    await page.close();
  });
});

describe('the frame and the screen', () => {
  test('"Save this frame as PNG" saves the picture as snapshot() gives it', async () => {
    const page = await openRecording('lesson.exe');
    await pausedAndIndexed(page);
    await page.evaluate(() => window.selfplayPlayer.seek(7.3));
    const downloads = scratchDir('downloads');
    const session = await page.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: downloads});
    await page.click('#save');
    let saved = [];
    for (const deadline = Date.now() + 30000; Date.now() < deadline && !saved.length;) {
      await new Promise((resolve) => setTimeout(resolve, 200));
      saved = fs.readdirSync(downloads).filter((name) => name.endsWith('.png'));
    }
    assert.deepEqual(saved, ['lesson-7_3s.png']);
    const png = fs.readFileSync(path.join(downloads, saved[0]));
    assert.deepEqual([...png.subarray(0, 8)], [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
    // Decoded by the browser and compared with the snapshot, pixel by pixel.
    const compared = await page.evaluate(async (base64) => {
      const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
      const bitmap = await createImageBitmap(new Blob([bytes], {type: 'image/png'}));
      const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
      const context = canvas.getContext('2d');
      context.drawImage(bitmap, 0, 0);
      const decoded = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
      const shown = window.selfplayPlayer.snapshot();
      let differing = 0;
      for (let k = 0; k < shown.data.length; ++k) if (decoded[k] !== shown.data[k]) ++differing;
      return {size: [bitmap.width, bitmap.height], shownSize: [shown.width, shown.height], differing};
    }, png.toString('base64'));
    assert.deepEqual(compared.size, compared.shownSize);
    assert.equal(compared.differing, 0);
    fs.rmSync(downloads, {recursive: true, force: true});
    await page.close();
  });

  test('F puts the player in full screen and takes it out again', async () => {
    const page = await openRecording('lesson.exe');
    await pausedAndIndexed(page);
    await page.keyboard.press('f');
    await waitFor(page, () => document.fullscreenElement === window.selfplayPlayer.root &&
                              window.selfplayPlayer.root.classList.contains('sp-full-screen'));
    await screenshot(page, 'full-screen');
    await page.keyboard.press('f');
    await waitFor(page, () => document.fullscreenElement === null &&
                              !window.selfplayPlayer.root.classList.contains('sp-full-screen'));
    await page.close();
  });
});

describe('bad files', () => {
  test('a damaged recording plays up to its damage, then says where', async () => {
    const page = await openRecording('damaged.exe');
    await pausedAndIndexed(page);
    assert.equal(await page.evaluate(() => window.selfplayPlayer.getDuration()), 11);
    await press(page, 'End');
    const status = await waitFor(page, () => {
      const text = document.querySelector('.sp-status')?.textContent || '';
      return text.includes('frame 12') ? text : '';
    });
    assert.match(status, /^Damaged: plays up to .*frame 12: block 0.*offset/);
    await screenshot(page, 'damaged');
    await page.close();
  });

  test('a block drawn over later that does not decode is found while idle, and ends the recording there', async () => {
    const page = await openRecording('hidden-damage.exe');
    await pausedAndIndexed(page);
    const status = await waitFor(page, () => {
      const text = document.querySelector('.sp-status')?.textContent || '';
      return text.includes('frame 12') ? text : '';
    });
    assert.match(status, /^Damaged: plays up to .*frame 12: block \d+.*offset/);
    assert.equal(await page.evaluate(() => window.selfplayPlayer.getDuration()), 11);
    assert.ok(await time(page) <= 11);
    assert.match(await page.evaluate(() => document.querySelector('.sp-time').textContent), / \/ 0:11$/);
    await screenshot(page, 'hidden-damage');
    await page.close();
  });

  test('a file that is no recording gets a message naming what was expected', async () => {
    const page = await openPage(site.browser, `${site.server.origin}/index.html?src=/fixtures/notes.txt`);
    const message = await waitFor(page, () => document.getElementById('message').textContent);
    assert.match(message, /^notes\.txt is no recording: a recording behind the Windows or Linux player, or a bare recording, was expected/);
    await screenshot(page, 'not-a-recording');
    await page.close();
  });
});
