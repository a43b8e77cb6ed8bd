#!/usr/bin/python3
"""serve with a web configuration, end to end on 127.0.0.1: Prometheus
scrapes over TLS with basic auth; strangers, wrong passwords, a viewer's
write, a write without TLS and a cross-origin write are refused with
nothing reaching the controller; an operator's write from headless Chromium
through the page's form changes the simulator's setting and shows in the
audit trail, on the page and in /metrics; a burst of wrong passwords is
rate-limited while scrapes keep answering and passes keep their interval;
the configuration changes under the running serve; a program runs through
the web side. Prints the figures.

    serve_web_in_use.py KORVANTHINE_CTL KORVANTHINE_SIM [--wine WINE KORVANTHINE-CTL.EXE]

With --wine, every bench's serve is the Windows build under Wine (in the
prefix WINEPREFIX names, its COM ports mapped into KORVANTHINE_WINE_PORTS),
checked from Linux exactly as a Linux serve is; one Linux serve beside it
gives the scrape figures of both in one run."""

import base64
import http.client
import json
import os
import re
import signal
import ssl
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "page"))
from bench_page_harness import chromium, cpu_seconds, free_port, stop_process, wait_for  # noqa: E402

CTL, SIM = sys.argv[1], sys.argv[2]
WINE, CTL_EXE = (sys.argv[4], sys.argv[5]) if sys.argv[3:4] == ["--wine"] else (None, None)
WORK = tempfile.TemporaryDirectory(prefix="korvanthine-web-")
DIR = WORK.name
PASSWORDS = {"alice": "alice's long password", "bob": "bob's password", "carol": "carol's password"}
processes = []


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def bcrypt(user):
    line = subprocess.run(["htpasswd", "-nbBC", "10", user, PASSWORDS[user]], check=True, capture_output=True,
                          text=True, timeout=30).stdout
    return line.strip().split(":", 1)[1]


def web_config(path, tls, users, operators, limits=()):
    lines = []
    if tls:
        lines += ["tls_server_config:", "  cert_file: bench.crt", "  key_file: bench.key"]
    lines += ["basic_auth_users:"] + ["  %s: %s" % (user, HASHES[user]) for user in users]
    lines += ["korvanthine:", "  operators: [%s]" % ", ".join(operators)]
    if limits:
        lines += ["  limits:"] + ["    %s" % line for line in limits]
    with open(path + ".new", "w") as file:
        file.write("\n".join(lines) + "\n")
    os.replace(path + ".new", path)


def windows_path(path):
    """A Linux path as a program under Wine names it (Wine's Z: is /)."""
    return "Z:" + path.replace("/", "\\")


# The Windows ports the benches under Wine take, one each: free of the
# names the other Wine tests use.
WINE_COM_PORTS = iter(range(11, 21))


def start(command, out, env=None):
    process = subprocess.Popen(command, stdout=out, stderr=out if out != subprocess.PIPE else None, env=env,
                               text=True)
    processes.append(process)
    return process


