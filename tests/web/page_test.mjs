// The page as a phone, a pad and a second visit find it, in Debian's Chromium:
//   touch    a phone held sideways: the start button, the move stick pushed right and then
//            up-right while the other thumb holds and drags to aim, a rocket, and a cancel
//            that lets go of it all. The keys, buttons and counts the game read must be those
//            of the gestures, and the replay runner, given them as a script, must play the
//            very same game (state lines identical). Then the page for the player, tapped:
//            every button, link and panel control must do what its click does, the settings
//            panel must fit the phone held either way with no label cut, and a key moved in
//            it must leave its former action only what the player chose.
//   pad      a fake pad through the Gamepad API (tests/web/pad_play.txt, plugged in after a
//            while, beside a pad of no standard layout, which is left alone with one console
//            line) must play exactly as the desktop's virtual pad does.
//   offline  the first visit's download (at most 2 MB gzipped), a repeat visit that asks the
//            network for the service worker only, a new build's worker taken up (its files
//            kept, the old ones dropped), a reload with the server gone, the manifest
//            and Chromium's installability check; then a page whose worker cannot be had,
//            whose music cannot be decoded and whose pictures' unpacking worker is broken, which
//            still plays, saying so once for the first two.
//   board    the submit to a board, against a stand-in for the board's API: offered only where a
//            board answers, the replay sent as it is, the name asked once, then the verdict.
// node page_test.mjs --replay ZORVALEN_REPLAY --case touch|pad|offline|board [--look DIR]
// Exit status: 0 passed, 1 failed, 77 no emscripten build, Chromium or playwright-core here.
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import * as harness from './harness.mjs';

const args = Object.fromEntries(process.argv.slice(2).reduce((pairs, word, i, all) =>
  word.startsWith('--') ? [...pairs, [word.slice(2), all[i + 1]]] : pairs, []));

function fail(message) {
  throw new Error(message);
}

// The input lines ("1 W D LMB dx=3") and state lines the page wrote, frame by frame.
function framesOf(log) {
  const inputs = [], states = [];
  for (const line of log.lines) {
    if (line.startsWith('zorvalen-input ')) inputs.push(line.slice(15));
    else if (line.startsWith('zorvalen-state ')) states.push(line.slice(15));
  }
  // The input line of a frame comes before its state line.
  const frames = Math.min(inputs.length, states.length);
  return {inputs: inputs.slice(0, frames), states: states.slice(0, frames)};
}

async function waitFrames(log, count) {
  const start = framesOf(log).inputs.length;
  await log.waitFor(() => framesOf(log).inputs.length >= start + count, 30000, `${count} more frames`);
}

function parseInput(line) {
  const words = line.split(' ').slice(1);
  const keys = words.filter(word => !word.includes('=') && word != 'LMB' && word != 'RMB').sort();
  const number = name => Number((words.find(word => word.startsWith(name + '=')) || '=0').split('=')[1]);
  return {keys: keys.join(' '), left: words.includes('LMB'), right: words.includes('RMB'), dx: number('dx'),
          dy: number('dy')};
}

function replayed(states, inputs) {
  const script = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'zorvalen-touch-')), 'played.txt');
  fs.writeFileSync(script, inputs.join('\n') + '\n');
  const difference = harness.firstDifference(states, harness.nativeStates(args.replay, script));
  if (difference) fail('the replay runner plays the touch input differently: ' + difference);
}

async function look(page, name) {
  if (args.look) await page.screenshot({path: path.join(args.look, name + '.png')});
}

