// The tablet page in WebKit, the engine of the iPad's browser: WebKitGTK's
// MiniBrowser driven through W3C WebDriver (WebKitWebDriver) in a private X
// server, with only a proportional Japanese font as a tablet has, and every
// tap a touch. The student's whole walk of common.mjs at 1024 x 768.
//
//   node webkit.mjs --server PATH --www DIR --make-demo PATH --demo DIR --out DIR
import { spawn } from 'node:child_process';
import { mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { args, check, summary, cleanUp, children, start, freePort, waitForUrl, startServer, tabletFonts, walk } from './common.mjs';

const DRIVER = '/usr/bin/WebKitWebDriver';
const BROWSER = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const [WIDTH, HEIGHT] = [1024, 768];

// A private X server on a display it picks itself.
function startX() {
  return new Promise((done, fail) => {
    const x = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', `${WIDTH + 256}x${HEIGHT + 256}x24`, '-nolisten', 'tcp'], {
      stdio: ['ignore', 'ignore', 'ignore', 'pipe'], detached: true,
    });
    x.stdio[3].on('data', (d) => done(`:${String(d).trim()}`));
    x.on('exit', (code) => fail(new Error(`Xvfb ended with ${code}`)));
    children.push(x);
  });
}

// A small WebDriver client: one session, plain HTTP.
class WebDriver {
  constructor(base) {
    this.base = base;
  }

  async call(method, path, body) {
    const reply = await fetch(`${this.base}${path}`, {
      method, headers: { 'Content-Type': 'application/json' }, body: body === undefined ? undefined : JSON.stringify(body),
    });
    const data = await reply.json();
    if (!reply.ok) throw new Error(`${method} ${path}: ${JSON.stringify(data.value)}`);
    return data.value;
  }

  async open() {
    const session = await this.call('POST', '/session', {
      capabilities: {
        alwaysMatch: {
          browserName: 'MiniBrowser',
          'webkitgtk:browserOptions': { binary: BROWSER, args: ['--automation', `--geometry=${WIDTH}x${HEIGHT}`] },
        },
      },
    });
    this.path = `/session/${session.sessionId}`;
  }

  session(method, path, body) {
    return this.call(method, `${this.path}${path}`, body);
  }
}

async function main() {
  mkdirSync(args.out, { recursive: true });
  const server = await startServer();
  const display = await startX();
  const port = await freePort();
  const driverProcess = start(DRIVER, [`--port=${port}`], {
    env: { ...process.env, DISPLAY: display, FONTCONFIG_FILE: tabletFonts() },
  });
  await waitForUrl(`http://127.0.0.1:${port}/status`, driverProcess, 'WebKitWebDriver');
  const wd = new WebDriver(`http://127.0.0.1:${port}`);
  await wd.open();

  const d = {
    touch: true,
    // The page's touch screen: the tapping WebDriver does reaches WebKitGTK
    // as a mouse, so the address asks for it.
    query: '&touch=1',
    async goto(url) {
      await wd.session('POST', '/url', { url });
      // The viewport, not the window, at 1024 x 768.
      const [w, h] = await d.eval(() => [outerWidth - innerWidth, outerHeight - innerHeight]);
      await wd.session('POST', '/window/rect', { width: WIDTH + w, height: HEIGHT + h });
      const size = await d.eval(() => [innerWidth, innerHeight]);
      check(size[0] === WIDTH && size[1] === HEIGHT, `WebKit's viewport is ${WIDTH}x${HEIGHT} (${size.join('x')})`);
    },
    eval(fn, arg) {
      return wd.session('POST', '/execute/sync', { script: `return (${fn}).apply(null, arguments)`, args: [arg ?? null] });
    },
    async waitFor(fn, arg, ms = 10000) {
      for (const until = Date.now() + ms; ;) {
        if (await d.eval(fn, arg)) return;
        if (Date.now() > until) throw new Error(`waited in vain for ${fn}`);
        await new Promise((r) => setTimeout(r, 50));
      }
    },
    // A finger's tap at the middle of the element.
    async tap(selector) {
      const at = await d.eval(([sel]) => {
        const el = document.querySelector(sel);
        el.scrollIntoView({ block: 'nearest' });
        const r = el.getBoundingClientRect();
        return [Math.round(r.left + r.width / 2), Math.round(r.top + r.height / 2)];
      }, [selector]);
      await wd.session('POST', '/actions', {
        actions: [{
          type: 'pointer', id: 'finger', parameters: { pointerType: 'touch' },
          actions: [{ type: 'pointerMove', x: at[0], y: at[1] }, { type: 'pointerDown', button: 0 }, { type: 'pause', duration: 30 }, { type: 'pointerUp', button: 0 }],
        }],
      });
      await wd.session('DELETE', '/actions');
    },
    async keys(text) {
      const keys = [...text].map((c) => (c === '\n' ? '\uE007' : c));
      await wd.session('POST', '/actions', {
        actions: [{ type: 'key', id: 'keyboard', actions: keys.flatMap((value) => [{ type: 'keyDown', value }, { type: 'keyUp', value }]) }],
      });
      await wd.session('DELETE', '/actions');
    },
    async shot(name) {
      await d.eval(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
      const png = await wd.session('GET', '/screenshot');
      writeFileSync(join(args.out, `webkit-${name}-${WIDTH}x${HEIGHT}.png`), Buffer.from(png, 'base64'));
    },
  };

  await walk(d, server);

  // WebKitGTK here has a mouse and no touch screen: without the address's
  // wish the page keeps the keys' words.
  // The page takes up its session again: the menu, or the names after a
  // sign-out.
  await wd.session('POST', '/url', { url: `${server.url}/` });
  await d.waitFor(() => document.getElementById('List1_2') || document.getElementById('Command4_1'));
  if (await d.eval(() => !document.getElementById('Command4_1'))) {
    await d.tap('#List1_2');
    await d.tap('#Command14');
    await d.waitFor(() => document.getElementById('Command4_1'));
  }
  check(await d.eval(() => document.getElementById('Command4_1').textContent) === 'ｽﾀｰﾄ(1)', 'with a mouse the start button names its key');
  await wd.session('DELETE', '').catch(() => {});
  process.exitCode = summary();
}

main().catch((err) => {
  console.error(err);
  process.exitCode = 1;
}).finally(cleanUp);
