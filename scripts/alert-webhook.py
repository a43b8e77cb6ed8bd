#!/usr/bin/env python3
"""A webhook receiver for the monitoring test: appends every notification
Alertmanager POSTs, with the time it arrived, as one JSON line to a file.

    alert-webhook.py PORT FILE     (listens on 127.0.0.1:PORT; GET answers 200)
"""
import json
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Receiver(BaseHTTPRequestHandler):
    def do_POST(self):
        received = time.time()
        length = int(self.headers.get("Content-Length", "0"))
        body = json.loads(self.rfile.read(length) or b"null")
        with open(self.server.log_path, "a", encoding="utf-8") as log:
            log.write(json.dumps({"received": received, "path": self.path, "body": body}) + "\n")
        self.send_response(200)
        self.end_headers()

    def do_GET(self):
        self.send_response(200)
        self.end_headers()

    def log_message(self, *args):
        pass


def main():
    server = ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Receiver)
    server.log_path = sys.argv[2]
    server.serve_forever()


if __name__ == "__main__":
    main()