async function touchCase(server, chromium) {
  const {context, close} = await harness.launch(chromium, harness.PHONE);
  try {
    const page = context.pages()[0] || await context.newPage();
    const log = harness.consoleOf(page);
    await page.goto(server.url + 'index.html?state');
    await waitFrames(log, 10);
    // Mouse events made of touches would reach the game twice.
    await page.evaluate(() => {
      window.mouseEvents = 0;
      for (const type of ['mousedown', 'mouseup', 'click']) addEventListener(type, () => ++window.mouseEvents, true);
    });
    const cdp = await context.newCDPSession(page);
    const touch = (type, points) => cdp.send('Input.dispatchTouchEvent', {type, touchPoints: points});
    const centre = selector => page.evaluate(s => {
      const box = document.querySelector(s).getBoundingClientRect();
      return {x: box.left + box.width / 2, y: box.top + box.height / 2};
    }, selector);
    const scale = await page.evaluate(() => Zorvalen.pictureScale);

    // The first touch shows the controls; a thumb that lands and lifts holds nothing.
    await touch('touchStart', [{x: 150, y: 300, id: 1}]);
    await touch('touchEnd', []);
    if (await page.evaluate(() => document.getElementById('touch').hidden)) fail('the touch controls did not show');
    const start = await centre('#touch .start');
    await touch('touchStart', [{...start, id: 1}]);
    await waitFrames(log, 3);
    await touch('touchEnd', []);
    await waitFrames(log, 30);

    const left = {x: 200, y: 250, id: 2};
    await touch('touchStart', [left]);
    await touch('touchMove', [{...left, x: 248}]);  // all the way right
    const right = {x: 640, y: 200, id: 3};
    await waitFrames(log, 30);
    await look(page, 'phone-landscape-touch');
    const pushedRight = framesOf(log).inputs.length;
    await touch('touchStart', [{...left, x: 248}, right]);  // the other thumb fires
    await waitFrames(log, 5);
    const diagonal = {...left, x: 200 + 34, y: 250 - 34};  // up and right
    await touch('touchMove', [diagonal, {...right, x: 660, y: 190}]);
    await waitFrames(log, 10);
    await touch('touchMove', [diagonal, {...right, x: 700, y: 170}]);
    await waitFrames(log, 20);
    // A cancel (the finger left the page) lets go of both.
    await touch('touchCancel', []);
    await waitFrames(log, 10);
    const rocket = await centre('#touch .rocket');
    await touch('touchStart', [{...rocket, id: 4}]);
    await waitFrames(log, 3);
    await touch('touchEnd', []);
    await waitFrames(log, 30);

    const {inputs, states} = framesOf(log);
    const read = inputs.map(parseInput);
    const somewhere = (what, test) => { if (!read.some(test)) fail(`no frame read ${what}`); };
    somewhere('Space from the start button', frame => frame.keys == 'SPACE');
    if (read[pushedRight - 1].keys != 'D' || read[pushedRight - 1].left)
      fail(`the stick pushed right read "${inputs[pushedRight - 1]}", not D alone`);
    somewhere('W and D, with the left button, from the stick pushed up-right and the other thumb',
              frame => frame.keys == 'D W' && frame.left);
    somewhere('the right button from the rocket button', frame => frame.right && frame.keys == '');
    const others = read.filter(frame => frame.keys.split(' ').some(key => !['', 'W', 'A', 'S', 'D', 'SPACE'].includes(key)));
    if (others.length) fail('keys no touch control gives: ' + JSON.stringify(others[0]));
    // The aiming thumb crossed 60 by -30 CSS pixels: twice that in picture pixels.
    const sum = name => read.reduce((total, frame) => total + frame[name], 0);
    const expected = {dx: Math.trunc(60 * 2 / scale), dy: Math.trunc(-30 * 2 / scale)};
    if (sum('dx') != expected.dx || sum('dy') != expected.dy)
      fail(`the aim moved ${sum('dx')}, ${sum('dy')} counts, not ${expected.dx}, ${expected.dy}`);
    const last = read[read.length - 1];
    if (last.keys || last.left || last.right) fail('something is still held after every finger left: ' + inputs.at(-1));
    const mouseEvents = await page.evaluate(() => window.mouseEvents);
    if (mouseEvents) fail(`${mouseEvents} mouse events were made of the touches`);
    replayed(states, inputs);
    // A key hides the controls until the next touch.
    await page.keyboard.press('ShiftLeft');
    if (!await page.evaluate(() => document.getElementById('touch').hidden)) fail('a key left the touch controls showing');

    // For people to look at: the picture held upright.
    if (args.look) {
      await page.setViewportSize({width: 390, height: 844});
      await touch('touchStart', [{x: 100, y: 500, id: 5}]);
      await new Promise(resolve => setTimeout(resolve, 300));
      await look(page, 'phone-portrait-touch');
      await touch('touchEnd', []);
    }
    const controls = await tapEveryControl(context, server);
    return `${inputs.length} frames of touch play, every state line the same as the replay runner's ` +
           `given the keys and counts the game read; ${controls}`;
  } finally {
    await close();
  }
}

