// What the page's browser tests share: the page served from this machine, and Debian's
// Chromium driven through the DevTools protocol by playwright-core (which downloads no browser).
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

export const SKIP = 77;
export const SOURCE_DIR = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
export const WEB_DIR = path.join(SOURCE_DIR, 'build', 'web');

export function findChromium() {
  for (const name of ['chromium', 'chromium-browser', 'google-chrome']) {
    try {
      return execFileSync('sh', ['-c', `command -v ${name}`], {encoding: 'utf8'}).trim();
    } catch {
      // not this one
    }
  }
  return null;
}

const TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.css': 'text/css',
  '.json': 'application/json', '.webmanifest': 'application/manifest+json', '.wasm': 'application/wasm',
  '.png': 'image/png', '.webp': 'image/webp', '.ogg': 'audio/ogg', '.alpha': 'application/octet-stream', '.txt': 'text/plain',
};

// The page's files (build/web/page.files, or every file of an older build's folder that has no
// such list) and the tests' scripts, on a free port of 127.0.0.1; the files named `broken` come
// as bytes that are not theirs. Every request is written down; `stop` takes the page off the
// network.
export async function servePage({scriptsDir = path.join(SOURCE_DIR, 'tests', 'scripts'), broken = [],
                                 webDir = WEB_DIR} = {}) {
  const list = path.join(webDir, 'page.files');
  const files = new Set(fs.existsSync(list) ? fs.readFileSync(list, 'utf8').split('\n').filter(Boolean)
                                            : fs.readdirSync(webDir).filter(name => fs.statSync(path.join(webDir, name)).isFile()));
  const requests = [];
  const replaced = new Map();  // name: the bytes served in its place
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://page');
    let name = decodeURIComponent(url.pathname).replace(/^\/+/, '') || 'index.html';
    requests.push({name, at: Date.now()});
    let file = null;
    if (files.has(name)) file = path.join(webDir, name);
    else if (name.startsWith('scripts/') && !name.includes('..')) file = path.join(scriptsDir, name.slice(8));
    if (replaced.has(name)) {
      response.writeHead(200, {'Content-Type': TYPES[path.extname(name)] || 'application/octet-stream'});
      response.end(replaced.get(name));
      return;
    }
    if (broken.includes(name)) {
      response.writeHead(200, {'Content-Type': TYPES[path.extname(name)] || 'application/octet-stream'});
      response.end('not the file it should be');
      return;
    }
    if (!file || !fs.existsSync(file)) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, {'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
                             'Cache-Control': 'no-cache'});
    fs.createReadStream(file).pipe(response);
  });
  await new Promise(resolve => server.listen(0, '127.0.0.1', resolve));
  const sockets = new Set();
  server.on('connection', socket => { sockets.add(socket); socket.on('close', () => sockets.delete(socket)); });
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    requests,
    files,
    // A new version of a file, as a new build would serve it.
    replace: (name, bytes) => replaced.set(name, bytes),
    stop: () => new Promise(resolve => { server.close(resolve); for (const socket of sockets) socket.destroy(); }),
  };
}

// Chromium as this machine allows it: headless, no GPU, no network but this machine's.
export async function launch(chromium, options = {}) {
  const {chromium: driver} = await import('playwright-core');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zorvalen-chromium-'));
  const context = await driver.launchPersistentContext(profile, {
    executablePath: chromium,
    headless: true,
    ...options,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--autoplay-policy=user-gesture-required'],
  });
  const close = async () => {
    await context.close();
    fs.rmSync(profile, {recursive: true, force: true});
  };
  return {context, close};
}

// A phone held sideways: its screen, its pixel density and its touch.
export const PHONE = {viewport: {width: 844, height: 390}, deviceScaleFactor: 3, isMobile: true, hasTouch: true};

// The page's console lines as they come, with a way to wait for one.
export function consoleOf(page) {
  const lines = [];
  const waiting = [];
  page.on('console', message => {
    const text = message.text();
    lines.push(text);
    for (const wait of waiting.slice()) {
      if (wait.test(text)) {
        waiting.splice(waiting.indexOf(wait), 1);
        wait.resolve(text);
      }
    }
  });
  return {
    lines,
    waitFor(test, timeout = 60000, what = String(test)) {
      const found = lines.find(test);
      if (found) return Promise.resolve(found);
      return new Promise((resolve, reject) => {
        const wait = {test, resolve};
        waiting.push(wait);
        setTimeout(() => reject(new Error(`no console line ${what} within ${timeout / 1000} s`)), timeout);
      });
    },
  };
}

// Waits until `test(arg)`, run in the page, comes out true; it may answer with a promise, which
// page.waitForFunction would take as true at once. False when the time runs out.
export async function waitInPage(page, test, arg, timeout = 30000) {
  for (const end = Date.now() + timeout; ;) {
    if (await page.evaluate(test, arg)) return true;
    if (Date.now() > end) return false;
    await new Promise(resolve => setTimeout(resolve, 200));
  }
}

// State lines from the desktop's replay runner for a script.
export function nativeStates(replay, scriptFile) {
  return execFileSync(replay, ['--state', '-', scriptFile], {encoding: 'utf8', maxBuffer: 1 << 30})
      .split('\n').filter(Boolean);
}

export function firstDifference(browser, native) {
  const frames = Math.min(browser.length, native.length);
  for (let frame = 0; frame < frames; ++frame) {
    if (browser[frame] != native[frame])
      return `frame ${frame}: the browser's state differs from the replay runner's\n` +
             `  browser: ${browser[frame].slice(0, 300)}\n  native:  ${native[frame].slice(0, 300)}`;
  }
  return browser.length == native.length ? null
      : `the browser wrote ${browser.length} state lines, the replay runner ${native.length}`;
}
