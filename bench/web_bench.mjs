#!/usr/bin/env node
// modcarta-web in headless chromium on loopback: key to screen (keydown to xterm.js's render
// of the change) over 100 openings of the property list (F4) on panel 1, login to first screen, and 20 sessions at
// once (memory per session, every session still answering). Prints one line per figure.
// Run after a build: node bench/web_bench.mjs (MODCARTA_BIN_DIR defaults to build/bin).
import fs from 'node:fs';
import { makeInstallation, startServer, launchBrowser, loggedInPage, waitFor, keys, childPrograms } from
  '../tests/web/browser_support.mjs';

function quantile(values, q) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
}
function rssKb(pid) {
  const m = /VmRSS:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
  return m ? Number(m[1]) : 0;
}

const inst = makeInstallation();
const server = await startServer(inst);
const chrome = await launchBrowser();
try {
  // Login to first screen.
  const logins = [];
  for (let i = 0; i < 5; ++i) {
    const start = Date.now();
    const { context, page } = await loggedInPage(chrome.browser, server.url);
    await waitFor(page, 'Finca ..............:');
    logins.push(Date.now() - start);
    await context.close();
  }
  console.log(`web_login_to_first_screen  median ${quantile(logins, 0.5)} ms  (5 logins)`);

  // Key to screen: F4 opens the property list on panel 1, Escape closes it.
  const { context, page } = await loggedInPage(chrome.browser, server.url);
  await waitFor(page, 'Finca ..............:');
  await page.evaluate(() => {
    const term = window.modcartaTerm;
    window.benchStart = 0;
    window.benchDone = [];
    let written = false;
    window.addEventListener('keydown', () => { window.benchStart = performance.now(); written = false; }, true);
    term.onWriteParsed(() => { written = true; });
    term.onRender(() => {
      if (window.benchStart && written) {
        window.benchDone.push(performance.now() - window.benchStart);
        window.benchStart = 0;
      }
    });
  });
  for (let i = 0; i < 100; ++i) {
    await keys(page, ['F4']);
    await waitFor(page, 'Finques');
    await keys(page, ['Escape']);
    await waitFor(page, 'Finques', { gone: true });
  }
  const turns = (await page.evaluate(() => window.benchDone)).filter((_, i) => i % 2 === 0);  // the F4 presses
  console.log(`web_key_to_screen  median ${quantile(turns, 0.5).toFixed(1)} ms  p90 ${quantile(turns, 0.9).toFixed(1)} ms  ` +
    `(${turns.length} F4 list openings)`);
  await context.close();

  // Twenty sessions at once.
  const sessions = [];
  for (let i = 0; i < 20; ++i) {
    const s = await loggedInPage(chrome.browser, server.url);
    await waitFor(s.page, 'Finca ..............:');
    sessions.push(s);
  }
  const programs = childPrograms(server);
  const programKb = programs.reduce((sum, pid) => sum + rssKb(pid), 0);
  const serverKb = rssKb(server.proc.pid);
  let answering = 0;
  for (const s of sessions) {
    await keys(s.page, ['F4']);
    await waitFor(s.page, 'Finques');
    ++answering;
  }
  console.log(`web_20_sessions  ${programs.length} programs  ${(programKb / programs.length / 1024).toFixed(1)} MiB ` +
    `per modcarta  server ${(serverKb / 1024).toFixed(1)} MiB  ${answering}/20 answering`);
  for (const s of sessions) await s.context.close();
} finally {
  await chrome.close();
  await server.stop();
  fs.rmSync(inst.dir, { recursive: true, force: true });
}