// Every text of the settings panel that a phone would cut short; the panel's own box too.
function cutLabels(page) {
  return page.evaluate(() => {
    const panel = document.getElementById('zv-settings');
    const cut = [...panel.querySelectorAll('h2, p, span, label, button')]
      .filter(element => element.offsetParent !== null && element.scrollWidth > element.clientWidth)
      .map(element => `"${element.textContent.trim()}" (${element.scrollWidth} > ${element.clientWidth})`);
    const box = panel.getBoundingClientRect();
    if (panel.scrollWidth > panel.clientWidth) cut.push('the panel itself, sideways');
    if (box.top < 0 || box.left < 0 || box.bottom > innerHeight || box.right > innerWidth) cut.push('the panel off the screen');
    return cut;
  });
}

// A key moved in the panel from another action leaves that action its other key or none, says
// so, and hands it nothing else (Space for fire once put pause on the left button); the help line
// names the keys in force.
async function rebindInPanel(page, settings) {
  await page.tap('#settings-toggle');
  const keyOf = async (action, slot, key) => {
    await page.locator('#zv-settings .zv-row').filter({hasText: action}).locator('.zv-key').nth(slot).tap();
    await page.keyboard.press(key);
  };
  await keyOf('Fire', 0, 'Space');
  let now = await settings();
  const said = () => page.textContent('#zv-settings .zv-message');
  if (now.keys.fire.join(' ') != 'Space' || now.keys.pause.length)
    fail(`Space for fire left fire on ${now.keys.fire} and pause on ${now.keys.pause}, not Space and none`);
  if (!/pause: no key \u2014 Space went to Fire/.test(await said())) fail(`the panel said "${await said()}" of pause`);
  await keyOf('Fire', 1, 'ArrowUp');
  now = await settings();
  if (now.keys.fire.join(' ') != 'Space Up' || now.keys.up.join(' ') != 'W')
    fail(`Up for fire left fire on ${now.keys.fire} and up on ${now.keys.up}, not Space, Up and W`);
  if (!/Up: only W \u2014 Up went to Fire/.test(await said())) fail(`the panel said "${await said()}" of up`);
  const help = await page.textContent('#help');
  for (const part of ['start: no key', 'Space or Up: fire', 'W A S D: move'])
    if (!help.includes(part)) fail(`the help line "${help}" does not say "${part}"`);
  await page.tap('#zv-settings .zv-reset');
  await page.tap('#settings-toggle');
}

// The page's own controls on a phone, tapped: each must do what a click does, and the settings
// panel must fit the screen with every label whole, held sideways and upright.
async function tapEveryControl(context, server) {
  const page = await context.newPage();
  const settings = () => page.evaluate(() => JSON.parse(Module.UTF8ToString(Module._zorvalen_settings_json())));
  const check = async (what, test) => {
    await page.waitForFunction(test, null, {timeout: 3000}).catch(() => fail(`a tap on ${what} did nothing`));
  };
  page.setDefaultTimeout(5000);
  try {
    await page.goto(server.url + 'index.html', {timeout: 60000});
    await page.waitForFunction(() => Module.calledRun, null, {timeout: 60000});
    for (const [orientation, viewport] of [['landscape', {width: 844, height: 390}], ['portrait', {width: 390, height: 844}]]) {
      await page.setViewportSize(viewport);
      await page.tap('#settings-toggle');
      await check('Settings', () => !document.getElementById('zv-settings').hidden);
      await page.tap('#zv-settings .zv-key');
      await check('a key of the panel', () => document.querySelector('#zv-settings .zv-waiting'));
      let cut = await cutLabels(page);
      await page.keyboard.press('KeyI');
      await look(page, `phone-${orientation}-settings`);
      cut = cut.concat(await cutLabels(page));
      if (cut.length) fail(`held ${orientation}, the settings panel cuts ${[...new Set(cut)].join(', ')}`);
      if ((await settings()).keys.up.join(' ') != 'I Up') fail('the key pressed after a tap on Up was not taken');
      await page.tap('#zv-settings .zv-clear');
      if ((await settings()).keys.up.join(' ') != 'I') fail('a tap on the cross of Up left it its second key');
      for (const name of ['master', 'music', 'effects']) {
        const slider = page.locator(`#zv-settings [name=${name}]`);
        await slider.scrollIntoViewIfNeeded();
        const box = await slider.boundingBox();
        await page.touchscreen.tap(box.x + box.width * 0.1, box.y + box.height / 2);
        const level = (await settings()).sound[name];
        if (level > 50) fail(`a tap near the start of the ${name} slider left it at ${level}`);
      }
      await page.tap('#zv-settings [name=mute]');
      if (!(await settings()).sound.mute) fail('a tap on Mute did not mute');
      await page.tap('#zv-settings .zv-reset');
      const back = await settings();
      if (back.keys.up.join(' ') != 'W Up' || back.sound.master != 100 || back.sound.mute)
        fail('a tap on "Back to the defaults" left ' + JSON.stringify(back));
      await page.tap('#settings-toggle');
      await check('Settings, to close it', () => document.getElementById('zv-settings').hidden);
    }
    await rebindInPanel(page, settings);
    // The game quits with its key; its replay and a new game are then offered.
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => !document.getElementById('play-again').hidden, null, {timeout: 30000});
    await Promise.all([page.waitForEvent('download', {timeout: 3000}), page.tap('#replay-download')])
      .catch(() => fail('a tap on the replay\'s link did nothing'));
    await page.tap('#fullscreen');
    await check('Full screen', () => document.fullscreenElement !== null);
    // Full screen shows the picture alone; leaving it is the browser's.
    await page.evaluate(() => document.exitFullscreen());
    await Promise.all([page.waitForEvent('load', {timeout: 10000}), page.tap('#play-again')])
      .catch(() => fail('a tap on Play again did nothing'));
    return 'every control of the page took a tap, and the settings panel fit the phone held either way';
  } finally {
    await page.close();
  }
}

