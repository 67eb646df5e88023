// The tablet page of the drill: draws what the server sends and sends it the
// student's keys. The server draws the problems, judges, keeps the clock and
// writes the records; every text shown comes from it under the id of the
// element that shows it.

const OFFLINE = 'つながりません。先生に知らせてください';
const BUSY = '込み合っています。少し待ってください';
const KEPT = 'きろくを とっておきました。先生に しらせてください。';
const TO_MENU = 'メニューへ';
const CODE_KEY = 'kestrel.code';
const BACKGROUNDS = {
  namesel: 'rgb(192, 255, 192)',
  seisekitime1: 'rgb(192, 255, 192)',
  MainFrm: 'rgb(0, 192, 192)',
  FrmSyuuryou: 'rgb(200, 235, 255)',
};

const $ = (id) => document.getElementById(id);
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));
const stage = $('stage');
let screen = '';
let keyHandler = null;

// --- Screens and texts -------------------------------------------------

function show(name) {
  screen = name;
  keyHandler = null;
  notice(null);
  stage.replaceChildren($(`screen-${name}`).content.cloneNode(true));
  stage.className = `screen-${name}`;
  document.documentElement.style.setProperty('--back', BACKGROUNDS[name]);
  for (const el of stage.querySelectorAll('[data-keys]')) word(el);
  labelAll(stage);
}

// A message over the screen (null hides it); the next touch or key takes
// it away.
function notice(text) {
  setText('notice', text || null);
}
for (const event of ['pointerdown', 'keydown']) {
  addEventListener(event, () => {
    if (!$('notice').hidden) notice(null);
  }, true);
}

// --- Touch or keys ----------------------------------------------------------
// On a tablet the keyboard's hints make no sense: "ｽﾀｰﾄ(1)" loses its key,
// the drill's help lines name the keys on the screen, and every target is
// large enough for a finger. A touch on a laptop's screen switches too.

const touchQuery = matchMedia('(hover: none), (pointer: coarse)');
let touch = false;

function setTouch(on) {
  if (on === touch) return;
  touch = on;
  document.documentElement.classList.toggle('touch', on);
  for (const el of document.querySelectorAll('[data-keys]')) word(el);
  fitAll();
}

// Shows an element's text as the keyboard or the touch screen wants it:
// `data-keys` holds the text with its key, `data-touch` (if any) the words
// for a finger; otherwise a key in brackets at the end is left out.
function word(el) {
  const keys = el.dataset.keys;
  if (!keys) return;
  el.textContent = touch ? (el.dataset.touch ?? keys.replace(/\(&?[0-9a-zA-Z]\)$/, '')) : keys;
  label(el);
}

// `?touch=1` in the address asks for the touch screen on a device that
// reports a mouse as well (a touch PC), `?touch=0` for the keys.
const touchWanted = new URLSearchParams(location.search).get('touch');
if (touchWanted === '1' || touchWanted === '0') {
  setTouch(touchWanted === '1');
} else {
  setTouch(touchQuery.matches);
  touchQuery.addEventListener?.('change', () => setTouch(touchQuery.matches || touch));
  addEventListener('pointerdown', (e) => {
    if (e.pointerType === 'touch') setTouch(true);
  }, true);
}

// An element that shows text carries it as its accessible name.
function label(el) {
  const text = el.textContent.trim();
  if (text) el.setAttribute('aria-label', text);
  else el.removeAttribute('aria-label');
}

function labelAll(root) {
  for (const el of root.querySelectorAll('[id]')) {
    if (!el.children.length || el.tagName === 'BUTTON') label(el);
  }
}

// Sets an element's text, or hides it for null.
function setText(id, value, root = document) {
  const el = typeof id === 'string' ? (root === document ? $(id) : root.querySelector(`#${id}`)) : id;
  if (!el || value === undefined) return;
  if (value === null || value === false) {
    el.hidden = true;
    return;
  }
  el.hidden = false;
  if (value !== true && el.dataset.keys !== undefined) {
    el.dataset.keys = String(value);
    word(el);
  } else if (value !== true) {
    el.textContent = String(value);
  }
  label(el);
  fit(el);
}

