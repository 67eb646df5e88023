// What the tablet page's tests in Chromium (drill.mjs) and WebKit
// (webkit.mjs) share: the demo school and its server, the checks' tally, the
// measurements taken inside the page, and the walk a student takes through
// every screen. A browser is reached through a small driver:
//   goto(url), eval(fn, arg), waitFor(fn, arg, ms), tap(selector),
//   keys(text) (' ' the space bar, '\n' Return), shot(name), touch (boolean).
import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, statSync, readFileSync, writeFileSync, copyFileSync, chmodSync, readdirSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export const args = Object.fromEntries(process.argv.slice(2).reduce((pairs, a, i, all) => {
  if (a.startsWith('--')) pairs.push([a.slice(2), all[i + 1]]);
  return pairs;
}, []));
export const PAGE_BYTES_LIMIT = 300 * 1024;
const TIMEOUT_LEVEL = 5;
const TIMEOUT_MINIMUM = 2; // seconds: the run times out after 10
const TAP_PX = 44;

const failures = [];
let checks = 0;
export function check(ok, what) {
  checks++;
  if (!ok) {
    failures.push(what);
    console.error(`FAILED: ${what}`);
  }
}
export function summary() {
  console.log(`${checks - failures.length} passed, ${failures.length} failed`);
  return failures.length ? 1 : 0;
}

export const children = [];
export const temp = mkdtempSync(join(tmpdir(), 'kestrel-browser-'));
// Ends the programs started here, each with its own process group (the
// browser's helpers too), then removes the temporary folder.
export async function cleanUp() {
  await Promise.all(children.filter((c) => c.exitCode === null && c.signalCode === null).map((c) => new Promise((done) => {
    c.on('exit', done);
    try {
      process.kill(-c.pid, 'SIGTERM');
    } catch {
      done();
    }
  })));
  rmSync(temp, { recursive: true, force: true, maxRetries: 10 });
}

// A fault outside the test's own steps (in a request handler) still ends
// the programs started here.
process.on('uncaughtException', (err) => {
  console.error(err);
  process.exitCode = 1;
  cleanUp().finally(() => process.exit(1));
});

export function start(program, argv, options = {}) {
  const child = spawn(program, argv, { stdio: ['ignore', 'ignore', 'inherit'], detached: true, ...options });
  children.push(child);
  return child;
}

function run(program, argv) {
  return new Promise((done, fail) => {
    const child = spawn(program, argv, { stdio: ['ignore', 'ignore', 'inherit'] });
    child.on('exit', (code) => (code === 0 ? done() : fail(new Error(`${program} ended with ${code}`))));
  });
}

export function freePort() {
  return new Promise((done) => {
    const s = createServer();
    s.listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => done(port));
    });
  });
}

