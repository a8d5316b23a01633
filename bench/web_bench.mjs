#!/usr/bin/env node
// modcarta-web in headless chromium on loopback, beside the same program in tmux:
//   keys      key to screen over 100 page turns on panel 3 (PgDn from 5/1 to 5/2, PgUp back),
//             in the browser from keydown to xterm.js's render of the new card's title (and,
//             to show where the time goes, to its parse into xterm.js's buffer), in tmux from
//             sending the key to the pane showing it; median and p90 of each;
//   login     login to first screen (the click on "Log in" to the first screen rendered);
//   sessions  20 sessions at once: memory per session (modcarta-web and its modcarta
//             children), every session still answering.
// Usage: node bench/web_bench.mjs [--json] [keys|login|sessions ...] (all parts by default).
// With --json each part prints one JSON line, read by bench/web_session_bench.cpp; without it,
// readable lines. MODCARTA_BIN_DIR defaults to build/bin.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { performance } from 'node:perf_hooks';
import {
  BIN, makeInstallation, startServer, launchBrowser, loggedInPage, waitFor, keys, childPrograms,
} from '../tests/web/browser_support.mjs';

const args = process.argv.slice(2);
const json = args.includes('--json');
const parts = args.filter((a) => !a.startsWith('--'));
const wanted = (p) => parts.length === 0 || parts.includes(p);

const TURNS = 100;
// One cycle: PgDn to the last field of 5/1 (not measured; the cursor goes to row 18, counted
// from 0), PgDn to 5/2, PgUp back to 5/1; the title of panel 3's frame is the last thing a page
// turn draws.
const LAST_FIELD_ROW = 18;
const CYCLE = [
  { key: 'PageDown', measured: false },
  { key: 'PageDown', measured: true, shows: '\u2554 Baixos, local 3 ' },
  { key: 'PageUp', measured: true, shows: '\u2554 Baixos, magatzem 2 ' },
];

function quantile(values, q) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
}
const round = (x) => Math.round(x * 100) / 100;
function summary(values) {
  return { median: round(quantile(values, 0.5)), p90: round(quantile(values, 0.9)), count: values.length };
}
function memoryKb(pid) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  const rss = Number((/VmRSS:\s+(\d+) kB/.exec(status) || [0, 0])[1]);
  let pss = rss;
  try {
    pss = Number((/Pss:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8')) || [0, rss])[1]);
  } catch (e) { /* no smaps_rollup: RSS stands in */ }
  return { rss, pss };
}
function report(name, figures, text) {
  console.log(json ? JSON.stringify({ part: name, ...figures }) : `${name}  ${text}`);
}

// The program in a tmux pane of its own server, watched in control mode: every %output
// notification is answered with a capture of the pane, and a key's time runs from sending it
// to the output after which the pane shows the expected text.
class TmuxProgram {
  constructor(inst) {
    this.socket = `modcarta-bench-${process.pid}`;
    const station = path.join(inst.dir, 'tmux-station');
    fs.mkdirSync(station, { recursive: true });
    fs.writeFileSync(path.join(station, 'Sessio.ini'),
      `[Menu]\r\nTitol=Fitxa\r\nNomMenu=MODCARTA\r\n[Terminal]\r\nDir=${station}/\r\n`);
    fs.writeFileSync(path.join(station, 'OrbaTerm.ini'), '[Pantalla]\r\nSeleccio=0\r\n[Sistema]\r\nIdioma=CAT\r\n');
    // The same fixed environment that modcarta-web gives its programs.
    const env = [`ZEDROOT=${inst.root}/`, `ZEDTMP=${station}/`, `ZEDEXE=${BIN}/`, 'TERM=xterm-256color', 'LANG=C.UTF-8',
      `HOME=${station}`, 'PATH=/usr/local/bin:/usr/bin:/bin'];
    this.tmux('-f', '/dev/null', 'new-session', '-d', '-s', 'bench', '-x', '80', '-y', '25', '-c', inst.root,
      'env', '-i', ...env, path.join(BIN, 'modcarta'));
    this.tmux('set-option', '-g', 'escape-time', '0');
    this.tmux('set-option', '-g', 'window-size', 'manual');  // the control client leaves it 80 x 25
    this.control = spawn('tmux', ['-L', this.socket, '-C', 'attach-session', '-t', 'bench'],
      { stdio: ['pipe', 'pipe', 'ignore'] });
    this.pending = [];  // the commands sent, in order: each gets one %begin..%end block
    this.block = null;
    this.waiting = null;
    let rest = '';
    this.control.stdout.on('data', (d) => {
      rest += d.toString('utf8');
      let nl;
      while ((nl = rest.indexOf('\n')) >= 0) {
        this.line(rest.slice(0, nl), performance.now());
        rest = rest.slice(nl + 1);
      }
    });
  }
  tmux(...a) { return execFileSync('tmux', ['-L', this.socket, ...a]).toString(); }
  send(command, onDone) {
    this.pending.push(onDone);
    this.control.stdin.write(command + '\n');
  }
  line(text, now) {
    if (this.block !== null) {
      if (/^%(end|error) /.test(text)) {
        const done = this.pending.shift();
        const lines = this.block;
        this.block = null;
        if (done) done(lines);
      } else {
        this.block.push(text);
      }
      return;
    }
    if (text.startsWith('%begin ')) this.block = [];
    else if (text.startsWith('%output ') && this.waiting) {
      const w = this.waiting;
      const at = now;
      this.send('capture-pane -p -t bench', (lines) => {
        if (this.waiting === w && lines.join('\n').includes(w.shows)) {
          this.waiting = null;
          w.resolve(at - w.start);
        }
      });
    }
  }
  // Sends a tmux key name; resolves with the milliseconds until the pane shows the text.
  press(key, shows, timeout = 15000) {
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`tmux never showed "${shows}":\n${this.screen()}`)), timeout);
      this.waiting = { shows, start: performance.now(), resolve: (ms) => { clearTimeout(timer); resolve(ms); } };
      this.send(`send-keys -t bench ${key}`);
    });
  }
  screen() { return this.tmux('capture-pane', '-p', '-t', 'bench'); }
  async waitFor(text, timeout = 15000) {
    const end = Date.now() + timeout;
    while (!this.screen().includes(text)) {
      if (Date.now() > end) throw new Error(`tmux never showed "${text}":\n${this.screen()}`);
      await new Promise((r) => setTimeout(r, 20));
    }
  }
  async waitForCursorRow(row, timeout = 15000) {
    const end = Date.now() + timeout;
    while (Number(this.tmux('display-message', '-p', '-t', 'bench', '#{cursor_y}')) !== row) {
      if (Date.now() > end) throw new Error(`the cursor never reached row ${row}:\n${this.screen()}`);
      await new Promise((r) => setTimeout(r, 5));
    }
  }
  close() {
    this.control.stdin.end();
    try { this.tmux('kill-server'); } catch (e) { /* already gone */ }
  }
}

