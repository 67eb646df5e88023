// A stand-in for kestrel-server while the page is being drawn: serves the
// page and answers the API with made-up figures. Not used by the test.
//   node fake-server.mjs PORT
import { createServer } from 'node:http';
import { readFileSync } from 'node:fs';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const www = join(dirname(fileURLToPath(import.meta.url)), '../../server/www');
const types = { html: 'text/html', js: 'text/javascript', css: 'text/css' };
const places = ['', '一', '十', '百', '千', '一万'];
const runs = new Map();
let nextRun = 1;

function problem(level) {
  const type = level === 5 ? 2 + Math.floor(Math.random() * 3) : level;
  const n = type === 1 ? 1 + Math.floor(Math.random() * 99) : 1000 + Math.floor(Math.random() * 9000);
  const text = `  ${n}`;
  const k = type === 1 ? 1 : 1 + Math.floor(Math.random() * 3);
  const answer = 10 ** k * Math.floor(n / 10 ** k + 0.5);
  const label = type === 4 ? `上から${4 - k}桁の概数にしなさい` : type === 3 ? `${places[k + 1]}の位までの概数にしなさい` : `${places[k]}の位を四捨五入しなさい`;
  const digit = (j) => Number(text[text.length - j]) || 0;
  const crossed = [k];
  let carry = '';
  if (digit(k) >= 5) {
    for (let m = 1; m <= 6; m++) {
      if (digit(k + m) !== 9) { carry = `${digit(k + m) + 1}${'0'.repeat(m - 1)}${' '.repeat(k)}`; break; }
      crossed.push(k + m);
    }
  }
  return { view: { qLabel1: text, Label10: label, hintDelayMs: 5000 }, answer, hint: { crossed, Label9: carry } };
}

function elapsed(run) { return Math.round((Date.now() - run.start) / 1000); }
function figures(run) { return { sLabel9: String(10 - run.right), sLabel10: String(elapsed(run)), sLabel13: '3' }; }
function end(run, timeUp) {
  run.ended = true;
  const t = elapsed(run);
  return {
    cover: timeUp ? 'lblsss2' : 'lblsss1', lblsss1: timeUp ? null : '成績記録中', lblsss2: timeUp ? '時間切れ' : null,
    Label15: '四捨五入と概数のドリル', Label16: `レベル${run.level}`, Label17: '佐藤花子', Label13: ' (このレベル　1回目)', Label14: '（1回目)',
    Label18: timeUp ? '記録なし' : `今の成績：${t}秒`, Label19: '獲得ポイント：5点×1→5点', Label20: timeUp ? '時間切れ' : '新記録おめでとう',
    Label2: null, Picture1: null, Label1: '目標レベルクリア。おめでとう！', cue: timeUp ? null : 'personalBest', goalCue: null,
    Command4: null, Command5: null, afterTimer: { Picture1: false, Command4: 'メニューへ', Command5: 'もう一度', Label2: null },
  };
}

