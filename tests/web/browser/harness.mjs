// What the browser tests share: the fixtures (made by the native build's
// web_browser_fixtures), a static server on 127.0.0.1 over the built site
// and the fixtures, and Debian's Chromium, headless, through puppeteer-core.
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {after, before} from 'node:test';
import puppeteer from 'puppeteer-core';

const kTypes = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm', '.png': 'image/png', '.txt': 'text/plain',
};

function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set: run the browser tests through ctest (web preset)`);
  return value;
}

export function scratchDir(label) {
  const base = process.env.SELFPLAY_TEST_TMP || os.tmpdir();
  fs.mkdirSync(base, {recursive: true});
  return fs.mkdtempSync(path.join(base, `${label}-`));
}

// Writes the fixtures into a fresh folder and returns it.
export function makeFixtures(extra = []) {
  const program = required('SELFPLAY_FIXTURES');
  if (!fs.existsSync(program)) {
    throw new Error(`${program} is missing: build the native target web_browser_fixtures first`);
  }
  const dir = scratchDir('fixtures');
  execFileSync(program, [dir, ...extra], {stdio: 'inherit'});
  return dir;
}

export function siteDir() {
  const dir = required('SELFPLAY_WEB_SITE');
  if (!fs.existsSync(path.join(dir, 'selfplay-player.wasm'))) throw new Error(`${dir} holds no built web player`);
  return dir;
}

// Serves the site at / and the fixtures at /fixtures/ until close().
export async function startServer(site, fixtures) {
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    let file = decodeURIComponent(url.pathname);
    const root = file.startsWith('/fixtures/') ? fixtures : site;
    if (file.startsWith('/fixtures/')) file = file.slice('/fixtures'.length);
    if (file.endsWith('/')) file += 'index.html';
    const full = path.join(root, path.normalize(file));
    if (!full.startsWith(root) || !fs.existsSync(full) || !fs.statSync(full).isFile()) {
      response.writeHead(404).end('not found');
      return;
    }
    response.writeHead(200, {
      'Content-Type': kTypes[path.extname(full)] || 'application/octet-stream',
      'Content-Length': fs.statSync(full).size,
      'Cache-Control': 'no-store',
    });
    fs.createReadStream(full).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${server.address().port}`;
  return {
    origin,
    close: () => new Promise((resolve) => { server.closeAllConnections?.(); server.close(resolve); }),
  };
}

export async function launchBrowser(extraArgs = []) {
  const userDataDir = scratchDir('chromium-profile');
  const browser = await puppeteer.launch({
    executablePath: process.env.SELFPLAY_CHROMIUM || '/usr/bin/chromium',
    headless: 'new',
    userDataDir,
    protocolTimeout: 240000,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run', '--disable-dev-shm-usage', ...extraArgs],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    fs.rmSync(userDataDir, {recursive: true, force: true});
  };
  return browser;
}

// A page that fails the test on any script error it reports.
export async function openPage(browser, url, errors = []) {
  const page = await browser.newPage();
  await page.setViewport({width: 1000, height: 760});
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (message) => {
    if (message.type() === 'error' && !/favicon|404/.test(message.text())) errors.push(message.text());
  });
  page.setDefaultTimeout(60000);
  if (url) await page.goto(url);
  return page;
}

// Waits until `check` (run in the page) returns a truthy value.
export async function waitFor(page, check, arg, timeout = 60000) {
  const handle = await page.waitForFunction(check, {timeout, polling: 100}, arg);
  return await handle.jsonValue();
}

// The player's picture as the page shows it (snapshot()), compared with a
// raw RGBA file of the native engine: the count of bytes that differ.
export async function pictureDifference(page, rgbaFile, playerExpression = 'window.selfplayPlayer') {
  const shown = await page.evaluate((expression) => {
    const image = eval(expression).snapshot();
    let text = '';
    const bytes = image.data;
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return {width: image.width, height: image.height, base64: btoa(text)};
  }, playerExpression);
  const actual = Buffer.from(shown.base64, 'base64');
  const expected = fs.readFileSync(rgbaFile);
  if (actual.length !== expected.length) return {differing: Infinity, ...shown, base64: undefined};
  let differing = 0;
  let largest = 0;
  for (let i = 0; i < actual.length; ++i) {
    const d = Math.abs(actual[i] - expected[i]);
    if (d) { ++differing; largest = Math.max(largest, d); }
  }
  return {differing, largest, width: shown.width, height: shown.height};
}

export async function screenshot(page, name) {
  const dir = process.env.SELFPLAY_SCREENSHOTS;
  if (!dir) return;
  fs.mkdirSync(dir, {recursive: true});
  await page.screenshot({path: path.join(dir, `${name}.png`)});
}

// A suite's fixtures (with `pages`, name -> text, written among them), the
// server of the site and of the fixtures, and a browser: made before the
// suite's tests, closed and removed after them.
export function useSite({pages = {}} = {}) {
  const site = {fixtures: null, server: null, browser: null};
  before(async () => {
    site.fixtures = makeFixtures();
    for (const [name, text] of Object.entries(pages)) fs.writeFileSync(path.join(site.fixtures, name), text);
    site.server = await startServer(siteDir(), site.fixtures);
    site.browser = await launchBrowser();
  });
  after(async () => {
    await site.browser?.close();
    await site.server?.close();
    if (site.fixtures) fs.rmSync(site.fixtures, {recursive: true, force: true});
  });
  return site;
}
