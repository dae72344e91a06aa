#!/usr/bin/env python3
"""zorvalen-board on a free loopback port, as its clients see it.

    board_test.py BOARD REPLAY_TOOL SCRIPTS_DIR CASE [STORE]
        CASE: runs | crash | slow | shared | faults | disk | abuse       STORE: sqlite (the default) | postgresql

On PostgreSQL the test starts a cluster of its own (pg_cluster.py), or is skipped where it cannot.

The replays are recorded by the replay tool from the test scripts; the forged ones are made
here from the format (docs/replay-format.md): header 48 bytes with its CRC at 44, then blocks
(type u8, length u16, payload, CRC-32 of the three), the trailer 'E' block last."""
import http.client
import json
import os
import random
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

BOARD, TOOL, SCRIPTS, CASE = sys.argv[1:5]
STORE = sys.argv[5] if len(sys.argv) > 5 else "sqlite"
WORK = tempfile.mkdtemp(prefix="board-test-")
failures = []
if STORE == "postgresql":
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import pg_cluster
    CLUSTER = pg_cluster.Cluster()
    DATABASE = CLUSTER.create("board")
else:
    DATABASE = f"sqlite:{WORK}/board.sqlite"


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Board:
    def __init__(self, *options, database=None, wait=True):
        self.port = free_port()
        # Its log in a file: a pipe nobody reads would fill and stop the board.
        self.log = tempfile.NamedTemporaryFile("w+", dir=WORK, suffix=".log", delete=False)
        self.process = subprocess.Popen(
            [BOARD, "--listen", f"127.0.0.1:{self.port}", "--database", database or DATABASE, *options],
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        if wait:
            self.ready()

    def ready(self):
        line = self.process.stdout.readline()
        if "the board is at" not in line:
            raise SystemExit("the board did not start: " + line + self.lines_logged())

    def lines_logged(self):
        return open(self.log.name).read()

    def metrics(self):
        """/metrics as {'name{labels}': value}; every line must be a comment or a sample."""
        import re
        response, body = self.request("GET", "/metrics")
        samples = {}
        for line in body.decode().splitlines():
            sample = re.fullmatch(r'([a-zA-Z_:][a-zA-Z0-9_:]*(?:\{[a-z_]+="[^"]*"(?:,[a-z_]+="[^"]*")*\})?) (\S+)', line)
            check(line.startswith("# ") or sample, f"a line of /metrics is a comment or a sample: {line!r}")
            if sample:
                samples[sample.group(1)] = float(sample.group(2))
        check(response.status == 200 and response.getheader("Content-Type").startswith("text/plain; version=0.0.4"),
              f"/metrics answers in the text format: {response.status}")
        return samples

    def request(self, method, path, body=None, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        connection.request(method, path, body=body, headers=headers or {})
        response = connection.getresponse()
        data = response.read()
        connection.close()
        return response, data

    def upload(self, data, name="Tester"):
        from urllib.parse import quote
        response, body = self.request("POST", "/api/v1/runs?name=" + quote(name), data,
                                      {"Content-Type": "application/octet-stream"})
        return response.status, json.loads(body)

    def run(self, run_id):
        response, body = self.request("GET", f"/api/v1/runs/{run_id}")
        return json.loads(body)

    def settled(self, run_id, seconds=120):
        deadline = time.time() + seconds
        while time.time() < deadline:
            run = self.run(run_id)
            if run["status"] != "pending":
                return run
            time.sleep(0.2)
        return self.run(run_id)

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait()

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=30)


def record(script):
    path = os.path.join(WORK, os.path.basename(script) + ".zvr")
    subprocess.run([TOOL, os.path.join(SCRIPTS, script), "--record", path], check=True, capture_output=True)
    return bytearray(open(path, "rb").read())


def blocks(data):
    """(offset, type, payload offset, length) of every block."""
    at, found = 48, []
    while at < len(data):
        kind, length = data[at], struct.unpack_from("<H", data, at + 1)[0]
        found.append((at, kind, at + 3, length))
        at += 3 + length + 4
    return found


def seal_block(data, at, length):
    struct.pack_into("<I", data, at + 3 + length, zlib.crc32(bytes(data[at:at + 3 + length])))


def seal_header(data):
    struct.pack_into("<I", data, 44, zlib.crc32(bytes(data[:44])))


def trailer_claiming_score(data, score):
    forged = bytearray(data)
    at, kind, payload, length = blocks(forged)[-1]
    assert kind == ord("E")
    struct.pack_into("<i", forged, payload + 8, score)
    struct.pack_into("<i", forged, payload + 12, score)
    seal_block(forged, at, length)
    return forged


def varint_end(data, p):
    while data[p] & 0x80:
        p += 1
    return p + 1


def changed_input(data):
    """One frame's mouse motion in a middle block moved by a count: the block's CRC is made again."""
    forged = bytearray(data)
    frames = [b for b in blocks(forged) if b[1] == ord("F")]
    at, kind, payload, length = frames[len(frames) // 2]
    p = varint_end(forged, varint_end(forged, payload)) + 8 + 1  # first frame, count, check, buttons
    keys = forged[p]
    p = varint_end(forged, p) + keys
    while p < payload + length:
        op = forged[p]
        if 0x80 <= op <= 0xF8:
            c = op - 0x80
            forged[p] = 0x80 + (c + 11 if c + 11 <= 120 else c - 11)
            seal_block(forged, at, length)
            return forged
        if op == 0xF9:
            p = varint_end(forged, varint_end(forged, p + 1))
        elif op == 0xFA:
            flags = forged[p + 1]
            p += 2
            if flags & 0x10:
                count = forged[p]
                p = varint_end(forged, p) + count
            move = (flags >> 5) & 3
            p = p + 1 if move == 2 else varint_end(forged, varint_end(forged, p)) if move == 3 else p
        else:
            p += 1
    raise SystemExit("no motion to change in the middle block")


def splice(first, second):
    """The first run's opening blocks, then the second's from the same frame on, with its trailer."""
    a = [b for b in blocks(first) if b[1] == ord("F")]
    b = blocks(second)
    cut = min(len(a) // 2, len([x for x in b if x[1] == ord("F")]) - 1)
    return bytearray(first[:a[cut][0]]) + second[b[cut][0]:]


def with_header(data, logic_version=None, start_time=None):
    forged = bytearray(data)
    if logic_version is not None:
        struct.pack_into("<I", forged, 12, logic_version)
    if start_time is not None:
        struct.pack_into("<q", forged, 24, start_time)
    seal_header(forged)
    return forged


def has_csp(response):
    return response.getheader("Content-Security-Policy", "").startswith("default-src 'self'")


def case_runs():
    long_run, short_run = record("playthrough.txt"), record("shoot_enemy.txt")
    # A run sent only forged: the same input stream as a run on the board is that run again.
    other_run = record("death_restart.txt")
    # This case sends a few dozen uploads at once, more than a player's burst.
    board = Board("--workers", "1", "--upload-burst", "100")
    before = board.metrics()
    status, answer = board.upload(bytes(long_run), "Ava")
    check(status == 202 and answer["status"] == "pending" and answer["status_url"].endswith(str(answer["run_id"])),
          f"an upload is pending: {status} {answer}")
    long_id = answer["run_id"]
    status, short_answer = board.upload(bytes(short_run), "Zoë O'Brien")
    check(status == 202, f"a second run is pending: {status} {short_answer}")
    run = board.settled(long_id)
    check(run["status"] == "verified" and run["rank"] == 1 and run["frames"] > 0, f"the run is verified first: {run}")
    short = board.settled(short_answer["run_id"])
    check(short["status"] == "verified" and short["player"] == "Zoë O'Brien", f"the second run is verified: {short}")
    check(run["score"] >= short["score"], "the better score ranks first")
    after = board.metrics()
    for sample, least in (('zorvalen_board_uploads_total{outcome="accepted"}', 2),
                          ('zorvalen_board_requests_total{route="upload",status="202"}', 2),
                          ('zorvalen_board_verdicts_total{status="verified"}', 2),
                          ('zorvalen_board_verification_seconds_count', 2),
                          ('zorvalen_board_verification_seconds_bucket{le="+Inf"}', 2),
                          ('zorvalen_board_requests_total{route="metrics",status="200"}', 1)):
        check(after.get(sample, 0) - before.get(sample, 0) >= least, f"{sample} moves: {before.get(sample)} -> {after.get(sample)}")
    check(after.get("zorvalen_board_queue_depth") == 0 and after.get("zorvalen_board_database_errors_total") == 0,
          f"nothing waits, nothing failed: {after}")
    check(not any("/api/v1" in key for key in after), "the routes are names, never paths")
    for path in ("/healthz", "/readyz"):
        response, _ = board.request("GET", path)
        check(response.status == 200, f"{path}: {response.status}")

    # The runner's own client against the real board: it waits for the verdict and names the rank.
    sent = subprocess.run([TOOL, "--submit", f"http://127.0.0.1:{board.port}", "--name", "Desk",
                           os.path.join(WORK, "shoot_enemy.txt.zvr")],
                          capture_output=True, text=True, timeout=120)
    check(sent.returncode == 0 and "verified: rank" in sent.stdout + sent.stderr,
          f"zorvalen-replay --submit gets the verdict: {sent.returncode} {sent.stdout}{sent.stderr}")

    status, again = board.upload(bytes(long_run), "Someone Else")
    check(status == 200 and again["run_id"] == long_id, f"the same file is the same run: {status} {again}")
    status, again = board.upload(bytes(with_header(long_run, start_time=12345)), "Someone Else")
    check(status == 200 and again["run_id"] == long_id, f"the same input stream is the same run: {status} {again}")

    # Forgeries: each refused at once (422) or played and rejected, never ranked.
    claimed = run["score"] * 10 + 1000
    forged = {
        "a trailer claiming another score": (trailer_claiming_score(other_run, claimed), "rejected", "score"),
        "a changed input with its CRC made again": (changed_input(long_run), "rejected", "desync at frame"),
        "a splice of two runs": (splice(long_run, other_run), "rejected", "desync at frame"),
        "another logic version": (with_header(long_run, logic_version=7), 422, "logic version 1"),
        "a bare header": (long_run[:48], 422, "trailer"),
        "noise": (bytes(random.Random(3).randrange(256) for _ in range(5000)), 422, "not a replay"),
    }
    for what, (data, expected, words) in forged.items():
        status, answer = board.upload(bytes(data), "Forger")
        if status == 202:
            result = board.settled(answer["run_id"])
            check(result["status"] == "rejected" and result["reason"] and "rank" not in result,
                  f"{what}: rejected with a reason: {result}")
            check(expected in (None, "rejected") and (words is None or words in (result["reason"] or "")),
                  f"{what}: the reason names it: {result['reason']}")
        else:
            check(status == 422 and (words is None or words in answer["error"]), f"{what}: refused: {status} {answer}")

    # Too large: refused from its Content-Length alone, before a byte of the body is sent.
    with socket.create_connection(("127.0.0.1", board.port), timeout=10) as raw:
        raw.sendall(b"POST /api/v1/runs?name=Big HTTP/1.1\r\nHost: x\r\nContent-Length: 67108864\r\n\r\n")
        head = raw.recv(4096).decode("latin-1")
    check(head.startswith("HTTP/1.1 413"), f"a body past the limit is refused unread: {head[:40]}")
    response, _ = board.request("POST", "/api/v1/runs?name=Gz", bytes(long_run), {"Content-Encoding": "gzip"})
    check(response.status == 415, f"a content encoding is refused: {response.status}")

    for name in ["<b>markup</b>", "Robert'); DROP TABLE runs;--", "abc\u202edef", "x" * 10240, "", "e\u0301",
                 "tab\there", "\"quoted\""]:
        status, answer = board.upload(bytes(short_run), name)
        check(status == 422 and "letters, digits" in answer.get("error", ""), f"the name {name[:30]!r} is refused: {status}")

    response, body = board.request("GET", "/api/v1/board?limit=1")
    first = json.loads(body)
    check(response.status == 200 and has_csp(response), "the board's answer carries the policy")
    check([i["run_id"] for i in first["items"]] == [long_id] and first["next_cursor"], f"the first page: {first}")
    response, body = board.request("GET", "/api/v1/board?limit=1&cursor=" + first["next_cursor"])
    second = json.loads(body)
    check([(i["rank"], i["run_id"]) for i in second["items"]] == [(2, short["run_id"])], f"the next page: {second}")
    response, body = board.request("GET", f"/api/v1/board?around={short['run_id']}&limit=3")
    check([i["rank"] for i in json.loads(body)["items"]] == [1, 2], "around a run: the same ranks")
    response, body = board.request("GET", "/api/v1/board?player=" + "Zo%C3%AB%20O'Brien")
    check([i["rank"] for i in json.loads(body)["items"]] == [2], "one player's runs keep their ranks")
    response, _ = board.request("GET", "/api/v1/board?player=%FF%FE")
    check(response.status == 400, f"a name no upload could have is a bad request, on every store: {response.status}")

    response, body = board.request("GET", f"/runs/{long_id}.zvr?download=1")
    check(response.status == 200 and body == bytes(long_run), "the replay comes back as it was sent")
    check(response.getheader("ETag") == '"' + run_sha(long_run) + '"' and "immutable" in response.getheader(
        "Cache-Control") and "attachment" in response.getheader("Content-Disposition", ""), "its headers")
    response, body = board.request("GET", "/")
    check(response.status == 200 and has_csp(response) and b"board.js" in body, "the board's page")
    response, _ = board.request("GET", "/../CMakeLists.txt")
    check(response.status == 404 and has_csp(response), "nothing outside the page's folder")

    board.stop()
    logged = [dict(word.split("=", 1) for word in line.split() if "=" in word)
              for line in board.lines_logged().splitlines()]
    check(any(entry.get("event") == "request" and entry.get("route") == "upload" and entry.get("status") == "202" and
              entry.get("addr") == "127.0.0.1" and entry.get("method") == "POST" and "ms" in entry and "time" in entry
              for entry in logged), "a log line for each request")
    check(any(entry.get("event") == "verdict" and entry.get("run") == str(long_id) and entry.get("status") == "verified"
              for entry in logged), "a log line for each verdict")
    # Hidden by the command line while a board serves (and keeps) its views: SQLite's views follow
    # at once, a shared database's within about a second.
    board = Board("--workers", "0")
    response, body = board.request("GET", "/api/v1/board")
    check([i["run_id"] for i in json.loads(body)["items"]] == [long_id, short["run_id"]], "both on the board")
    out = subprocess.run([BOARD, "--database", DATABASE, "--hide", str(long_id), "--reason",
                          "a test"], capture_output=True, text=True)
    check(out.returncode == 0, "--hide " + out.stderr)

    def board_now():
        return [(i["rank"], i["run_id"]) for i in json.loads(board.request("GET", "/api/v1/board")[1])["items"]]
    check(board_now() == [(1, short["run_id"])] if STORE == "sqlite" else
          wait_until(lambda: board_now() == [(1, short["run_id"])], 5), f"a hidden run leaves the board: {board_now()}")
    response, body = board.request("GET", "/api/v1/board")
    # A copy made while the board runs opens as the same board.
    copy = os.path.join(WORK, "copy.sqlite")
    out = subprocess.run([BOARD, "--database", DATABASE, "--backup", copy], capture_output=True, text=True)
    if STORE == "postgresql":
        check(out.returncode != 0 and "pg_dump" in out.stderr, f"--backup names pg_dump for PostgreSQL: {out.stderr}")
    else:
        check(out.returncode == 0, f"--backup: {out.stderr}")
        copied = Board("--workers", "0", database="sqlite:" + copy)
        _, copied_body = copied.request("GET", "/api/v1/board")
        check(json.loads(copied_body) == json.loads(body) and copied.run(short["run_id"]) == board.run(short["run_id"]),
              "the copy holds the same runs")
        copied.stop()
    board.stop()

    # A flood from one address meets its bucket; X-Forwarded-For counts only from the trusted proxy.
    for trusted in (False, True):
        board = Board("--workers", "0", "--upload-rate", "6", "--upload-burst", "3",
                      *(["--trust-proxy", "127.0.0.1"] if trusted else []))
        sent = [board.request("POST", "/api/v1/runs?name=Flood", b"noise" * 20, {"X-Forwarded-For": "10.0.0.1"})[0]
                for _ in range(4)]
        check([r.status for r in sent] == [422, 422, 422, 429] and sent[3].getheader("Retry-After", "").isdigit() and
              int(sent[3].getheader("Retry-After")) >= 1, f"the fourth upload at once is 429 with Retry-After: "
              f"{[(r.status, r.getheader('Retry-After')) for r in sent]}")
        response, _ = board.request("POST", "/api/v1/runs?name=Flood", b"noise" * 20,
                                    {"X-Forwarded-For": "192.0.2.9, 10.0.0.2"})
        check(response.status == (422 if trusted else 429),
              f"another forwarded address {'has its own bucket' if trusted else 'is the same peer'}: {response.status}")
        board.stop()
        check(("addr=10.0.0.2 " in board.lines_logged()) == trusted, "the logged address follows --trust-proxy")
    # The queue is bounded by the runs pending in the database, which every front end counts.
    board = Board("--workers", "0", "--queue", "1",
                  database=CLUSTER.create("queue") if STORE == "postgresql" else f"sqlite:{WORK}/queue.sqlite")
    first_status, _ = board.upload(bytes(short_run), "Queued")
    response, _ = board.request("POST", "/api/v1/runs?name=Queued", bytes(long_run))
    check(first_status == 202 and response.status == 503 and response.getheader("Retry-After", "").isdigit(),
          f"a full queue is 503 with Retry-After: {first_status} {response.status}")
    board.stop()
    if STORE == "postgresql":
        audit = [(a, int(i), r, w) for a, i, r, w in CLUSTER.query("board", "SELECT action, run_id, reason, who FROM audit")]
    else:
        import sqlite3
        audit = sqlite3.connect(f"{WORK}/board.sqlite").execute("SELECT action, run_id, reason, who FROM audit").fetchall()
    check(len(audit) == 1 and audit[0][:3] == ("hide", long_id, "a test") and audit[0][3], f"the audit table: {audit}")


def run_sha(data):
    import hashlib
    return hashlib.sha256(bytes(data)).hexdigest()


def case_crash():
    """kill -9 with a run waiting, and again while one is being verified: nothing acknowledged is lost."""
    first, second = record("playthrough.txt"), record("shoot_enemy.txt")
    board = Board("--workers", "0")
    status, waiting = board.upload(bytes(first), "Kept")
    check(status == 202, "acknowledged while nothing verifies")
    board.kill()
    board = Board("--workers", "1")
    status, busy = board.upload(bytes(second), "Busy")
    board.kill()  # most likely while the first or this one is being played
    board = Board("--workers", "1")
    for run_id in (waiting["run_id"], busy["run_id"]):
        run = board.settled(run_id)
        check(run["status"] == "verified", f"run {run_id} is verified after the restart: {run}")
    response, body = board.request("GET", "/api/v1/board")
    check(len(json.loads(body)["items"]) == 2, "both on the board, nothing half written")
    board.stop()


def case_slow():
    """A request that trickles in is cut off at its limit, however steadily it trickles; a verifier
    that hangs (its game's first file a pipe nobody writes) is killed at its limit, its run rejected."""
    board = Board("--workers", "0", "--request-seconds", "2")
    started = time.time()
    closed_after = None
    with socket.create_connection(("127.0.0.1", board.port), timeout=10) as raw:
        for byte in b"POST /api/v1/runs?name=Slow HTTP/1.1\r\nHost: x\r\n" * 4:
            try:
                raw.sendall(bytes([byte]))
                raw.settimeout(0.5)
                if raw.recv(1) == b"":
                    closed_after = time.time() - started
                    break
            except socket.timeout:
                continue
            except OSError:
                closed_after = time.time() - started
                break
    check(closed_after is not None and closed_after < 6, f"the slow client is cut off: after {closed_after}")
    response, _ = board.request("GET", "/api/v1/board")
    check(response.status == 200, "and the board still answers others")
    board.stop()

    hanging = os.path.join(WORK, "hanging-assets")
    os.mkdir(hanging)
    os.mkfifo(os.path.join(hanging, "Player.tga"))
    board = Board("--workers", "1", "--assets", hanging, "--verify-seconds", "2")
    status, answer = board.upload(bytes(record("walk_right.txt")), "Patient")
    run = board.settled(answer["run_id"], 30)
    check(run["status"] == "rejected" and "ran past its 2 s" in (run["reason"] or ""),
          f"a hanging verifier is stopped and its run rejected: {run}")
    board.stop()

    # Stopping the board does not wait for a verifier, nor judge its run: the run stays pending.
    board = Board("--workers", "1", "--assets", hanging)
    status, answer = board.upload(bytes(record("rocket_column.txt")), "Patient")
    time.sleep(1)
    began = time.time()
    board.stop()
    check(time.time() - began < 5, f"the board stops at once: {time.time() - began:.1f} s")
    board = Board("--workers", "0")
    check(board.run(answer["run_id"])["status"] == "pending", "the run it was verifying waits for the next start")
    board.stop()


class Verifier:
    """zorvalen-board --verify-only, its log in a file: one line per verdict it kept or dropped."""

    def __init__(self, database, *options):
        self.log = tempfile.NamedTemporaryFile("w+", dir=WORK, suffix=".log", delete=False)
        self.process = subprocess.Popen([BOARD, "--verify-only", "--database", database, "--workers", "1",
                                         "--lease-seconds", "3", *options],
                                        stdout=subprocess.PIPE, stderr=self.log, text=True)
        line = self.process.stdout.readline()
        if "verifying" not in line:
            raise SystemExit("the verifier did not start: " + line + open(self.log.name).read())

    def lines(self):
        return open(self.log.name).read().splitlines()


def wait_until(condition, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return False


def case_shared():
    """Two front ends that do not verify and two verifiers on one PostgreSQL database: every run is
    verified once in effect. A verifier killed with kill -9 mid-run, and one stopped past its
    lease, leave their runs to the others; the stopped one's late verdict changes nothing."""
    if STORE != "postgresql":
        raise SystemExit("the shared case is PostgreSQL's")
    url = CLUSTER.create("shared")
    # Two boards starting together on a new database: one migrates it, both serve.
    fronts = [Board("--workers", "0", database=url, wait=False) for _ in range(2)]
    for front in fronts:
        front.ready()
    check(CLUSTER.query("shared", "SELECT version FROM board_schema") == [["1"]], "the schema made once")

    def pending_claimed():
        return CLUSTER.query("shared", "SELECT id FROM runs WHERE status = 'pending' AND lease_token != 0 ORDER BY id")

    # Verifiers whose games hang (their first file a pipe nobody writes): caught mid-run at will.
    hanging = os.path.join(WORK, "hanging-assets")
    os.mkdir(hanging)
    os.mkfifo(os.path.join(hanging, "Player.tga"))
    killed = Verifier(url, "--assets", hanging)
    stopped = Verifier(url, "--assets", hanging, "--verify-seconds", "8")
    replays = [record(script) for script in ("walk_right.txt", "shoot_enemy.txt", "death_restart.txt",
                                             "rocket_column.txt", "start_play.txt", "escape.txt")]
    ids = []
    for i, data in enumerate(replays[:2]):
        status, answer = fronts[i % 2].upload(bytes(data), f"Shared{i}")
        check(status == 202, f"front end {i % 2} takes a run: {status} {answer}")
        ids.append(answer["run_id"])
    check(wait_until(lambda: len(pending_claimed()) == 2, 30), "both hanging verifiers claim a run")
    killed.process.send_signal(signal.SIGKILL)
    killed.process.wait()
    stopped.process.send_signal(signal.SIGSTOP)

    watched_port = free_port()
    verifiers = [Verifier(url, "--listen", f"127.0.0.1:{watched_port}"), Verifier(url)]
    for i, data in enumerate(replays[2:], 2):
        status, answer = fronts[i % 2].upload(bytes(data), f"Shared{i}")
        check(status == 202, f"front end {i % 2} takes a run: {status} {answer}")
        ids.append(answer["run_id"])
    for run_id in ids:
        run = fronts[run_id % 2].settled(run_id, 120)
        check(run["status"] == "verified", f"run {run_id} is verified by a verifier still running: {run}")

    # A verifier given --listen answers for itself there: its metrics and health, nothing else.
    watched = http.client.HTTPConnection("127.0.0.1", watched_port, timeout=10)
    watched.request("GET", "/metrics")
    text = watched.getresponse().read().decode()
    counted = [float(line.split()[-1]) for line in text.splitlines()
               if line.startswith('zorvalen_board_verdicts_total{status="verified"}')]
    check(counted and "zorvalen_board_verification_seconds_bucket" in text,
          f"the verifier's /metrics counts its verdicts and their seconds: {text[:200]}")
    watched.request("GET", "/api/v1/board")
    response = watched.getresponse()
    response.read()
    check(response.status == 404, f"and serves no board: {response.status}")
    watched.close()
    stopped.process.send_signal(signal.SIGCONT)
    check(wait_until(lambda: any("kept=dropped" in line for line in stopped.lines()), 60),
          f"the stopped verifier's late verdict is dropped: {stopped.lines()}")
    kept = {}
    for verifier in verifiers + [stopped]:
        for line in verifier.lines():
            fields = dict(word.split("=", 1) for word in line.split() if "=" in word)
            if fields.get("event") == "verdict" and fields.get("kept") == "yes":
                kept[int(fields["run"])] = kept.get(int(fields["run"]), 0) + 1
    check(kept == {run_id: 1 for run_id in ids}, f"each run's verdict kept once: {kept}")
    for run_id in ids:
        run = fronts[0].run(run_id)
        check(run["status"] == "verified", f"run {run_id} stays verified after the late verdict: {run}")
    response, body = fronts[1].request("GET", "/api/v1/board?limit=10")
    check(sorted(i["run_id"] for i in json.loads(body)["items"]) == sorted(ids), "both front ends show every run")
    for process in [v.process for v in verifiers + [stopped]]:
        process.send_signal(signal.SIGTERM)
        process.wait(timeout=30)
    for front in fronts:
        front.stop()


def runs_of_their_own(count, frames=120):
    """Short runs, each with an input stream of its own (the board takes a stream once)."""
    rng = random.Random(count)
    runs = []
    for i in range(count):
        path = os.path.join(WORK, f"own{i}.txt")
        lines = ["1 SPACE"]
        while len(lines) < frames:
            keys = [key for key in ("W", "A", "S", "D", "LMB") if rng.random() < 0.4]
            lines.append(f"1 {' '.join(keys)} dx={rng.randint(-9, 9)} dy={rng.randint(-9, 9)}")
        open(path, "w").write("\n".join(lines) + "\n")
        runs.append(record(path))
    return runs


class Uploads(threading.Thread):
    """Sends runs one after another to whichever board is `self.board` now, each again and again
    until it is acknowledged (202, or 200 for one kept before its answer was lost)."""

    def __init__(self, runs, board, pace=0.0):
        super().__init__(daemon=True)
        self.runs, self.board, self.pace = runs, board, pace
        self.statuses, self.acknowledged = [], []

    def run(self):
        for i, data in enumerate(self.runs):
            while True:
                try:
                    status, answer = self.board.upload(bytes(data), f"Load{i}")
                except (OSError, http.client.HTTPException, ValueError):
                    status, answer = None, None
                self.statuses.append(status)
                if status in (200, 202):
                    self.acknowledged.append(answer["run_id"])
                    break
                time.sleep(0.05)
            time.sleep(self.pace)

    def wait_for(self, count, seconds=60):
        return wait_until(lambda: len(self.acknowledged) >= count, seconds)


def all_verified(board, ids, what):
    for run_id in sorted(set(ids)):
        run = board.settled(run_id, 120)
        check(run.get("status") == "verified", f"{what}: run {run_id} is verified: {run}")
    _, body = board.request("GET", "/api/v1/board?limit=100")
    on_board = sorted(item["run_id"] for item in json.loads(body)["items"])
    check(on_board == sorted(set(ids)), f"{what}: the board holds the runs acknowledged and nothing else: "
          f"{on_board} against {sorted(set(ids))}")


def case_faults():
    """kill -9 of the board twice while runs stream in; on PostgreSQL, the database stopped and
    started under that load: 503 with Retry-After meanwhile, the board back by itself, nothing
    acknowledged lost and nothing stuck pending."""
    runs = runs_of_their_own(30)
    board = Board("--workers", "1", "--lease-seconds", "3", "--upload-rate", "0")
    uploads = Uploads(runs[:14], board)
    uploads.start()
    for count in (4, 9):
        check(uploads.wait_for(count), f"{count} runs acknowledged: {uploads.statuses[-5:]}")
        board.kill()
        uploads.board = board = Board("--workers", "1", "--lease-seconds", "3", "--upload-rate", "0")
    uploads.join(120)
    check(len(uploads.acknowledged) == 14, f"every run acknowledged in the end: {len(uploads.acknowledged)}")
    all_verified(board, uploads.acknowledged, "after two kill -9")
    before = uploads.acknowledged
    if STORE != "postgresql":
        board.stop()
        return

    uploads = Uploads(runs[14:], board, pace=0.3)
    uploads.start()
    check(uploads.wait_for(2), "runs acknowledged before the database stops")
    CLUSTER.pause()
    check(wait_until(lambda: 503 in uploads.statuses, 30), f"uploads meet 503 meanwhile: {uploads.statuses[-5:]}")
    response, _ = board.request("GET", "/readyz")
    check(response.status == 503, f"/readyz says the database is away: {response.status}")
    response, body = board.request("POST", "/api/v1/runs?name=Away", bytes(runs[-1]),
                                   {"Content-Type": "application/octet-stream"})
    check(response.status == 503 and response.getheader("Retry-After", "").isdigit(),
          f"503 with Retry-After: {response.status} {response.getheader('Retry-After')} {body[:100]}")
    time.sleep(1)
    CLUSTER.resume()
    check(wait_until(lambda: board.request("GET", "/readyz")[0].status == 200, 30), "the board reconnects by itself")
    uploads.join(120)
    check(set(uploads.statuses) <= {200, 202, 503}, f"no other answer meanwhile: {set(uploads.statuses)}")
    check(len(uploads.acknowledged) == len(runs) - 14, "every run acknowledged in the end")
    all_verified(board, before + uploads.acknowledged, "after the database came back")
    board.stop()


def case_disk():
    """A disk that fills (a small tmpfs of a private mount namespace): uploads meet 507 and a
    line that says why, what is stored stays whole and readable, and with room made the runs
    kept are verified."""
    if os.environ.get("BOARD_TEST_MOUNTED") != "1":
        os.environ["BOARD_TEST_MOUNTED"] = "1"
        try:
            os.execvp("unshare", ["unshare", "--map-root-user", "--mount", "--", sys.executable, *sys.argv])
        except OSError as failure:
            print("SKIP: no private mount namespace here:", failure)
            sys.exit(77)
    disk = os.path.join(WORK, "disk")
    os.mkdir(disk)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=160k", "tmpfs", disk]).returncode != 0:
        print("SKIP: cannot mount a small tmpfs here")
        sys.exit(77)
    database = f"sqlite:{disk}/board.sqlite"
    runs = runs_of_their_own(60, 600)
    board = Board("--workers", "1", database=database)
    acknowledged, refused = [], None
    for i, data in enumerate(runs):
        status, answer = board.upload(bytes(data), f"Disk{i}")
        if status == 202:
            acknowledged.append(answer["run_id"])
        else:
            refused = (status, answer)
            break
    check(acknowledged and refused and refused[0] == 507 and "disk is full" in refused[1].get("error", ""),
          f"uploads on a full disk meet 507, after {len(acknowledged)} kept: {refused}")
    response, _ = board.request("GET", "/api/v1/board")
    check(response.status == 200, f"the board still answers: {response.status}")
    for run_id in acknowledged:
        check(board.request("GET", f"/api/v1/runs/{run_id}")[0].status == 200, f"run {run_id} is still there")
    subprocess.run(["mount", "-o", "remount,size=64m", disk], check=True)
    all_verified(board, acknowledged, "with room made")
    board.stop()
    import sqlite3
    db = sqlite3.connect(f"{disk}/board.sqlite")
    check(db.execute("PRAGMA integrity_check").fetchone()[0] == "ok", "the database is whole")
    check(db.execute("SELECT COUNT(*) FROM runs").fetchone()[0] == len(acknowledged), "and holds what was kept")


def raw_status(port, data, source="127.0.0.1"):
    """The status of the answer to bytes sent as they are, or None where the server closed."""
    with socket.create_connection(("127.0.0.1", port), timeout=10, source_address=(source, 0)) as raw:
        raw.sendall(data)
        try:
            head = raw.recv(4096).decode("latin-1")
        except ConnectionResetError:
            return None
    return int(head.split()[1]) if head.startswith("HTTP/1.") else None


def case_abuse():
    """With the limits as they ship: a slow-loris holding hundreds of connections from one address
    and a flood of 300 uploads from another leave a third served; requests that lie, overflow or
    make no sense are each a 4xx."""
    board = Board("--workers", "0")
    replay = bytes(record("walk_right.txt"))
    loris = []
    for _ in range(300):
        try:
            held = socket.create_connection(("127.0.0.1", board.port), timeout=5, source_address=("127.0.0.2", 0))
            held.sendall(b"GET /api/v1/board HTTP/1.1\r\nHost: x\r\n")
            loris.append(held)
        except OSError:
            pass
    started = time.time()
    response, _ = board.request("GET", "/api/v1/board")
    check(response.status == 200 and time.time() - started < 2,
          f"{len(loris)} slow connections from one address leave others served: {response.status}")
    flood = [raw_status(board.port, b"POST /api/v1/runs?name=Flood HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                        str(len(replay)).encode() + b"\r\nConnection: close\r\n\r\n" + replay, "127.0.0.3")
             for _ in range(300)]
    check(flood[0] in (200, 202) and flood.count(429) >= 280, f"a flood of 300 uploads meets 429: "
          f"{ {status: flood.count(status) for status in set(flood)} }")
    status, answer = board.upload(bytes(record("shoot_enemy.txt")), "Neighbour")
    check(status == 202, f"and another address uploads as ever: {status} {answer}")
    for held in loris:
        held.close()

    odd = {
        "a body shorter than its length says": b"POST /api/v1/runs?name=Liar HTTP/1.1\r\nHost: x\r\n"
                                                  b"Content-Length: 5\r\n\r\n" + replay[:5],
        "a body longer than its length says": b"POST /api/v1/runs?name=Liar HTTP/1.1\r\nHost: x\r\n"
                                                 b"Content-Length: 40\r\nConnection: close\r\n\r\n" + replay,
        "a chunked body over the limit": b"POST /api/v1/runs?name=Chunks HTTP/1.1\r\nHost: x\r\n"
                                         b"Transfer-Encoding: chunked\r\n\r\n" + b"100000\r\n" + b"x" * 65536,
        "a path up and out": b"GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n",
        "a path with a NUL": b"GET /index.html%00.css HTTP/1.1\r\nHost: x\r\n\r\n",
        "a raw NUL in the path": b"GET /ind\x00ex.html HTTP/1.1\r\nHost: x\r\n\r\n",
        "an unknown method": b"BREW / HTTP/1.1\r\nHost: x\r\n\r\n",
        "a header of 64 KB": b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * 65536 + b"\r\n\r\n",
    }
    for what, data in odd.items():
        status = raw_status(board.port, data)
        check(status is not None and 400 <= status < 500, f"{what}: a 4xx, not {status}")
    response, _ = board.request("GET", "/api/v1/board")
    check(response.status == 200, "the board answers after all of it")
    board.stop()


{"runs": case_runs, "crash": case_crash, "slow": case_slow, "shared": case_shared, "faults": case_faults,
 "disk": case_disk, "abuse": case_abuse}[CASE]()
if failures:
    sys.exit(1)
print("ok")
