#!/usr/bin/env python3
"""The browser game's cost against the desktop game's, measured side by side in one run.

Runs the native release game under Xvfb and the web page in headless Chromium at the same
time, first on the title screen, then in busy play (Space, then D and the left button held:
the native game driven by xdotool, the page by the same input as a script), and prints for
each: the CPU of a core used by the game's process and by all of the browser's processes,
their ratio, the page's game frames per second and its time to the first frame. Beside them,
in another headless Chromium, the floor: the page's own shell showing a ready 800 x 600
picture each frame the way the game's canvas does (putImageData, the page's scaling), with
nothing else; the page's CPU is given against it too.

Needs: scripts/run's release build (build/release) and the web build (build/web).
    bench/web_cpu.py [--seconds 20] [--look DIR]   (--look keeps a screenshot of each side per phase)
"""
import argparse
import functools
import http.server
import os
import pathlib
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
CONSOLE = re.compile(r':INFO:CONSOLE[^\]]*\] "(.*)", source: ')
TICKS = os.sysconf('SC_CLK_TCK')


def cpu_seconds(pids):
    total = 0
    for pid in pids:
        try:
            fields = open(f'/proc/{pid}/stat').read().rsplit(')', 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        except (FileNotFoundError, ProcessLookupError, IndexError):
            pass
    return total / TICKS


def session_pids(session):
    pids = []
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                if os.getsid(int(entry)) == session:
                    pids.append(int(entry))
            except (ProcessLookupError, PermissionError):
                pass
    return pids


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Page:
    """Headless Chromium on the page; collects the console lines as they come."""

    def __init__(self, url, profile):
        command = ['chromium', '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                   '--disable-component-update', '--disable-sync', '--no-first-run', '--enable-logging=stderr',
                   '--v=0', '--user-data-dir=' + str(profile), url]
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                        errors='replace', start_new_session=True)
        self.lines = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stderr:
            match = CONSOLE.search(raw)
            if match:
                self.lines.append((time.monotonic(), match.group(1)))

    def pids(self):
        return session_pids(self.process.pid)

    def stop(self):
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait()


# The floor: the page's shell with a ready picture in place of the program, shown at 60 frames
# a second by the animation frames, as the canvas output does.
FLOOR_SCRIPT = '''<script>
  var floorContext = Zorvalen.canvas.getContext('2d', {alpha: false});
  var picture = floorContext.createImageData(800, 600);
  for (var i = 0; i < picture.data.length; i += 4) {
    picture.data[i] = (i >> 2) % 251; picture.data[i + 1] = (i >> 4) % 127; picture.data[i + 2] = 40; picture.data[i + 3] = 255;
  }
  var due = 0;
  requestAnimationFrame(function show(time) {
    requestAnimationFrame(show);
    if (time < due - 4) return;
    due = Math.max(due + 1000 / 60, time);
    floorContext.putImageData(picture, 0, 0);
    Module.framePresented();
  });
</script>'''