// A fake Gamepad API: pads[1] plays the script, one line a frame, each time the page looks (it
// looks once a game frame); pads[0] has no standard layout and holds everything it has.
function fakePads({scriptText, pluggedAt}) {
  const frames = [];
  for (const raw of scriptText.split('\n')) {
    const words = raw.split('#')[0].trim().split(/\s+/).filter(Boolean);
    if (!words.length) continue;
    const reading = {lx: 0, ly: 0, rx: 0, ry: 0, lt: 0, rt: 0, buttons: []};
    for (const word of words.slice(1)) {
      const [name, value] = word.slice(4).toLowerCase().split('=');
      if (value === undefined) reading.buttons.push(name); else reading[name] = Number(value);
    }
    for (let i = 0; i < Number(words[0]); ++i) frames.push(reading);
  }
  const axis = value => value < 0 ? value / 32768 : value / 32767;
  const places = {lb: 4, rb: 5, back: 8, start: 9, up: 12, down: 13, left: 14, right: 15};
  let looks = 0;
  const odd = {id: 'a pad of its own layout', index: 0, connected: true, mapping: '', axes: [1, 1, 1, 1],
               buttons: Array.from({length: 20}, () => ({pressed: true, value: 1}))};
  navigator.getGamepads = () => {
    const frame = looks++;
    const reading = frames[frame] || {lx: 0, ly: 0, rx: 0, ry: 0, lt: 0, rt: 0, buttons: []};
    const buttons = Array.from({length: 17}, () => ({pressed: false, value: 0}));
    for (const name of reading.buttons) buttons[places[name]] = {pressed: true, value: 1};
    buttons[6] = {pressed: reading.lt > 16384, value: reading.lt / 32767};
    buttons[7] = {pressed: reading.rt > 16384, value: reading.rt / 32767};
    const pad = {id: 'a standard pad', index: 1, connected: true, mapping: 'standard', timestamp: frame,
                 axes: [axis(reading.lx), axis(reading.ly), axis(reading.rx), axis(reading.ry)], buttons};
    return [odd, frame >= pluggedAt ? pad : null];
  };
}

async function padCase(server, chromium) {
  const script = path.join(harness.SOURCE_DIR, 'tests', 'web', 'pad_play.txt');
  const native = harness.nativeStates(args.replay, script);
  const {context, close} = await harness.launch(chromium);
  try {
    const page = context.pages()[0] || await context.newPage();
    // Plugged in after 20 frames, all of them at rest in the script.
    await page.addInitScript(fakePads, {scriptText: fs.readFileSync(script, 'utf8'), pluggedAt: 20});
    const log = harness.consoleOf(page);
    await page.goto(server.url + 'index.html?state');
    await log.waitFor(() => framesOf(log).states.length >= native.length, 60000, `${native.length} frames`);
    const browser = framesOf(log).states.slice(0, native.length);
    const difference = harness.firstDifference(browser, native);
    if (difference) fail('the pad plays differently in the browser: ' + difference);
    const odd = log.lines.filter(line => line.includes('has no standard layout'));
    if (odd.length != 1) fail(`${odd.length} console lines about the pad of no standard layout, not one`);
    return `${native.length} frames of pad play, every state line the same as the desktop's virtual pad's`;
  } finally {
    await close();
  }
}

