// The page's time to its first frame, from the navigation, in a fresh headless Chromium each
// time (nothing cached, as a first visit), RUNS times, and then a second visit in the same
// browser, from what the first left cached (its service worker's, where it has one); with
// another build of the page (its folder) measured in turn with it, as the baseline of the same run.
// Needs the web build (build/web) and tests/web's packages (npm ci there).
//   node bench/web_first_frame.mjs [RUNS] [BASELINE_WEB_DIR]
import * as harness from '../tests/web/harness.mjs';

const runs = Number(process.argv[2] || 7);
const builds = [['this build', harness.WEB_DIR]];
if (process.argv[3]) builds.push(['the baseline', process.argv[3]]);

async function firstFrame(server, chromium) {
  const {context, close} = await harness.launch(chromium);
  try {
    const page = context.pages()[0] || await context.newPage();
    const log = harness.consoleOf(page);
    await page.goto(server.url + 'index.html?stats');
    const line = await log.waitFor(text => text.startsWith('zorvalen-first-frame '), 60000, 'of the first frame');
    // A page from before the start's marks has no steps line.
    const steps = await log.waitFor(text => text.startsWith('zorvalen-start-steps '), 2000, 'of the steps')
                           .catch(() => '');
    for (const step of steps.split(' ').slice(1)) {
      const [name, ms] = step.split('=');
      (stepTimes[name] ||= []).push(Number(ms));
    }
    // The second visit, once the service worker (if any) has what it caches.
    await page.evaluate(async () => {
      const registered = navigator.serviceWorker && await navigator.serviceWorker.getRegistration();
      if (registered) await navigator.serviceWorker.ready;  // never settles where none registered
    }).catch(() => false);
    log.lines.length = 0;
    await page.goto(server.url + 'index.html?stats');
    const again = await log.waitFor(text => text.startsWith('zorvalen-first-frame '), 60000, 'of the second visit');
    (stepTimes['second-visit'] ||= []).push(Number(again.split(' ')[1]));
    return Number(line.split(' ')[1]);
  } finally {
    await close();
  }
}

let stepTimes = {};
const chromium = harness.findChromium();
const times = builds.map(() => []);
const steps = builds.map(() => ({}));
for (let run = 0; run < runs; ++run) {
  for (const [index, [, dir]] of builds.entries()) {
    const server = await harness.servePage({webDir: dir});
    try {
      stepTimes = steps[index];
      times[index].push(await firstFrame(server, chromium));
    } finally {
      await server.stop();
    }
  }
}
const median = values => [...values].sort((a, b) => a - b)[values.length >> 1];
for (const [index, [name]] of builds.entries()) {
  console.log(`${name}: first frame median ${median(times[index])} ms (${times[index].join(', ')})`);
  const second = steps[index]['second-visit'] || [];
  delete steps[index]['second-visit'];
  console.log(`${name}: cached second visit median ${median(second)} ms (${second.join(', ')})`);
  const named = Object.entries(steps[index]).map(([step, values]) => [step, median(values)]);
  if (named.length)
    console.log(`  steps (median ms from the start): ${named.sort((a, b) => a[1] - b[1]).map(([s, v]) => `${s} ${v}`).join(', ')}`);
}
if (builds.length == 2) console.log(`ratio ${(median(times[0]) / median(times[1])).toFixed(2)}`);
