// The tablet page in a headless Chromium, a touch screen with only a
// proportional Japanese font: the student's whole walk of common.mjs, every
// screen at the smallest and the largest tablet and a laptop (no overflow, no
// text too small or cut), then what the server can answer besides the
// happy path, provoked by intercepting requests: a page loaded anew that
// takes up its session, "too soon" and "busy" answers, a session or a run
// gone, a class code asked for, a record kept by the server and one that
// failed.
//
//   node drill.mjs --server PATH --www DIR --make-demo PATH --demo DIR --out DIR
//   node drill.mjs --url http://127.0.0.1:PORT --out DIR   (a server already running)
import { mkdirSync, existsSync, copyFileSync } from 'node:fs';
import { join } from 'node:path';
import { chromium } from 'playwright-core';
import { args, check, summary, cleanUp, start, temp, startServer, tabletFonts, walk, layoutFaults, answerOf, slashColumn } from './common.mjs';

// The smallest and the largest tablet, and a laptop.
const SIZES = [[1024, 768], [2732, 2048], [1366, 768]];
const GUIDE_SIZES = ['1024x768', '2732x2048'];
const CHROMIUM = '/usr/bin/chromium';
const KEPT = 'きろくを とっておきました。先生に しらせてください。';
const BUSY = '成績のファイルをほかのパソコンが使っています。少し待ってください';

