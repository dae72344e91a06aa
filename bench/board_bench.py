#!/usr/bin/env python3
"""zorvalen-board against its floor, on this machine, in one run:

  - verifying: the CPU (user + system, the board and its verifier processes) from an upload to
    `verified`, against `zorvalen-replay --verify` of the same ten-minute replays;
  - start to ready: from starting the board to its first answer, against starting and ending
    `zorvalen-board --version` (the program's own load);
  - resident memory: the board idle, and while it verifies two runs at once, against
    `zorvalen-replay --verify`'s peak on the same replay.

    bench/board_bench.py [BUILD_DIR] [RUNS]     (default build/release, 3 replays)

Each replay is the playthrough's script and then ten minutes in all of steady, seeded play
(moving, aiming, firing, a click now and then to start again), recorded by zorvalen-replay."""
import json
import os
import random
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "release")
RUNS = 3
BOARD = os.path.join(BUILD, "board", "zorvalen-board")
TOOL = os.path.join(BUILD, "tools", "replay", "zorvalen-replay")
WORK = tempfile.mkdtemp(prefix="board-bench-")
TICKS = os.sysconf("SC_CLK_TCK")
FRAMES = 36000


def long_script(seed):
    lines = open(os.path.join(ROOT, "tests", "scripts", "playthrough.txt")).read().splitlines()
    frames = sum(int(line.split()[0]) for line in lines if line.strip() and not line.lstrip().startswith("#"))
    rng = random.Random(seed)
    while frames < FRAMES:
        count = min(rng.randint(1, 30), FRAMES - frames)
        keys = [k for k in ("W", "A", "S", "D") if rng.random() < 0.3]
        if rng.random() < 0.7:
            keys.append("LMB")
        lines.append(f"{count} {' '.join(keys)} dx={rng.randint(-8, 8)} dy={rng.randint(-8, 8)}")
        frames += count
    path = os.path.join(WORK, f"long{seed}.txt")
    open(path, "w").write("\n".join(lines) + "\n")
    return path


def record(seed):
    out = os.path.join(WORK, f"long{seed}.zvr")
    subprocess.run([TOOL, "--record", out, long_script(seed)], check=True, capture_output=True)
    return out


def cpu_of_children(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, check=True, capture_output=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime, after.ru_maxrss


def process_cpu(pid):
    """The process's CPU and that of the children it has reaped, in seconds."""
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return sum(int(fields[i]) for i in (11, 12, 13, 14)) / TICKS


def children_cpu(pid):
    """The CPU of the children the process has reaped: its verifiers."""
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return sum(int(fields[i]) for i in (13, 14)) / TICKS


def rss_kib(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def children_rss_kib(pid):
    total = 0
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if open(f"/proc/{entry}/stat").read().rsplit(")", 1)[1].split()[1] == str(pid):
                    total += rss_kib(entry)
            except OSError:
                pass
    return total


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_board(workers, database):
    port = free_port()
    started = time.perf_counter()
    process = subprocess.Popen([BOARD, "--listen", f"127.0.0.1:{port}", "--database", f"sqlite:{database}",
                                "--workers", str(workers)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while True:
        try:
            urllib.request.urlopen(f"http://127.0.0.1:{port}/api/v1/board", timeout=1).read()
            return process, port, time.perf_counter() - started
        except OSError:
            time.sleep(0.005)


def upload(port, path, name):
    request = urllib.request.Request(f"http://127.0.0.1:{port}/api/v1/runs?name={name}", data=open(path, "rb").read(),
                                     headers={"Content-Type": "application/octet-stream"})
    return json.loads(urllib.request.urlopen(request).read())["run_id"]


def status(port, run_id):
    return json.loads(urllib.request.urlopen(f"http://127.0.0.1:{port}/api/v1/runs/{run_id}").read())["status"]


def main():
    global BUILD, RUNS, BOARD, TOOL
    if len(sys.argv) > 1:
        BUILD = sys.argv[1]
        BOARD = os.path.join(BUILD, "board", "zorvalen-board")
        TOOL = os.path.join(BUILD, "tools", "replay", "zorvalen-replay")
    if len(sys.argv) > 2:
        RUNS = int(sys.argv[2])
    replays = [record(seed) for seed in range(1, RUNS + 1)]
    print(f"{RUNS} replays of {FRAMES} frames (10:00), {BUILD}")

    floor = [cpu_of_children([TOOL, "--verify", path]) for path in replays]
    floor_cpu = [cpu for cpu, _ in floor]
    floor_rss = max(rss for _, rss in floor)

    board_cpu, verifier_cpu = [], []
    process, port, _ = start_board(1, os.path.join(WORK, "cpu.sqlite"))
    for i, path in enumerate(replays):
        before, before_children = process_cpu(process.pid), children_cpu(process.pid)
        run_id = upload(port, path, f"Bench{i}")
        while status(port, run_id) == "pending":
            time.sleep(0.25)
        board_cpu.append(process_cpu(process.pid) - before)
        verifier_cpu.append(children_cpu(process.pid) - before_children)
        if status(port, run_id) != "verified":
            raise SystemExit(f"run {run_id} was not verified")
    process.terminate()
    process.wait()

    starts, floors = [], []
    for i in range(5):
        began = time.perf_counter()
        subprocess.run([BOARD, "--version"], check=True, capture_output=True)
        floors.append(time.perf_counter() - began)
        process, port, ready = start_board(1, os.path.join(WORK, f"start{i}.sqlite"))
        starts.append(ready)
        process.terminate()
        process.wait()

    process, port, _ = start_board(2, os.path.join(WORK, "rss.sqlite"))
    time.sleep(0.5)
    idle = rss_kib(process.pid)
    ids = [upload(port, path, f"Mem{i}") for i, path in enumerate(replays[:2])]
    peak_board, peak_all = idle, idle
    while any(status(port, run_id) == "pending" for run_id in ids):
        board_now = rss_kib(process.pid)
        peak_board = max(peak_board, board_now)
        peak_all = max(peak_all, board_now + children_rss_kib(process.pid))
        time.sleep(0.05)
    process.terminate()
    process.wait()

    cpu_ratio = sum(board_cpu) / sum(floor_cpu)
    print(f"verify CPU      board {statistics.median(board_cpu):.3f} s, zorvalen-replay --verify "
          f"{statistics.median(floor_cpu):.3f} s (medians); board / floor = {cpu_ratio:.3f} (target <= 1.2); "
          f"of the board's, its verifiers {sum(verifier_cpu) / sum(board_cpu):.0%}")
    print(f"start to ready  {statistics.median(starts) * 1000:.0f} ms, --version {statistics.median(floors) * 1000:.0f} ms "
          f"(medians of 5); ratio {statistics.median(starts) / statistics.median(floors):.2f} (target: <= 2 s)")
    print(f"resident        idle {idle / 1024:.1f} MiB; verifying two runs: the board {peak_board / 1024:.1f} MiB, "
          f"with its two verifiers {peak_all / 1024:.1f} MiB; one zorvalen-replay --verify {floor_rss / 1024:.1f} MiB "
          f"(targets: 32 and 64 MiB)")


if __name__ == "__main__":
    main()
