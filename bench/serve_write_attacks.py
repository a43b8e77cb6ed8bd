#!/usr/bin/env python3
"""An operator's writes and a scrape's latency while serve's write path is
under attack, on the simulator, everything on 127.0.0.0/8. Each attack gets
a fresh simulator and a fresh serve (sampling every second, TLS, basic
auth, an operator), so that no attack inherits another's failure counts or
remembered passwords. Before the attack the scraper's password is
verified once, as Prometheus' would be long since; the operator's is not,
so the first write of each attack is also the operator's first login.

  select    a local client (root) sends a channel select through serve's
            endpoint every 1.5 s and nothing after it
  guessing  40 clients, each on its own 127.1.N.1 (40 networks), send wrong
            passwords for 8 s, one request at a time each
  places    8 connections of one local user (root), each a query every 2 s,
            then another user's `korvanthine-ctl get` (needs root: a system
            user korvanthine-outsider is made if missing)
  unknown   two requests naming unknown users, then the operator's first
            login 50 ms later
  refusal   not an attack: 10 wrong passwords each for users of bcrypt cost
            4, 10 and 14 and for an unknown user, each group from its own
            network, timed from the request's last byte to the answer

Prints one JSON line per attack and build, then the tables.

    serve_write_attacks.py [--attack NAME]... BUILD [BUILD...]

BUILD is a build folder with ctl/korvanthine-ctl and sim/korvanthine-sim.
With two, the first is "before" and the second "after" in the tables.
Needs openssl and htpasswd (apache2-utils); the places attack needs root.
"""
import base64
import http.client
import json
import os
import pwd
import signal
import socket
import ssl
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HOST = "127.0.0.1"
PASSWORDS = {"alice": "alice's long password", "bob": "bob's password", "carol": "carol's password",
             "prometheus": "the scraper's password"}
COSTS = {"alice": 10, "bob": 4, "carol": 14, "prometheus": 10}
OUTSIDER = "korvanthine-outsider"
ATTACK_SECONDS = 10.0  # the window in which the operator writes and the scraper scrapes


def frame(body):
    """A request frame of the command set: "*", address 00, body, checksum, CR."""
    text = "00" + body
    return ("*%s%02x\r" % (text, sum(map(ord, text)) & 0xFF)).encode()


SELECT_CHANNEL_2 = frame("20" + "00000001")
VERSION_QUERY = frame("00")


def read_answer(s):
    """The endpoint's answer to one request: its kind ("X" an exchange, "W" a
    write refused, "R" refused and closed), its rest read; OSError when the
    connection ends first."""
    kind = s.recv(1)
    if not kind:
        raise ConnectionError("the endpoint closed the connection")
    if kind == b"X":
        rest = b""
        while len(rest) < 14:
            chunk = s.recv(14 - len(rest))
            if not chunk:
                raise ConnectionError("the endpoint closed the connection")
            rest += chunk
    else:
        line = b""
        while not line.endswith(b"\n") and len(line) < 4096:
            chunk = s.recv(256)
            if not chunk:
                break
            line += chunk
    return kind.decode(errors="replace")


def quantile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))] if values else float("nan")


def basic(user, password):
    return "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode()).decode()


class Https:
    """One HTTPS connection to serve, from a chosen source address."""

    def __init__(self, port, source=None, timeout=60.0):
        self.context = ssl.create_default_context()
        self.context.check_hostname = False
        self.context.verify_mode = ssl.CERT_NONE
        self.port, self.source, self.timeout = port, source, timeout
        self.connection = None

    def open(self):
        self.connection = http.client.HTTPSConnection(HOST, self.port, timeout=self.timeout, context=self.context,
                                                      source_address=(self.source, 0) if self.source else None)
        self.connection.connect()

    def ask(self, method, path, user, password, body=None):
        """(status, body); the connection is opened when there is none."""
        if self.connection is None:
            self.open()
        headers = {"Authorization": basic(user, password), "Host": "%s:%d" % (HOST, self.port)}
        if body is not None:
            headers["Content-Type"] = "application/json"
        self.connection.request(method, path, body=body, headers=headers)
        answer = self.connection.getresponse()
        data = answer.read()
        if answer.getheader("Connection", "").lower() == "close":
            self.close()
        return answer.status, data

    def close(self):
        if self.connection is not None:
            self.connection.close()
            self.connection = None