// A text too wide for its element is drawn smaller until it fits, as the
// desktop's labels do, but never below what a child can read.
function fit(el) {
  if (!el.isConnected || !el.classList.contains('t') || el.classList.contains('digits')) return;
  if (el.firstElementChild) return;
  el.style.fontSize = '';
  let size = parseFloat(getComputedStyle(el).fontSize);
  while (size > 11 && el.scrollWidth > el.clientWidth + 1) {
    size = Math.max(11, size * 0.92);
    el.style.fontSize = `${size}px`;
  }
}

function fitAll() {
  for (const el of stage.querySelectorAll('.t')) if (el.textContent) fit(el);
}
let resizing = 0;
addEventListener('resize', () => {
  cancelAnimationFrame(resizing);
  resizing = requestAnimationFrame(() => {
    fitAll();
    if (screen === 'seisekitime1') for (const level of menu.levels) scrollToOwnLine(level);
  });
});

function fill(obj, keys) {
  for (const key of keys) if (key in obj) setText(key, obj[key]);
}

// Radio buttons built from the server's captions; `onPick` gets the index.
function radios(panel, captions, chosen, name, onPick, positions) {
  panel.replaceChildren();
  captions.forEach((caption, i) => {
    const opt = document.createElement('label');
    opt.className = 'opt';
    opt.id = `${name}_${i}`;
    if (positions) opt.style.left = `calc(${positions[i]} * var(--k))`;
    const input = document.createElement('input');
    input.type = 'radio';
    input.name = name;
    input.checked = i === chosen;
    input.addEventListener('change', () => onPick(i));
    opt.append(input, caption);
    opt.setAttribute('aria-label', caption);
    panel.append(opt);
  });
}

function options(select, items, chosen, onPick) {
  select.replaceChildren(...items.map((item) => new Option(item, item, false, item === chosen)));
  select.setAttribute('aria-label', chosen);
  select.onchange = () => onPick(select.value);
}

// --- Talking to the server ----------------------------------------------

class ApiError extends Error {
  constructor(status, body) {
    super(body.error || String(status));
    this.status = status;
    this.body = body;
  }
}

function offline(on) {
  const box = $('offline');
  box.textContent = OFFLINE;
  box.setAttribute('aria-label', OFFLINE);
  box.hidden = !on;
}

// The server's "wait and try again", shown once the waiting has gone on.
function waiting(text) {
  setText('statusLine', text || null);
}

let signedIn = false;

// One request. Its body is made once, so that every resend is the same
// request (the server answers a repeat with its first reply). A lost
// connection is retried until it comes back, with the message shown
// meanwhile; "too soon" (425) after the time the server names, silently;
// "busy" (503) after its Retry-After, silently for the first 3 seconds and
// then with the server's words in the status line.
async function api(method, path, body) {
  const payload = body === undefined ? undefined : JSON.stringify(body);
  let busySince = 0;
  for (;;) {
    let reply;
    try {
      reply = await fetch(path, {
        method,
        headers: payload ? { 'Content-Type': 'application/json' } : {},
        body: payload,
        credentials: 'same-origin',
        cache: 'no-store',
      });
    } catch {
      offline(true);
      await sleep(2000);
      continue;
    }
    offline(false);
    const data = await reply.json().catch(() => ({}));
    if (reply.status === 425 && data.tooSoon) {
      await sleep(Math.min(10000, Math.max(0, Number(data.retryAfterMs) || 0)));
      continue;
    }
    if (reply.status === 503) {
      const now = performance.now();
      busySince ||= now;
      if (now - busySince >= 3000) waiting(data.error || BUSY);
      const seconds = Number(reply.headers.get('Retry-After'));
      await sleep(1000 * (seconds > 0 ? Math.min(seconds, 60) : 1));
      continue;
    }
    if (reply.ok) {
      waiting(null);
      return data;
    }
    if (reply.status === 401 && signedIn) signedOut(data.error);
    else if (reply.status === 404 && /^\/api\/runs\/./.test(path)) runLost(data.error);
    throw new ApiError(reply.status, data);
  }
}

// The session has ended on the server: back to the name screen with the
// server's words, never leaving a drill on the screen with its clock going.
function signedOut(text) {
  signedIn = false;
  stopRun();
  menu.grade = null;
  openNames(text);
}

// The run is gone on the server: back to the menu with its words.
function runLost(text) {
  stopRun();
  openMenu(text);
}

// --- Sounds ---------------------------------------------------------------
// Tablets play sound only after the first touch: the audio context is made
// (or resumed) in the first touch or key handler.

