// modcarta-web in a real browser: Debian's chromium, headless, driven by playwright-core.
// One installation, one server and one chromium serve all the cases; each case has its own
// browser context (its own cookies), so each is its own workstation.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import {
  makeInstallation, startServer, launchBrowser, loggedInPage, screen, waitFor, keys, clickCell,
  saveRecords, csvLine, childPrograms, until,
} from './browser_support.mjs';

let inst, server, chrome;

before(async () => {
  inst = makeInstallation();
  server = await startServer(inst);
  chrome = await launchBrowser();
});

after(async () => {
  if (chrome) await chrome.close();
  if (server) await server.stop();
  if (inst) fs.rmSync(inst.dir, { recursive: true, force: true });
});

// The stations of maria's open connections.
function stations() {
  const dir = path.join(inst.root, 'WEB', 'maria');
  return fs.existsSync(dir) ? fs.readdirSync(dir) : [];
}

test('a wrong password is refused with a clear page', async () => {
  const context = await chrome.browser.newContext();
  const page = await context.newPage();
  await page.goto(server.url + '/');
  assert.equal(new URL(page.url()).pathname, '/login');
  await page.fill('#name', 'maria');
  await page.fill('#password', 'wrong');
  await page.click('#login');
  assert.match(await page.textContent('#notice'), /Wrong name or password/);
  assert.equal((await context.cookies()).length, 0);
  await context.close();
});