class Bench:
    """A simulator and serve on it with the run's web configuration."""

    def __init__(self, build, folder, config, device_for_all=False):
        self.dir = tempfile.mkdtemp(dir=folder)
        os.chmod(self.dir, 0o755)  # the places attack's second user reaches the endpoint through it
        self.ports = os.path.join(self.dir, "ports")
        self.run = os.path.join(self.dir, "run")
        os.makedirs(self.run)
        os.chmod(self.run, 0o755)
        env = dict(os.environ, KORVANTHINE_PORTS=self.ports, XDG_RUNTIME_DIR=self.run)
        self.env = env
        self.ctl = os.path.join(build, "ctl", "korvanthine-ctl")
        self.sim = subprocess.Popen([os.path.join(build, "sim", "korvanthine-sim"), "--ports-dir", self.ports],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        if not self.sim.stdout.readline().startswith("READY"):
            raise RuntimeError("the simulator did not start")
        self.device = os.path.realpath(os.path.join(self.ports, "com1"))
        if not os.path.exists(self.device):
            self.device = os.path.realpath(os.path.join(self.ports, "COM1"))
        if device_for_all:
            # Before serve starts: it takes the device's permissions when it
            # offers the line, as those its clients must have.
            os.chmod(self.device, 0o666)
        probe = socket.socket()
        probe.bind((HOST, 0))
        self.port = probe.getsockname()[1]
        probe.close()
        self.log = open(os.path.join(self.dir, "serve.err"), "w")
        self.serve = subprocess.Popen([self.ctl, "serve", "-p", "COM1", "--interval", "1", "--listen",
                                       "%s:%d" % (HOST, self.port), "--web.config.file", config],
                                      env=env, stdout=self.log, stderr=self.log)
        deadline = time.monotonic() + 30
        while True:
            try:
                status, _ = Https(self.port, timeout=5).ask("GET", "/metrics", "prometheus", PASSWORDS["prometheus"])
                if status == 200:
                    break
            except OSError:
                pass
            if time.monotonic() > deadline or self.serve.poll() is not None:
                raise RuntimeError("serve did not answer: " + open(self.log.name).read()[-2000:])
            time.sleep(0.2)
        self.socket_path = None
        folder = os.path.join(self.run, "korvanthine")
        for _ in range(50):
            names = [n for n in os.listdir(folder) if n.endswith(".sock")] if os.path.isdir(folder) else []
            if names:
                self.socket_path = os.path.join(folder, names[0])
                break
            time.sleep(0.1)

    def stop(self):
        for process in (self.serve, self.sim):
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.log.close()


class Scraper(threading.Thread):
    """/metrics every 0.1 s on one kept-alive connection, as Prometheus scrapes."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port, self.stop = port, threading.Event()
        self.took, self.failed = [], 0

    def run(self):
        https = Https(self.port, timeout=10)
        while not self.stop.is_set():
            started = time.monotonic()
            try:
                status, _ = https.ask("GET", "/metrics", "prometheus", PASSWORDS["prometheus"])
                if status != 200:
                    self.failed += 1
            except (OSError, http.client.HTTPException):
                self.failed += 1
                https.close()
            self.took.append(time.monotonic() - started)
            self.stop.wait(max(0.0, 0.1 - (time.monotonic() - started)))
        https.close()


def operator_write(port, temperature):
    """(seconds, status) of one POST /settings on a fresh connection, as curl makes it."""
    started = time.monotonic()
    body = json.dumps({"channel": 2, "set_temperature": temperature})
    https = Https(port, timeout=60)
    try:
        status, _ = https.ask("POST", "/settings", "alice", PASSWORDS["alice"], body)
    except (OSError, http.client.HTTPException) as error:
        status = type(error).__name__
    https.close()
    return time.monotonic() - started, status


def operator_writes(port, stop, writes):
    """A write every 1.5 s (or when the last is answered, if later) until stop."""
    n = 0
    while not stop.is_set() and n < 100:
        started = time.monotonic()
        writes.append(operator_write(port, "%.1f" % (25.0 + n % 10)))
        n += 1
        stop.wait(max(0.0, 1.5 - (time.monotonic() - started)))


# Each attack runs until stop is set, and is bounded in count as well.

def attack_select(bench, stop, found):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.settimeout(30)
    s.connect(bench.socket_path)
    if s.recv(1) != b"A":
        found["endpoint refused"] = True
        return
    answers = {}
    for _ in range(100):
        if stop.is_set():
            break
        started = time.monotonic()
        try:
            s.sendall(bytes([len(SELECT_CHANNEL_2)]) + SELECT_CHANNEL_2)
            kind = read_answer(s)
        except OSError:
            answers["closed"] = 1
            break
        answers[kind] = answers.get(kind, 0) + 1
        stop.wait(max(0.0, 1.5 - (time.monotonic() - started)))
    s.close()
    found["select answers"] = answers


def attack_guessing(bench, stop, found):
    statuses = {}
    lock = threading.Lock()

    def client(n):
        https = Https(bench.port, source="127.1.%d.1" % n, timeout=60)
        for _ in range(1000):
            if stop.is_set():
                break
            try:
                status, _ = https.ask("GET", "/metrics", "alice", "guess %d" % n)
            except (OSError, http.client.HTTPException) as error:
                status = type(error).__name__
                https.close()
                stop.wait(0.05)
            with lock:
                statuses[status] = statuses.get(status, 0) + 1
        https.close()

    threads = [threading.Thread(target=client, args=(n,), daemon=True) for n in range(1, 41)]
    for t in threads:
        t.start()
    stop.wait(8.0)
    stop.set()
    for t in threads:
        t.join(90)
    found["answers to guesses"] = {str(k): v for k, v in statuses.items()}


def outsider_ids():
    try:
        entry = pwd.getpwnam(OUTSIDER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", OUTSIDER],
                       check=True)
        entry = pwd.getpwnam(OUTSIDER)
    return entry.pw_uid, entry.pw_gid


def attack_places(bench, stop, found):
    uid, gid = outsider_ids()
    # The second user may use the device (Bench made it so), as a member of
    # its group would, and serve's socket is that user's group's.
    os.chmod(os.path.dirname(bench.socket_path), 0o755)
    os.chown(bench.socket_path, -1, gid)
    os.chmod(bench.socket_path, 0o660)
    held = []
    for _ in range(8):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.settimeout(10)
        s.connect(bench.socket_path)
        greeting = s.recv(1)
        held.append(s if greeting == b"A" else None)
    found["places held"] = sum(1 for s in held if s)
    result = {}

    def queries():
        for _ in range(100):
            for s in list(held):
                if s is None or stop.is_set():
                    continue
                try:
                    s.sendall(bytes([len(VERSION_QUERY)]) + VERSION_QUERY)
                    if read_answer(s) != "X":
                        held[held.index(s)] = None
                        s.close()
                except OSError:
                    held[held.index(s)] = None
            if stop.wait(2.0):
                break

    loop = threading.Thread(target=queries, daemon=True)
    loop.start()
    stop.wait(1.0)

    def become_outsider():
        os.setgroups([])
        os.setgid(gid)
        os.setuid(uid)

    started = time.monotonic()
    get = subprocess.run([bench.ctl, "get", "-p", bench.device, "-c", "1"], env=bench.env, preexec_fn=become_outsider,
                         capture_output=True, text=True, timeout=60)
    result["status"] = get.returncode
    result["seconds"] = round(time.monotonic() - started, 3)
    result["said"] = (get.stderr.strip() or get.stdout.strip()).splitlines()[-1:] or [""]
    found["other user's get"] = result
    stop.wait(30)
    loop.join(5)
    found["places still held"] = sum(1 for s in held if s)
    with open(bench.log.name) as log:
        found["serve said"] = [line.strip()[-200:] for line in log if "local client" in line][-3:]
    for s in held:
        if s:
            s.close()


def attack_unknown(bench, stop, found):
    statuses = []

    def stranger(name):
        https = Https(bench.port, timeout=60)
        started = time.monotonic()
        try:
            status, _ = https.ask("GET", "/metrics", name, "whatever")
        except (OSError, http.client.HTTPException) as error:
            status = type(error).__name__
        statuses.append((status, round(time.monotonic() - started, 3)))
        https.close()

    threads = [threading.Thread(target=stranger, args=(name,), daemon=True) for name in ("mallory", "trudy")]
    for t in threads:
        t.start()
    for t in threads:
        t.join(60)
    found["strangers answered"] = statuses


ATTACKS = {"select": attack_select, "guessing": attack_guessing, "places": attack_places, "unknown": attack_unknown}


def run_attack(name, build, folder, config):
    bench = Bench(build, folder, config, device_for_all=name == "places")
    try:
        scraper = Scraper(bench.port)
        scraper.start()
        time.sleep(1.0)  # scrapes before the attack, to be sure the scraper is under way
        scraper.took.clear()
        stop, found, writes = threading.Event(), {}, []
        attack = threading.Thread(target=ATTACKS[name], args=(bench, stop, found), daemon=True)
        attack.start()
        if name == "unknown":
            time.sleep(0.3)  # both strangers' checks under way
            writes.append(operator_write(bench.port, "31.5"))
        else:
            time.sleep(0.5)
            writer_stop = threading.Event()
            writer = threading.Thread(target=operator_writes, args=(bench.port, writer_stop, writes), daemon=True)
            writer.start()
            time.sleep(ATTACK_SECONDS)
            writer_stop.set()
            writer.join(120)
        stop.set()
        attack.join(120)
        scraper.stop.set()
        scraper.join(20)
        alive = bench.serve.poll() is None
    finally:
        bench.stop()
    took = [w[0] for w in writes]
    statuses = {}
    for _, status in writes:
        statuses[str(status)] = statuses.get(str(status), 0) + 1
    return {"attack": name, "build": build, "serve_alive": alive,
            "first_write_s": round(took[0], 3) if took else None,
            "later_writes_median_s": round(statistics.median(took[1:]), 3) if len(took) > 1 else None,
            "writes_max_s": round(max(took), 3) if took else None, "write_statuses": statuses,
            "writes": [[round(t, 3), str(status)] for t, status in writes],
            "scrapes": len(scraper.took), "scrapes_failed": scraper.failed,
            "scrape_p99_ms": round(quantile(scraper.took, 0.99) * 1000, 1),
            "scrape_max_ms": round(max(scraper.took) * 1000, 1) if scraper.took else None, "found": found}


def run_refusals(build, folder, config):
    """Ten wrong passwords for each kind of user, each kind from its own network."""
    bench = Bench(build, folder, config)
    figures = {}
    try:
        for n, user in enumerate(("bob", "alice", "carol", "nobody-here"), start=1):
            times, statuses = [], set()
            for attempt in range(10):
                https = Https(bench.port, source="127.2.%d.1" % n, timeout=60)
                https.open()
                started = time.monotonic()
                status, _ = https.ask("GET", "/metrics", user, "wrong %d" % attempt)
                times.append(time.monotonic() - started)
                statuses.add(status)
                https.close()
            label = "unknown user" if user == "nobody-here" else "cost %d (%s)" % (COSTS[user], user)
            figures[label] = {"median_ms": round(statistics.median(times) * 1000, 1),
                              "max_ms": round(max(times) * 1000, 1), "statuses": sorted(statuses)}
    finally:
        bench.stop()
    return {"attack": "refusal", "build": build, "figures": figures}


def make_config(folder):
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                    "-days", "2", "-subj", "/CN=localhost", "-keyout", os.path.join(folder, "bench.key"),
                    "-out", os.path.join(folder, "bench.crt")], check=True, capture_output=True, timeout=60)
    lines = ["tls_server_config:", "  cert_file: bench.crt", "  key_file: bench.key", "basic_auth_users:"]
    for user in sorted(PASSWORDS):
        line = subprocess.run(["htpasswd", "-nbBC", str(COSTS[user]), user, PASSWORDS[user]], check=True,
                              capture_output=True, text=True, timeout=120).stdout
        lines.append("  %s: %s" % (user, line.strip().split(":", 1)[1]))
    lines += ["korvanthine:", "  operators: [alice]"]
    path = os.path.join(folder, "web.yml")
    with open(path, "w") as file:
        file.write("\n".join(lines) + "\n")
    return path


def ms(seconds):
    return "-" if seconds is None else "%.0f ms" % (seconds * 1000)


def print_tables(results, builds):
    label = {b: ("before" if len(builds) > 1 and i == 0 else "after" if len(builds) > 1 else "") for i, b in
             enumerate(builds)}
    print()
    print("%-9s %-7s %12s %14s %10s %12s %s" % ("attack", "build", "first write", "later (median)", "slowest",
                                                 "scrape p99", "statuses / what else"))
    for r in results:
        if r["attack"] == "refusal":
            continue
        extra = dict(r["write_statuses"])
        if "other user's get" in r["found"]:
            extra["get"] = r["found"]["other user's get"]
        if "answers to guesses" in r["found"]:
            extra["guesses"] = r["found"]["answers to guesses"]
        if "strangers answered" in r["found"]:
            extra["strangers"] = r["found"]["strangers answered"]
        if not r["serve_alive"]:
            extra["serve"] = "ENDED"
        print("%-9s %-7s %12s %14s %10s %9.1f ms %s" % (r["attack"], label[r["build"]] or "-", ms(r["first_write_s"]),
                                                         ms(r["later_writes_median_s"]), ms(r["writes_max_s"]),
                                                         r["scrape_p99_ms"], json.dumps(extra)))
    refusals = [r for r in results if r["attack"] == "refusal"]
    if refusals:
        print()
        print("%-20s %-7s %12s %10s" % ("wrong password for", "build", "median", "max"))
        for r in refusals:
            for who, f in r["figures"].items():
                print("%-20s %-7s %9.1f ms %7.1f ms" % (who, label[r["build"]] or "-", f["median_ms"], f["max_ms"]))


def main():
    args = sys.argv[1:]
    names = []
    while args and args[0] == "--attack":
        names.append(args[1])
        args = args[2:]
    builds = [os.path.abspath(b) for b in args] or [os.path.abspath("build")]
    names = names or list(ATTACKS) + ["refusal"]
    if "places" in names and os.geteuid() != 0:
        print("the places attack needs root (a second user); left out", file=sys.stderr)
        names.remove("places")
    results = []
    with tempfile.TemporaryDirectory(prefix="korvanthine-write-attacks-") as folder:
        os.chmod(folder, 0o755)
        config = make_config(folder)
        for name in names:
            for build in builds:
                result = (run_refusals(build, folder, config) if name == "refusal"
                          else run_attack(name, build, folder, config))
                print(json.dumps(result), flush=True)
                results.append(result)
                time.sleep(1.0)
    print_tables(results, builds)


if __name__ == "__main__":
    main()
