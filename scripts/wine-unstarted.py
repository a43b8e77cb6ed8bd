#!/usr/bin/env python3
"""Names the failed tests of a CTest JUnit report whose program never ran.

A test program that GoogleTest started prints "[ RUN      ]" before its test;
one that failed without that line (no output, in a few milliseconds) was
never started by Wine or by CTest's spawn, and says nothing about the code.
Prints one anchored CTest regular expression matching those tests, or
nothing. Exits 1 when a failed test did run: that failure is real.
"""
import re
import sys
import xml.etree.ElementTree as ET


def main(report):
    unstarted, real = [], []
    for case in ET.parse(report).getroot().iter("testcase"):
        if case.get("status") != "fail":
            continue
        output = case.findtext("system-out") or ""
        (real if "[ RUN      ]" in output else unstarted).append(case.get("name"))
    for name in real:
        print("failed while running: " + name, file=sys.stderr)
    if unstarted and not real:
        print("^(" + "|".join(re.escape(name) for name in unstarted) + ")$")
    return 1 if real else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
