#!/usr/bin/python3
"""The bench page's programs in headless Chromium: serve on the simulator
gives the page and the bench's state; a proxy in front of it, all on
127.0.0.1, plays serve's program runner (/programs) and an operator's
access (/settings). The page shows the run, draws its set point over the
trend, and sends hold only once it is confirmed; a dismissed abort sends
nothing; the page's CSP lets all of it run.

    programs_in_chromium.py KORVANTHINE_CTL KORVANTHINE_SIM [SCREENSHOT.png]"""

import http.server
import json
import os
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_page_harness import Bench, chromium, free_port, wait_for  # noqa: E402

ACCESS = {"user": "alice", "operator": True, "writable": True, "why_not": "", "changes": []}


class Runner:
    """A run of anneal-ch2 on channel 2, ramping from 20 °C; the commands it was sent."""

    def __init__(self):
        self.started = time.monotonic()
        self.state = "running"
        self.commands = []

    def status(self):
        elapsed = time.monotonic() - self.started
        return {"channels": [{"channel": 2, "id": "r-7", "program": "anneal-ch2", "state": self.state,
                              "segment": 1, "setpoint_celsius": round(20 + elapsed / 10, 1),
                              "elapsed_seconds": elapsed, "remaining_seconds": 1500.0 - elapsed,
                              "started_by": "alice from 127.0.0.1"}]}


def proxy(upstream, runner):
    class Handler(http.server.BaseHTTPRequestHandler):
        def answer(self, status, body, headers):
            self.send_response(status)
            for name, value in headers:
                if name.lower() not in ("transfer-encoding", "connection", "content-length"):
                    self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_GET(self):
            path = self.path.split("?")[0]
            if path in ("/programs", "/settings"):
                document = runner.status() if path == "/programs" else ACCESS
                self.answer(200, json.dumps(document).encode(), [("Content-Type", "application/json")])
                return
            with urllib.request.urlopen(upstream + self.path, timeout=5) as reply:
                self.answer(reply.status, reply.read(), reply.getheaders())

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            runner.commands.append((self.path, self.headers.get("Content-Type"), body.decode()))
            if self.path == "/programs/r-7/hold":
                runner.state = "held"
            self.answer(200, b'{"id":"r-7"}', [("Content-Type", "application/json")])

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", free_port()), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def text(browser, element_id):
    return browser.find_element("id", element_id).text


def main(ctl, sim, screenshot=None):
    bench = Bench(ctl, sim)
    runner = Runner()
    server = proxy(bench.url, runner)
    browser = None
    try:
        browser = chromium(os.path.join(bench.dir, "profile"), 1280, 1300)
        browser.get("http://127.0.0.1:%d/" % server.server_address[1])
        wait_for("the program's row", lambda: text(browser, "programs").find("anneal-ch2") >= 0, 10)
        assert text(browser, "program-state-2") == "running", text(browser, "program-state-2")
        assert text(browser, "program-segment-2") == "1", text(browser, "program-segment-2")
        wait_for("the hold button", lambda: browser.find_element("id", "program-hold-2").is_displayed(), 10)
        assert not browser.find_element("id", "program-resume-2").is_displayed()

        # The program's set point is drawn on channel 2's chart, on no other.
        drawn = """return window.benchPage.charts.map(chart => {
          let points = 0;
          if (chart) for (let row = 0; row < chart.numRows(); row++) if (chart.getValue(row, 4) !== null) points++;
          return points; });"""
        wait_for("the program's set point on the chart", lambda: browser.execute_script(drawn)[1] >= 3, 10)
        assert browser.execute_script(drawn)[0] == 0, browser.execute_script(drawn)
        if screenshot:
            time.sleep(1)
            browser.save_screenshot(screenshot)

        browser.find_element("id", "program-abort-2").click()
        alert = wait_for("abort's confirmation", lambda: browser.switch_to.alert, 5)
        assert "Abort program anneal-ch2 on TEMP2?" == alert.text, alert.text
        alert.dismiss()
        browser.find_element("id", "program-hold-2").click()
        wait_for("hold's confirmation", lambda: browser.switch_to.alert, 5).accept()
        wait_for("held on the page", lambda: text(browser, "program-state-2") == "held", 10)
        wait_for("the resume button", lambda: browser.find_element("id", "program-resume-2").is_displayed(), 5)
        assert runner.commands == [("/programs/r-7/hold", "application/json", "{}")], runner.commands
        assert "held" in text(browser, "programs-result"), text(browser, "programs-result")
        console = [entry for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
        assert not console, "errors in the page's console: %s" % console
    finally:
        if browser is not None:
            browser.quit()
        server.shutdown()
        status = bench.stop()
    assert status == 0, "serve ended with status %s" % status
    print("the page's programs in Chromium: passed")


if __name__ == "__main__":
    main(*sys.argv[1:4])
