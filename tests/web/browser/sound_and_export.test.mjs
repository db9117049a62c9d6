// Sound held back by the browser until the user acts, the picture then
// following the sound's clock; and the one-file HTML export played from
// file:// with nothing fetched.
import assert from 'node:assert/strict';
import {execFileSync, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';
import {openPage, pictureDifference, scratchDir, screenshot, siteDir, useSite, waitFor} from './harness.mjs';

// No --autoplay-policy switch: Chromium's own policy holds sound back.
const site = useSite();

// Pairs of (the sound's output clock, the player's time), in seconds.
async function clocks(page) {
  return await page.evaluate(() => {
    const player = window.selfplayPlayer;
    return {audio: player.sound.audibleMs() / 1000, media: player.getCurrentTime()};
  });
}

describe('sound', () => {
  test('held back until a click, which starts picture and sound together; the picture follows the sound clock', async () => {
    const errors = [];
    const page = await openPage(site.browser, null, errors);
    // Every evaluate of puppeteer's counts as a user's action, which lets
    // sound start: until the player has settled, the page reports to us.
    let reportBlocked;
    const blocked = new Promise((resolve) => { reportBlocked = resolve; });
    await page.exposeFunction('reportBlocked', () => reportBlocked());
    await page.evaluateOnNewDocument(() => {
      const observer = new MutationObserver(() => {
        if (!document.querySelector('.selfplay-player.sp-blocked')) return;
        observer.disconnect();
        window.reportBlocked();
      });
      observer.observe(document, {subtree: true, childList: true, attributes: true, attributeFilter: ['class']});
    });
    await page.goto(`${site.server.origin}/index.html?src=/fixtures/lesson.exe`);
    await blocked;
    await screenshot(page, 'sound-blocked');
    // Waiting for the click: the first picture, paused, the sound not running.
    await new Promise((resolve) => setTimeout(resolve, 1500));
    const waiting = await page.evaluate(() => ({
      paused: window.selfplayPlayer.paused,
      time: window.selfplayPlayer.getCurrentTime(),
      button: getComputedStyle(document.querySelector('.sp-big-play')).display,
      audio: window.selfplayPlayer.sound.context?.state,
    }));
    assert.deepEqual(waiting, {paused: true, time: 0, button: 'block', audio: 'suspended'});

    const button = await page.$('.sp-big-play');
    await button.click();
    await waitFor(page, () => !window.selfplayPlayer.paused && window.selfplayPlayer.sound.onContextClock
      && window.selfplayPlayer.sound.sources.size > 0);
    assert.equal(await page.evaluate(() => window.selfplayPlayer.root.classList.contains('sp-blocked')), false);

    // The player's time moves with the sound output's clock: at 1x and,
    // after two `+`, at 1.5x.
    for (const [speed, keys] of [[1, []], [1.5, ['Equal', 'Equal']]]) {
      for (const key of keys) await page.keyboard.press(key);
      await new Promise((resolve) => setTimeout(resolve, 300));
      const first = await clocks(page);
      await new Promise((resolve) => setTimeout(resolve, 2000));
      const second = await clocks(page);
      const heard = second.audio - first.audio;
      const shown = second.media - first.media;
      assert.ok(heard > 1, `the sound clock ran ${heard} s`);
      assert.ok(Math.abs(shown - heard * speed) < 0.08, `at ${speed}x the picture moved ${shown} s for ${heard} s of sound`);
      // The sound scheduled next is the sound of the picture's time then.
      const gap = await page.evaluate(() => {
        const sound = window.selfplayPlayer.sound;
        const clock = window.selfplayPlayer.clock;
        const pictureAt = clock.base + (sound.nextTime * 1000 - clock.since) * clock.speed;
        return pictureAt - sound.nextFrame / sound.track.rate * 1000;
      });
      assert.ok(Math.abs(gap) < 150, `at ${speed}x the next sound is ${gap} ms off the picture`);
    }
    assert.equal(await page.evaluate(() => window.selfplayPlayer.paused), false, 'the click did not pause it again');
    await screenshot(page, 'sound-playing');
    assert.deepEqual(errors, []);
    await page.close();
  });
});

describe('one-file HTML', () => {
  test('export --html plays from file:// with nothing fetched', async (t) => {
    const tool = process.env.SELFPLAY_TOOL;
    const help = tool && fs.existsSync(tool) ? spawnSync(tool, ['export', '--help'], {encoding: 'utf8'}) : null;
    if (!help || !/--html/.test(help.stdout + help.stderr)) {
      t.skip(`${tool || 'selfplay-tool'} has no export --html`);
      return;
    }
    const out = path.join(scratchDir('export'), 'lesson.html');
    execFileSync(tool, ['export', path.join(site.fixtures, 'lesson.exe'), '--html', out],
                 {stdio: 'inherit', env: {...process.env, SELFPLAY_WEB_DIR: siteDir()}});
    const errors = [];
    const page = await openPage(site.browser, null, errors);
    const fetched = [];
    page.on('request', (request) => {
      if (!/^(blob|data|file):/.test(request.url())) fetched.push(request.url());
    });
    await page.goto(`file://${out}`);
    await waitFor(page, () => document.querySelector('selfplay-player')?.player?.getDuration() > 0);
    const seen = await page.evaluate(() => {
      const player = document.querySelector('selfplay-player').player;
      return {count: document.querySelectorAll('selfplay-player').length, duration: player.getDuration()};
    });
    assert.deepEqual(seen, {count: 1, duration: 19});
    await page.evaluate(() => document.querySelector('selfplay-player').player.seek(0));
    const first = await pictureDifference(page, path.join(site.fixtures, 'lesson-0.rgba'),
                                          "document.querySelector('selfplay-player').player");
    assert.equal(first.differing, 0);
    await screenshot(page, 'one-file-html');
    assert.deepEqual(fetched, []);
    assert.deepEqual(errors, []);
    await page.close();
  });
});
