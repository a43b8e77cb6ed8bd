#!/usr/bin/env python3
"""Hostile clients against one korvanthine-ctl serve on 127.0.0.1, one attack
at a time, each beside a loop of fresh-connection scrapes of /metrics (2 s
time-out, as Prometheus' usual). Prints one JSON line per attack: the
scrapes that got through and those tried, the longest, the passes a second
serve kept, and serve's peak resident memory. Every loop is bounded in count
and in time; every connection goes to 127.0.0.1 only.

    serve_attacks.py PORT SERVE_PID SECONDS_PER_ATTACK [--short] [ATTACK...]
"""
import json
import os
import random
import select
import socket
import sys
import threading
import time

HOST = "127.0.0.1"


def connect(port, rcvbuf=None, timeout=2.0):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if rcvbuf:
        # Before connect, so that the window offered is small from the start.
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.settimeout(timeout)
    s.connect((HOST, port))
    return s


def request(path, host="127.0.0.1", close=True):
    return ("GET %s HTTP/1.1\r\nHost: %s\r\n%s\r\n" % (path, host, "Connection: close\r\n" if close else "")).encode()


def read_all(s, deadline):
    data = b""
    while time.monotonic() < deadline:
        s.settimeout(max(0.01, deadline - time.monotonic()))
        chunk = s.recv(65536)
        if not chunk:
            break
        data += chunk
    return data


def sample(exposition, name):
    return float(exposition.split(b"\n" + name + b" ", 1)[1].split(b"\n", 1)[0])


class Scraper(threading.Thread):
    """A fresh connection for /metrics every half second, answered within 2 s or lost."""

    def __init__(self, port, stop):
        super().__init__(daemon=True)
        self.port, self.stop = port, stop
        self.tried = self.ok = 0
        self.longest = 0.0
        self.passes = []  # (korvanthine_last_pass_timestamp_seconds, korvanthine_passes_total)

    def run(self):
        while not self.stop.is_set():
            started = time.monotonic()
            self.tried += 1
            try:
                s = connect(self.port)
                s.sendall(request("/metrics"))
                data = read_all(s, started + 2.0)
                s.close()
                took = time.monotonic() - started
                if data.startswith(b"HTTP/1.1 200") and b"\nkorvanthine_passes_total " in data and took <= 2.0:
                    self.ok += 1
                    self.passes.append((sample(data, b"korvanthine_last_pass_timestamp_seconds"),
                                        sample(data, b"korvanthine_passes_total")))
                self.longest = max(self.longest, took)
            except OSError:
                self.longest = max(self.longest, time.monotonic() - started)
            self.stop.wait(max(0.0, 0.5 - (time.monotonic() - started)))


def peak_rss_mb(pid, stop, result):
    while not stop.is_set():
        try:
            with open("/proc/%d/status" % pid) as status:
                for line in status:
                    if line.startswith("VmRSS:"):
                        result[0] = max(result[0], int(line.split()[1]) / 1024.0)
        except OSError:
            pass
        stop.wait(0.2)


# Each attack runs until stop is set, bounded in its own count as well.

def slowloris(port, stop, scale, found):
    """Connections that send their request a byte a second."""
    text = request("/metrics", close=False)
    socks = []
    for _ in range(int(100 * scale)):
        try:
            socks.append([connect(port), 0])
        except OSError:
            pass
    while not stop.wait(1.0):
        for entry in socks:
            try:
                if entry[0] is None:
                    entry[0], entry[1] = connect(port), 0
                entry[0].send(text[entry[1] % len(text):][:1])
                entry[1] += 1
            except OSError:
                entry[0] = None
    for entry in socks:
        if entry[0]:
            entry[0].close()


def idle(port, stop, scale, found):
    """Connections that say nothing; each one closed is opened again."""
    socks = []
    for _ in range(int(200 * scale)):
        try:
            socks.append(connect(port))
        except OSError:
            pass
    while not stop.wait(0.2):
        readable, _, _ = select.select([s for s in socks if s], [], [], 0)
        for s in readable:
            socks.remove(s)
            s.close()
            try:
                socks.append(connect(port))
            except OSError:
                pass
    for s in socks:
        s.close()


def non_reading(port, stop, scale, found):
    """150 connections with a 2 KB window that pipeline requests and never read; each one the
    server ends is opened again at once, so that they hold every slot they can. The answers
    asked for (some 4 MB) are more than the server's socket buffers hold, as 50 answers of
    the page's full hour would be."""
    batch = request("/state.json?after=0", close=False) * 50 + request("/metrics", close=False) * 1000
    poller = select.poll()
    live = {}
    ended = select.POLLRDHUP | select.POLLHUP | select.POLLERR
    opened = 0
    while not stop.is_set() and opened < 100000:
        while len(live) < int(150 * scale) and not stop.is_set():
            try:
                s = connect(port, rcvbuf=2048)
            except OSError:
                break
            s.setblocking(False)
            try:
                s.send(batch)
            except OSError:
                pass
            live[s.fileno()] = s
            poller.register(s, ended)
            opened += 1
        for fd, _ in poller.poll(100):
            poller.unregister(fd)
            live.pop(fd).close()
    for s in live.values():
        s.close()


