// The page on Chromium's emulation of a phone (its screen, pixel density and touch) with the CPU
// throttled four times, on the title screen and in busy play (Space, then D and the left
// button held, as bench/web_cpu.py plays it): the game frames a second it holds, with the
// floor beside it (the page's shell showing a ready picture each frame, as web_cpu.py's),
// under the same throttle, as the baseline of what this machine's Chromium can show at all.
// Needs the web build (build/web) and tests/web's packages (npm ci there).
//   node bench/web_mobile.mjs [SECONDS]
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import * as harness from '../tests/web/harness.mjs';

const seconds = Number(process.argv[2] || 15);
const THROTTLE = 4;

const scripts = fs.mkdtempSync(path.join(os.tmpdir(), 'zorvalen-mobile-'));
fs.writeFileSync(path.join(scripts, 'busy.txt'), '1 SPACE\n1000000 D LMB\n');
const floorScript = fs.readFileSync(new URL('./web_cpu.py', import.meta.url), 'utf8')
    .match(/FLOOR_SCRIPT = '''([\s\S]*?)'''/)[1];

async function measure(server, chromium, name, address) {
  const {context, close} = await harness.launch(chromium, harness.PHONE);
  try {
    const page = context.pages()[0] || await context.newPage();
    if (address == 'floor') {
      const shell = fs.readFileSync(path.join(harness.WEB_DIR, 'index.html'), 'utf8')
          .replace('<script src="zorvalen.js"></script>', floorScript);
      await page.route('**/floor.html*', route => route.fulfill({contentType: 'text/html', body: shell}));
    }
    const cdp = await context.newCDPSession(page);
    await cdp.send('Emulation.setCPUThrottlingRate', {rate: THROTTLE});
    const log = harness.consoleOf(page);
    await page.goto(server.url + (address == 'floor' ? 'floor.html?stats' : address));
    await new Promise(resolve => setTimeout(resolve, 4000));  // past the start-up
    const from = log.lines.length;
    await new Promise(resolve => setTimeout(resolve, seconds * 1000));
    const fps = log.lines.slice(from).filter(line => line.startsWith('zorvalen-fps ')).map(line => Number(line.split(' ')[1]));
    fps.sort((a, b) => a - b);
    console.log(`${name}: ${fps.length ? `${fps[0]}..${fps.at(-1)} game frames a second, median ${fps[fps.length >> 1]}`
                                        : 'no frames counted'} (phone, CPU throttled ${THROTTLE} x)`);
  } finally {
    await close();
  }
}

const server = await harness.servePage({scriptsDir: scripts});
try {
  const chromium = harness.findChromium();
  await measure(server, chromium, 'title screen', 'index.html?stats');
  await measure(server, chromium, 'busy play', 'index.html?play=busy.txt&stats');
  await measure(server, chromium, 'floor', 'floor');
} finally {
  await server.stop();
  fs.rmSync(scripts, {recursive: true, force: true});
}
