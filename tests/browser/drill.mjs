// The tablet page in a real browser: a student signs in, runs a whole level
// with right and wrong answers through the keypad and the keyboard, sees the
// end screen and goes back to the menu; the run is in the log and in the
// menu's figures. Every screen is rendered at the smallest and the largest
// tablet size and checked for overflow and for text too small to read.
//
//   node drill.mjs --server PATH --www DIR --make-demo PATH --demo DIR --out DIR
//   node drill.mjs --url http://127.0.0.1:PORT --out DIR   (a server already running)
import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, statSync, readFileSync, writeFileSync, copyFileSync, existsSync, chmodSync, readdirSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const args = Object.fromEntries(process.argv.slice(2).reduce((pairs, a, i, all) => {
  if (a.startsWith('--')) pairs.push([a.slice(2), all[i + 1]]);
  return pairs;
}, []));
// The smallest and the largest tablet, and a laptop.
const SIZES = [[1024, 768], [2732, 2048], [1366, 768]];
const GUIDE_SIZES = ['1024x768', '2732x2048'];
const CHROMIUM = '/usr/bin/chromium';
const PAGE_BYTES_LIMIT = 150 * 1024;
const START_TO_PROBLEM_LIMIT_MS = 300;
const TIMEOUT_LEVEL = 5;
const TIMEOUT_MINIMUM = 2; // seconds: the run times out after 10

const failures = [];
let checks = 0;
function check(ok, what) {
  checks++;
  if (!ok) {
    failures.push(what);
    console.error(`FAILED: ${what}`);
  }
}

const children = [];
const temp = mkdtempSync(join(tmpdir(), 'kestrel-browser-'));
// Ends the programs started here, each with its own process group (the
// browser's helpers too), then removes the temporary folder.
async function cleanUp() {
  await Promise.all(children.filter((c) => c.exitCode === null).map((c) => new Promise((done) => {
    c.on('exit', done);
    try {
      process.kill(-c.pid, 'SIGTERM');
    } catch {
      done();
    }
  })));
  rmSync(temp, { recursive: true, force: true, maxRetries: 10 });
}

function run(program, argv) {
  return new Promise((done, fail) => {
    const child = spawn(program, argv, { stdio: ['ignore', 'ignore', 'inherit'] });
    child.on('exit', (code) => (code === 0 ? done() : fail(new Error(`${program} ended with ${code}`))));
  });
}

function freePort() {
  return new Promise((done) => {
    const s = createServer();
    s.listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => done(port));
    });
  });
}