class Bench:
    """A simulated controller, and serve on it with its own web configuration:
    the Windows build under Wine when the run has --wine, unless native."""

    def __init__(self, name, tls, native=False):
        self.dir = os.path.join(DIR, name)
        os.makedirs(self.dir)
        self.log = os.path.join(self.dir, "requests.log")
        self.config = os.path.join(self.dir, "web.yml")
        env = dict(os.environ, KORVANTHINE_PORTS=os.path.join(self.dir, "ports"),
                   XDG_RUNTIME_DIR=os.path.join(self.dir, "run"))
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        self.env = env
        self.wine = WINE is not None and not native
        self.port_name = "COM%d" % next(WINE_COM_PORTS) if self.wine else "COM1"
        ports = os.environ["KORVANTHINE_WINE_PORTS"] if self.wine else env["KORVANTHINE_PORTS"]
        self.sim = start([SIM, "--ports-dir", ports, "--port", self.port_name, "--log", self.log], subprocess.PIPE)
        assert self.sim.stdout.readline().startswith("READY")
        if tls:
            for suffix in ("crt", "key"):
                os.link(os.path.join(DIR, "bench." + suffix), os.path.join(self.dir, "bench." + suffix))
        web_config(self.config, tls, ["alice", "bob"], ["alice"])
        self.port = free_port()
        self.tls = tls
        self.err = os.path.join(self.dir, "serve.err")
        state = os.path.join(self.dir, "state")
        self.serve = start(self.ctl("serve", "-p", self.port_name, "--listen", "127.0.0.1:%d" % self.port,
                                    "--web.config.file", self.path(self.config), "--state.dir", self.path(state)),
                           open(self.err, "w"), env)
        # Wine starts its services with the first program of a prefix.
        try:
            wait_for("serve to answer", lambda: self.request("GET", "/metrics", "alice", quiet=True),
                     60 if self.wine else 10)
        except AssertionError:
            with open(self.err) as err:
                raise AssertionError("serve did not answer; it said: %s" % err.read()[-2000:])

    def ctl(self, *args):
        """korvanthine-ctl on the bench's own computer: the Windows one under Wine for a Windows bench."""
        return [WINE, CTL_EXE, *args] if self.wine else [CTL, *args]

    def path(self, path):
        return windows_path(path) if self.wine else path

    def connection(self):
        if not self.tls:
            return http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        context = ssl.create_default_context(cafile=os.path.join(DIR, "ca.crt"))
        return http.client.HTTPSConnection("localhost", self.port, timeout=10, context=context)

    def request(self, method, path, user=None, body=None, headers=None, password=None, connection=None,
                quiet=False):
        """(status, headers, body text) of one request."""
        fields = dict(headers or {})
        if user:
            secret = password if password is not None else PASSWORDS[user]
            fields["Authorization"] = "Basic " + base64.b64encode((user + ":" + secret).encode()).decode()
        if body is not None:
            fields.setdefault("Content-Type", "application/json")
        own = connection is None
        connection = connection or self.connection()
        try:
            connection.request(method, path, body=body, headers=fields)
            reply = connection.getresponse()
            return reply.status, dict(reply.getheaders()), reply.read().decode()
        except OSError:
            if quiet:
                return None
            raise
        finally:
            if own:
                connection.close()

    def metric(self, pattern):
        text = self.request("GET", "/metrics", "alice")[2]
        match = re.search("^" + pattern + r" (\S+)$", text, re.M)
        return float(match.group(1)) if match else None

    def writes_received(self):
        """The setting writes the simulator has received (channel select, set temperature, output enable)."""
        with open(self.log) as log:
            # Each line: the time it came, a space, the request.
            requests = [re.sub(r"^\d{4}-\d\d-\d\dT\S+ ", "", line, count=1) for line in log]
            return [line for line in requests if re.match(r"^\*..(20|31|36)", line)]

    def stop(self):
        """serve's exit status once asked to stop."""
        # Under Wine SIGINT is a console's Ctrl+C, which serve ends on as
        # on Windows; SIGTERM would end the process at once.
        self.serve.send_signal(signal.SIGINT if self.wine else signal.SIGTERM)
        return self.serve.wait(timeout=20)

    def audit_lines(self):
        with open(self.err) as err:
            return [line for line in err if "settings write by" in line]