const TMUX_KEYS = { PageDown: 'PgDn', PageUp: 'PgUp', Enter: 'Enter', Escape: 'Escape' };

async function keysInTmux(inst) {
  const tmux = new TmuxProgram(inst);
  try {
    await tmux.waitFor('Finca ..............:');
    tmux.tmux('send-keys', '-t', 'bench', '5', 'Enter', '1', 'Enter');
    await tmux.waitFor('\u2554 Baixos, magatzem 2 ');
    const times = [];
    while (times.length < TURNS) {
      for (const step of CYCLE) {
        if (!step.measured) {
          tmux.tmux('send-keys', '-t', 'bench', TMUX_KEYS[step.key]);
          await tmux.waitForCursorRow(LAST_FIELD_ROW);
          continue;
        }
        times.push(await tmux.press(TMUX_KEYS[step.key], step.shows));
      }
    }
    tmux.tmux('send-keys', '-t', 'bench', 'Escape');
    return times;
  } finally {
    tmux.close();
  }
}

async function keysInBrowser(chrome, server) {
  const { context, page } = await loggedInPage(chrome.browser, server.url);
  try {
    await waitFor(page, 'Finca ..............:');
    await keys(page, [{ text: '5' }, 'Enter', { text: '1' }, 'Enter']);
    await waitFor(page, '\u2554 Baixos, magatzem 2 ');
    // In the page: a keydown starts the clock, and the first render after which the screen
    // shows the expected text stops it.
    await page.evaluate(() => {
      const term = window.modcartaTerm;
      const shown = (text) => {
        const b = term.buffer.active;
        for (let y = 0; y < term.rows; ++y) if (b.getLine(b.viewportY + y).translateToString(true).includes(text)) return true;
        return false;
      };
      window.benchArm = (text) => { window.bench = { text, start: 0, parsed: null, ms: null }; };
      window.addEventListener('keydown', () => {
        if (window.bench && !window.bench.start) window.bench.start = performance.now();
      }, true);
      // Where the time goes: the output parsed into xterm.js's buffer, then painted at the
      // browser's next animation frame.
      term.onWriteParsed(() => {
        const b = window.bench;
        if (b && b.start && b.parsed === null && shown(b.text)) b.parsed = performance.now() - b.start;
      });
      term.onRender(() => {
        const b = window.bench;
        if (b && b.start && b.ms === null && shown(b.text)) b.ms = performance.now() - b.start;
      });
    });
    const times = [];
    const parsedTimes = [];
    while (times.length < TURNS) {
      for (const step of CYCLE) {
        if (!step.measured) {
          await page.evaluate(() => { window.bench = null; });
          await keys(page, [step.key]);
          await page.waitForFunction((row) => window.modcartaTerm.buffer.active.cursorY === row, LAST_FIELD_ROW,
            { polling: 5, timeout: 15000 });
          continue;
        }
        await page.evaluate((text) => window.benchArm(text), step.shows);
        await keys(page, [step.key]);
        await page.waitForFunction(() => window.bench.ms !== null, null, { polling: 5, timeout: 15000 });
        const { ms, parsed } = await page.evaluate(() => window.bench);
        times.push(ms);
        parsedTimes.push(parsed === null ? ms : parsed);
      }
    }
    return { times, parsedTimes };
  } finally {
    await context.close();
  }
}

