#!/usr/bin/python3
"""Figures of the bench page (a benchmark, run by hand, not a test):

  - bytes of the page with its chart library, as served;
  - time from navigation to the charts drawn with a full trend, in headless Chromium;
  - serve's resident memory with the trend full;
  - serve's CPU share with five pages open, beside serve with none.

    bench/bench_page.py [build/ctl/korvanthine-ctl build/sim/korvanthine-sim]"""

import json
import os
import statistics
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "page"))
from bench_page_harness import Bench, TEMPERATURE_POINTS, chromium, wait_for  # noqa: E402

PAGE_FILES = ["/", "/bench_page.js", "/bench_page.css", "/dygraph.min.js", "/dygraph.min.css"]
TREND = 3600
LOADS = 5
PAGES = 5
CPU_SECONDS = 60


def trend_entries(bench):
    return len(json.loads(bench.fetch("/state.json?after=0"))["trend"]["entries"])


def cpu_share(bench, seconds):
    before, started = bench.cpu_seconds(), time.monotonic()
    time.sleep(seconds)
    return (bench.cpu_seconds() - before) / (time.monotonic() - started)


def full_trend(ctl, sim, scratch):
    """A trend of at least TREND passes, sampled fast; then the line falls
    silent, so that serve is as idle as at its usual interval while page
    loads are timed."""
    bench = Bench(ctl, sim, serve_args=["--interval", "0.01"])
    try:
        wait_for("%d passes in the trend" % TREND,
                 lambda: json.loads(bench.fetch("/state.json?after=%d" % (TREND - 1)))["trend"]["entries"], 300, step=1)
        bench.command("fault silence")
        time.sleep(1)
        answers = []
        for _ in range(LOADS):
            started = time.monotonic()
            size = len(bench.fetch("/state.json?after=0"))
            answers.append(1000 * (time.monotonic() - started))
        entries = trend_entries(bench)
        print("/state.json?after=0 with %d passes: %d bytes, median %.0f ms to fetch" % (entries, size, statistics.median(answers)))
        times = []
        for load in range(LOADS):
            browser = chromium(os.path.join(scratch, "profile-load-%d" % load))
            try:
                browser.get(bench.url + "/")
                drawn = wait_for("the charts drawn", lambda: browser.execute_script(
                    "return window.benchPage.firstDrawnMs;"), 10)
                received = browser.execute_script(
                    "return performance.getEntriesByType('resource').find(e => e.name.includes('state.json')).responseEnd;")
                points = browser.execute_script(TEMPERATURE_POINTS)
                times.append(drawn)
                print("  load %d: trend received %.0f ms, charts drawn %.0f ms after navigation, %s temperature points"
                      % (load + 1, received, drawn, points))
            finally:
                browser.quit()
        print("navigation to charts drawn, %d loads in fresh browsers: median %.0f ms, worst %.0f ms"
              % (LOADS, statistics.median(times), max(times)))
        print("serve at --interval 0.01 (its largest ring, 14400 passes; %d kept) after the loads: %d KiB resident"
              % (entries, bench.resident_kib()))
    finally:
        bench.stop()


def five_pages(ctl, sim, scratch):
    bench = Bench(ctl, sim)
    browsers = []
    try:
        total = 0
        for path in PAGE_FILES:
            size = len(bench.fetch(path).encode())
            total += size
            print("  %-18s %7d bytes" % (path, size))
        print("page with its library: %d bytes (%.1f KB)" % (total, total / 1000))

        print("serve with no page open: %.2f %% of a core over %d s"
              % (100 * cpu_share(bench, CPU_SECONDS / 2), CPU_SECONDS / 2))
        for page in range(PAGES):
            browser = chromium(os.path.join(scratch, "profile-page-%d" % page), 1000, 800)
            browser.get(bench.url + "/")
            browsers.append(browser)
        for browser in browsers:
            wait_for("the page's trend", lambda: browser.execute_script(TEMPERATURE_POINTS)[0], 10)
        share = cpu_share(bench, CPU_SECONDS)
        behind = [browser.execute_script("return window.benchPage.last;") for browser in browsers]
        print("serve with %d pages open: %.2f %% of a core over %d s (the pages hold passes up to %s)"
              % (PAGES, 100 * share, CPU_SECONDS, behind))
        print("serve at --interval 1 (ring of %d passes allocated at start): %d KiB resident"
              % (3600, bench.resident_kib()))
    finally:
        for browser in browsers:
            browser.quit()
        bench.stop()


def main():
    ctl = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build", "ctl", "korvanthine-ctl")
    sim = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "build", "sim", "korvanthine-sim")
    with tempfile.TemporaryDirectory(prefix="korvanthine-bench-page-") as scratch:
        five_pages(ctl, sim, scratch)
        full_trend(ctl, sim, scratch)


if __name__ == "__main__":
    main()