def refusals_write_nothing(tls_bench, plain_bench):
    write = json.dumps({"channel": 2, "set_temperature": "33.3"})
    cases = [
        ("no credentials", tls_bench, dict(method="GET", path="/metrics"), 401),
        ("a wrong password", tls_bench, dict(method="GET", path="/", user="alice", password="guess"), 401),
        ("a stranger's write", tls_bench, dict(method="POST", path="/settings", body=write), 401),
        ("a viewer's write", tls_bench, dict(method="POST", path="/settings", user="bob", body=write), 403),
        ("a write without TLS", plain_bench, dict(method="POST", path="/settings", user="alice", body=write), 403),
        ("a cross-origin write", tls_bench, dict(method="POST", path="/settings", user="alice", body=write,
                                                 headers={"Origin": "https://elsewhere.example"}), 403),
        ("a form's write", tls_bench, dict(method="POST", path="/settings", user="alice", body="channel=2",
                                           headers={"Content-Type": "application/x-www-form-urlencoded"}), 415),
        ("an operator's write for another site's name", tls_bench,
         dict(method="POST", path="/settings", user="alice", body=write,
              headers={"Host": "rebound.example", "Origin": "https://rebound.example"}), 421),
        ("a write by GET", tls_bench, dict(method="GET", path="/settings?channel=2&set_temperature=33.3",
                                           user="alice"), 200),
    ]
    for name, bench, request, status in cases:
        got = bench.request(**request)
        assert got[0] == status, "%s: %d, not %d: %s" % (name, got[0], status, got[2])
        if status == 401:
            assert got[1].get("WWW-Authenticate", "").startswith("Basic"), name
    for bench in (tls_bench, plain_bench):
        assert bench.writes_received() == [], "refused writes reached the controller: %s" % bench.writes_received()
    # The viewer's attempt is in the trail; no line holds a password.
    assert any("by bob" in line and line.rstrip().endswith("forbidden") for line in tls_bench.audit_lines()), \
        open(tls_bench.err).read()[-3000:]
    for bench in (tls_bench, plain_bench):
        with open(bench.err) as err:
            text = err.read()
        for password in PASSWORDS.values():
            assert password not in text, "a password on serve's standard error"


def prometheus_scrapes_over_tls(bench):
    with open(os.path.join(DIR, "alice.password"), "w") as file:
        file.write(PASSWORDS["alice"])
    config = os.path.join(DIR, "prometheus.yml")
    with open(config, "w") as file:
        file.write("""global:
  scrape_interval: 1s
scrape_configs:
  - job_name: bench
    scheme: https
    basic_auth:
      username: alice
      password_file: %s/alice.password
    tls_config:
      ca_file: %s/ca.crt
      server_name: localhost
    static_configs:
      - targets: ["127.0.0.1:%d"]
""" % (DIR, DIR, bench.port))
    port = free_port()
    start(["prometheus", "--config.file=" + config, "--storage.tsdb.path=" + os.path.join(DIR, "tsdb"),
           "--web.listen-address=127.0.0.1:%d" % port, "--log.level=warn"],
          open(os.path.join(DIR, "prometheus.out"), "w"))

    def korvanthine_up():
        try:
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=2)
            connection.request("GET", "/api/v1/query?query=korvanthine_up")
            result = json.loads(connection.getresponse().read())["data"]["result"]
            return result and result[0]["value"][1] == "1"
        except (OSError, ValueError, KeyError):
            return False
    wait_for("Prometheus to scrape korvanthine_up 1 over TLS with basic auth", korvanthine_up, 30, 0.2)


