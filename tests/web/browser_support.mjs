// What the browser tests, the benchmark and the screenshots share: a demo installation with
// one operator, a modcarta-web on a free loopback port, and one headless Debian chromium
// driven by playwright-core.
import { spawn, execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const SOURCE = process.env.MODCARTA_SOURCE_DIR || path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
export const BIN = process.env.MODCARTA_BIN_DIR || path.join(SOURCE, 'build/bin');
const require = createRequire(path.join(SOURCE, 'tools/web/package.json'));
export const { chromium } = require('playwright-core');

// Chromium's own background traffic (updates, sync, field trials) is switched off: this
// machine's network is closed and those connections would be refused.
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

export function tempDir(prefix) {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// A demo installation in a temporary folder, with the operator "maria" (password "secret").
export function makeInstallation() {
  const dir = tempDir('modcarta-web-test-');
  execFileSync(path.join(SOURCE, 'demo/make-install'), [BIN, path.join(dir, 'inst')], { stdio: 'ignore' });
  const users = path.join(dir, 'users');
  execFileSync(path.join(BIN, 'modcarta-web'), ['passwd', 'maria', '--users', users], { input: 'secret\n' });
  return { dir, root: path.join(dir, 'inst'), users };
}

// Starts modcarta-web on the installation; resolves with its address once it listens.
export function startServer(inst, extra = []) {
  const proc = spawn(path.join(BIN, 'modcarta-web'),
    ['--root', inst.root, '--users', inst.users, '--listen', '127.0.0.1:0', ...extra],
    { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    let out = '';
    proc.stdout.on('data', (d) => {
      out += d;
      const m = /listening on (https?:\/\/127\.0\.0\.1:\d+)\//.exec(out);
      if (m) resolve({ url: m[1], proc, stop: () => stopProcess(proc) });
    });
    proc.on('exit', (code) => reject(new Error(`modcarta-web ended with ${code}: ${out}`)));
  });
}

export function stopProcess(proc) {
  return new Promise((resolve) => {
    if (proc.exitCode !== null || proc.signalCode !== null) return resolve();
    proc.once('exit', () => resolve());
    proc.kill('SIGTERM');
  });
}

// playwright-core starts chromium with a fresh profile directory of its own (the
// --user-data-dir it passes), removed when the browser closes.
export async function launchBrowser() {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_FLAGS });
  return { browser, close: () => browser.close() };
}

// A fresh page (its own cookies) of 1024 x 640 logged in as maria, with the terminal's
// first screen shown. contextOptions go to playwright's newContext.
export async function loggedInPage(browser, url, viewport = { width: 1024, height: 640 }, contextOptions = {}) {
  const context = await browser.newContext({ viewport, ...contextOptions });
  const page = await context.newPage();
  await page.goto(url + '/login');
  await page.fill('#name', 'maria');
  await page.fill('#password', 'secret');
  await Promise.all([page.waitForURL(url + '/'), page.click('#login')]);
  await page.waitForFunction(() => window.modcartaTerm !== undefined);
  await page.locator('.xterm-helper-textarea').focus();
  return { context, page };
}

// The terminal's screen as text, one line a row, read from xterm.js's buffer.
export function screen(page) {
  return page.evaluate(() => {
    const b = window.modcartaTerm.buffer.active;
    const lines = [];
    for (let y = 0; y < window.modcartaTerm.rows; ++y) lines.push(b.getLine(b.viewportY + y).translateToString(true));
    return lines.join('\n');
  });
}

// Waits until the screen shows the text (or no longer shows it); returns the screen.
export async function waitFor(page, text, { gone = false, timeout = 15000 } = {}) {
  try {
    await page.waitForFunction(([t, g]) => {
      const term = window.modcartaTerm;
      const b = term.buffer.active;
      let all = '';
      for (let y = 0; y < term.rows; ++y) all += b.getLine(b.viewportY + y).translateToString(true) + '\n';
      return all.includes(t) !== g;
    }, [text, gone], { timeout, polling: 20 });
  } catch (e) {
    throw new Error(`the screen ${gone ? 'still shows' : 'never showed'} "${text}":\n${await screen(page)}`);
  }
  return screen(page);
}

// Presses keys one after another (Playwright key names, or { text } to type).
export async function keys(page, list) {
  for (const k of list) {
    if (typeof k === 'string') await page.keyboard.press(k);
    else await page.keyboard.type(k.text);
    // A lone Escape is told from Alt+key by the pause after it, as in a terminal.
    if (k === 'Escape') await page.waitForTimeout(80);
  }
}

// Clicks the middle of a cell of the terminal (row and column counted from 0).
export async function clickCell(page, row, col) {
  const box = await page.evaluate(() => {
    const r = window.modcartaTerm.element.querySelector('.xterm-screen').getBoundingClientRect();
    return { x: r.x, y: r.y, w: r.width / window.modcartaTerm.cols, h: r.height / window.modcartaTerm.rows };
  });
  await page.mouse.click(box.x + (col + 0.5) * box.w, box.y + (row + 0.5) * box.h);
}

// Every record of a data file as CSV, read back with recman save.
export function saveRecords(inst, file) {
  return execFileSync(path.join(BIN, 'recman'), ['save', path.join(inst.root, 'DADES', file + '.dat'), '-',
    '--layout', path.join(SOURCE, 'demo/layouts', file + '.json'), '--csv']).toString();
}
export function csvLine(csv, codes) {
  return csv.split('\n').find((l) => l.startsWith(codes)) || '';
}

// The process ids of the modcarta programs that a server started.
export function childPrograms(server) {
  try {
    return execFileSync('pgrep', ['-P', String(server.proc.pid), '-x', 'modcarta']).toString().split('\n').filter(Boolean);
  } catch (e) {
    return [];
  }
}

export async function until(condition, timeout = 15000) {
  const end = Date.now() + timeout;
  while (Date.now() < end) {
    if (await condition()) return true;
    await new Promise((r) => setTimeout(r, 50));
  }
  return false;
}