let audio = null;

// iPadOS mutes Web Audio under the silent switch unless the page says that
// it plays sound as a player does.
try {
  if (navigator.audioSession) navigator.audioSession.type = 'playback';
} catch {
  // an older browser
}

function unlockAudio() {
  try {
    if (!audio) {
      audio = new (window.AudioContext || window.webkitAudioContext)();
      // A silent sample played inside the touch unlocks output for good.
      const silence = audio.createBufferSource();
      silence.buffer = audio.createBuffer(1, 1, 22050);
      silence.connect(audio.destination);
      silence.start();
    }
    if (audio.state === 'suspended') audio.resume();
  } catch {
    audio = null;
  }
}
for (const event of ['pointerdown', 'pointerup', 'touchend', 'click', 'keydown']) {
  addEventListener(event, unlockAudio, true);
}

// Sounds fetched ahead, so that the answer cues start at once. The server
// picks one of the cue's files at random on every request.
const ahead = {};

async function loadCue(cue) {
  const reply = await fetch(`/sounds/${cue}`, { cache: 'no-store' });
  if (!reply.ok) return null;
  return audio.decodeAudioData(await reply.arrayBuffer());
}

function prepare(cue) {
  if (audio && !ahead[cue]) ahead[cue] = loadCue(cue).catch(() => null);
}

// Plays a cue to its end (resolves at once when it cannot be played).
async function play(cue) {
  if (!cue || !audio) return;
  try {
    const pending = ahead[cue] || loadCue(cue);
    delete ahead[cue];
    const buffer = await pending;
    if (cue === 'right' || cue === 'wrong') prepare(cue);
    if (!buffer) return;
    const source = audio.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.destination);
    await new Promise((done) => {
      source.onended = done;
      source.start();
      setTimeout(done, buffer.duration * 1000 + 300);
    });
  } catch {
    // a sound that cannot be played is left out
  }
}

// --- Keys -----------------------------------------------------------------

addEventListener('keydown', (e) => {
  if (keyHandler && keyHandler(e)) e.preventDefault();
});

// --- Cells ------------------------------------------------------------------
// A line of a list, a problem or its hint is laid out as the desktop's
// fixed-pitch font lays it: each character in a cell one half-width wide for
// a character of one byte in the Japanese code page (ASCII, half-width kana)
// and two for every other. The columns then line up whatever font draws a
// character: the page's font has no kanji of a roster's names.

function halfWidth(ch) {
  const c = ch.codePointAt(0);
  return c < 0x80 || (c >= 0xff61 && c <= 0xff9f);
}

// The characters of a text, a combining mark or a variant selector kept
// with the character it belongs to.
function characters(text) {
  const out = [];
  for (const ch of text) {
    if (out.length && /^[\u0300-\u036f\u3099\u309a\ufe00-\ufe0f\u200d\u{e0100}-\u{e01ef}]$/u.test(ch)) out[out.length - 1] += ch;
    else out.push(ch);
  }
  return out;
}

function cells(el, text) {
  const all = characters(text);
  el.classList.add('cells');
  el.replaceChildren(...all.map((ch, i) => {
    const cell = document.createElement('span');
    cell.className = halfWidth(ch) ? 'c' : 'c w';
    cell.dataset.place = String(all.length - i);
    cell.textContent = ch;
    return cell;
  }));
  el.setAttribute('aria-label', text.trim() || text);
  return el;
}

// --- Name selection -------------------------------------------------------

const names = { mode: 1, grade: '全学年', line: 0, busy: false };
// The class code: from the address the QR code carries, kept for the tab.
const params = new URLSearchParams(location.search);
if (params.get('code')) sessionStorage.setItem(CODE_KEY, params.get('code'));

async function openNames(message) {
  show('namesel');
  notice(message);
  $('Command14').onclick = signIn;
  $('Label4').setAttribute('role', 'heading');
  await loadNames();
  keyHandler = (e) => {
    if (!$('codePanel').hidden) return codeKey(e);
    if (e.key === '1' && !$('Command14').hidden) {
      signIn();
      return true;
    }
    return false;
  };
}