def operator_writes_through_the_form(bench):
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select
    browser = chromium(os.path.join(DIR, "chromium"))
    try:
        browser.execute_cdp_cmd("Network.enable", {})
        browser.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {"Authorization": "Basic " + base64.b64encode(
            ("alice:" + PASSWORDS["alice"]).encode()).decode()}})
        browser.execute_cdp_cmd("Security.setIgnoreCertificateErrors", {"ignore": True})
        browser.get("https://localhost:%d/" % bench.port)
        wait_for("the settings form", lambda: browser.find_element(By.ID, "settings-form").is_displayed(), 10)
        Select(browser.find_element(By.ID, "settings-channel")).select_by_value("3")
        field = browser.find_element(By.ID, "settings-temp")
        field.clear()
        field.send_keys("41.5")
        Select(browser.find_element(By.ID, "settings-output")).select_by_visible_text("ENABLE")
        browser.find_element(By.ID, "settings-send").click()
        confirm = browser.find_element(By.ID, "settings-confirm-text").text
        assert "TEMP3" in confirm and "41.5" in confirm and "ENABLE" in confirm, confirm
        started = time.monotonic()
        browser.find_element(By.ID, "settings-confirm-button").click()
        result = wait_for("the read-back on the page", lambda: (
            lambda text: text if "reads back" in text or "Not written" in text else None)(
                browser.find_element(By.ID, "settings-result").text), 10, 0.01)
        seconds = time.monotonic() - started
        assert "41.5" in result and "ENABLE" in result, result
        wait_for("the change in the page's Changes", lambda: "confirmed" in browser.find_element(
            By.CSS_SELECTOR, "#changes tbody").text, 10)
    finally:
        browser.quit()
    # On the line, in order: channel 3 selected (index 2), its set
    # temperature (41.5 °C, 0x19f tenths), its output enabled; nothing
    # between them.
    writes = [line[:13] for line in bench.writes_received()]
    assert "*00310000019f" in writes, writes
    at = writes.index("*00310000019f")
    assert writes[at - 1:at + 2] == ["*002000000002", "*00310000019f", "*003600000001"], writes[max(0, at - 2):at + 3]
    wait_for("the simulator's set temperature in /metrics",
             lambda: bench.metric(r'korvanthine_set_temperature_celsius\{channel="3"\}') == 41.5, 5)
    assert bench.metric(r'korvanthine_settings_writes_total\{user="alice",outcome="confirmed"\}') == 1
    assert any("by alice" in line and "channel 3" in line and line.rstrip().endswith("confirmed")
               for line in bench.audit_lines()), bench.audit_lines()
    print("form confirmation to read-back on the page: %.0f ms" % (seconds * 1000))


def a_local_write_is_in_the_changes(bench):
    # korvanthine-ctl on the bench's own computer, through serve's endpoint.
    subprocess.run(bench.ctl("set", "-p", bench.port_name, "-c", "4", "--temp", "12.5", "--output", "enable"),
                   env=bench.env, check=True, timeout=60, stdout=subprocess.DEVNULL)
    changes = json.loads(bench.request("GET", "/settings", "bob")[2])["changes"]
    local = [c for c in changes if c["user"] == "local" and c["channel"] == 4]
    # One change, one row, with both settings as written.
    assert len(local) == 1, changes
    assert local[0]["written"] == {"set_temperature": "12.5", "output_enable": 1} and \
        local[0]["outcome"] == "answered", changes
    assert bench.metric(r'korvanthine_settings_writes_total\{user="local",outcome="answered"\}') >= 1


def a_program_runs_through_the_web_side(bench):
    """A program file started from another machine, refused to a viewer, aborted by an operator: its output goes off."""
    program = os.path.join(DIR, "ramp.yml")
    with open(program, "w") as file:
        file.write("name: slow-ramp\nchannels: [1]\nmax_celsius: 80\n"
                   "segments:\n  - {ramp: 60.0, rate: 1 C/min}\n  - {soak: 10m}\n")
    for user in ("alice", "bob"):
        with open(os.path.join(DIR, user + ".password"), "w") as file:
            file.write(PASSWORDS[user])

    def remote(action, user, *args):
        return subprocess.run([CTL, "program", action, "--url", "https://localhost:%d" % bench.port, "--user", user,
                               "--password-file", os.path.join(DIR, user + ".password"),
                               "--ca-file", os.path.join(DIR, "ca.crt"), *args],
                              capture_output=True, text=True, timeout=90)
    started = remote("start", "alice", program)
    assert started.returncode == 0 and "started run" in started.stdout, (started.returncode, started.stderr)
    wait_for("the run to write its first set point",
             lambda: "slow-ramp running" in remote("status", "bob").stdout and any(
                 line.startswith("*0031") for line in bench.writes_received()), 20, 0.2)
    refused = remote("abort", "bob", "-c", "1")
    assert refused.returncode != 0 and "slow-ramp running" in remote("status", "bob").stdout, refused.stderr
    def offs():
        return sum(1 for line in bench.writes_received() if line.startswith("*00360000000049"))
    offs_before = offs()
    aborted = remote("abort", "alice", "-c", "1")
    assert aborted.returncode == 0, (aborted.returncode, aborted.stderr)
    wait_for("the aborted run's output off on the line",
             lambda: offs() > offs_before, 20, 0.2)
    assert "slow-ramp aborted" in remote("status", "bob").stdout


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def scrape_latencies(bench, count):
    connection = bench.connection()
    seconds = []
    for _ in range(count):
        started = time.perf_counter()
        status = bench.request("GET", "/metrics", "alice", connection=connection)[0]
        seconds.append(time.perf_counter() - started)
        assert status == 200
    connection.close()
    return seconds


