#!/usr/bin/python3
"""The README's screenshot of the bench page: the walkthrough's SEND (TEMP2
set to 45.0 and enabled) against the simulator, then serve on 127.0.0.1,
and the page in headless Chromium some seconds later. serve holds the port
for itself, so the setting is made just before it starts.

    scripts/bench-page-screenshot.py [OUT.png [SECONDS]]"""

import os
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "page"))
from bench_page_harness import chromium, free_port, wait_for  # noqa: E402

ctl = os.path.join(root, "build", "ctl", "korvanthine-ctl")
sim = os.path.join(root, "build", "sim", "korvanthine-sim")
out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "docs", "bench-page.png")
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 50

with tempfile.TemporaryDirectory(prefix="korvanthine-screenshot-") as folder:
    ports = os.path.join(folder, "ports")
    env = dict(os.environ, KORVANTHINE_PORTS=ports)
    simulator = subprocess.Popen([sim, "--ports-dir", ports], stdout=subprocess.PIPE, text=True)
    serve = None
    try:
        if not simulator.stdout.readline().startswith("READY"):
            sys.exit("the simulator did not start")
        subprocess.run([ctl, "set", "-p", "COM1", "-c", "2", "--temp", "45", "--output", "enable"], env=env,
                       check=True)
        port = free_port()
        serve = subprocess.Popen([ctl, "serve", "-p", "COM1", "--listen", "127.0.0.1:%d" % port], env=env)
        time.sleep(seconds)
        browser = chromium(os.path.join(folder, "profile"), 1280, 1200)
        try:
            browser.get("http://127.0.0.1:%d/" % port)
            wait_for("the charts", lambda: browser.execute_script("return window.benchPage.firstDrawnMs;"), 10)
            time.sleep(1.5)
            browser.save_screenshot(out)
        finally:
            browser.quit()
    finally:
        for process in (serve, simulator):
            if process is not None:
                process.terminate()
                process.wait(timeout=10)
        simulator.stdout.close()
print(out)