async function loadNames() {
  const q = new URLSearchParams({ mode: names.mode, grade: names.grade });
  const data = await api('GET', `/api/names?${q}`);
  if (screen !== 'namesel') return;
  names.mode = data.mode;
  names.grade = data.grade;
  fill(data, ['Label4', 'Label1', 'Command14']);
  radios($('Picture7'), data.Option1, data.mode, 'Option1', (i) => {
    names.mode = i;
    loadNames();
  }, [15, 3740, 7675, 11520]);
  options($('Combo1'), data.Combo1, data.grade, (grade) => {
    names.grade = grade;
    loadNames().then(() => $('List1').focus());
  });
  const list = $('List1');
  list.replaceChildren(...data.List1.map((line) => {
    const row = cells(document.createElement('div'), line.text);
    row.setAttribute('role', 'option');
    row.id = `List1_${line.line}`;
    row.onclick = () => choose(line);
    row.ondblclick = () => {
      choose(line);
      signIn();
    };
    return row;
  }));
  list.onkeydown = (e) => {
    const rows = data.List1;
    const at = rows.findIndex((l) => l.line === names.line);
    if (e.key === ' ' || e.key === 'Enter') signIn();
    else if (e.key === 'ArrowDown' && at + 1 < rows.length) choose(rows[at + 1], true);
    else if (e.key === 'ArrowUp' && at > 0) choose(rows[at - 1], true);
    else return;
    e.preventDefault();
    e.stopPropagation();
  };
  choose(data.List1[0] || { line: 0, Label1: data.Label1 });
  list.focus({ preventScroll: true });
}

function choose(line, scroll) {
  names.line = line.line;
  for (const row of $('List1').children) row.setAttribute('aria-selected', String(row.id === `List1_${line.line}`));
  setText('Label1', line.Label1);
  if (scroll) $(`List1_${line.line}`)?.scrollIntoView({ block: 'nearest' });
}

async function signIn() {
  if (names.busy || screen !== 'namesel') return;
  names.busy = true;
  notice(null);
  const body = { mode: names.mode, grade: names.grade, line: names.line };
  const code = sessionStorage.getItem(CODE_KEY);
  if (code) body.code = code;
  try {
    await api('POST', '/api/signin', body);
    signedIn = true;
    $('codePanel').hidden = true;
    $('Command14').hidden = true;
    $('Picture5').hidden = false;
    await openMenu();
  } catch (err) {
    if (screen === 'namesel') {
      $('Command14').hidden = false;
      $('Picture5').hidden = true;
    }
    if (err.body?.needCode) askCode(err.body.error);
    else if (err.body?.Label1) setText('Label1', err.body.Label1);
    else if (err.body?.error) notice(err.body.error);
    play(err.body?.cue);
  } finally {
    names.busy = false;
  }
}

// The class code's panel: typed with its keys or the keyboard, then the
// same sign-in again.
function askCode(text) {
  const panel = $('codePanel');
  const field = $('codeText');
  sessionStorage.removeItem(CODE_KEY);
  field.value = '';
  setText('codeError', text || '');
  if (!panel.hidden) return;
  panel.hidden = false;
  labelAll(panel);
  for (const key of panel.querySelectorAll('.key')) {
    key.tabIndex = -1;
    key.onmousedown = (e) => e.preventDefault();
    key.onclick = () => {
      if (key.id === 'codeOK') sendCode();
      else if (key.id === 'codeBack') field.value = field.value.slice(0, -1);
      else if (field.value.length < 12) field.value += key.id.slice(7);
    };
  }
  field.onkeydown = (e) => {
    if (e.key === 'Enter') {
      sendCode();
      e.preventDefault();
    }
  };
}

function codeKey(e) {
  if (e.target === $('codeText')) return false;
  const field = $('codeText');
  if (/^[0-9]$/.test(e.key) && field.value.length < 12) field.value += e.key;
  else if (e.key === 'Backspace') field.value = field.value.slice(0, -1);
  else if (e.key === 'Enter') sendCode();
  else return false;
  return true;
}

function sendCode() {
  const code = $('codeText').value.trim();
  if (!code) return;
  sessionStorage.setItem(CODE_KEY, code);
  signIn();
}

// --- Level menu -----------------------------------------------------------

const menu = { display: 1, kind: 1, grade: null, ready: false, levels: [] };