def scrapes_beside_a_linux_serve(wine_bench):
    """The TLS scrape's latency of serve.exe under Wine and of a Linux serve, in turns, in one run."""
    linux_bench = Bench("linux", True, native=True)
    figures = {"serve.exe under Wine": [], "Linux serve": []}
    for _ in range(4):
        figures["serve.exe under Wine"] += [s * 1000 for s in scrape_latencies(wine_bench, 50)]
        figures["Linux serve"] += [s * 1000 for s in scrape_latencies(linux_bench, 50)]
    for name, ms in figures.items():
        print("scrape over TLS with basic auth (cached), %d scrapes, %s: median %.2f ms, p99 %.2f ms" %
              (len(ms), name, statistics.median(ms), percentile(ms, 0.99)))
    assert linux_bench.stop() == 0


def guessing_is_limited(bench, plain_bench):
    tls_ms = [s * 1000 for s in scrape_latencies(bench, 200)]
    plain_ms = [s * 1000 for s in scrape_latencies(plain_bench, 200)]
    print("scrape over TLS with basic auth (cached): median %.2f ms, p99 %.2f ms" %
          (statistics.median(tls_ms), percentile(tls_ms, 0.99)))
    print("scrape over plain HTTP with basic auth (cached): median %.2f ms, p99 %.2f ms" %
          (statistics.median(plain_ms), percentile(plain_ms, 0.99)))
    # Under Wine every socket call goes through its server process: its p99
    # is some 40 ms on a quiet machine, Linux's under 10.
    bound = 250 if bench.wine else 50
    assert percentile(tls_ms, 0.99) <= bound, "p99 %.1f ms" % percentile(tls_ms, 0.99)

    passes_before = bench.metric("korvanthine_passes_total")
    cpu_before = cpu_seconds(bench.serve.pid)
    statuses = {}
    scrapes = []
    lock = threading.Lock()

    def guess(first):
        connection = bench.connection()
        for n in range(first, 1000, 4):
            status, headers, _ = bench.request("GET", "/metrics", "alice", password="guess %d" % n,
                                               connection=connection)
            with lock:
                statuses[status] = statuses.get(status, 0) + 1
            if status == 429:
                assert int(headers["Retry-After"]) > 0
        connection.close()

    def scrape(stop):
        while not stop.is_set():
            started = time.perf_counter()
            status = bench.request("GET", "/metrics", "alice")[0]
            scrapes.append((status, time.perf_counter() - started))
            stop.wait(0.2)
    stop = threading.Event()
    scraper = threading.Thread(target=scrape, args=(stop,))
    scraper.start()
    started = time.monotonic()
    guessers = [threading.Thread(target=guess, args=(first,)) for first in range(4)]
    for thread in guessers:
        thread.start()
    for thread in guessers:
        thread.join(60)
    burst = time.monotonic() - started
    cpu = cpu_seconds(bench.serve.pid) - cpu_before
    time.sleep(max(0.0, 3 - burst))
    stop.set()
    scraper.join(10)
    elapsed = time.monotonic() - started
    passes = bench.metric("korvanthine_passes_total") - passes_before
    print("1000 wrong passwords in %.2f s: %s; serve's CPU %.2f s; %d scrapes during them, slowest %.0f ms" %
          (burst, statuses, cpu, len(scrapes), max(s for _, s in scrapes) * 1000))
    assert statuses.get(401, 0) <= 10 + 4 and statuses.get(429, 0) >= 980, statuses
    assert all(status == 200 for status, _ in scrapes), scrapes
    assert passes >= elapsed - 2, "%d passes in %.1f s" % (passes, elapsed)


