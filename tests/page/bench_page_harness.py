"""The simulator, korvanthine-ctl serve on it, and headless Chromium through
WebDriver, for the bench page's test and its benchmark. Everything listens
on 127.0.0.1 only, lives in one temporary folder, is bounded in time and is
stopped by its pid."""

import os
import re
import signal
import socket
import subprocess
import tempfile
import time
import urllib.request

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
CHROMIUM_ARGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync"]


def wait_for(what, condition, timeout, step=0.05):
    """condition() until it is truthy, at most timeout seconds; its value."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(step)


def stop_process(process):
    """SIGTERM to process, by its pid; SIGKILL if it has not ended 10 s later."""
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def cpu_seconds(pid):
    """User and system CPU seconds of process pid so far."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Bench:
    """One simulated controller on COM1 and serve sampling it."""

    def __init__(self, ctl, sim, sim_args=(), serve_args=()):
        self.folder = tempfile.TemporaryDirectory(prefix="korvanthine-page-")
        self.dir = self.folder.name
        self.fifo = os.path.join(self.dir, "control")
        self.ack = os.path.join(self.dir, "ack")
        self.env = dict(os.environ, KORVANTHINE_PORTS=os.path.join(self.dir, "ports"))
        self.tokens = 0
        self.sim = subprocess.Popen([sim, "--ports-dir", self.env["KORVANTHINE_PORTS"], "--control", self.fifo,
                                     "--ack", self.ack, *sim_args], stdout=subprocess.PIPE, text=True)
        ready = self.sim.stdout.readline()
        if not ready.startswith("READY"):
            raise AssertionError("the simulator did not start: %r" % ready)
        self.port = free_port()
        self.url = "http://127.0.0.1:%d" % self.port
        self.serve_err = open(os.path.join(self.dir, "serve.err"), "w")
        self.serve = subprocess.Popen([ctl, "serve", "-p", "COM1", "--listen", "127.0.0.1:%d" % self.port,
                                       *serve_args], env=self.env, stderr=self.serve_err)
        wait_for("serve's /metrics", lambda: self.fetch("/metrics", quiet=True), 10)

    def fetch(self, path, quiet=False):
        try:
            with urllib.request.urlopen(self.url + path, timeout=2) as reply:
                return reply.read().decode()
        except OSError:
            if quiet:
                return None
            raise

    def metrics(self):
        """{(name, channel or None): value} from /metrics."""
        values = {}
        for line in self.fetch("/metrics").splitlines():
            match = re.match(r'^(korvanthine_\w+)(?:\{channel="(\d)"\})? (\S+)$', line)
            if match:
                values[(match.group(1), match.group(2))] = float(match.group(3))
        return values

    def command(self, line):
        """A control line to the simulator, waited for until it was applied."""
        self.tokens += 1
        token = "t%d" % self.tokens
        with open(self.fifo, "w") as fifo:
            fifo.write("%s\nping %s\n" % (line, token))

        def acknowledged():
            try:
                with open(self.ack) as ack:
                    text = ack.read()
            except FileNotFoundError:
                return False
            if ("error " + line) in text:
                raise AssertionError("the simulator refused %r" % line)
            return ("ok " + token + "\n") in text
        wait_for("the simulator to apply %r" % line, acknowledged, 5)

    def resident_kib(self):
        with open("/proc/%d/status" % self.serve.pid) as status:
            return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))

    def cpu_seconds(self):
        return cpu_seconds(self.serve.pid)

    def stop(self):
        """Ends serve and the simulator by their pids; serve's exit status."""
        status = None
        for process in (self.serve, self.sim):
            stop_process(process)
            if process is self.serve:
                status = process.returncode
        self.serve_err.close()
        self.sim.stdout.close()
        self.folder.cleanup()
        return status


def chromium(user_data_dir, width=1280, height=1100):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in CHROMIUM_ARGS + ["--user-data-dir=" + user_data_dir, "--window-size=%d,%d" % (width, height)]:
        options.add_argument(arg)
    return webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER), options=options)


# The page's own state, as its script keeps it.
TEMPERATURE_POINTS = """return window.benchPage.charts.map(chart => {
  if (!chart) return 0;
  let points = 0;
  for (let row = 0; row < chart.numRows(); row++)
    if (chart.getValue(row, 1) !== null) points++;
  return points;
});"""