def measure(name, native, page, seconds, floor):
    time.sleep(3)  # past the start-up
    native_pids, page_pids, floor_pids = [native.pid], page.pids(), floor.pids()
    start = time.monotonic()
    native_before, page_before = cpu_seconds(native_pids), cpu_seconds(page_pids)
    floor_before = cpu_seconds(floor_pids)
    time.sleep(seconds)
    elapsed = time.monotonic() - start
    native_cpu = (cpu_seconds(native_pids) - native_before) / elapsed
    page_cpu = (cpu_seconds(page.pids()) - page_before) / elapsed
    floor_cpu = (cpu_seconds(floor.pids()) - floor_before) / elapsed
    fps = [int(text.split()[1]) for at, text in page.lines if text.startswith('zorvalen-fps ') and at > start + 1]
    first = [text.split()[1] for at, text in page.lines if text.startswith('zorvalen-first-frame ')]
    fps_text = f'{min(fps)}..{max(fps)}, median {sorted(fps)[len(fps) // 2]}' if fps else 'none'
    print(f'{name}: native game {native_cpu * 100:.1f} % of a core, browser {page_cpu * 100:.1f} % '
          f'(ratio {page_cpu / native_cpu if native_cpu > 0 else float("inf"):.2f}); '
          f'page fps {fps_text}; first frame {first[0] if first else "?"} ms')
    floor_fps = [int(text.split()[1]) for at, text in floor.lines if text.startswith('zorvalen-fps ') and at > start + 1]
    print(f'{name}: the floor page {floor_cpu * 100:.1f} % of a core (fps median '
          f'{sorted(floor_fps)[len(floor_fps) // 2] if floor_fps else "?"}); the page against it: ratio '
          f'{page_cpu / floor_cpu if floor_cpu > 0 else float("inf"):.2f}')


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--seconds', type=float, default=20)
    parser.add_argument('--look', help='a folder for a screenshot of both games at the end of each phase')
    args = parser.parse_args()
    game = ROOT / 'build' / 'release' / 'zorvalen'
    assets = ROOT / 'build' / 'release' / 'assets'
    web = ROOT / 'build' / 'web'
    for needed in (game, web / 'zorvalen.wasm'):
        if not needed.exists():
            sys.exit(f'{needed} is missing: build the release and web presets first')

    # Xvfb picks a free display and says which.
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write_end,))
    os.close(write_end)
    with os.fdopen(read_end) as announced:
        display = ':' + announced.readline().strip()
    scratch = tempfile.TemporaryDirectory(prefix='zorvalen-bench-')
    site = pathlib.Path(scratch.name) / 'site'
    (site / 'scripts').mkdir(parents=True)
    for name in (web / 'page.files').read_text().split():
        (site / name).parent.mkdir(parents=True, exist_ok=True)
        (site / name).symlink_to(web / name)
    shell = (web / 'index.html').read_text()
    (site / 'floor.html').write_text(shell.replace('<script src="zorvalen.js"></script>', FLOOR_SCRIPT))
    # The page's busy play: what xdotool gives the native game below.
    (site / 'scripts' / 'busy.txt').write_text('1 SPACE\n1000000 D LMB\n')
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(Quiet, directory=str(site)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f'http://127.0.0.1:{server.server_address[1]}/index.html'
    # No sound card here: both play silent, neither mixes (an unknown driver gives SDL none).
    # The native game records into the scratch folder and reads no player's settings.
    env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER='none', XDG_DATA_HOME=str(pathlib.Path(scratch.name) / 'data'),
               XDG_CONFIG_HOME=str(pathlib.Path(scratch.name) / 'config'))
    time.sleep(1)
    try:
        for phase in ('title screen', 'busy play'):
            native = subprocess.Popen([str(game)], cwd=assets, env=env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            query = '?stats' if phase == 'title screen' else '?play=busy.txt&stats'
            page = Page(base + query, pathlib.Path(scratch.name) / ('profile-' + phase.replace(' ', '-')))
            floor = Page(base.replace('index.html', 'floor.html') + '?stats',
                         pathlib.Path(scratch.name) / ('floor-' + phase.replace(' ', '-')))
            try:
                time.sleep(2)
                if phase == 'busy play':
                    xdo = ['xdotool', 'search', '--sync', '--onlyvisible', '--class', 'zorvalen', 'windowactivate',
                           '--sync', '%1']
                    subprocess.run(xdo, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
                    for step in (['key', 'space'], ['keydown', 'd'], ['mousedown', '1']):
                        subprocess.run(['xdotool'] + step, env=env, check=False, timeout=10)
                measure(phase, native, page, args.seconds, floor)
                if args.look:
                    name = phase.replace(' ', '-')
                    subprocess.run(['import', '-window', 'root', os.path.join(args.look, f'native-{name}.png')],
                                   env=env, check=False)
            finally:
                page.stop()
                floor.stop()
                native.kill()
                native.wait()
    finally:
        server.shutdown()
        xvfb.kill()
        xvfb.wait()
        scratch.cleanup()


if __name__ == '__main__':
    main()