const names = ['佐藤花子', '鈴木大翔', '高橋結衣', '田中蓮'];
const handlers = {
  'GET /api/names': (q) => ({
    Label4: '四捨五入と概数のドリル', mode: Number(q.get('mode') ?? 1), grade: q.get('grade') ?? '全学年',
    Option1: ['回数(今日／今まで）', 'ポイント（今日／今まで）', '本日（ポイント／回数）', '今まで（ポイント／回数）'],
    Combo1: ['全学年', '中学生全体', '小学生全体', '中３', '中２', '中１', '小６', '小５', '小４', '小３', '小２', '小１'],
    List1: [{ line: 0, text: '－－－－－－', Label1: '名前を選びなさい' },
      ...Array.from({ length: 30 }, (_, i) => ({ line: i + 1, text: `小4 ${names[i % 4]}${'　'.repeat(6 - names[i % 4].length)}${String(i).padStart(3)}/  ${String(100 + i).padStart(4)}`, Label1: `小4 ${names[i % 4]}` }))],
    Label1: '名前を選びなさい', Command14: 'O.K.',
  }),
  'POST /api/signin': (q, body) => body.line > 0 ? [200, { Label1: '小4 佐藤花子', student: '佐藤花子' }] : [422, { error: '名前を選びなさい', Label1: '名前を選びなさい', cue: 'wrong' }],
  'POST /api/signout': () => ({}),
  'GET /api/menu': (q) => {
    const display = Number(q.get('display') ?? 1), kind = Number(q.get('kind') ?? 1);
    return {
      Label11: '四捨五入と概数のドリル', Label12: '小４ 佐藤花子', Label13: 'さくら台小学校:1', Label17: '起動後0分', Label18: '本日総回数＝0回',
      Label5: display ? (kind === 1 ? '獲得ポイント（今まで順位）' : '獲得ポイント（今日の順位）') : (kind === 1 ? 'ベスト成績' : '本日の成績'),
      Command1: '戻る(0)', Option2: ['ﾀｲﾑ表示', 'ﾎﾟｲﾝﾄ表示'], display, Option1: display ? ['累計順', '本日順'] : ['BEST表示', '本日のみ'], kind,
      Combo1: ['全学年', '小４'], grade: q.get('grade') ?? '全学年',
      levels: [1, 2, 3, 4, 5].map((level) => ({
        level, Label1: String(level), Label3: level === 5 ? '混合' : `レベル${level}`, Command4: `ｽﾀｰﾄ(${level})`, enabled: level !== 2,
        Text1: level === 2 ? 'やりすぎ禁止' : null, Label9: '今日', Label10: '今まで', Label14: '-----', Label15: '22回/105点',
        Label8: '最近14日=3回 / 21点', Label7: `目標=${20 + level * 10}秒 5回/50点(×1)`,
        List5: Array.from({ length: 32 }, (_, i) => `${String(i + 1).padStart(2)}${i === 20 ? '●' : '④'}${names[i % 4]}${'　'.repeat(5 - names[i % 4].length)}  0/  ${String(200 - i * 5).padStart(3)}`),
        List5Own: 20, List5Colour: display ? null : '#c0c0c0',
      })),
    };
  },
  'POST /api/runs': (q, body) => {
    const run = { id: String(nextRun++), level: body.level, right: 0, start: Date.now(), waiting: false, ended: false };
    run.p = problem(body.level);
    runs.set(run.id, run);
    return [201, { run: run.id, sLabel2: '四捨五入と概数のドリル', sLabel7: '佐藤花子', sLabel8: `レベル${body.level}`, sLabel14: 'さくら台小学校',
      sLabel13: '0', sLabel12: '1', sLabel11: '1', sLabel9: '10', sLabel10: '0', bar: { limit: 300, target: 40, minimum: 60 }, problem: run.p.view }];
  },
};

function runHandler(method, id, action, body) {
  const run = runs.get(id);
  if (!run) return [404, { error: 'ありません' }];
  if (method === 'GET' && !action) return run.ended ? { state: 'ended', end: end(run) } : { state: 'running', ...figures(run) };
  if (method === 'GET' && action === 'hint') return run.p.hint;
  if (run.ended) return [409, { error: 'この問題はもう終わっています' }];
  if (action === 'answer') {
    if (run.waiting) return [409, { error: 'この問題はもう終わっています' }];
    if (!body.entry) return [400, { error: '要求が正しくありません' }];
    const hint = run.p.hint;
    if (parseFloat(body.entry) === run.p.answer) {
      run.right++;
      if (run.right >= 10) return { verdict: 'right', cue: 'right', hint, ...figures(run), end: end(run) };
      run.p = problem(run.level);
      return { verdict: 'right', cue: 'right', hint, ...figures(run), problem: run.p.view };
    }
    run.start -= 10000;
    run.waiting = true;
    return { verdict: 'wrong', cue: 'wrong', hint, ...figures(run), Label11: '=', seitouLabel: String(run.p.answer), Commandkakunin2: '"+"を２回押しなさい' };
  }
  if (action === 'confirm') {
    if (!run.waiting) return [409, { error: 'この問題はもう終わっています' }];
    run.waiting = false;
    run.p = problem(run.level);
    return { ...figures(run), problem: run.p.view };
  }
  return [404, { error: 'ありません' }];
}

createServer((req, res) => {
  const url = new URL(req.url, 'http://x');
  let body = '';
  req.on('data', (d) => { body += d; });
  req.on('end', () => {
    const send = (status, data, type = 'application/json') => {
      res.writeHead(status, { 'Content-Type': type });
      res.end(type === 'application/json' ? JSON.stringify(data) : data);
    };
    const key = `${req.method} ${url.pathname}`;
    const m = url.pathname.match(/^\/api\/runs\/(\w+)(?:\/(\w+))?$/);
    let out;
    if (handlers[key]) out = handlers[key](url.searchParams, body ? JSON.parse(body) : {});
    else if (m) out = runHandler(req.method, m[1], m[2], body ? JSON.parse(body) : {});
    else if (url.pathname.startsWith('/sounds/')) return send(404, { error: 'ありません' });
    else {
      const file = url.pathname === '/' ? 'index.html' : url.pathname.slice(1);
      if (!/^[a-z]+\.(html|js|css)$/.test(file)) return send(404, { error: 'ありません' });
      return send(200, readFileSync(join(www, file)), types[file.split('.')[1]]);
    }
    const [status, data] = Array.isArray(out) ? out : [200, out];
    send(status, data);
  });
}).listen(Number(process.argv[2] || 8765), '127.0.0.1');
