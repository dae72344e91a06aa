#!/usr/bin/env python3
"""Plays a replay script in headless Chromium, on the page the web build makes, and checks
that the browser's game gives the same world state, frame by frame, as the desktop's replay
runner does for the same script. With --paced the page runs the game's own loop (WinMain,
60 frames a second, drawn) on the script's input rather than the replay runner's loop. With
--shot FRAME the picture of that frame must equal the desktop compositor's, pixel for pixel:
the picture the browser's device drew, or with --paced the canvas as the page shows it.
With --settings FILE and --remap the page first stores FILE as its settings panel would, then
plays the script with the keys moved as --remap says, and must still give the runner's state
lines for the script itself: the player's keys change, the game does not.

With --paced the page also records the game in its memory: that replay must pass the replay
runner's --verify and give its state lines. With --watch the page watches the replay the
replay runner recorded of the script (index.html?watch=URL), frame for frame the same game.

Exit status: 0 same, 1 different or the page failed, 77 no emscripten or no Chromium here
(the test is then skipped).
"""
import argparse
import base64
import functools
import http.server
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import zlib

SKIP = 77
CONSOLE = re.compile(r':INFO:CONSOLE[^\]]*\] "(.*)", source: ')


def remap(text, pairs):
    """The script with each token FROM put as TO (comments left as they are)."""
    moves = dict(pair.split('=', 1) for pair in pairs.split(',') if pair)
    lines = []
    for line in text.splitlines():
        code, hash_mark, comment = line.partition('#')
        lines.append(' '.join(moves.get(token.upper(), token) for token in code.split()) + hash_mark + comment)
    return '\n'.join(lines) + '\n'


def find_chromium():
    for name in ('chromium', 'chromium-browser', 'google-chrome'):
        path = shutil.which(name)
        if path:
            return path
    return None