async function firstFrame(page, log, url) {
  log.lines.length = 0;
  await page.goto(url);
  return log.waitFor(line => line.startsWith('zorvalen-first-frame'), 60000, 'of the first frame');
}

async function offlineCase(server, chromium) {
  const {context, close} = await harness.launch(chromium);
  let report;
  try {
    const page = context.pages()[0] || await context.newPage();
    const log = harness.consoleOf(page);
    const first = await firstFrame(page, log, server.url + 'index.html?stats');
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null, null, {timeout: 30000});
    const fetched = [...new Set(server.requests.map(request => request.name))];
    const gzipped = fetched.reduce((total, name) =>
      total + (server.files.has(name) ? zlib.gzipSync(fs.readFileSync(path.join(harness.WEB_DIR, name)), {level: 9}).length : 0), 0);
    if (gzipped > 2 * 1024 * 1024) fail(`the first visit downloads ${(gzipped / 1048576).toFixed(2)} MB gzipped`);
    if (fetched.some(name => /\.(tga|bmp|wav)$/.test(name))) fail('the first visit fetched an uncompressed asset');

    const before = server.requests.length;
    await firstFrame(page, log, server.url + 'index.html?stats');
    const again = server.requests.slice(before).map(request => request.name).filter(name => name != 'sw.js');
    if (again.length) fail('the repeat visit fetched ' + again.join(', '));
    // Every file as unpacked is kept (once it has landed: the game does not wait for them); one
    // damaged on the device is unpacked again, saying so.
    const shipped = JSON.parse(fs.readFileSync(path.join(harness.WEB_DIR, 'assets.json'), 'utf8')).length;
    const keptCount = () => page.evaluate(() => caches.open('unpacked-zorvalen').then(cache => cache.keys()).then(keys => keys.length));
    await harness.waitInPage(page, shipped => caches.open('unpacked-zorvalen').then(cache => cache.keys())
                                                    .then(keys => keys.length == shipped), shipped);
    const kept = await keptCount();
    if (kept != shipped) {
      const names = await page.evaluate(() => caches.open('unpacked-zorvalen').then(cache => cache.keys())
                                                 .then(keys => keys.map(key => key.url.split('/').pop())));
      fail(`${kept} files kept as unpacked, not ${shipped}: ${names.join(', ')}`);
    }
    await page.evaluate(async () => {
      const cache = await caches.open('unpacked-zorvalen');
      const key = (await cache.keys()).find(request => request.url.includes('/unpacked/bg0.tga'));
      const bytes = new Uint8Array(await (await cache.match(key)).arrayBuffer());
      bytes[bytes.length >> 1] ^= 0xff;
      await cache.put(key, new Response(bytes));
    });
    await firstFrame(page, log, server.url + 'index.html?stats');
    await log.waitFor(line => line.includes('the kept bg0.tga is damaged'), 10000, 'about the damaged picture')
             .catch(() => fail('a damaged kept picture went unnoticed: ' + log.lines.join(' | ')));

    const cdp = await context.newCDPSession(page);
    const manifest = await cdp.send('Page.getAppManifest');
    if (manifest.errors.length) fail('the manifest: ' + JSON.stringify(manifest.errors));
    const fields = JSON.parse(manifest.data);
    if (fields.display != 'fullscreen' || fields.orientation != 'landscape' || !fields.name)
      fail('the manifest lacks its name, full screen display or landscape orientation');
    const installability = await cdp.send('Page.getInstallabilityErrors');
    if (installability.installabilityErrors.length)
      fail('not installable: ' + JSON.stringify(installability.installabilityErrors));

    // A new build's worker keeps its files, then drops the old ones.
    const worker = fs.readFileSync(path.join(harness.WEB_DIR, 'sw.js'), 'utf8');
    const version = worker.match(/VERSION = "([0-9a-f]+)"/)[1];
    server.replace('sw.js', worker.replace(version, 'a-newer-build'));
    await page.evaluate(() => navigator.serviceWorker.getRegistration().then(registration => registration.update()));
    // (The files as unpacked are kept apart, in 'unpacked-zorvalen'.)
    if (!await harness.waitInPage(page, () => caches.keys().then(names => names.filter(name => name.startsWith('zorvalen-'))
                                                                            .join(' ') == 'zorvalen-a-newer-build')))
      fail('a new version was not taken up: the caches are ' + await page.evaluate(() => caches.keys()));

    await server.stop();
    await firstFrame(page, log, server.url + 'index.html?stats');
    if (log.lines.some(line => line.includes('Zorvalen:'))) fail('offline, the page said: ' + log.lines.join(' | '));
    await look(page, 'offline');
    report = `first visit ${(gzipped / 1048576).toFixed(2)} MB gzipped (${first}), the repeat visit fetched only ` +
             `the worker, a new version was taken up, the page played offline, the manifest is valid and ` +
             `Chromium finds it installable`;
  } finally {
    await close();
  }

  // No worker to be had and music that does not decode: the game still plays, saying so once.
  // The pictures' unpacking worker broken too, and no WebCodecs: they are unpacked on the page's
  // own thread through createImageBitmap, as exact as ever (else they would be fetched whole,
  // saying so), but for the first stage's, damaged, which is fetched whole. Each lands after the
  // first frame: a game started at once shows the first stage's ground once it has.
  const broken = await harness.servePage({broken: ['sw.js', 'assets/bgmusic.wav.ogg', 'page/unpack_worker.js',
                                                   'assets/bg0.tga.webp']});
  const second = await harness.launch(chromium);
  try {
    const page = second.context.pages()[0] || await second.context.newPage();
    await page.addInitScript(() => { delete window.ImageDecoder; });
    const log = harness.consoleOf(page);
    await firstFrame(page, log, broken.url + 'index.html?stats');
    await page.keyboard.press('Space');
    await log.waitFor(line => line.includes('no offline copy'), 10000, 'about the worker');
    await page.waitForFunction(() => performance.getEntriesByName('zorvalen-pictures-landed').length > 0, null,
                               {timeout: 30000});
    await page.evaluate(() => new Promise(resolve => {
      let frames = 0;
      const next = () => ++frames >= 10 ? resolve() : requestAnimationFrame(next);
      requestAnimationFrame(next);
    }));
    const said = log.lines.filter(line => line.startsWith('Zorvalen:'));
    if (said.length != 3 || !said.some(line => line.includes('bgmusic.wav could not be decoded')) ||
        !said.some(line => line.includes('bg0.tga is fetched whole')))
      fail('the page with no worker, no music and a damaged picture said: ' + said.join(' | '));
    // The ground: the stage's picture, grey, across the bottom rows (black without it).
    const ground = await page.evaluate(() => {
      const canvas = document.getElementById('canvas');
      const rows = canvas.getContext('2d').getImageData(0, canvas.height - 40, canvas.width, 40).data;
      let lit = 0;
      for (let i = 0; i < rows.length; i += 4) if (rows[i] + rows[i + 1] + rows[i + 2] > 150) ++lit;
      return lit / (rows.length / 4);
    });
    if (ground < 0.5) fail(`the first stage's ground is missing: ${(ground * 100).toFixed(0)} % of its rows lit`);
  } finally {
    await second.close();
    await broken.stop();
  }
  return report + '; with no worker, no music and a damaged picture it plays, saying so once for each, ' +
         'and shows the late pictures as they land';
}

