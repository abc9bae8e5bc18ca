#!/usr/bin/env python3
"""A local RFC 3161 time-stamp responder for the signing tests.

tsa_responder.py CONFIG [IDLE]: answers every POSTed time-stamp query with
`openssl ts -reply -config CONFIG`, on 127.0.0.1 at a free port, which it
prints first. It stops by itself IDLE seconds (60 unless given) after its
last request, so that a test that dies leaves nothing running.
"""
import http.server
import os
import subprocess
import sys
import tempfile
import time

config = sys.argv[1]
idle = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
last = time.monotonic()


class Responder(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        global last
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as d:
            q, r = os.path.join(d, "query"), os.path.join(d, "reply")
            with open(q, "wb") as f:
                f.write(query)
            done = subprocess.run(["openssl", "ts", "-reply", "-config", config,
                                   "-queryfile", q, "-out", r],
                                  capture_output=True).returncode == 0
            reply = open(r, "rb").read() if done else b""
        last = time.monotonic()
        self.send_response(200 if done else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Responder)
server.timeout = 0.5
print(server.server_address[1], flush=True)
while time.monotonic() - last < idle:
    server.handle_request()