test('the operator edits a card with keys, the mouse and the pop-ups', async (t) => {
  const before = saveRecords(inst, 'TranLauV');
  assert.notEqual(csvLine(before, '005,002,'), '', 'the demo has a card for 5/2');
  const { context, page } = await loggedInPage(chrome.browser, server.url);
  t.after(() => context.close());
  await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: server.url });

  let s = await waitFor(page, 'Finca ..............:');
  // F4: the property list, framed with box-drawing characters.
  await keys(page, ['F4']);
  s = await waitFor(page, '005  Carrer de Castillejos, 150');
  assert.match(s, /[─│┌┐└┘═║╔╗╚╝]/, 'the list has its frame');
  await keys(page, ['Escape', { text: '5' }, 'Enter']);
  await waitFor(page, 'Departament ........:');
  await keys(page, ['F4']);
  await waitFor(page, '001  Baixos, magatzem 2');
  await keys(page, ['Escape', { text: '2' }, 'Enter']);

  // Panel 3: the card of 5/2, with its accented labels and its blue background.
  s = await waitFor(page, 'Inici del contracte');
  assert.match(s, /Baixos, local 3/);
  assert.match(s, /Fiança/);
  const blue = await page.evaluate(() => {
    const b = window.modcartaTerm.buffer.active;
    for (let y = 0; y < 25; ++y) {
      for (let x = 0; x < 80; ++x) {
        const c = b.getLine(y).getCell(x);
        if (c.isBgPalette() && (c.getBgColor() === 4 || c.getBgColor() === 12)) return true;
      }
    }
    return false;
  });
  assert.ok(blue, 'the demo colour scheme paints a blue background');

  // A date (Ctrl+Y empties the field), an amount, then a click on the VAT choice field.
  await keys(page, ['Control+y', { text: '01/03/2025' }, 'Tab', 'ArrowDown', 'ArrowDown', 'ArrowDown',
    'Control+y', { text: '123456' }]);
  s = await screen(page);
  const rows = s.split('\n');
  const ivaRow = rows.findIndex((l) => l.includes('Aplica IVA .........:'));
  assert.ok(ivaRow >= 0, s);
  const ivaLabel = 'Aplica IVA .........: ';
  await clickCell(page, ivaRow, rows[ivaRow].indexOf(ivaLabel) + ivaLabel.length);
  await keys(page, [{ text: 'N' }]);
  // Ctrl+C copies the field: the program's OSC 52 reaches the browser's clipboard.
  await keys(page, ['Control+c']);
  assert.ok(await until(() => page.evaluate(() => window.modcartaCopied !== undefined)), 'no OSC 52 copy arrived');
  assert.match(await page.evaluate(() => window.modcartaCopied), /No/);
  await keys(page, ['Tab']);
  s = await waitFor(page, '1.234,56');
  assert.match(s, /Inici del contracte : 1\/3\/2025/);
  assert.match(s, /Aplica IVA .........: No/);

  // Alt+X: the calculator adds 12.5 and 3; F types its result into the deposit.
  await keys(page, ['ArrowUp', 'ArrowUp', 'Control+y', 'Alt+x', { text: '12.5+3=' }]);
  await waitFor(page, '15,5');
  await keys(page, [{ text: 'F' }, 'Tab']);
  s = await waitFor(page, 'Fiança .............:         15,50');

  // Alt+C on the last update: the calendar opens on the working date (today); Right and F
  // type the next day.
  const down = Array(11).fill('ArrowDown');
  await keys(page, [...down, 'Control+y', 'Alt+c']);
  const months = ['GENER', 'FEBRER', 'MARÇ', 'ABRIL', 'MAIG', 'JUNY', 'JULIOL', 'AGOST', 'SETEMBRE', 'OCTUBRE',
    'NOVEMBRE', 'DESEMBRE'];
  const today = new Date();
  await waitFor(page, months[today.getMonth()]);
  await keys(page, ['ArrowRight', { text: 'F' }, 'Tab']);
  await waitFor(page, months[today.getMonth()], { gone: true });
  const tomorrow = new Date(today.getFullYear(), today.getMonth(), today.getDate() + 1);
  const iso = `${tomorrow.getFullYear()}-${String(tomorrow.getMonth() + 1).padStart(2, '0')}-` +
    String(tomorrow.getDate()).padStart(2, '0');

  // PgDn on the last field saves the card and goes on to department 3.
  await keys(page, ['PageDown']);
  s = await waitFor(page, 'Pis Entresòl 1a');
  assert.match(s, /Departament ........: 3/);

  // Escape to the end: panel 3, panel 2, panel 1; the page says the program has ended.
  await keys(page, ['Escape']);
  await waitFor(page, 'Inici del contracte', { gone: true });
  for (let i = 0; i < 2 && !(await page.evaluate(() => window.modcartaEnded)); ++i) {
    await page.waitForTimeout(300);
    await keys(page, ['Escape']);
  }
  assert.ok(await until(() => page.evaluate(() => window.modcartaEnded !== undefined)), await screen(page));
  assert.match(await page.textContent('#ended-text'), /has ended/);
  assert.ok(await page.isVisible('#again'));

  const now = csvLine(saveRecords(inst, 'TranLauV'), '005,002,').split(',');
  const was = csvLine(before, '005,002,').split(',');
  assert.equal(now.length, was.length);
  assert.equal(now[2], '2025-03-01');
  assert.equal(now[9], '123456');
  assert.equal(now[12], 'N');
  assert.equal(now[11], '1550');
  assert.equal(now[8], iso);
});

test('two browser sessions on one card: the second waits with the lock message', async (t) => {
  const first = await loggedInPage(chrome.browser, server.url);
  t.after(() => first.context.close());
  const second = await loggedInPage(chrome.browser, server.url);
  t.after(() => second.context.close());
  for (const { page } of [first, second]) await waitFor(page, 'Finca ..............:');
  await keys(first.page, [{ text: '5' }, 'Enter', { text: '2' }, 'Enter']);
  await waitFor(first.page, 'Inici del contracte');
  await keys(second.page, [{ text: '5' }, 'Enter', { text: '2' }, 'Enter']);
  await waitFor(second.page, 'FITXER BLOQUEJAT');
  // The first leaves the card: the second gets in.
  await keys(first.page, ['Escape']);
  await waitFor(second.page, 'Inici del contracte');
});

