#!/usr/bin/env python3
"""A stand-in for a board, for the submit tests: answers as a board's API does, verifies nothing.

Prints its port, then serves on 127.0.0.1 until its standard input closes (or a minute passes).
Each upload is kept in OUT_DIR as upload-N.zvr with its name in upload-N.name. A run named
"Reject Me" is rejected; any other is verified at rank 2. The first ask after a run says it is
pending, so a client has to ask again."""

import json
import os
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MAGIC = b"\x8aZVR\r\n\x1a\n"
REJECTION = "trailer claims score 3400, the run scored 340"
out_dir = sys.argv[1]
runs = {}
lock = threading.Lock()


class Board(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, body):
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        url = urllib.parse.urlsplit(self.path)
        name = urllib.parse.parse_qs(url.query).get("name", [""])[0]
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if url.path != "/api/v1/runs":
            return self.answer(404, {"error": "no such page"})
        if self.headers.get("Content-Type") != "application/octet-stream" or not body.startswith(MAGIC):
            return self.answer(415, {"error": "a replay goes up as application/octet-stream"})
        if not 1 <= len(name) <= 24:
            return self.answer(422, {"error": "a name is 1 to 24 letters, digits, spaces and -_.'"})
        with lock:
            run_id = "r%d" % (len(runs) + 1)
            runs[run_id] = {"name": name, "asked": 0}
            with open("%s/upload-%d.zvr" % (out_dir, len(runs)), "wb") as f:
                f.write(body)
            with open("%s/upload-%d.name" % (out_dir, len(runs)), "w", encoding="utf-8") as f:
                f.write(name)
        self.answer(202, {"run_id": run_id, "status": "pending", "status_url": "/api/v1/runs/" + run_id})

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/api/v1/board":
            around = urllib.parse.parse_qs(url.query).get("around", [""])[0]
            items = [{"rank": 1, "run_id": "best", "player": "Someone", "score": 99999}]
            if around in runs:
                items.append({"rank": 2, "run_id": around, "player": runs[around]["name"], "score": 340})
            return self.answer(200, {"items": items, "next_cursor": None})
        run_id = url.path.rsplit("/", 1)[-1]
        if not url.path.startswith("/api/v1/runs/") or run_id not in runs:
            return self.answer(404, {"error": "no such run"})
        with lock:
            run = runs[run_id]
            run["asked"] += 1
        status = "pending" if run["asked"] == 1 else ("rejected" if run["name"] == "Reject Me" else "verified")
        self.answer(200, {
            "run_id": run_id, "status": status, "player": run["name"], "score": 340, "level": 1,
            "frames": 600, "recorded_by": "desktop", "verified_at": None,
            "reason": REJECTION if status == "rejected" else None,
            "replay_url": "/runs/%s.zvr" % run_id, "watch_url": "/play/?watch=/runs/%s.zvr" % run_id})


server = ThreadingHTTPServer(("127.0.0.1", 0), Board)
print(server.server_address[1], flush=True)
threading.Thread(target=server.serve_forever, daemon=True).start()
stop = threading.Timer(60, lambda: os._exit(0))
stop.daemon = True
stop.start()
sys.stdin.read()
