#!/usr/bin/env python3
"""Plays a replay script in headless Chromium, on the page the web build makes, and checks
that the browser's game gives the same world state, frame by frame, as the desktop's replay
runner does for the same script. With --paced the page runs the game's own loop (WinMain,
60 frames a second, drawn) on the script's input rather than the replay runner's loop.

Exit status: 0 same, 1 different or the page failed, 77 no emscripten or no Chromium here
(the test is then skipped).
"""
import argparse
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

SKIP = 77
CONSOLE = re.compile(r':INFO:CONSOLE[^\]]*\] "(.*)", source: ')


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
        native = subprocess.run([args.replay, '--state', '-', str(script)], check=True, stdout=subprocess.PIPE,
                                text=True).stdout.splitlines()
        # The page and the tests' scripts, served side by side.
        site = scratch / 'site'
        site.mkdir()
        for name in ('index.html', 'zorvalen.js', 'zorvalen.wasm', 'zorvalen.data'):
            (site / name).symlink_to(build_dir / name)
        (site / 'scripts').symlink_to(script.parent)
        server = serve(site)
        try:
            port = server.server_address[1]
            variant = f'play={script.name}&state' if args.paced else f'replay={script.name}'
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
    print(f'{script.name} ({loop}): {len(browser)} frames, every state line the same as the replay runner\'s '
          f'({time.monotonic() - started:.1f} s)')
    return 0


if __name__ == '__main__':
    sys.exit(main())