async function openMenu(message) {
  menu.ready = false;
  const q = new URLSearchParams({ display: menu.display, kind: menu.kind });
  if (menu.grade) q.set('grade', menu.grade);
  const data = await api('GET', `/api/menu?${q}`);
  if (screen !== 'seisekitime1') show('seisekitime1');
  if (message) notice(message);
  menu.display = data.display;
  menu.kind = data.kind;
  menu.grade = data.grade;
  menu.levels = data.levels;
  fill(data, ['Label11', 'Label12', 'Label13', 'Label17', 'Label18', 'Label5', 'Command1']);
  $('Command1').onclick = back;
  radios($('Frame2'), data.Option2, data.display, 'Option2', (i) => {
    menu.display = i;
    menu.kind = 1;
    openMenu();
  });
  radios($('Frame1'), data.Option1, data.kind, 'Option1', (k) => {
    menu.kind = k + 1;
    openMenu();
  });
  // Option1 is counted from 1, as on the desktop.
  $('Frame1').querySelectorAll('input').forEach((input, i) => { input.checked = i + 1 === data.kind; });
  $('Frame1').querySelectorAll('.opt').forEach((opt, i) => { opt.id = `Option1_${i + 1}`; });
  options($('Combo1'), data.Combo1, data.grade, (grade) => {
    menu.grade = grade;
    openMenu();
  });

  const columns = $('Columns');
  // Up to five levels share the width (the desktop's 14592 twips over the
  // levels), so that a tablet shows them all; more scroll.
  const n = data.levels.length;
  columns.style.setProperty('--cw', n <= 5 ? String(14592 / Math.max(1, n)) : '3456');
  const scroll = columns.scrollLeft;
  columns.replaceChildren(...data.levels.map(column));
  columns.scrollLeft = scroll;
  fitAll();
  for (const level of data.levels) scrollToOwnLine(level);
  keyHandler = menuKey;
  $('Picture2').hidden = true;
  menu.ready = true;
}

function column(level) {
  const n = level.level;
  const html = $('level-column').innerHTML.replaceAll('_N"', `_${n}"`);
  const tmp = document.createElement('template');
  tmp.innerHTML = html.trim();
  const col = tmp.content.firstElementChild;
  col.id = `column_${n}`;
  for (const key of ['Label1', 'Label3', 'Command4', 'Text1', 'Label9', 'Label10', 'Label14', 'Label15', 'Label8', 'Label7']) {
    setText(`${key}_${n}`, level[key], col);
  }
  const start = col.querySelector(`#Command4_${n}`);
  start.disabled = !level.enabled;
  start.title = 'クリックしてスタートします。番号を押してもよろしい';
  start.onclick = () => startLevel(n);
  const name = col.querySelector(`#Label3_${n}`);
  name.title = level.Label3;
  name.onclick = () => startLevel(n);
  const list = col.querySelector(`#List5_${n}`);
  if (level.List5Colour) list.style.background = level.List5Colour;
  list.replaceChildren(...level.List5.map((text, i) => {
    const row = cells(document.createElement('div'), text);
    row.setAttribute('role', 'option');
    row.id = `List5_${n}_${i}`;
    return row;
  }));
  return col;
}

// Brings the student's own line into view, one line below the list's top.
function scrollToOwnLine(level) {
  const list = $(`List5_${level.level}`);
  if (!list || level.List5Own < 0) return;
  const row = list.children[Math.max(0, level.List5Own - 1)];
  if (row) list.scrollTop = row.offsetTop;
}

function menuKey(e) {
  if (!menu.ready) return false;
  const keys = '123456789abcd';
  const at = keys.indexOf(e.key);
  if (at >= 0 && at < menu.levels.length) {
    startLevel(at + 1);
    return true;
  }
  if (e.key === '0' && !$('Command1').disabled) {
    back();
    return true;
  }
  return false;
}

async function back() {
  menu.ready = false;
  $('Command1').disabled = true;
  $('Picture2').hidden = false;
  signedIn = false;
  await api('POST', '/api/signout', {}).catch(() => {});
  menu.grade = null;
  await openNames();
}

// --- The drill ------------------------------------------------------------

const HEADER = ['sLabel2', 'sLabel7', 'sLabel8', 'sLabel14', 'sLabel13', 'sLabel12', 'sLabel11', 'sLabel9', 'sLabel10'];
let run = null;