def configuration_changes_under_serve(bench):
    assert bench.request("GET", "/metrics", "carol")[0] == 401
    web_config(bench.config, True, ["alice", "bob", "carol"], ["alice"])
    wait_for("carol to be let in", lambda: bench.request("GET", "/metrics", "carol")[0] == 200, 5, 0.2)
    with open(bench.config, "a") as file:
        file.write("  dave: not-a-hash\n")
    wait_for("the broken change to be reported",
             lambda: "keeping the web configuration last loaded" in open(bench.err).read(), 5, 0.2)
    assert bench.request("GET", "/metrics", "carol")[0] == 200


def writes_outside_the_limits_never_reach_the_line(bench):
    """An operator's write outside the lab's limits: 422 with the limit, nothing on the line."""
    web_config(bench.config, True, ["alice", "bob", "carol"], ["alice"],
               ['all: {set_temperature_celsius: [0, 200]}',
                '"2": {set_temperature_celsius: [0, 150], output_enable: false}'])
    # Until the file is read again a probe is written (to a channel where
    # that is harmless); from then on it is refused.
    probe = json.dumps({"channel": 3, "set_temperature": "200.1"})
    wait_for("the limits to be taken",
             lambda: bench.request("POST", "/settings", "alice", body=probe)[0] == 422, 5, 0.2)
    before = bench.writes_received()
    too_hot = json.dumps({"channel": 2, "set_temperature": "150.1"})
    for body, said in [(too_hot, "set temperature 150.1 \u00b0C is above channel 2's highest, 150.0 \u00b0C"),
                       (json.dumps({"channel": 2, "output_enable": "ENABLE"}), "channel 2's output may not be enabled"),
                       (json.dumps({"channel": 1, "set_temperature": "-0.1"}), "below channel 1's lowest, 0.0")]:
        status, _, text = bench.request("POST", "/settings", "alice", body=body)
        assert status == 422 and said in json.loads(text)["error"], (status, text)
    assert bench.writes_received() == before, "a write outside the limits reached the controller"
    assert bench.metric('korvanthine_settings_refused_total{channel="2",setting="set_temperature",'
                        'reason="above_highest"}') == 1
    status, _, text = bench.request("POST", "/settings", "alice",
                                    body=json.dumps({"channel": 2, "set_temperature": "150.0"}))
    assert status == 200, (status, text)
    assert any("refused" in line for line in bench.audit_lines())
    # From a script, the same refusal: the limit on standard error, status 6.
    with open(os.path.join(DIR, "alice.password"), "w") as file:
        file.write(PASSWORDS["alice"])
    def remote(client, path):
        return client + ["set", "--url", "https://localhost:%d" % bench.port, "--user", "alice", "--password-file",
                         path(os.path.join(DIR, "alice.password")), "--ca-file", path(os.path.join(DIR, "ca.crt")),
                         "-c", "2"]
    # Refused to the Windows client when the bench is Windows', taken from
    # Linux in any case.
    windows = remote([WINE, CTL_EXE], windows_path) if bench.wine else None
    linux = remote([CTL], lambda p: p)
    refused = subprocess.run((windows or linux) + ["--temp", "150.1"], capture_output=True, text=True, timeout=90)
    assert refused.returncode == 6 and "above channel 2's highest, 150.0" in refused.stderr, \
        (refused.returncode, refused.stderr)
    assert not any(line.startswith("*0031000005dd") for line in bench.writes_received()), "150.1 reached the line"
    before = len(bench.writes_received())
    taken = subprocess.run(linux + ["--temp", "149.9"], capture_output=True, text=True, timeout=90)
    assert taken.returncode == 0, (taken.returncode, taken.stderr)
    # On the line, in order: channel 2 selected (index 1), 149.9 °C (0x5db
    # tenths); in the audit, as alice's and confirmed.
    writes = [line[:13] for line in bench.writes_received()[before:]]
    assert "*0031000005db" in writes, writes
    at = writes.index("*0031000005db")
    assert at >= 1 and writes[at - 1] == "*002000000001", writes[max(0, at - 2):at + 2]
    assert any("by alice" in line and "channel 2" in line and "149.9" in line and line.rstrip().endswith("confirmed")
               for line in bench.audit_lines()), bench.audit_lines()[-3:]


