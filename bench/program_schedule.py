#!/usr/bin/env python3
"""How closely serve keeps a program's schedule on the line, and what it
costs the rest of serve.

Starts korvanthine-sim (--speed 10) and serve on a port of its own, all in a
temporary folder, runs a four-channel program (a ramp from the measured
temperature at 0.59 °C a minute, one 0.1 °C change every 10.17 s per
channel, for MINUTES minutes) while scraping /metrics five times a second,
then kills serve with SIGKILL and starts it again.

Prints:
- the lag from each planned 0.1 °C change to its write on the simulator's
  line (median, p99, max). A ramp starts from a temperature measured to
  0.01 °C, so each channel's schedule is known up to its start: it is taken
  from the earliest write against the plan. The change period is no
  multiple of the pass, so the changes fall on every phase of it and the
  earliest lags only a few ms: the figures are low by at most that;
- serve's passes a second while the program ran;
- the scrape latency (median, p99), for a minute without the program and
  while it runs;
- the time from serve's restart to the program's first write after it.

    program_schedule.py BUILD_DIR [MINUTES]
"""
import datetime
import json
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

PORT_NAME = "COM9"
RATE = 0.59  # °C a minute: a change every 10.17 s
LISTEN = "127.0.0.1:27791"


def wait_for(what, predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    sys.exit(f"program_schedule: gave up waiting for {what}")


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def sim_writes(log_path):
    """(time, channel, tenths) of each set-point write in the simulator's log."""
    writes, channel = [], None
    with open(log_path, encoding="ascii", errors="replace") as log:
        for line in log:
            stamp, _, frame = line.strip().partition(" ")
            if not frame.startswith("*00"):
                continue
            command, value = frame[3:5], frame[5:13]
            when = datetime.datetime.fromisoformat(stamp).timestamp()
            if command == "20":
                channel = int(value, 16) + 1
            elif command == "31" and channel is not None:
                writes.append((when, channel, int(value, 16)))
    return writes


def main():
    build = sys.argv[1]
    minutes = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    ctl = os.path.join(build, "ctl", "korvanthine-ctl")
    sim = os.path.join(build, "sim", "korvanthine-sim")
    work = tempfile.mkdtemp(prefix="korvanthine-schedule.")
    env = dict(os.environ, KORVANTHINE_PORTS=f"{work}/ports", XDG_RUNTIME_DIR=f"{work}/run")
    os.makedirs(f"{work}/run", mode=0o700)
    ramp_seconds = int(minutes * 60)
    with open(f"{work}/ramp.yml", "w") as f:
        f.write(f"""name: schedule
channels: [1, 2, 3, 4]
max_celsius: 60
holdback: {{band: 5.0, timeout: 30m}}
recovery: {{max_outage: 15m}}
end: outputs_off
segments:
  - {{ramp: 50.0, rate: {RATE} C/min}}
""")
    sim_log = f"{work}/sim.log"
    simulator = subprocess.Popen([sim, "--port", PORT_NAME, "--speed", "10", "--log", sim_log], env=env,
                                 stdout=subprocess.PIPE, text=True)
    serves = []

    def start_serve():
        serve = subprocess.Popen([ctl, "serve", "-p", PORT_NAME, "--listen", LISTEN, "--state.dir", f"{work}/state"],
                                 env=env, stderr=open(f"{work}/serve.log", "a"))
        serves.append(serve)
        return serve

    def ctl_json(*args):
        done = subprocess.run([ctl, "program", *args, "-p", PORT_NAME, "--json"], env=env, capture_output=True,
                              text=True, timeout=30)
        return json.loads(done.stdout) if done.returncode == 0 and done.stdout else None

    def scrape():
        started = time.monotonic()
        with urllib.request.urlopen(f"http://{LISTEN}/metrics", timeout=5) as answer:
            body = answer.read().decode()
        return time.monotonic() - started, body

    def passes(body):
        for line in body.splitlines():
            if line.startswith("korvanthine_passes_total "):
                return float(line.split()[1])
        return None

    try:
        assert simulator.stdout.readline().startswith("READY")
        start_serve()
        wait_for("serve's first pass", lambda: (lambda b: b and passes(b))(try_scrape(scrape)), 30)
        # The same scrapes without a program first: what the program adds.
        baseline = []
        end = time.monotonic() + 60
        while time.monotonic() < end:
            baseline.append(scrape()[0])
            time.sleep(0.2)
        started = subprocess.run([ctl, "program", "start", "-p", PORT_NAME, f"{work}/ramp.yml"], env=env,
                                 capture_output=True, text=True, timeout=30)
        assert started.returncode == 0, started.stderr
        asked = time.time()
        status = ctl_json("status")
        run_start = asked - status["channels"][0]["elapsed_seconds"]
        first_passes = passes(scrape()[1])
        first_time = time.monotonic()
        latencies = []
        end = time.monotonic() + ramp_seconds
        while time.monotonic() < end:
            latencies.append(scrape()[0])
            time.sleep(0.2)
        last_passes = passes(scrape()[1])
        passes_per_second = (last_passes - first_passes) / (time.monotonic() - first_time)

        lags = []
        period = 6.0 / RATE
        writes = [w for w in sim_writes(sim_log) if run_start <= w[0] <= run_start + ramp_seconds]
        for channel in range(1, 5):
            own = [(when, tenths) for when, ch, tenths in writes if ch == channel][1:]
            if not own:
                continue
            offsets = [when - tenths * period for when, tenths in own]
            lags += [offset - min(offsets) for offset in offsets]
        # Recovery: serve killed in the middle of the ramp, started again.
        serves[-1].send_signal(signal.SIGKILL)
        serves[-1].wait()
        restarted = time.time()
        start_serve()
        first_after = wait_for("a write after the restart",
                               lambda: next((w[0] for w in sim_writes(sim_log) if w[0] > restarted), None), 60)

        print(f"planned changes measured: {len(lags)} (4 channels, {ramp_seconds} s of a ramp)")
        print(f"write lag after the planned change: median {statistics.median(lags) * 1000:.0f} ms, "
              f"p99 {percentile(lags, 99) * 1000:.0f} ms, max {max(lags) * 1000:.0f} ms, "
              f"min {min(lags) * 1000:.0f} ms")
        print(f"serve's passes a second with the program running: {passes_per_second:.3f}")
        for what, times in (("without a program", baseline), ("with the program", latencies)):
            print(f"scrapes {what}: {len(times)}, median {statistics.median(times) * 1000:.2f} ms, "
                  f"p99 {percentile(times, 99) * 1000:.2f} ms")
        print(f"recovery: restart to first program write {first_after - restarted:.2f} s")
    finally:
        for serve in serves:
            if serve.poll() is None:
                serve.terminate()
                serve.wait(10)
        simulator.terminate()
        simulator.wait(10)


def try_scrape(scrape):
    try:
        return scrape()[1]
    except OSError:
        return None


if __name__ == "__main__":
    main()