async function startLevel(level) {
  const button = $(`Command4_${level}`);
  if (screen === 'seisekitime1' && (!menu.ready || !button || button.disabled)) return;
  menu.ready = false;
  if (screen === 'seisekitime1') $('Picture2').hidden = false;
  performance.clearMarks();
  performance.mark('start');
  let data;
  try {
    data = await api('POST', '/api/runs', { level });
  } catch (err) {
    // A run of this session still going (another tab, a reply lost): back to it.
    if (err.status === 409 && err.body?.run) await openDrill(err.body.run);
    else if (err.status !== 401) await openMenu(err.status === 403 ? err.message : undefined);
    return;
  }
  await openDrill({ level, ...data });
  requestAnimationFrame(() => performance.mark('problem'));
}

// The drill at the state the server describes: a new run, or one taken up
// again after the page was loaded anew (with a wrong answer that waits for
// its "+" "+", or already ended).
async function openDrill(data) {
  stopRun();
  show('MainFrm');
  run = {
    id: data.run, level: data.level ?? null, entry: '', confirm: 0, busy: false, ended: false, seq: undefined,
    bar: data.bar || { limit: 0 }, base: 0, baseAt: performance.now(), hintTimer: 0, ticker: 0,
    polledAt: performance.now(), polling: false,
  };
  fill(data, HEADER);
  correct(data);
  placeBar();
  if (data.problem) showProblem(data.problem);
  if (data.wrong) {
    fill(data.wrong, ['Label11', 'seitouLabel']);
    run.confirm = 1;
    setText('Commandkakunin2', data.wrong.Commandkakunin2);
    clearTimeout(run.hintTimer);
    fetchHint(run.problemText, 3);
  }
  run.ticker = setInterval(tick, 250);
  prepare('right');
  prepare('wrong');
  keyHandler = drillKey;
  for (const key of document.querySelectorAll('#keypad .key')) {
    // The keys never take the focus, so that the space bar judges and does
    // not press the key touched last.
    key.tabIndex = -1;
    key.addEventListener('mousedown', (e) => e.preventDefault());
    key.addEventListener('click', () => pressKey(key.id));
  }
  if (data.end) await endRun(data.end);
  else if (data.state === 'recording') run.polledAt = 0;
}

// Ends the page's side of a run: its clock and timers stop.
function stopRun() {
  if (!run) return;
  run.ended = true;
  clearInterval(run.ticker);
  clearTimeout(run.hintTimer);
  run = null;
}

// The four bars: the full scale, the minimum and target marks, the time.
function placeBar() {
  const { limit, target, minimum } = run.bar;
  $('sShape5').hidden = !limit;
  if (!limit) return;
  const part = (s) => `${Math.min(100, (100 * s) / limit)}%`;
  $('sShape4').style.width = part(minimum);
  $('sShape3').style.width = part(target);
  $('sShape2').style.width = part(shownElapsed());
}

function shownElapsed() {
  return run.base + Math.floor((performance.now() - run.baseAt) / 1000);
}

// Every reply carries the server's figures: they replace the page's own.
function correct(data) {
  fill(data, ['sLabel9', 'sLabel13']);
  if (data.sLabel10 !== undefined && data.sLabel10 !== null) {
    run.base = Number(data.sLabel10);
    run.baseAt = performance.now();
    setText('sLabel10', data.sLabel10);
  }
}

async function tick() {
  const current = run;
  if (!current || current.ended || screen !== 'MainFrm') return;
  const shown = shownElapsed();
  if (String(shown) !== $('sLabel10').textContent) setText('sLabel10', shown);
  if (current.bar.limit) $('sShape2').style.width = `${Math.min(100, (100 * shown) / current.bar.limit)}%`;
  // Ask the server now and then, and each second once the limit is near:
  // it decides the time-out.
  const since = performance.now() - current.polledAt;
  const near = current.bar.limit && shown >= current.bar.limit - 1;
  if (current.busy || current.polling || since < (near ? 1000 : 5000)) return;
  current.polledAt = performance.now();
  current.polling = true;
  try {
    const state = await api('GET', `/api/runs/${current.id}`);
    if (run !== current || current.ended) return;
    if (state.state === 'ended') await endRun(state.end);
    else if (state.state === 'recording') current.polledAt = performance.now() - 4000;
    else correct(state);
  } catch {
    // the next tick asks again
  } finally {
    current.polling = false;
  }
}