def build_page(source_dir):
    """The web preset's page, brought up to date (a no-op when scripts/test has just built it)."""
    env = dict(os.environ, NODE_PATH='/usr/share/nodejs')
    build_dir = source_dir / 'build' / 'web'
    if not (build_dir / 'build.ninja').exists():
        subprocess.run(['cmake', '--preset', 'web'], cwd=source_dir, env=env, check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run(['cmake', '--build', '--preset', 'web', '-j2'], cwd=source_dir, env=env, check=True,
                   stdout=subprocess.DEVNULL)
    return build_dir


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(directory):
    """Python's own file server on a free port of 127.0.0.1, in a thread of this process."""
    handler = functools.partial(QuietHandler, directory=str(directory))
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def run_page(chromium, url, profile, timeout):
    """The page's console lines, up to its final 'zorvalen-done' line; None on a timeout."""
    command = [chromium, '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
               '--disable-component-update', '--disable-sync', '--no-first-run', '--enable-logging=stderr',
               '--v=0', '--user-data-dir=' + str(profile), url]
    browser = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                               errors='replace', start_new_session=True)
    lines = []
    timer = threading.Timer(timeout, lambda: os.killpg(browser.pid, signal.SIGKILL))
    timer.start()
    try:
        for raw in browser.stderr:
            match = CONSOLE.search(raw)
            if not match:
                continue
            lines.append(match.group(1))
            if match.group(1).startswith('zorvalen-done'):
                return lines
        return None
    finally:
        timer.cancel()
        try:
            os.killpg(browser.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        browser.wait()


def decode_png(data):
    """Width, height and the pixels (R, G, B, A bytes) of an 8-bit RGB or RGBA PNG."""
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError('not a PNG')
    at, idat, width, height, kind = 8, b'', 0, 0, 0
    while at < len(data):
        length = int.from_bytes(data[at:at + 4], 'big')
        tag, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        if tag == b'IHDR':
            width, height = int.from_bytes(body[0:4], 'big'), int.from_bytes(body[4:8], 'big')
            if body[8] != 8 or body[9] not in (2, 6) or body[12] != 0:
                raise ValueError('only 8-bit RGB or RGBA without interlacing')
            kind = body[9]
        elif tag == b'IDAT':
            idat += body
        at += 12 + length
    step = 4 if kind == 6 else 3
    raw, stride = zlib.decompress(idat), width * step
    rows, previous = [], bytearray(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind_of_filter, row = line[0], bytearray(line[1:])
        for x in range(stride):
            left = row[x - step] if x >= step else 0
            up, corner = previous[x], previous[x - step] if x >= step else 0
            if kind_of_filter == 1:
                row[x] = (row[x] + left) & 255
            elif kind_of_filter == 2:
                row[x] = (row[x] + up) & 255
            elif kind_of_filter == 3:
                row[x] = (row[x] + (left + up) // 2) & 255
            elif kind_of_filter == 4:
                guess = left + up - corner
                near = min((abs(guess - left), 0, left), (abs(guess - up), 1, up), (abs(guess - corner), 2, corner))
                row[x] = (row[x] + near[2]) & 255
        rows.append(bytes(row) if step == 4 else b''.join(bytes(row[i:i + 3]) + b'\xff' for i in range(0, stride, 3)))
        previous = row
    return width, height, b''.join(rows)


def compare_pictures(frame, native_png, browser_png):
    width, height, ours = decode_png(browser_png)
    native_width, native_height, theirs = decode_png(native_png)
    if (width, height) != (native_width, native_height):
        print(f'frame {frame}: the browser\'s picture is {width}x{height}, the desktop\'s {native_width}x{native_height}')
        return False
    differing = [i // 4 for i in range(0, len(ours), 4) if ours[i:i + 4] != theirs[i:i + 4]]
    if differing:
        first = differing[0]
        print(f'frame {frame}: {len(differing)} pixels differ from the desktop compositor\'s picture, '
              f'the first at ({first % width}, {first // width})')
        return False
    return True


def compare_states(native, browser):
    for frame, (ours, theirs) in enumerate(zip(browser, native)):
        if ours != theirs:
            print(f'frame {frame}: the browser\'s state differs from the replay runner\'s')
            print(f'  browser: {ours[:400]}')
            print(f'  native:  {theirs[:400]}')
            return False
    if len(browser) != len(native):
        print(f'the browser wrote {len(browser)} state lines, the replay runner {len(native)}')
        return False
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--replay', required=True, help='the native zorvalen-replay')
    parser.add_argument('--script', required=True, help='a replay script in the tests\' scripts folder')
    parser.add_argument('--paced', action='store_true', help='the game\'s own loop, in real time')
    parser.add_argument('--watch', action='store_true', help='watch the runner\'s replay of the script')
    parser.add_argument('--shot', type=int, help='also compare the picture of this frame')
    parser.add_argument('--settings', help='a settings file the page keeps before it plays')
    parser.add_argument('--remap', default='', help='FROM=TO,... : the script\'s tokens as the settings move them')
    parser.add_argument('--timeout', type=float, default=240)
    args = parser.parse_args()

    source_dir = pathlib.Path(__file__).resolve().parents[2]
    chromium = find_chromium()
    if shutil.which('emcc') is None or chromium is None:
        print('skipped: the browser test needs emscripten and Chromium (scripts/deps.sh installs both)')
        return SKIP

    started = time.monotonic()
    build_dir = build_page(source_dir)
    script = pathlib.Path(args.script).resolve()
    with tempfile.TemporaryDirectory(prefix='zorvalen-web-') as scratch:
        scratch = pathlib.Path(scratch)
        shot_options = [] if args.shot is None else ['--shot', f'{args.shot}:{scratch / "native.png"}']
        native = subprocess.run([args.replay, '--state', '-'] + shot_options + [str(script)], check=True,
                                stdout=subprocess.PIPE, text=True).stdout.splitlines()
        native_png = (scratch / 'native.png').read_bytes() if args.shot is not None else None
        # The page and the tests' scripts, served side by side.
        site = scratch / 'site'
        site.mkdir()
        for name in (build_dir / 'page.files').read_text().split():
            (site / name).parent.mkdir(parents=True, exist_ok=True)
            (site / name).symlink_to(build_dir / name)
        if args.settings:
            settings = pathlib.Path(args.settings).resolve()
            (site / 'settings').symlink_to(settings.parent)
            (site / 'scripts').mkdir()
            (site / 'scripts' / script.name).write_text(remap(script.read_text(), args.remap))
        else:
            (site / 'scripts').symlink_to(script.parent)
        if args.watch:
            (site / 'replays').mkdir()
            subprocess.run([args.replay, '--record', str(site / 'replays' / 'run.zvr'), str(script)], check=True,
                           stdout=subprocess.DEVNULL)
        server = serve(site)
        try:
            port = server.server_address[1]
            variant = f'play={script.name}&state' if args.paced else f'replay={script.name}'
            if args.watch:
                variant = 'watch=replays/run.zvr&state'
            if args.shot is not None:
                variant += f'&shot={args.shot}'
            if args.settings:
                variant += f'&settings={settings.name}'
            url = f'http://127.0.0.1:{port}/index.html?{variant}'
            lines = run_page(chromium, url, scratch / 'profile', args.timeout)
        finally:
            server.shutdown()
    if lines is None:
        print(f'the page did not finish within {args.timeout:.0f} s')
        return 1
    done = lines[-1]
    if done != 'zorvalen-done 0':
        print('the page failed: ' + done)
        for line in lines[:-1]:
            if not line.startswith('zorvalen-state '):
                print('  ' + line)
        return 1
    browser = [line[len('zorvalen-state '):] for line in lines if line.startswith('zorvalen-state ')]
    if not compare_states(native, browser):
        return 1
    loop = 'the game\'s own loop' if args.paced else 'the replay loop'
    if args.watch:
        loop = 'watching its replay'
    if args.paced:
        recorded = [line.split(' ', 1)[1] for line in lines if line.startswith('zorvalen-replay-file ')]
        if not recorded or recorded[0] == 'none':
            print('the page kept no replay of its game')
            return 1
        with tempfile.TemporaryDirectory(prefix='zorvalen-web-') as scratch:
            replay_file = pathlib.Path(scratch) / 'page.zvr'
            replay_file.write_bytes(base64.b64decode(recorded[0]))
            verified = subprocess.run([args.replay, '--verify', str(replay_file)], stdout=subprocess.PIPE, text=True)
            replayed = subprocess.run([args.replay, '--state', '-', str(replay_file)], stdout=subprocess.PIPE,
                                      text=True).stdout.splitlines()
        if verified.returncode != 0:
            print('the page\'s replay fails --verify: ' + verified.stdout.strip())
            return 1
        if not compare_states(native, replayed):
            print('(the page\'s replay, played by the replay runner)')
            return 1
        loop += ', its replay verified'
    pictures = ''
    if args.shot is not None:
        shots = [line.split(' ', 1)[1] for line in lines if line.startswith('zorvalen-shot ')]
        if not shots or shots[0] == 'none':
            print(f'the page kept no picture of frame {args.shot}')
            return 1
        if not compare_pictures(args.shot, native_png, base64.b64decode(shots[0])):
            return 1
        pictures = f', and frame {args.shot}\'s picture the same, pixel for pixel'
    print(f'{script.name} ({loop}): {len(browser)} frames, every state line the same as the replay runner\'s'
          f'{pictures} ({time.monotonic() - started:.1f} s)')
    return 0


if __name__ == '__main__':
    sys.exit(main())