async function waitForServer(url, child) {
  for (let i = 0; i < 100; i++) {
    if (child && child.exitCode !== null) throw new Error(`kestrel-server ended with ${child.exitCode}`);
    try {
      if ((await fetch(url)).ok) return;
    } catch {
      // not listening yet
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error(`no answer from ${url}`);
}

// The demo school in a temporary folder and the server on it.
async function startServer() {
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
  const child = spawn(join(program, 'kestrel-server'), ['--folder', shared, '--port', String(port), '--listen', '127.0.0.1', '--no-class-code', '--min-answer-ms', '1'], {
    stdio: ['ignore', 'ignore', 'inherit'], detached: true,
  });
  children.push(child);
  const url = `http://127.0.0.1:${port}`;
  await waitForServer(`${url}/`, child);
  return { url, log: join(shared, 'Kestrel', '成績累積データ.dat') };
}

async function launchBrowser() {
  const profile = join(temp, 'profile');
  mkdirSync(profile);
  const child = spawn(CHROMIUM, [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    `--user-data-dir=${profile}`, '--remote-debugging-port=0', 'about:blank',
  ], { stdio: ['ignore', 'ignore', 'pipe'], detached: true });
  children.push(child);
  let said = '';
  const endpoint = await new Promise((done, fail) => {
    child.stderr.on('data', (d) => {
      said += d;
      const m = said.match(/DevTools listening on (ws:\S+)/);
      if (m) done(m[1]);
    });
    child.on('exit', (code) => fail(new Error(`chromium ended with ${code}: ${said}`)));
  });
  return chromium.connectOverCDP(endpoint);
}

// --- What every screen must satisfy at every size -------------------------

async function layoutFaults(page) {
  return page.evaluate(() => {
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
    for (const el of document.querySelectorAll('#stage *, #offline')) {
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
  });
}

const shots = [];
async function everySize(page, name, extraCheck) {
  for (const [w, h] of SIZES) {
    await page.setViewportSize({ width: w, height: h });
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    if (extraCheck) await extraCheck(`${w}x${h}`);
    const faults = await layoutFaults(page);
    check(faults.length === 0, `${name} at ${w}x${h}: ${faults.join('; ')}`);
    const file = join(args.out, `${name}-${w}x${h}.png`);
    await page.screenshot({ path: file });
    shots.push(file);
  }
  await page.setViewportSize({ width: SIZES[0][0], height: SIZES[0][1] });
}

// --- The student's arithmetic ---------------------------------------------

const PLACES = ['一', '十', '百', '千'];
function answerOf(problem, instruction) {
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

// --- The walk through -----------------------------------------------------

async function main() {
  mkdirSync(args.out, { recursive: true });
  const server = await startServer();
  const browser = await launchBrowser();
  const context = browser.contexts()[0];
  const page = await context.newPage();
  lastPage = page;
  await page.setViewportSize({ width: SIZES[0][0], height: SIZES[0][1] });
  const pageBytes = new Map();
  const sounds = new Set();
  page.on('response', async (r) => {
    const path = new URL(r.url()).pathname;
    if (path.startsWith('/sounds/') && r.status() === 200) sounds.add(path.slice(8));
    if (path.startsWith('/api/') || path.startsWith('/sounds/')) return;
    try {
      pageBytes.set(path, (await r.body()).length);
    } catch {
      // a response without a body
    }
  });
  const text = (id) => page.locator(`#${id}`).textContent();
  const visible = (id) => page.locator(`#${id}`).isVisible();

  // Name selection: O.K. without a name is refused.
  await page.goto(`${server.url}/`);
  await page.locator('#List1_1').waitFor();
  check((await text('Label1')) === '名前を選びなさい', 'the name screen starts with 名前を選びなさい');
  await everySize(page, '01-namesel');
  await page.getByRole('button', { name: 'O.K.' }).click();
  await page.waitForTimeout(200);
  check((await text('Label1')) === '名前を選びなさい', 'O.K. without a name is refused');
  // A pupil: the first line without 先生 or ★.
  const rows = await page.locator('#List1 [role=option]').allTextContents();
  const line = rows.findIndex((r, i) => i > 0 && !/先生|★/.test(r));
  await page.locator(`#List1_${line}`).click();
  const chosen = await text('Label1');
  check(chosen !== '名前を選びなさい' && rows[line].includes(chosen.split(' ').pop()), `choosing line ${line} shows its name`);
  await everySize(page, '02-namesel-chosen');
  await page.getByRole('button', { name: 'O.K.' }).click();

  // The level menu.
  await page.locator('#Command4_1').waitFor();
  await page.waitForFunction(() => document.querySelector('#Label18')?.textContent);
  const level = await page.evaluate(() => {
    for (let i = 1; i < 5; i++) if (!document.getElementById(`Command4_${i}`)?.disabled) return i;
    return 0;
  });
  check(level > 0, 'a level can be started');
  const before = { today: await text(`Label14_${level}`), total: await text('Label18') };
  const ownLineSeen = async (size) => {
    const own = await page.evaluate((n) => {
      const list = document.getElementById(`List5_${n}`);
      const row = [...list.children].find((r) => r.textContent.includes('●'));
      if (!row) return 'no own line';
      const a = row.getBoundingClientRect();
      const b = list.getBoundingClientRect();
      return a.top >= b.top - 1 && a.bottom <= b.bottom + 1 ? 'seen' : 'hidden';
    }, level);
    check(own === 'seen', `the own line of level ${level} is scrolled into view at ${size} (${own})`);
  };
  await everySize(page, '03-menu', ownLineSeen);
  const recordsBefore = server.log ? statSync(server.log).size / 44 : 0;

  // スタート to the first problem on the screen.
  await page.locator(`#Command4_${level}`).click();
  await page.waitForFunction(() => performance.getEntriesByName('problem').length);
  const startToProblem = await page.evaluate(() => performance.measure('first', 'start', 'problem').duration);
  check(startToProblem <= START_TO_PROBLEM_LIMIT_MS, `first problem ${startToProblem.toFixed(0)} ms after スタート`);
  await everySize(page, '04-drill');

  const problem = async () => ({ q: await text('qLabel1'), label: await text('Label10') });
  const keypad = async (digits) => {
    for (const d of digits) await page.getByRole('button', { name: d, exact: true }).click();
  };

  // A wrong answer by the keyboard: the correct answer and the hint stay
  // until "+" "+"; "+" "1" "+" does not confirm.
  let p = await problem();
  const first = answerOf(p.q, p.label);
  let right = first.answer;
  const wrong = String(Number(right) + 1);
  await page.keyboard.type('9');
  await page.keyboard.press('Enter');
  check((await text('inputLabel')) === '', 'Return empties the entry');
  await page.keyboard.type(wrong);
  check((await text('inputLabel')) === wrong, 'typed digits show in the entry');
  await page.keyboard.press('Space');
  await page.locator('#Commandkakunin2').waitFor();
  check((await text('seitouLabel')) === right, `the correct answer ${right} is shown`);
  check(await visible('Label11'), 'the red = is shown');
  check(await page.locator(`#qLabel1 .c[data-place="${first.place}"] .stroke`).count() === 1,
    `the digit of place ${first.place} is crossed out`);
  // The carry row's digits stand right above the places they belong to.
  const misplaced = await page.evaluate(() => {
    const cells = (id) => [...document.querySelectorAll(`#${id} .c`)];
    return cells('Label9').filter((c) => c.textContent.trim()).map((c) => {
      const below = cells('qLabel1').find((q) => q.dataset.place === c.dataset.place);
      if (!below) return Number(c.dataset.place) > 5 ? `place ${c.dataset.place}` : null;
      const a = c.getBoundingClientRect();
      const b = below.getBoundingClientRect();
      return Math.abs(a.left + a.width / 2 - (b.left + b.width / 2)) > 2 ? `place ${c.dataset.place}` : null;
    }).filter(Boolean);
  });
  check(misplaced.length === 0, `the carry row stands above its places (${misplaced.join(', ')})`);
  await everySize(page, '05-drill-wrong');
  await page.keyboard.type('+1+');
  await page.waitForTimeout(150);
  check(await visible('seitouLabel'), '"+" "1" "+" does not confirm');
  await keypad(['1', '+', '+']);
  await page.locator('#seitouLabel').waitFor({ state: 'hidden' });
  check(!(await visible('seitouLabel')), '"+" "+" confirms');
  check((await text('sLabel9')) === '10', 'a wrong answer leaves ten problems');

  // Ten right answers, by keypad and keyboard in turn.
  for (let i = 0; i < 10; i++) {
    await page.waitForFunction(() => {
      const q = document.querySelector('#qLabel1');
      return q && q.textContent.trim() && !document.querySelector('#inputLabel').textContent;
    });
    p = await problem();
    right = answerOf(p.q, p.label).answer;
    if (i % 2 === 0) {
      await keypad([...right]);
      await page.getByRole('button', { name: '判定' }).click();
    } else {
      await page.keyboard.type(right);
      await page.keyboard.press('Space');
    }
    if (i < 9) {
      // The next problem (which may be the same number again) comes with
      // an empty entry.
      await page.waitForFunction((left) => document.querySelector('#sLabel9')?.textContent === left
        && document.querySelector('#inputLabel')?.textContent === '', String(9 - i));
    }
  }

  // The end screen and back to the menu.
  await page.locator('#Label18').waitFor({ timeout: 10000 });
  await page.waitForFunction(() => document.querySelector('.screen-FrmSyuuryou'));
  const time = await text('Label18');
  check(/^今の成績：\d+秒$/.test(time), `the end screen shows the time (${time})`);
  check(/^獲得ポイント：/.test(await text('Label19')), 'the end screen shows the points');
  await page.locator('#Command4:not([hidden])').waitFor();
  await everySize(page, '06-end');
  await page.getByRole('button', { name: 'メニューへ' }).click();
  await page.waitForFunction((n) => document.getElementById(`Command4_${n}`), level);
  await page.waitForFunction(() => document.querySelector('#Label18')?.textContent);
  const after = { today: await text(`Label14_${level}`), total: await text('Label18') };
  check(after.today !== before.today, `today's figures of level ${level} changed (${before.today} → ${after.today})`);
  check(after.total !== before.total, `today's run count changed (${before.total} → ${after.total})`);

  if (server.log) {
    const record = lastRecord(server.log);
    check(record.count === recordsBefore + 1, `one record appended (${recordsBefore} → ${record.count})`);
    check(record.level === level, `the record is of level ${level} (${record.level})`);
    check(`今の成績：${record.seconds}秒` === time, `the record's time ${record.seconds} is the one shown`);
  }

  // A run that times out, started by its key: "時間切れ" and a record
  // without a time.
  if (server.log) {
    await page.keyboard.press(String(TIMEOUT_LEVEL));
    await page.waitForFunction(() => document.querySelector('#qLabel1')?.textContent.trim());
    await page.locator('#lblsss2').waitFor({ timeout: 5 * TIMEOUT_MINIMUM * 1000 + 5000 });
    check((await text('lblsss2')) === '時間切れ', 'the time-out shows 時間切れ');
    check(await page.evaluate(() => document.getElementById('sShape2').style.width) === '100%', 'the time bar is full at the time-out');
    await page.waitForFunction(() => document.querySelector('.screen-FrmSyuuryou #Label18')?.textContent);
    check((await text('Label18')) === '記録なし', 'the timed-out run has no time');
    check((await text('Label20')) === '時間切れ', 'the end screen says 時間切れ');
    const record = lastRecord(server.log);
    check(record.level === TIMEOUT_LEVEL && record.seconds === 99999, `the timed-out run is recorded as 99999 (${record.level}, ${record.seconds})`);
  }

  check(['wrong', 'right'].every((cue) => sounds.has(cue)), `the answer cues were fetched (${[...sounds].join(', ')})`);
  const bytes = [...pageBytes.values()].reduce((a, b) => a + b, 0);
  check(bytes <= PAGE_BYTES_LIMIT, `the page is ${bytes} bytes`);
  const cdp = await browser.newBrowserCDPSession();
  await cdp.send('Browser.close').catch(() => {});

  if (process.env.KESTREL_GUIDE_IMAGES && existsSync(process.env.KESTREL_GUIDE_IMAGES)) {
    for (const file of shots.filter((f) => GUIDE_SIZES.some((size) => f.endsWith(`-${size}.png`)))) copyFileSync(file, join(process.env.KESTREL_GUIDE_IMAGES, file.split('/').pop()));
  }
  console.log(`page bytes: ${bytes} (${[...pageBytes].map(([k, v]) => `${k} ${v}`).join(', ')})`);
  console.log(`スタート to the first problem: ${startToProblem.toFixed(1)} ms`);
  console.log(`screenshots: ${shots.length} in ${args.out}`);
  console.log(`${checks - failures.length} passed, ${failures.length} failed`);
  process.exitCode = failures.length ? 1 : 0;
}

let lastPage = null;
main().catch(async (err) => {
  console.error(err);
  if (lastPage) await lastPage.screenshot({ path: join(args.out, 'failure.png') }).catch(() => {});
  process.exitCode = 1;
}).finally(cleanUp);