function showProblem(problem) {
  clearTimeout(run.hintTimer);
  run.entry = '';
  run.confirm = 0;
  run.seq = problem.seq;
  run.problemText = problem.qLabel1;
  cells($('qLabel1'), problem.qLabel1);
  setText('Label10', problem.Label10);
  setText('inputLabel', '');
  for (const id of ['Label9', 'Label11', 'seitouLabel', 'Commandkakunin2']) $(id).hidden = true;
  // The worked hint comes after the problem's delay, if no answer came first.
  if (problem.hintDelayMs >= 0) {
    const problemNow = problem.qLabel1;
    run.hintTimer = setTimeout(() => fetchHint(problemNow, 0), problem.hintDelayMs);
  }
}

async function fetchHint(problemText, attempt) {
  const current = run;
  if (!current || current.ended || current.busy || current.problemText !== problemText) return;
  try {
    const hint = await api('GET', `/api/runs/${current.id}/hint`);
    if (run === current && !current.busy && current.problemText === problemText) showHint(hint);
  } catch (err) {
    if (run === current && err.status === 409 && attempt < 3) current.hintTimer = setTimeout(() => fetchHint(problemText, attempt + 1), 500);
  }
}

// Crosses out the rounded-off digits and writes the carry row above them.
function showHint(hint) {
  if (!hint) return;
  for (const cell of $('qLabel1').children) {
    cell.querySelector('.stroke')?.remove();
    if (hint.crossed.includes(Number(cell.dataset.place))) {
      const stroke = document.createElement('i');
      stroke.className = 'stroke';
      stroke.id = `Line1_${cell.dataset.place}`;
      cell.append(stroke);
    }
  }
  const carry = $('Label9');
  cells(carry, hint.Label9 || '');
  carry.hidden = false;
}

function showEntry() {
  setText('inputLabel', run.entry);
}

function drillKey(e) {
  if (e.ctrlKey || e.metaKey || e.altKey) return false;
  if (e.key === 'Enter' || e.key.startsWith('Arrow')) {
    clearEntry(e.key === 'Enter');
    return true;
  }
  if (e.key === 'Backspace') {
    typeChar('\b');
    return true;
  }
  if (e.key.length === 1) {
    typeChar(e.key);
    return true;
  }
  return false;
}

function pressKey(id) {
  const key = $(id);
  key.classList.add('down');
  setTimeout(() => key.classList.remove('down'), 120);
  if (id === 'keyClear') clearEntry(true);
  else if (id === 'keyJudge') typeChar(' ');
  else if (id === 'keyPlus') typeChar('+');
  else if (id === 'keyBack') typeChar('\b');
  else typeChar(id.slice(3));
}

// Return, an arrow key or クリア empty the entry at any time; Return is also
// a character, which breaks a pair of "+".
function clearEntry(isCharacter) {
  if (!run || run.ended) return;
  if (isCharacter && run.confirm) run.confirm = 1;
  run.entry = '';
  showEntry();
}

function typeChar(c) {
  if (!run || run.ended || run.busy) return;
  if (run.confirm) {
    if (c !== '+') run.confirm = 1;
    else if (run.confirm === 1) run.confirm = 2;
    else confirmWrong();
    return;
  }
  if (c === ' ') {
    judge();
  } else if (c === '\b') {
    run.entry = run.entry.slice(0, -1);
    showEntry();
  } else if (run.entry.length >= 10) {
    play('warning');
  } else if (c >= '*' && c <= '9') {
    run.entry += c;
    showEntry();
  }
}

// While an answer or a confirmation is with the server the keys do not
// type; the keypad says so to assistive technology.
function busy(current, on) {
  current.busy = on;
  if (run === current) $('keypad').setAttribute('aria-busy', String(on));
}

async function judge() {
  const current = run;
  busy(current, true);
  clearTimeout(current.hintTimer);
  try {
    const reply = await api('POST', `/api/runs/${current.id}/answer`, { entry: current.entry, seq: current.seq });
    if (run !== current) return;
    correct(reply);
    if (reply.verdict === 'timeUp') {
      await endRun(reply.end);
      return;
    }
    showHint(reply.hint);
    if (reply.verdict === 'right') {
      await play(reply.cue);
      if (run !== current) return;
      if (reply.end) await endRun(reply.end);
      else showProblem(reply.problem);
    } else {
      fill(reply, ['Label11', 'seitouLabel']);
      current.confirm = 1;
      await play(reply.cue);
      if (run === current) setText('Commandkakunin2', reply.Commandkakunin2);
    }
  } catch (err) {
    if (run === current) await recover(err, current);
  } finally {
    busy(current, false);
  }
}