// The WebSocket handshakes a page makes, seen through chromium's DevTools protocol: the URL,
// the Origin it sent and the error chromium reported for a refused one.
async function watchHandshakes(context, page) {
  const cdp = await context.newCDPSession(page);
  const seen = new Map();
  const entry = (id) => (seen.has(id) ? seen.get(id) : seen.set(id, {}).get(id));
  cdp.on('Network.webSocketCreated', (e) => { entry(e.requestId).url = e.url; });
  cdp.on('Network.webSocketWillSendHandshakeRequest', (e) => { entry(e.requestId).origin = e.request.headers.Origin; });
  cdp.on('Network.webSocketFrameError', (e) => { entry(e.requestId).error = e.errorMessage; });
  await cdp.send('Network.enable');
  return seen;
}

// Opens a WebSocket from inside the page; resolves with "open" or the close code.
function tryWebSocket(page, url) {
  return page.evaluate((u) => new Promise((resolve) => {
    const ws = new WebSocket(u);
    ws.onopen = () => { ws.close(); resolve('open'); };
    ws.onclose = (e) => resolve('closed ' + e.code);
  }), url);
}

// A loopback HTTP server of the test's own on a free port; resolves with it and its address.
async function listen(server) {
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  return { server, url: `http://127.0.0.1:${server.address().port}` };
}

test('a terminal WebSocket from another origin, or without the cookie, is refused', async (t) => {
  const wsUrl = server.url.replace(/^http/, 'ws') + '/term';
  // Another origin: another port of the same loopback address. Browsers keep cookies by host,
  // not port, and it is the same site, so pages there send maria's cookie to every port.
  const other = await listen(http.createServer((req, res) => {
    res.writeHead(200, { 'Content-Type': 'text/html' });
    res.end('<!doctype html><title>another site</title>');
  }));
  t.after(() => other.server.close());
  // A third port records what such a page sends with a WebSocket upgrade, and refuses it.
  const upgrades = [];
  const probe = await listen(http.createServer());
  probe.server.on('upgrade', (req, socket) => {
    upgrades.push(req.headers);
    socket.end('HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n');
  });
  t.after(() => probe.server.close());

  const { context, page } = await loggedInPage(chrome.browser, server.url);
  t.after(() => context.close());
  await waitFor(page, 'Finca ..............:');
  const programs = childPrograms(server).length;
  const cookie = (await context.cookies()).find((c) => c.name === 'mcw');
  assert.ok(cookie, 'logged in');
  // The operator's own page may open one more terminal: cookie and origin are right.
  assert.equal(await tryWebSocket(page, wsUrl), 'open');

  const foreign = await context.newPage();
  const seen = await watchHandshakes(context, foreign);
  await foreign.goto(other.url + '/');
  assert.equal(await tryWebSocket(foreign, probe.url.replace(/^http/, 'ws') + '/term'), 'closed 1006');
  assert.equal(upgrades.length, 1);
  assert.match(upgrades[0].cookie || '', new RegExp(`mcw=${cookie.value}`), 'pages of the other origin send the cookie');
  assert.equal(upgrades[0].origin, other.url);
  assert.equal(await tryWebSocket(foreign, wsUrl), 'closed 1006');
  const attempt = [...seen.values()].find((h) => h.url === wsUrl);
  assert.ok(attempt && (await until(() => attempt.error !== undefined)), JSON.stringify([...seen.values()]));
  assert.equal(attempt.origin, other.url);
  assert.match(attempt.error, /403/);

  // No cookie: a fresh context, on the server's own login page.
  const stranger = await chrome.browser.newContext();
  t.after(() => stranger.close());
  const loginPage = await stranger.newPage();
  const seen2 = await watchHandshakes(stranger, loginPage);
  await loginPage.goto(server.url + '/login');
  assert.equal(await tryWebSocket(loginPage, wsUrl), 'closed 1006');
  const anonymous = [...seen2.values()].find((h) => h.url === wsUrl);
  assert.ok(anonymous && (await until(() => anonymous.error !== undefined)), JSON.stringify([...seen2.values()]));
  assert.equal(anonymous.origin, server.url);
  assert.match(anonymous.error, /401|HTTP Authentication failed/);  // chromium's words for a 401

  // Only the operator's own second terminal started a program; the first still answers.
  assert.ok(await until(() => childPrograms(server).length === programs), 'a refused WebSocket started a program');
  await keys(page, [{ text: '5' }, 'Enter']);
  await waitFor(page, 'Departament ........:');
});