def trend_flood(port, stop, scale, found):
    """Clients loading the page's whole hour again and again."""
    def client():
        while not stop.is_set():
            try:
                s = connect(port, timeout=5.0)
                s.sendall(request("/state.json?after=0"))
                read_all(s, time.monotonic() + 5.0)
                s.close()
            except OSError:
                stop.wait(0.05)
    threads = [threading.Thread(target=client, daemon=True) for _ in range(int(60 * scale))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def garbage(port, stop, scale, found):
    """Random and mutated requests, each on a connection of its own."""
    rng = random.Random(1)
    seeds = [request("/metrics"), request("/state.json?after=0"), request("/"),
             b"GET /state.json?after=18446744073709551615 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
             b"GET /%ff%fe HTTP/1.0\r\n\r\n", b"HEAD /state.json?after=0 HTTP/1.1\r\nHost: x\r\n\r\n"]
    for _ in range(int(20000 * scale)):
        if stop.is_set():
            break
        data = bytearray(rng.choice(seeds))
        for _ in range(rng.randint(0, 8)):
            at = rng.randrange(len(data))
            choice = rng.random()
            if choice < 0.4:
                data[at] = rng.randrange(256)
            elif choice < 0.7:
                del data[at]
            else:
                data[at:at] = bytes(rng.randrange(256) for _ in range(rng.randint(1, 16)))
        try:
            s = connect(port, timeout=0.5)
            s.sendall(bytes(data))
            s.shutdown(socket.SHUT_WR)
            read_all(s, time.monotonic() + 0.5)
            s.close()
        except OSError:
            pass


def pipelined(port, stop, scale, found):
    """Many requests in one go on a few connections, read as they come."""
    per_connection = 1000
    for _ in range(int(20 * scale)):
        if stop.is_set():
            break
        try:
            s = connect(port, timeout=5.0)
            s.sendall(request("/metrics", close=False) * per_connection)
            read_all(s, time.monotonic() + 5.0)
            s.close()
        except OSError:
            pass


def resets(port, stop, scale, found):
    """Clients that ask for the whole hour and reset the connection mid-answer."""
    for _ in range(int(5000 * scale)):
        if stop.is_set():
            break
        try:
            s = connect(port)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            s.sendall(request("/state.json?after=0"))
            s.recv(1024)
            s.close()
        except OSError:
            pass


def rebinding(port, stop, scale, found):
    """A page of another site under a name that points here: every answer must be 421."""
    found["foreign_host_answered"] = 0
    for _ in range(int(2000 * scale)):
        if stop.is_set():
            break
        try:
            s = connect(port)
            s.sendall(request("/state.json?after=0", host="attacker.example:%d" % port))
            data = read_all(s, time.monotonic() + 2.0)
            s.close()
            if data and not data.startswith(b"HTTP/1.1 421"):
                found["foreign_host_answered"] += 1
        except OSError:
            pass


ATTACKS = {"slowloris": slowloris, "idle": idle, "non-reading": non_reading, "trend": trend_flood,
           "garbage": garbage, "pipelined": pipelined, "resets": resets, "rebinding": rebinding}


def run(name, port, pid, seconds, scale):
    stop = threading.Event()
    rss = [0.0]
    watcher = threading.Thread(target=peak_rss_mb, args=(pid, stop, rss), daemon=True)
    found = {}  # what an attack saw that it must not have
    attack = threading.Thread(target=ATTACKS[name], args=(port, stop, scale, found), daemon=True)
    scraper = Scraper(port, stop)
    started = time.time()
    watcher.start()
    attack.start()
    time.sleep(0.5)  # the attack under way before the first scrape
    scraper.start()
    time.sleep(seconds)
    stop.set()
    scraper.join(5)
    attack.join(15)
    watcher.join(2)
    # Passes between the first and the last pass seen, over the time between
    # their ends: exact, however the scrapes fell between passes.
    passes = scraper.passes
    rate = ((passes[-1][1] - passes[0][1]) / (passes[-1][0] - passes[0][0])
            if len(passes) > 1 and passes[-1][0] > passes[0][0] else 0.0)
    return {"attack": name, "start": started, "end": time.time(), "scrapes_ok": scraper.ok,
            "scrapes_tried": scraper.tried, "longest_s": round(scraper.longest, 3),
            "passes_per_s": round(rate, 3), "peak_rss_mb": round(rss[0], 1), "found": found}


def main():
    port, pid, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    rest = sys.argv[4:]
    scale = 0.3 if "--short" in rest else 1.0
    names = [a for a in rest if a != "--short"] or list(ATTACKS)
    for name in names:
        print(json.dumps(run(name, port, pid, seconds, scale)), flush=True)
        time.sleep(1.0)  # what one attack left behind goes before the next


if __name__ == "__main__":
    main()