def a_broken_file_stops_serve_at_start():
    path = os.path.join(DIR, "broken.yml")
    with open(path, "w") as file:
        file.write("basic_auth_users:\n  alice: %s\n  eve: plain-text\n" % HASHES["alice"])
    # Before the port is looked at: COM9 (under Wine COM10) is mapped nowhere.
    command = [WINE, CTL_EXE, "serve", "-p", "COM10", "--listen", "127.0.0.1:0", "--web.config.file",
               windows_path(path)] if WINE else \
        [CTL, "serve", "-p", "COM9", "--listen", "127.0.0.1:0", "--web.config.file", path]
    ended = subprocess.run(command, capture_output=True, text=True, timeout=60,
                           env=dict(os.environ, KORVANTHINE_PORTS=os.path.join(DIR, "no-ports")))
    assert ended.returncode == 2 and "broken.yml:3: eve's password hash is not bcrypt" in ended.stderr, \
        (ended.returncode, ended.stderr)


def main():
    run("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "2",
        "-subj", "/CN=korvanthine test authority", "-keyout", os.path.join(DIR, "ca.key"),
        "-out", os.path.join(DIR, "ca.crt"))
    run("openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=localhost",
        "-keyout", os.path.join(DIR, "bench.key"), "-out", os.path.join(DIR, "bench.csr"))
    with open(os.path.join(DIR, "san.ext"), "w") as file:
        file.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n")
    run("openssl", "x509", "-req", "-in", os.path.join(DIR, "bench.csr"), "-CA", os.path.join(DIR, "ca.crt"),
        "-CAkey", os.path.join(DIR, "ca.key"), "-CAcreateserial", "-days", "2", "-extfile",
        os.path.join(DIR, "san.ext"), "-out", os.path.join(DIR, "bench.crt"))
    global HASHES
    HASHES = {user: bcrypt(user) for user in PASSWORDS}
    if WINE:
        # alice's hash made on Windows (its salt from OpenSSL's generator),
        # the others on Linux: serve.exe checks both kinds.
        made = subprocess.run([WINE, CTL_EXE, "hash-password", "alice"], input=PASSWORDS["alice"] + "\n",
                              capture_output=True, text=True, timeout=120, check=True).stdout
        assert re.match(r"^alice: \$2y\$12\$[./A-Za-z0-9]{53}\r?$", made.strip()), made
        HASHES["alice"] = made.split(": ", 1)[1].strip()

    a_broken_file_stops_serve_at_start()
    tls_bench = Bench("tls", True)
    plain_bench = Bench("plain", False)
    refusals_write_nothing(tls_bench, plain_bench)
    prometheus_scrapes_over_tls(tls_bench)
    operator_writes_through_the_form(tls_bench)
    a_program_runs_through_the_web_side(tls_bench)
    a_local_write_is_in_the_changes(tls_bench)
    configuration_changes_under_serve(tls_bench)
    writes_outside_the_limits_never_reach_the_line(tls_bench)
    if WINE:
        scrapes_beside_a_linux_serve(tls_bench)
    # Last: it leaves 127.0.0.1 turned away for a minute.
    guessing_is_limited(tls_bench, plain_bench)
    for bench in (tls_bench, plain_bench):
        status = bench.stop()
        assert status == 0, "serve ended with %d: %s" % (status, open(bench.err).read()[-2000:])
    print("serve with a web configuration: all checks passed")


try:
    main()
finally:
    for process in reversed(processes):
        stop_process(process)
    WORK.cleanup()
