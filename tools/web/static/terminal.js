// The terminal page: xterm.js on a WebSocket to one modcarta on the server.
// Binary frames carry the program's output and the keys; text frames carry "resize COLS ROWS".
'use strict';
(function () {
  const COLS = 80, ROWS = 25;  // the program's screen, always kept visible
  const term = new Terminal({
    cols: COLS, rows: ROWS, scrollback: 0, cursorBlink: false, fontSize: 16,
    fontFamily: '"DejaVu Sans Mono", "Liberation Mono", monospace',
    customGlyphs: true, drawBoldTextInBrightColors: false, minimumContrastRatio: 1,
    theme: { background: '#000000', foreground: '#aaaaaa', black: '#000000', red: '#aa0000',
             green: '#00aa00', yellow: '#aa5500', blue: '#0000aa', magenta: '#aa00aa', cyan: '#00aaaa',
             white: '#aaaaaa', brightBlack: '#555555', brightRed: '#ff5555', brightGreen: '#55ff55',
             brightYellow: '#ffff55', brightBlue: '#5555ff', brightMagenta: '#ff55ff',
             brightCyan: '#55ffff', brightWhite: '#ffffff' },
  });
  const fit = new FitAddon.FitAddon();
  term.loadAddon(fit);
  const host = document.getElementById('terminal');
  term.open(host);
  window.modcartaTerm = term;  // the browser tests read the screen from here

  // The largest font that still shows 80 x 25 cells in the window; the terminal then takes
  // whatever whole cells fit (the program draws its screen in the top-left corner).
  function scale() {
    let low = 6, high = 64;
    while (low < high) {
      const mid = Math.ceil((low + high) / 2);
      term.options.fontSize = mid;
      const d = fit.proposeDimensions();
      if (d && d.cols >= COLS && d.rows >= ROWS) low = mid; else high = mid - 1;
    }
    term.options.fontSize = low;
    fit.fit();
  }

  const encoder = new TextEncoder();
  const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
  const ws = new WebSocket(scheme + location.host + '/term');
  ws.binaryType = 'arraybuffer';
  let opened = false;
  function sendSize() {
    if (ws.readyState === WebSocket.OPEN) ws.send('resize ' + term.cols + ' ' + term.rows);
  }
  ws.onopen = () => { opened = true; sendSize(); term.focus(); };
  ws.onmessage = (e) => {
    const bytes = new Uint8Array(e.data);
    term.write(bytes, () => { window.modcartaWrites = (window.modcartaWrites || 0) + 1; });
  };
  ws.onclose = (e) => {
    if (e.code === 1000 && e.reason === 'ended') return show('The record card has ended.');
    // Refused or lost: an expired session goes back to the login page, anything else is a
    // lost connection.
    fetch('/session', { cache: 'no-store' }).then((r) => {
      if (r.status === 401) location.href = '/login?why=expired';
      else show(opened ? 'The connection to the server was lost.' : 'The server could not be reached.');
    }, () => show('The connection to the server was lost.'));
  };
  term.onData((text) => { if (ws.readyState === WebSocket.OPEN) ws.send(encoder.encode(text)); });
  term.onBinary((text) => {
    if (ws.readyState !== WebSocket.OPEN) return;
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i) & 255;
    ws.send(bytes);
  });
  term.onResize(sendSize);
  window.addEventListener('resize', scale);
  scale();

  // Keys that the browser would take for itself (help, find, reload, full screen, save, the
  // menu bar's Alt+letter) go to the program while the terminal has focus. Ctrl+Shift+V and
  // Shift+Insert are left to the browser: they paste.
  term.attachCustomKeyEventHandler((e) => {
    if (e.type !== 'keydown') return true;
    const fkey = /^F([1-9]|1[0-2])$/.test(e.key);
    const altLetter = e.altKey && !e.ctrlKey && /^Key[A-Z]$|^Digit[0-9]$/.test(e.code);
    const ctrlKey = e.ctrlKey && !e.altKey && !e.shiftKey && /^Key[A-Z]$/.test(e.code);
    if (fkey || altLetter || ctrlKey) e.preventDefault();
    return true;
  });

  // The program's copy (OSC 52 "c;BASE64") goes to the browser's clipboard.
  term.parser.registerOscHandler(52, (data) => {
    const semi = data.indexOf(';');
    const payload = semi < 0 ? '' : data.slice(semi + 1);
    if (payload === '?' || payload === '') return true;
    let text;
    try {
      const raw = atob(payload);
      text = new TextDecoder().decode(Uint8Array.from(raw, (c) => c.charCodeAt(0)));
    } catch (err) { return true; }
    window.modcartaCopied = text;
    if (navigator.clipboard && window.isSecureContext) {
      navigator.clipboard.writeText(text).catch(() => copyByCommand(text));
    } else {
      copyByCommand(text);
    }
    return true;
  });
  function copyByCommand(text) {
    const area = document.createElement('textarea');
    area.value = text;
    area.style.position = 'fixed';
    area.style.opacity = '0';
    document.body.appendChild(area);
    area.select();
    try { document.execCommand('copy'); } catch (err) { /* the browser refused */ }
    area.remove();
    term.focus();
  }

  function show(text) {
    document.getElementById('ended-text').textContent = text;
    document.getElementById('ended').hidden = false;
    window.modcartaEnded = text;
  }
  document.getElementById('again').addEventListener('click', () => location.reload());
})();