// The board's submit, against a stand-in for a board's API (a route of the browser's own): not
// offered where nothing answers /api/v1/board; offered where a board does, the name asked once
// and kept, the replay sent as it is, then a verified run's rank and link, and a rejected run's
// reason, as text.
async function boardCase(server, chromium) {
  // The browser's routes do not see what a service worker fetches: the stand-in needs them to.
  const {context, close} = await harness.launch(chromium, {serviceWorkers: 'block'});
  let boardUp = false, asked = 0;
  const posts = [];
  await context.route('**/api/v1/**', route => {
    const url = new URL(route.request().url());
    if (!boardUp) return route.fulfill({status: 404, body: ''});
    if (url.pathname == '/api/v1/board') return route.fulfill({json: {items: [{rank: 2, run_id: url.searchParams.get('around')}]}});
    if (route.request().method() == 'POST') {
      posts.push({name: url.searchParams.get('name'), type: route.request().headers()['content-type'],
                  bytes: route.request().postDataBuffer()});
      asked = 0;
      return route.fulfill({status: 202, json: {run_id: 'r' + posts.length, status: 'pending', status_url: '/api/v1/runs/r' + posts.length}});
    }
    const id = url.pathname.split('/').pop();
    const status = ++asked < 2 ? 'pending' : id == 'r1' ? 'verified' : 'rejected';
    return route.fulfill({json: {run_id: id, status, reason: status == 'rejected' ? '<b>trailer claims score 3400</b>' : null,
                                 watch_url: '/play/?watch=/runs/' + id + '.zvr'}});
  });
  try {
    const page = context.pages()[0] || await context.newPage();
    const log = harness.consoleOf(page);
    let dialogs = 0;
    page.on('dialog', dialog => { ++dialogs; dialog.accept('Ada <i>L</i>'); });
    const endGame = async () => {
      await firstFrame(page, log, server.url + 'index.html?stats');
      await page.keyboard.press('Escape');
      await page.waitForFunction(() => !document.getElementById('replay-download').hidden, null, {timeout: 30000});
      await new Promise(resolve => setTimeout(resolve, 500));  // the board's answer, if any
    };
    await endGame();
    if (await page.isVisible('#board-submit')) fail('the submit is offered on a page no board served');

    boardUp = true;
    await endGame();
    const result = () => page.textContent('#board-submit .board-result');
    await page.click('#board-submit button');
    await page.waitForFunction(() => /^Verified/.test(document.querySelector('#board-submit .board-result').textContent),
                               null, {timeout: 20000});
    if (await result() != 'Verified: rank 2. Watch it') fail('the verified run says ' + await result());
    const href = await page.getAttribute('#board-submit .board-result a', 'href');
    if (href != '/play/?watch=/runs/r1.zvr') fail('the link to watch it is ' + href);
    const replay = await page.evaluate(() => Array.from(Zorvalen.newestReplay().bytes));
    const sent = posts[0];
    if (sent.name != 'Ada <i>L</i>' || sent.type != 'application/octet-stream' ||
        Buffer.compare(sent.bytes, Buffer.from(replay)) != 0 || sent.bytes[1] != 0x5a)
      fail(`the board was sent ${sent.bytes.length} bytes as ${sent.type} by ${sent.name}, not the replay`);

    await page.click('#board-submit button');
    await page.waitForFunction(() => /^Rejected/.test(document.querySelector('#board-submit .board-result').textContent),
                               null, {timeout: 20000});
    if (await result() != 'Rejected: <b>trailer claims score 3400</b>') fail('the rejected run says ' + await result());
    if (await page.$('#board-submit b, #board-submit i')) fail('the board\'s words went in as markup');
    if (dialogs != 1 || posts[1].name != 'Ada <i>L</i>') fail(`the name was asked ${dialogs} times`);
    if (args.look) await look(page, 'board-submit');
    return 'not offered without a board; sent as it is, the name asked once; verified with its rank and link, rejected with its reason';
  } finally {
    await close();
  }
}

async function main() {
  const chromium = harness.findChromium();
  if (!fs.existsSync(path.join(harness.WEB_DIR, 'page.files')) || !chromium) {
    console.log('skipped: the page\'s tests need the web build (scripts/test makes it) and Chromium');
    return harness.SKIP;
  }
  try {
    await import('playwright-core');
  } catch {
    console.log('skipped: playwright-core is not installed (npm ci in tests/web)');
    return harness.SKIP;
  }
  if (args.look) fs.mkdirSync(args.look, {recursive: true});
  const cases = {touch: touchCase, pad: padCase, offline: offlineCase, board: boardCase};
  if (!cases[args.case] || !args.replay) {
    console.log('usage: node page_test.mjs --replay ZORVALEN_REPLAY --case touch|pad|offline|board [--look DIR]');
    return 2;
  }
  const started = Date.now();
  const server = await harness.servePage();
  try {
    const said = await cases[args.case](server, chromium);
    console.log(`${args.case}: ${said} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
    return 0;
  } catch (error) {
    console.log(`${args.case}: ${error.message}`);
    return 1;
  } finally {
    await server.stop().catch(() => {});
  }
}

process.exitCode = await main();