async function confirmWrong() {
  const current = run;
  busy(current, true);
  try {
    const reply = await api('POST', `/api/runs/${current.id}/confirm`, { seq: current.seq });
    if (run !== current) return;
    correct(reply);
    showProblem(reply.problem);
  } catch (err) {
    if (run === current) await recover(err, current);
  } finally {
    busy(current, false);
  }
}

// An answer or a confirmation the server did not take: the run may have
// ended (or its record failed), or a wrong answer may wait for its
// confirmation. A run whose state cannot be had is not left on the screen.
async function recover(err, current) {
  // Refused before it was judged (a malformed entry, too many requests), or
  // already handled (the session or the run is gone): the child tries again.
  if ([400, 401, 404, 413, 429].includes(err.status)) return;
  const state = await api('GET', `/api/runs/${current.id}`).catch(() => null);
  if (run !== current) return;
  if (state?.state === 'ended') {
    await endRun(state.end || { error: err.message });
  } else if (state && err.status === 409) {
    correct(state);
    const reply = await api('POST', `/api/runs/${current.id}/confirm`, { seq: current.seq }).catch(() => null);
    if (run === current && reply?.problem) showProblem(reply.problem);
  } else if (!state || err.status >= 500) {
    await endRun({ error: err.message });
  }
}

// The cover with its message for a second, then the end screen.
async function endRun(end) {
  const current = run;
  if (!current || current.ended) return;
  stopRun();
  keyHandler = null;
  end = end || {};
  if (current.bar.limit && end.cover === 'lblsss2') $('sShape2').style.width = '100%';
  $('sPicture2').hidden = false;
  setText('lblsss1', end.lblsss1);
  setText('lblsss2', end.lblsss2);
  if (end.practice) {
    await sleep(1000);
    await openMenu();
    return;
  }
  if (!end.error) await sleep(1000);
  await showEnd(end, current.level);
}

async function showEnd(end, level) {
  show('FrmSyuuryou');
  fill(end, ['Label15', 'Label16', 'Label17', 'Label13', 'Label14', 'Label18', 'Label19', 'Label20', 'Label2', 'Picture1', 'Label1', 'Command4', 'Command5']);
  if (!('LabelToday' in end) && !end.Label14) $('LabelToday').hidden = true;
  const menuButton = $('Command4');
  const againButton = $('Command5');
  menuButton.onclick = () => {
    menuButton.disabled = true;
    openMenu();
  };
  againButton.onclick = () => {
    menuButton.disabled = true;
    againButton.disabled = true;
    startLevel(level);
  };
  // A run whose record could not be written: the server's words (or that
  // it keeps the record), and the way back to the menu at once.
  const trouble = end.error || (end.kept ? end.Label20 || KEPT : null);
  if (trouble) {
    $('Label20').classList.add('wrap');
    setText('Label20', trouble);
    setText('Command4', end.afterTimer?.Command4 || TO_MENU);
    againButton.hidden = true;
    menuButton.focus();
    if (end.error) return;
  }
  const shownAt = performance.now();
  await play(end.cue);
  await play(end.goalCue);
  await sleep(Math.max(0, 500 - (performance.now() - shownAt)));
  if (screen !== 'FrmSyuuryou') return;
  fill(end.afterTimer || {}, ['Picture1', 'Command4', 'Command5', 'Label2']);
  if (trouble || level === null) {
    setText('Command4', end.afterTimer?.Command4 || TO_MENU);
    againButton.hidden = true;
  }
  if (!menuButton.hidden) menuButton.focus();
}

// --- Start ------------------------------------------------------------------
// A page loaded anew (a tablet that slept, a reload) takes up the session the
// server still has: the drill where it was, or the menu. An older server
// without /api/session, or no session: the name screen.

async function resume() {
  let session = null;
  try {
    session = await api('GET', '/api/session');
  } catch {
    session = null;
  }
  if (!session?.student) {
    await openNames();
    return;
  }
  signedIn = true;
  if (session.run) await openDrill(session.run);
  else await openMenu();
}

resume();