test('paste reaches the field, and the field copied reaches the browser clipboard', async (t) => {
  const { context, page } = await loggedInPage(chrome.browser, server.url);
  t.after(() => context.close());
  await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: server.url });
  await waitFor(page, 'Finca ..............:');
  await keys(page, [{ text: '5' }, 'Enter', { text: '1' }, 'Enter']);
  await waitFor(page, 'Inici del contracte');

  // The browser's clipboard holds a date; Ctrl+Shift+V pastes it into the emptied field.
  await page.evaluate(() => navigator.clipboard.writeText('15/06/2024'));
  await page.locator('.xterm-helper-textarea').focus();
  await keys(page, ['Control+y', 'Control+Shift+V', 'Tab']);
  await waitFor(page, 'Inici del contracte : 15/6/2024');

  // Back on the field, the program's copy (Ctrl+C) replaces what the clipboard held.
  await page.evaluate(() => navigator.clipboard.writeText('something else'));
  await keys(page, ['ArrowUp', 'Control+c']);
  assert.ok(await until(async () => /15\/0?6\/2024/.test(await page.evaluate(() => navigator.clipboard.readText()))),
    'the copied field never reached the clipboard: ' + (await page.evaluate(() => navigator.clipboard.readText())));
});

// Serves the same installation over HTTPS with a throwaway self-signed certificate.
test('over HTTPS the cookie is Secure and the terminal works over wss', async (t) => {
  const dir = fs.mkdtempSync(path.join(inst.dir, 'tls-'));
  const cert = path.join(dir, 'cert.pem');
  const key = path.join(dir, 'key.pem');
  execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1', '-subj', '/CN=127.0.0.1',
    '-keyout', key, '-out', cert], { stdio: 'ignore' });
  const secure = await startServer(inst, ['--cert', cert, '--key', key]);
  t.after(() => secure.stop());
  assert.match(secure.url, /^https:/);

  const { context, page } = await loggedInPage(chrome.browser, secure.url, undefined, { ignoreHTTPSErrors: true });
  t.after(() => context.close());
  const [cookie] = await context.cookies();
  assert.equal(cookie.name, 'mcw');
  assert.equal(cookie.secure, true);
  assert.equal(cookie.httpOnly, true);
  assert.equal(cookie.sameSite, 'Strict');
  assert.equal(await page.evaluate(() => location.protocol), 'https:');

  // The port speaks nothing but TLS, so a terminal that answers keys is on wss.
  await waitFor(page, 'Finca ..............:');
  assert.equal(childPrograms(secure).length, 1);
  await keys(page, ['F4']);
  await waitFor(page, '005  Carrer de Castillejos, 150');
});

// A hung-up program leaves the way Escape does, so its registry entry is freed with it.
test('closing the tab ends the program and frees its workstation', async () => {
  assert.ok(await until(() => childPrograms(server).length === 0), 'programs of earlier cases still run');
  const { context, page } = await loggedInPage(chrome.browser, server.url);
  await waitFor(page, 'Finca ..............:');
  await keys(page, [{ text: '5' }, 'Enter', { text: '2' }, 'Enter']);
  await waitFor(page, 'Inici del contracte');
  assert.equal(childPrograms(server).length, 1);
  assert.equal(stations().length, 1);
  await context.close();
  assert.ok(await until(() => childPrograms(server).length === 0), 'the program outlived its tab');
  assert.ok(await until(() => stations().length === 0), 'the workstation directory is left behind');
  // Its registry entry is free: another station opens the same card at once.
  const other = await loggedInPage(chrome.browser, server.url);
  await waitFor(other.page, 'Finca ..............:');
  await keys(other.page, [{ text: '5' }, 'Enter', { text: '2' }, 'Enter']);
  const s = await waitFor(other.page, 'Inici del contracte', { timeout: 5000 });
  assert.doesNotMatch(s, /BLOQUEJAT/);
  await other.context.close();
});