async function login(chrome, server) {
  const times = [];
  for (let i = 0; i < 5; ++i) {
    const context = await chrome.browser.newContext({ viewport: { width: 1024, height: 640 } });
    const page = await context.newPage();
    await page.goto(server.url + '/login');
    await page.fill('#name', 'maria');
    await page.fill('#password', 'secret');
    // From the click to the first frame that shows panel 1, timed in the page (the clock
    // survives the navigation as the time origins of the two documents).
    const clicked = await page.evaluate(() => performance.timeOrigin + performance.now());
    await page.click('#login');
    await page.waitForFunction(() => {
      const term = window.modcartaTerm;
      if (!term) return false;
      const b = term.buffer.active;
      for (let y = 0; y < term.rows; ++y) if (b.getLine(y).translateToString(true).includes('Finca ..............:')) return true;
      return false;
    }, null, { polling: 'raf', timeout: 15000 });
    const shown = await page.evaluate(() => performance.timeOrigin + performance.now());
    times.push(shown - clicked);
    await context.close();
  }
  return times;
}

async function sessions(chrome, server) {
  const open = [];
  try {
    for (let i = 0; i < 20; ++i) {
      const s = await loggedInPage(chrome.browser, server.url);
      await waitFor(s.page, 'Finca ..............:');
      open.push(s);
    }
    const programs = childPrograms(server);
    const children = programs.map(memoryKb);
    const own = memoryKb(server.proc.pid);
    let answering = 0;
    for (const s of open) {
      await keys(s.page, ['F4']);
      await waitFor(s.page, 'Finques');
      ++answering;
    }
    const sum = (k) => children.reduce((a, m) => a + m[k], 0);
    const mib = (kb) => round(kb / 1024);
    return {
      sessions: open.length, programs: programs.length, answering,
      rss_per_session_mib: mib((own.rss + sum('rss')) / open.length),
      pss_per_session_mib: mib((own.pss + sum('pss')) / open.length),
      program_rss_mib: mib(sum('rss') / programs.length), server_rss_mib: mib(own.rss),
    };
  } finally {
    for (const s of open) await s.context.close();
  }
}

const inst = makeInstallation();
const server = await startServer(inst);
const chrome = await launchBrowser();
try {
  if (wanted('keys')) {
    const tmux = summary(await keysInTmux(inst));
    const measured = await keysInBrowser(chrome, server);
    const browser = summary(measured.times);
    const parsed = summary(measured.parsedTimes);
    report('keys', { browser, browser_parsed: parsed, tmux, median_difference: round(browser.median - tmux.median) },
      `page turn, browser median ${browser.median} ms p90 ${browser.p90} ms (parsed into xterm.js: median ` +
      `${parsed.median} ms p90 ${parsed.p90} ms); tmux median ${tmux.median} ms p90 ${tmux.p90} ms ` +
      `(${browser.count} turns each)`);
  }
  if (wanted('login')) {
    const l = summary(await login(chrome, server));
    report('login', l, `login to first screen median ${l.median} ms p90 ${l.p90} ms (${l.count} logins)`);
  }
  if (wanted('sessions')) {
    const s = await sessions(chrome, server);
    report('sessions', s, `${s.programs} programs, ${s.rss_per_session_mib} MiB RSS (${s.pss_per_session_mib} MiB PSS) ` +
      `per session, modcarta ${s.program_rss_mib} MiB, server ${s.server_rss_mib} MiB, ${s.answering}/${s.sessions} answering`);
  }
} finally {
  await chrome.close();
  await server.stop();
  fs.rmSync(inst.dir, { recursive: true, force: true });
}
