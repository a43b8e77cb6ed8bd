#!/usr/bin/python3
"""The bench page in headless Chromium against serve on the simulator: the
table agrees with /metrics, the trend fills, a broken sensor turns its lamp
off and leaves a gap, and a silent controller or a hung serve shows at once.

    bench_page_in_chromium.py KORVANTHINE_CTL KORVANTHINE_SIM"""

import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_page_harness import Bench, TEMPERATURE_POINTS, chromium, wait_for  # noqa: E402


# The temperatures one chart draws, oldest first; null where it leaves a gap.
CHART_TEMPERATURES = """const chart = window.benchPage.charts[arguments[0]];
const values = [];
for (let row = 0; row < chart.numRows(); row++)
  values.push(chart.getValue(row, 1));
return values;"""


def text(browser, element_id):
    return browser.find_element("id", element_id).text


def shows_what_metrics_has(bench, browser):
    # A frozen model holds every reading still, so page and scrape see the same pass.
    bench.command("freeze 1")
    time.sleep(2.5)
    metrics = bench.metrics()
    for ch in "1234":
        def metric(name):
            return metrics.get(("korvanthine_" + name, ch))
        expected = {
            "temperature-" + ch: "%.2f" % metric("temperature_celsius"),
            "power-" + ch: "%.1f" % (metric("output_power_ratio") * 100),
            "set-temperature-" + ch: "%.1f" % metric("set_temperature_celsius"),
            "output-enable-" + ch: "ENABLE" if metric("output_enabled") else "DISABLE",
            "sensor-" + ch: "on" if metric("sensor_ok") else "off",
            "overtemp-" + ch: "on" if metric("overtemp") else "off",
            "ext-heat-enable-" + ch: "on" if metric("ext_heat_enabled") else "off",
        }
        for element_id, value in expected.items():
            got = text(browser, element_id).strip()
            assert got == value, "%s: page %r, /metrics %r" % (element_id, got, value)
    bench.command("freeze 0")


def trend_has_four_lines(browser, started):
    time.sleep(max(0.0, started + 20 - time.monotonic()))
    points = browser.execute_script(TEMPERATURE_POINTS)
    assert all(count >= 15 for count in points), "temperature points per channel after 20 s: %s" % points
    # A new page load gets the whole trend in its first answer.
    browser.refresh()
    again = wait_for("the reloaded page's trend", lambda: browser.execute_script(TEMPERATURE_POINTS)[0], 3)
    assert again >= points[0], "reloaded page holds %d points, the first had %d" % (again, points[0])


def broken_sensor_is_a_gap(bench, browser):
    bench.command("break 1")  # channel 2
    wait_for("channel 2's Sensor lamp off", lambda: text(browser, "sensor-2") == "off", 3)
    assert text(browser, "temperature-2") == "--", text(browser, "temperature-2")
    assert text(browser, "sensor-1") == "on"

    def gap_in_channel_2():
        rows = browser.execute_script(CHART_TEMPERATURES, 1)
        seen = [value is not None for value in rows]
        return True in seen and seen[-2:] == [False, False] and seen.index(True) < len(seen) - 2
    wait_for("a gap in channel 2's trend", gap_in_channel_2, 4)
    others = [browser.execute_script(CHART_TEMPERATURES, ch)[-1] for ch in (0, 2, 3)]
    assert None not in others, "the other channels' latest temperatures: %s" % others
    bench.command("repair 1")


def silence_shows_at_once(bench, browser):
    assert text(browser, "answering") == "answering", text(browser, "answering")
    bench.command("fault silence")
    silent = time.monotonic()
    wait_for('"not answering"', lambda: text(browser, "answering") == "not answering", 2.0)
    print("  not answering shown %.2f s after the controller fell silent" % (time.monotonic() - silent))
    bench.command("fault none")
    wait_for("answering again", lambda: text(browser, "answering") == "answering", 20, step=0.2)


def hung_serve_shows_at_once(bench, browser):
    # A serve that stops answering altogether (here: stopped by its pid, its
    # connections left open) must not leave the last readings on screen.
    os.kill(bench.serve.pid, signal.SIGSTOP)
    try:
        wait_for("the page to give up on serve", lambda: text(browser, "answering").startswith("not answering"), 3.5)
    finally:
        os.kill(bench.serve.pid, signal.SIGCONT)


def main(ctl, sim):
    bench = Bench(ctl, sim)
    browser = None
    try:
        browser = chromium(os.path.join(bench.dir, "profile"))
        browser.get(bench.url + "/")
        started = time.monotonic()
        wait_for("the page's first answer", lambda: text(browser, "answering") == "answering", 5)
        for step in (lambda: shows_what_metrics_has(bench, browser),
                     lambda: trend_has_four_lines(browser, started),
                     lambda: broken_sensor_is_a_gap(bench, browser),
                     lambda: silence_shows_at_once(bench, browser)):
            step()
        console = [entry for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
        assert not console, "errors in the page's console: %s" % console
        hung_serve_shows_at_once(bench, browser)
    finally:
        if browser is not None:
            browser.quit()
        status = bench.stop()
    assert status == 0, "serve ended with status %s" % status
    print("bench page in Chromium: passed")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