async function launchBrowser() {
  const profile = join(temp, 'profile');
  mkdirSync(profile);
  const child = start(CHROMIUM, [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    `--user-data-dir=${profile}`, '--remote-debugging-port=0', 'about:blank',
  ], { stdio: ['ignore', 'ignore', 'pipe'], env: { ...process.env, FONTCONFIG_FILE: tabletFonts() } });
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

const shots = [];
async function everySize(page, name) {
  for (const [w, h] of SIZES) {
    await page.setViewportSize({ width: w, height: h });
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    const faults = await page.evaluate(layoutFaults);
    check(faults.length === 0, `${name} at ${w}x${h}: ${faults.join('; ')}`);
    const file = join(args.out, `${name}-${w}x${h}.png`);
    await page.screenshot({ path: file });
    shots.push(file);
  }
  await page.setViewportSize({ width: SIZES[0][0], height: SIZES[0][1] });
}

// The next request to a path answered by `answer(request, n)` (n counts from
// 0; undefined lets it through to the server); resolves with every body sent.
async function intercept(page, method, pattern, answer) {
  const bodies = [];
  await page.route(pattern, (route) => {
    const request = route.request();
    if (request.method() !== method) return route.fallback();
    bodies.push(request.postData());
    const reply = answer(request, bodies.length - 1);
    if (!reply) return route.continue();
    const { json, ...rest } = reply;
    return route.fulfill({ contentType: 'application/json', ...rest, body: JSON.stringify(json) });
  });
  return bodies;
}

async function main() {
  mkdirSync(args.out, { recursive: true });
  const server = await startServer();
  const browser = await launchBrowser();
  const context = await browser.newContext({ hasTouch: true, viewport: { width: SIZES[0][0], height: SIZES[0][1] } });
  const page = await context.newPage();
  lastPage = page;
  const sounds = new Set();
  page.on('response', (r) => {
    const path = new URL(r.url()).pathname;
    if (path.startsWith('/sounds/') && r.status() === 200) sounds.add(path.slice(8));
  });
  const signIns = [];
  page.on('request', (r) => {
    if (r.method() === 'POST' && r.url().endsWith('/api/signin')) signIns.push(JSON.parse(r.postData()));
  });

  const d = {
    touch: true,
    goto: (url) => page.goto(url),
    eval: (fn, arg) => page.evaluate(fn, arg),
    waitFor: (fn, arg, ms = 10000) => page.waitForFunction(fn, arg, { timeout: ms }),
    tap: (selector) => page.tap(selector),
    async keys(text) {
      for (const c of text) await page.keyboard.press({ '\n': 'Enter', ' ': 'Space' }[c] || c);
    },
    shot: (name) => everySize(page, name),
  };
  check(await page.evaluate(() => matchMedia('(hover: none), (pointer: coarse)').matches), 'Chromium stands for a touch screen');
  const { level } = await walk(d, server);
  check(signIns.at(-1)?.code === server.code, `the sign-in sends the class code of the address (${JSON.stringify(signIns.at(-1))})`);
  check(['wrong', 'right'].every((cue) => sounds.has(cue)), `the answer cues were fetched (${[...sounds].join(', ')})`);
  const startToProblem = await page.evaluate(() => performance.getEntriesByName('problem').length
    && performance.measure('first', 'start', 'problem').duration);
  console.log(`スタート to the first problem: ${Number(startToProblem).toFixed(1)} ms`);

  // Names of every kind of character: the "/" column stays at one x. The
  // desktop pads each line to a width in bytes of the Japanese code page
  // (one for ASCII and half-width kana, two for any other character).
  const bytes = (t) => [...t.replace(/[\u{e0100}-\u{e01ef}]/gu, '')].reduce((n, c) => n + (c < '\x80' || (c >= '\uff61' && c <= '\uff9f') ? 1 : 2), 0);
  const names = ['山田先生', 'ｶﾞｸﾄ', '葛\u{e0100}城ひな', 'Mia Lee', 'アンナ・マリア', '髙橋①●'];
  const lines = names.map((name, i) => {
    const head = `小4 ${name}`;
    return { line: i + 1, text: `${head}${' '.repeat(20 - bytes(head))}${i}/  ${10 * i}`, Label1: head };
  });
  await page.route('**/api/names*', async (route) => {
    const real = await (await route.fetch()).json();
    await route.fulfill({ json: { ...real, List1: [real.List1[0], ...lines] } });
  });
  // The name screen, not the session the walk left signed in.
  await page.route('**/api/session', (r) => r.fulfill({ status: 401, json: { error: '名前を選びなさい' } }));
  await page.goto(server.url);
  await page.locator(`#List1_${lines.length}`).waitFor();
  await page.unroute('**/api/session');
  const mixed = await page.evaluate(slashColumn);
  check(mixed.rows === lines.length && mixed.positions.length === 1,
    `names of every kind keep the "/" column at one x (${mixed.rows} rows at ${mixed.positions.join(', ')})`);
  await page.unroute('**/api/names*');

  const text = (id) => page.locator(`#${id}`).textContent();
  const visible = (id) => page.locator(`#${id}`).isVisible();
  const onMenu = () => page.waitForFunction(() => document.getElementById('Command4_1') && document.getElementById('Label18')?.textContent);
  const session = (json) => page.route('**/api/session', (r) => r.fulfill({ json }));
  const startRun = async () => {
    const created = page.waitForResponse((r) => r.url().endsWith('/api/runs') && r.request().method() === 'POST');
    await page.tap(`#Command4_${level}`);
    const reply = await (await created).json();
    await page.waitForFunction(() => document.getElementById('qLabel1')?.textContent.trim());
    return reply;
  };
  const answerNow = async (entry) => {
    await notBusy();
    for (const k of entry) await page.tap(`#key${k}`);
    await page.tap('#keyJudge');
  };
  const notBusy = () => page.waitForFunction(() => document.getElementById('keypad')?.getAttribute('aria-busy') !== 'true');
  const rightAnswer = async () => {
    await notBusy();
    return answerOf(await text('qLabel1'), await text('Label10')).answer;
  };

  // A page loaded anew takes up its session: the menu, then a run whose
  // wrong answer waits for its "+" "+".
  await session({ student: 'x', run: null });
  await page.goto(server.url);
  await onMenu();
  check(await page.locator('#List1').count() === 0, 'a session without a run opens the menu');
  const created = await startRun();
  const right = await rightAnswer();
  const judged = page.waitForResponse((r) => r.url().endsWith('/answer') && r.status() !== 425);
  await answerNow(String(Number(right) + 1));
  const wrong = await (await judged).json();
  await page.unroute('**/api/session');
  await session({
    student: 'x',
    run: {
      ...created, level, sLabel9: wrong.sLabel9, sLabel10: wrong.sLabel10,
      wrong: { Label11: wrong.Label11, seitouLabel: wrong.seitouLabel, Commandkakunin2: wrong.Commandkakunin2 },
    },
  });
  await page.reload();
  await page.locator('#Commandkakunin2').waitFor();
  check((await text('qLabel1')) === created.problem.qLabel1 && (await text('seitouLabel')) === right,
    'a run taken up again shows its problem and the correct answer');
  check(Number(await text('sLabel10')) >= 10, `the clock goes on from the server's (${await text('sLabel10')})`);
  const confirmed = page.waitForResponse((r) => r.url().endsWith('/confirm'));
  await page.tap('#keyPlus');
  await page.tap('#keyPlus');
  const next = (await (await confirmed).json()).problem;
  await page.locator('#seitouLabel').waitFor({ state: 'hidden' });
  check(!(await visible('Commandkakunin2')), '"+" "+" confirms the wrong answer of a run taken up again');
  await page.unroute('**/api/session');

  // "Too soon" and then "busy" for an answer: the same request is sent
  // again, silently at first, then with the server's words, which go once
  // it is through.
  const left = await text('sLabel9');
  const bodies = await intercept(page, 'POST', '**/answer', (request, n) => {
    if (n === 0) return { status: 425, json: { tooSoon: true, retryAfterMs: 100 } };
    if (n <= 4) return { status: 503, headers: { 'Retry-After': '1' }, json: { error: BUSY } };
    return undefined;
  });
  await answerNow(await rightAnswer());
  await page.locator('#statusLine').waitFor({ timeout: 10000 });
  check((await text('statusLine')) === BUSY && (await page.getAttribute('#statusLine', 'role')) === 'status',
    'after seconds of "busy" the status line shows the server\'s words');
  await page.waitForFunction((n) => document.getElementById('sLabel9')?.textContent === String(n - 1), Number(left));
  await page.locator('#statusLine').waitFor({ state: 'hidden' });
  check(bodies.length === 6 && new Set(bodies).size === 1, `every resend is the same request (${bodies.length}: ${[...new Set(bodies)].join(' | ')})`);
  check(JSON.parse(bodies[0]).seq === next.seq, `the answer names its problem by its seq (${bodies[0]}, ${next.seq})`);
  await page.unroute('**/answer');

  // A run gone (404): the menu with the server's words; a session gone
  // (401): the name screen with its words. No drill stays on the screen.
  for (const [status, error, where] of [[404, 'このドリルはもうありません', '#Command4_1'], [401, 'もう一度名前を選びなさい', '#List1_1']]) {
    await intercept(page, 'POST', '**/answer', () => ({ status, json: { error } }));
    await answerNow('1');
    await page.locator(where).waitFor();
    check((await text('notice')) === error && (await page.locator('#qLabel1').count()) === 0,
      `${status} during a run leaves the drill and shows "${error}"`);
    await page.unroute('**/answer');
    if (status === 404) await startRun();
  }

  // A class code asked for: its panel and keys, the same sign-in again.
  await page.evaluate(() => sessionStorage.clear());
  await intercept(page, 'POST', '**/api/signin', (request) => (JSON.parse(request.postData()).code
    ? undefined : { status: 403, json: { needCode: true, error: 'クラスコードを入れなさい' } }));
  await page.tap('#List1_2');
  await page.tap('#Command14');
  await page.locator('#codePanel').waitFor();
  check((await page.locator('label[for=codeText]').textContent()) === 'クラスコード' && (await text('codeError')) === 'クラスコードを入れなさい',
    'the class code is asked for with the server\'s words');
  await everySize(page, '07-namesel-code');
  // The server's own code, typed with a slip that けす takes back.
  const c = [...server.code];
  for (const key of [`codeKey${c[0]}`, `codeKey${c[1]}`, `codeKey${c[2]}`, 'codeKey9', 'codeBack', `codeKey${c[3]}`, 'codeOK']) await page.tap(`#${key}`);
  await onMenu();
  check(signIns.at(-1)?.code === server.code, `the code typed is sent with the sign-in (${JSON.stringify(signIns.at(-1))})`);
  await page.unroute('**/api/signin');

  // The record kept by the server, and a record that failed: the end screen
  // says so and leads back to the menu.
  const ending = { cover: 'lblsss1', lblsss1: '成績記録中', lblsss2: null, Label18: '今の成績：9秒', cue: null, goalCue: null, Command4: null, Command5: null };
  for (const [name, end, shown] of [
    ['kept', { ...ending, kept: true, Label20: KEPT, afterTimer: { Command4: 'メニューへ', Command5: 'もう一度' } }, KEPT],
    ['error', { error: '成績ランダムファイル記録…' }, '成績ランダムファイル記録…'],
  ]) {
    await startRun();
    if (name === 'kept') {
      await intercept(page, 'POST', '**/answer', () => ({ json: { verdict: 'right', cue: null, hint: { crossed: [], Label9: '' }, end } }));
    } else {
      await intercept(page, 'POST', '**/answer', () => ({ status: 500, json: { error: end.error } }));
      await intercept(page, 'GET', /\/api\/runs\/[0-9a-f]+$/, () => ({ json: { state: 'ended', end } }));
    }
    await answerNow(await rightAnswer());
    await page.locator('.screen-FrmSyuuryou #Command4:not([hidden])').waitFor();
    check((await text('Label20')) === shown && (await text('Command4')) === 'メニューへ' && !(await visible('Command5')),
      `a ${name} record: the end screen shows "${shown}" and メニューへ`);
    await everySize(page, `08-end-${name}`);
    await page.unrouteAll();
    await page.tap('#Command4');
    await onMenu();
  }

  await browser.close();
  if (process.env.KESTREL_GUIDE_IMAGES && existsSync(process.env.KESTREL_GUIDE_IMAGES)) {
    for (const file of shots.filter((f) => GUIDE_SIZES.some((size) => f.endsWith(`-${size}.png`)))) copyFileSync(file, join(process.env.KESTREL_GUIDE_IMAGES, file.split('/').pop()));
  }
  console.log(`screenshots: ${shots.length} in ${args.out}`);
  process.exitCode = summary();
}

let lastPage = null;
main().catch(async (err) => {
  console.error(err);
  if (lastPage) await lastPage.screenshot({ path: join(args.out, 'failure.png') }).catch(() => {});
  process.exitCode = 1;
}).finally(cleanUp);