export async function waitForUrl(url, child, what) {
  for (let i = 0; i < 150; i++) {
    if (child && child.exitCode !== null) throw new Error(`${what} ended with ${child.exitCode}`);
    try {
      if ((await fetch(url)).status < 500) return;
    } catch {
      // not listening yet
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error(`no answer from ${what} at ${url}`);
}

// The demo school in a temporary folder and the server on it.
export async function startServer() {
  if (args.url) return { url: args.url, log: null };
  await run(args['make-demo'], [args.demo, temp]);
  const shared = join(temp, '共有データ');
  // The last level (never closed for practising too much) times out after
  // 5 × 2 seconds, for the time-out run.
  const criteria = join(shared, 'Kestrel', 'タイム回数データ.txt');
  const rows = readFileSync(criteria, 'latin1').split('\r\n');
  rows[TIMEOUT_LEVEL] = `1,${TIMEOUT_MINIMUM},80,6,2,10,400,14,1,,,`;
  writeFileSync(criteria, rows.join('\r\n'), 'latin1');
  // Installed as a school installs it: the program in Kestrel/ (which names
  // the data folder) with the page beside it.
  const program = join(temp, 'Kestrel');
  mkdirSync(join(program, 'www'), { recursive: true });
  copyFileSync(args.server, join(program, 'kestrel-server'));
  chmodSync(join(program, 'kestrel-server'), 0o755);
  for (const file of readdirSync(args.www)) copyFileSync(join(args.www, file), join(program, 'www', file));
  const port = await freePort();
  const child = start(join(program, 'kestrel-server'), ['--folder', shared, '--port', String(port), '--listen', '127.0.0.1'],
    { stdio: ['ignore', 'pipe', 'inherit'] });
  // The class code the server prints, as the teacher reads it off its terminal.
  let said = '';
  const code = await new Promise((done, fail) => {
    child.stdout.on('data', (chunk) => {
      said += chunk;
      const found = said.match(/^クラスコード: (\d{4})$/m);
      if (found) done(found[1]);
    });
    child.on('exit', (status) => fail(new Error(`kestrel-server ended with ${status}: ${said}`)));
  });
  const url = `http://127.0.0.1:${port}`;
  await waitForUrl(`${url}/`, child, 'kestrel-server');
  return { url, code, log: join(shared, 'Kestrel', '成績累積データ.dat') };
}

// A fontconfig that stands for a tablet: one proportional Japanese font
// (IPAPGothic) and no fixed-pitch one.
export function tabletFonts() {
  const file = join(temp, 'fonts.conf');
  writeFileSync(file, `<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/opentype/ipafont-gothic</dir>
  <cachedir>${join(temp, 'fontconfig')}</cachedir>
  <selectfont><rejectfont><glob>*/ipag.ttf</glob></rejectfont></selectfont>
</fontconfig>
`);
  return file;
}

// --- Measurements inside the page (each runs in the browser) ---------------

// The x positions of the name list's "/" column, one per distinct position.
export function slashColumn() {
  const xs = [...document.querySelectorAll('#List1 [role=option]')].flatMap((row) => [...row.children]
    .filter((cell) => cell.textContent === '/').map((cell) => Math.round(cell.getBoundingClientRect().left * 100) / 100));
  return { rows: xs.length, positions: [...new Set(xs)] };
}

// Elements whose text reaches above or below their box (cut where the box
// clips): the text measured as a span of its own, put back afterwards.
export function textOutside(ids) {
  return ids.filter((id) => {
    const el = document.getElementById(id);
    const nodes = [...el.childNodes];
    const span = document.createElement('span');
    span.append(...nodes);
    el.append(span);
    const a = span.getBoundingClientRect();
    const b = el.getBoundingClientRect();
    el.replaceChildren(...nodes);
    return a.top < b.top - 0.5 || a.bottom > b.bottom + 0.5;
  });
}

// Things a finger taps that are smaller than 44 CSS pixels either way.
export function smallTargets(px) {
  const targets = document.querySelectorAll('#stage button, #stage select, #stage input:not(.opt input), #stage label.opt, #List1 [role=option], #stage .name');
  return [...targets].filter((el) => el.checkVisibility()).map((el) => {
    const r = el.getBoundingClientRect();
    return r.width < px - 0.5 || r.height < px - 0.5 ? `${el.id || el.textContent.trim()} ${Math.round(r.width)}x${Math.round(r.height)}` : null;
  }).filter(Boolean);
}

// Level columns not wholly on the screen.
export function columnsOff() {
  const cols = [...document.querySelectorAll('.column')];
  const off = cols.filter((c) => {
    const r = c.getBoundingClientRect();
    return r.left < 0 || r.top < 0 || r.right > innerWidth + 0.5 || r.bottom > innerHeight + 0.5;
  }).map((c) => c.id);
  return { count: cols.length, off };
}

// Overflow, unreadable or cut text, and text without an accessible name.
export function layoutFaults() {
  const faults = [];
  const W = innerWidth;
  const H = innerHeight;
  const root = document.documentElement;
  if (root.scrollWidth > W || root.scrollHeight > H) faults.push(`page scrolls: ${root.scrollWidth}x${root.scrollHeight}`);
  const scrolled = (el) => {
    for (let p = el.parentElement; p; p = p.parentElement) {
      const o = getComputedStyle(p);
      if (['auto', 'scroll'].includes(o.overflowY) || ['auto', 'scroll'].includes(o.overflowX)) return true;
    }
    return false;
  };
  for (const el of document.querySelectorAll('#stage *, #offline, #notice, #statusLine')) {
    if (!el.checkVisibility()) continue;
    const r = el.getBoundingClientRect();
    if (!r.width || !r.height || scrolled(el)) continue;
    const name = el.id || el.className || el.tagName;
    if (r.left < -1 || r.top < -1 || r.right > W + 1 || r.bottom > H + 1) faults.push(`${name} outside the screen`);
    const hasText = [...el.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim());
    if (!hasText) continue;
    const size = parseFloat(getComputedStyle(el).fontSize);
    if (size < 11) faults.push(`${name} text ${size}px`);
    if (el.scrollWidth > el.clientWidth + 2 && getComputedStyle(el).overflowX !== 'visible') faults.push(`${name} text cut: "${el.textContent.trim()}"`);
    if (el.id && el.textContent.trim() && el.getAttribute('aria-label') !== el.textContent.trim()) faults.push(`${name} has no accessible name`);
  }
  return faults;
}

// The carry row's digits that do not stand right above their places.
function carryMisplaced() {
  const cells = (id) => [...document.querySelectorAll(`#${id} .c`)];
  return cells('Label9').filter((c) => c.textContent.trim()).map((c) => {
    const below = cells('qLabel1').find((q) => q.dataset.place === c.dataset.place);
    if (!below) return Number(c.dataset.place) > 5 ? `place ${c.dataset.place}` : null;
    const a = c.getBoundingClientRect();
    const b = below.getBoundingClientRect();
    return Math.abs(a.left + a.width / 2 - (b.left + b.width / 2)) > 2 ? `place ${c.dataset.place}` : null;
  }).filter(Boolean);
}

const textOf = ([id]) => document.getElementById(id)?.textContent ?? null;
const shown = ([id]) => Boolean(document.getElementById(id)?.checkVisibility());

// --- The student's arithmetic ---------------------------------------------

const PLACES = ['一', '十', '百', '千'];
export function answerOf(problem, instruction) {
  const n = Number(problem.trim());
  let k;
  let m = instruction.match(/^(.)の位を四捨五入しなさい$/);
  if (m) k = PLACES.indexOf(m[1]) + 1;
  else if ((m = instruction.match(/^(.)の位までの概数にしなさい$/))) k = PLACES.indexOf(m[1]);
  else if ((m = instruction.match(/^上から(\d)桁の概数にしなさい$/))) k = String(n).length - Number(m[1]);
  else throw new Error(`unknown instruction ${instruction}`);
  return { answer: String(10 ** k * Math.floor(n / 10 ** k + 0.5)), place: k };
}

function lastRecord(log) {
  const bytes = readFileSync(log);
  const at = bytes.length - 44;
  return {
    count: bytes.length / 44,
    student: bytes.readInt16LE(at + 16),
    level: bytes.readInt16LE(at + 18),
    seconds: bytes.readInt32LE(at + 20),
  };
}

// The page's own files as the browser loaded them, fetched again to count
// their bytes.
async function pageBytes(d) {
  const urls = await d.eval(() => [location.href.split('?')[0], ...performance.getEntriesByType('resource').map((e) => e.name)]);
  const files = [...new Set(urls.filter((u) => !/\/(api|sounds)\//.test(new URL(u).pathname)))];
  const sizes = await Promise.all(files.map(async (u) => [new URL(u).pathname, (await (await fetch(u)).arrayBuffer()).byteLength]));
  return { total: sizes.reduce((a, [, n]) => a + n, 0), sizes };
}

// --- The walk through -----------------------------------------------------

// Signs in with the class code of the address, runs a level with a wrong
// answer, its confirmation and the erase key, sees the end screen and the
// menu's new figures, then a run that times out. Returns what it measured.
export async function walk(d, server) {
  const text = (id) => d.eval(textOf, [id]);
  const visible = (id) => d.eval(shown, [id]);
  const measured = {};
  const atScreen = async (name) => {
    if (d.touch) {
      const small = await d.eval(smallTargets, TAP_PX);
      check(small.length === 0, `${name}: every target is at least ${TAP_PX} px (${small.join(', ')})`);
    }
    await d.shot(name);
  };

  // The name screen from the QR code's address.
  await d.goto(`${server.url}/?code=${server.code}${d.query || ''}`);
  await d.waitFor(() => document.getElementById('List1_1') && document.fonts.status === 'loaded');
  check((await text('Label1')) === '名前を選びなさい', 'the name screen starts with 名前を選びなさい');
  check(await d.eval(() => sessionStorage.getItem('kestrel.code')) === server.code, 'the class code of the address is kept');
  measured.slash = await d.eval(slashColumn);
  check(measured.slash.rows > 5 && measured.slash.positions.length === 1,
    `the name list's "/" column lies at one x (${measured.slash.rows} rows at ${measured.slash.positions.join(', ')})`);
  const cut = await d.eval(textOutside, ['Label4', 'Label1']);
  check(cut.length === 0, `nothing cut at the top of the title or of 名前を選びなさい (${cut.join(', ')})`);
  await atScreen('01-namesel');
  await d.tap('#Command14');
  await d.waitFor(() => performance.getEntriesByType('resource').some((e) => e.name.endsWith('/api/signin')));
  check((await text('Label1')) === '名前を選びなさい', 'O.K. without a name is refused');

  // A pupil: the first line without 先生 or ★.
  const rows = await d.eval(() => [...document.querySelectorAll('#List1 [role=option]')].map((r) => r.textContent));
  const line = rows.findIndex((r, i) => i > 0 && !/先生|★/.test(r));
  await d.tap(`#List1_${line}`);
  const chosen = await text('Label1');
  check(chosen !== '名前を選びなさい' && rows[line].includes(chosen.split(' ').pop()), `choosing line ${line} shows its name`);
  await atScreen('02-namesel-chosen');
  await d.tap('#Command14');

  // The level menu: five columns on the screen.
  await d.waitFor(() => document.getElementById('Command4_1') && document.getElementById('Label18')?.textContent);
  const level = await d.eval(() => {
    for (let i = 1; i < 5; i++) if (!document.getElementById(`Command4_${i}`)?.disabled) return i;
    return 0;
  });
  check(level > 0, 'a level can be started');
  const columns = await d.eval(columnsOff);
  check(columns.count === 5 && columns.off.length === 0, `the five level columns are on the screen (${columns.count}, off: ${columns.off.join(', ')})`);
  check((await text('Command4_1')) === (d.touch ? 'ｽﾀｰﾄ' : 'ｽﾀｰﾄ(1)'), `the start button's words suit ${d.touch ? 'a finger' : 'the keys'}`);
  const before = { today: await text(`Label14_${level}`), total: await text('Label18') };
  await atScreen('03-menu');
  const recordsBefore = server.log ? statSync(server.log).size / 44 : 0;

  // The drill: a digit erased, then a wrong answer.
  await d.tap(`#Command4_${level}`);
  await d.waitFor(() => document.getElementById('qLabel1')?.textContent.trim());
  check((await text('Label5')) === (d.touch ? 'こたえを入れて「判定」をおす' : 'スペースキー＝判定'), 'the help line names what judges');
  await atScreen('04-drill');
  const problem = async () => answerOf(await text('qLabel1'), await text('Label10'));
  // Keys count once the answer before them is through.
  const ready = () => d.waitFor(() => document.getElementById('keypad')?.getAttribute('aria-busy') !== 'true');
  const keypad = async (digits) => {
    await ready();
    for (const k of digits) await d.tap(`#key${k}`);
  };
  const first = await problem();
  const wrong = String(Number(first.answer) + 1);
  await keypad(`${wrong}9`);
  check((await text('inputLabel')) === `${wrong}9`, 'the keypad types');
  await d.tap('#keyBack');
  check((await text('inputLabel')) === wrong, `けす erases the last digit (${await text('inputLabel')})`);
  await d.keys('\n');
  check((await text('inputLabel')) === '', 'Return empties the entry');
  await d.keys(wrong);
  await d.tap('#keyJudge');
  await d.waitFor(() => document.getElementById('Commandkakunin2')?.checkVisibility());
  check((await text('seitouLabel')) === first.answer, `the correct answer ${first.answer} is shown`);
  check(await visible('Label11'), 'the red = is shown');
  check(await d.eval(([p]) => document.querySelectorAll(`#qLabel1 .c[data-place="${p}"] .stroke`).length, [first.place]) === 1,
    `the digit of place ${first.place} is crossed out`);
  const misplaced = await d.eval(carryMisplaced);
  check(misplaced.length === 0, `the carry row stands above its places (${misplaced.join(', ')})`);
  await atScreen('05-drill-wrong');
  await ready();
  await d.tap('#keyPlus');
  await d.keys('1');
  await d.tap('#keyPlus');
  check(await visible('seitouLabel'), '"+" "1" "+" does not confirm');
  await keypad(['1', 'Plus', 'Plus']);
  await d.waitFor(() => !document.getElementById('seitouLabel').checkVisibility() && !document.getElementById('inputLabel').textContent);
  check((await text('sLabel9')) === '10', 'a wrong answer leaves ten problems');

  // Ten right answers, by keypad and keyboard in turn.
  for (let i = 0; i < 10; i++) {
    await ready();
    const { answer } = await problem();
    if (i % 2 === 0) {
      await keypad([...answer, 'Judge']);
    } else {
      await d.keys(answer);
      await d.keys(' ');
    }
    if (i < 9) {
      // The next problem (which may be the same number again) comes with
      // an empty entry.
      await d.waitFor(([left]) => document.getElementById('sLabel9')?.textContent === left
        && document.getElementById('inputLabel')?.textContent === '', [String(9 - i)]);
    }
  }

  // The end screen and back to the menu.
  await d.waitFor(() => document.querySelector('.screen-FrmSyuuryou') && document.getElementById('Command4').checkVisibility(), undefined, 15000);
  const time = await text('Label18');
  check(/^今の成績：\d+秒$/.test(time), `the end screen shows the time (${time})`);
  check(/^獲得ポイント：/.test(await text('Label19')), 'the end screen shows the points');
  await atScreen('06-end');
  await d.tap('#Command4');
  await d.waitFor(([n]) => document.getElementById(`Command4_${n}`) && document.getElementById('Label18')?.textContent, [level]);
  const after = { today: await text(`Label14_${level}`), total: await text('Label18') };
  check(after.today !== before.today, `today's figures of level ${level} changed (${before.today} → ${after.today})`);
  check(after.total !== before.total, `today's run count changed (${before.total} → ${after.total})`);
  if (server.log) {
    const record = lastRecord(server.log);
    check(record.count === recordsBefore + 1, `one record appended (${recordsBefore} → ${record.count})`);
    check(record.level === level, `the record is of level ${level} (${record.level})`);
    check(`今の成績：${record.seconds}秒` === time, `the record's time ${record.seconds} is the one shown`);

    // A run that times out, started by its key: "時間切れ" and a record
    // without a time.
    await d.keys(String(TIMEOUT_LEVEL));
    await d.waitFor(() => document.getElementById('qLabel1')?.textContent.trim());
    await d.waitFor(() => document.getElementById('lblsss2')?.checkVisibility(), undefined, 5 * TIMEOUT_MINIMUM * 1000 + 5000);
    check((await text('lblsss2')) === '時間切れ', 'the time-out shows 時間切れ');
    check(await d.eval(() => document.getElementById('sShape2').style.width) === '100%', 'the time bar is full at the time-out');
    await d.waitFor(() => document.querySelector('.screen-FrmSyuuryou #Label18')?.textContent);
    check((await text('Label18')) === '記録なし', 'the timed-out run has no time');
    check((await text('Label20')) === '時間切れ', 'the end screen says 時間切れ');
    const timedOut = lastRecord(server.log);
    check(timedOut.level === TIMEOUT_LEVEL && timedOut.seconds === 99999, `the timed-out run is recorded as 99999 (${timedOut.level}, ${timedOut.seconds})`);
  }

  measured.bytes = await pageBytes(d);
  check(measured.bytes.total <= PAGE_BYTES_LIMIT, `the page is ${measured.bytes.total} bytes, at most ${PAGE_BYTES_LIMIT}`);
  console.log(`page bytes: ${measured.bytes.total} (${measured.bytes.sizes.map(([k, v]) => `${k} ${v}`).join(', ')})`);
  console.log(`"/" column of the name list at x = ${measured.slash.positions.join(', ')}`);
  return { level, measured };
}
