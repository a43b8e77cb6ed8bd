#!/usr/bin/env python3
"""The manual pages against the programs: every option that a program's
--help (and each korvanthine-ctl command's --help) lists is in its page,
and every option of the page's OPTIONS section is in some --help; for
korvanthine-sim the same for its fault modes and control lines. Every
state `ports` can show is in its --help and its page's entry, and every
request serve's --help names is in the page, whose 405 sentence admits
its method.

    check_man_options.py MAN_DIR KORVANTHINE_CTL KORVANTHINE_SIM
"""
import re
import subprocess
import sys

# What `ports` prints in its State column (PortStateText).
PORT_STATES = ("free", "shared", "busy", "no access", "not serial", "absent")
REQUEST = re.compile(r"\b(GET|HEAD|POST|PUT|DELETE|PATCH) (/[\w./]*)")

OPTION = re.compile(r"(?<![\w-])(--?[a-z][a-z0-9-]*)")


def help_text(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True, timeout=20).stdout


def help_options(text):
    """The options of the option lines: those that start with a dash."""
    found = set()
    for line in text.splitlines():
        if re.match(r"\s+-", line):
            found.update(OPTION.findall(line.split("  ", 2)[1] if line.startswith("  ") else line))
    return found


def man_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read().replace("\\-", "-").replace("\\fI", "").replace("\\fR", "").replace("\\fB", "")


def section(text, name):
    match = re.search(r"^\.SH " + name + r"\n(.*?)(?=^\.SH |\Z)", text, re.S | re.M)
    return match.group(1) if match else ""


def man_options(text):
    """The options named at the head of each entry of OPTIONS (.TP's next line)."""
    lines = section(text, "OPTIONS").splitlines()
    return {o for i, line in enumerate(lines[:-1]) if line == ".TP" for o in OPTION.findall(lines[i + 1])}


def help_block(text, title):
    """The lines of the help's block after the line holding title."""
    return text.split(title, 1)[1].split("\n\n", 1)[0].splitlines()[1:]


def fault_modes(text):
    """The modes of the help's list: "none, silence (no replies), cut N (...), ..."."""
    listed = re.sub(r"\([^)]*\)", "", " ".join(help_block(text, "Fault modes")))
    return {item.split()[0] for item in listed.split(",") if item.strip()}


def control_lines(text):
    """The first word of each |-separated item of the help's control lines."""
    words = set()
    for line in help_block(text, "Control lines"):
        if "|" in line:
            words.update(m.group(1) for m in re.finditer(r"(?:^|\|)\s*([a-z]+)", line))
    return words


def compare(program, in_help, in_page, what, problems):
    for name in sorted(in_help - in_page):
        problems.append(f"{program}: {what} {name} is in --help but not in its manual page")
    for name in sorted(in_page - in_help):
        problems.append(f"{program}: {what} {name} is in the manual page but in no --help")


def main():
    man_dir, ctl, sim = sys.argv[1:4]
    problems = []

    top = help_text(ctl, "--help")
    commands = re.findall(r"^  ([a-z][a-z-]*)\s", top.split("Subcommands:", 1)[1], re.M)
    assert commands, "no commands in korvanthine-ctl --help"
    ctl_help = help_options(top)
    for command in commands:
        command_help = help_text(ctl, command, "--help")
        ctl_help |= help_options(command_help)
        # A command with actions of its own (program start, status, ...)
        # has their options in their own help.
        if "Subcommands:" in command_help:
            for action in re.findall(r"^  ([a-z][a-z-]*)\s", command_help.split("Subcommands:", 1)[1], re.M):
                ctl_help |= help_options(help_text(ctl, command, action, "--help"))
    page = man_text(f"{man_dir}/korvanthine-ctl.1")
    compare("korvanthine-ctl", ctl_help, man_options(page), "option", problems)
    for command in commands:
        if not re.search(r"^\.B " + command + r"$", section(page, "COMMANDS"), re.M):
            problems.append(f"korvanthine-ctl: command {command} is not under COMMANDS in its manual page")

    ports_help = " ".join(help_text(ctl, "ports", "--help").split())
    ports_page = " ".join(re.split(r"^\.TP$", section(page, "COMMANDS").split("\n.B ports\n", 1)[1], 1, re.M)[0].split())
    for state in PORT_STATES:
        if state not in ports_help:
            problems.append(f"korvanthine-ctl: port state {state} is not in ports --help")
        if state not in ports_page:
            problems.append(f"korvanthine-ctl: port state {state} is not under ports in its manual page")

    serve_help = " ".join(help_text(ctl, "serve", "--help").split())
    flat_page = " ".join(page.replace(".B ", "").replace(".BR ", "").split())
    requests = set(REQUEST.findall(serve_help))
    assert requests, "no requests in korvanthine-ctl serve --help"
    refused = re.search(r"methods other than (.*?) get 405", flat_page)
    for method, path in sorted(requests):
        if f"{method} {path}" not in flat_page:
            problems.append(f"korvanthine-ctl: {method} {path} is in serve --help but not in its manual page")
        if refused is None or method not in refused.group(1):
            problems.append(f"korvanthine-ctl: the manual page answers {method} with 405, which serve --help offers")

    text = help_text(sim, "--help")
    page = man_text(f"{man_dir}/korvanthine-sim.1")
    compare("korvanthine-sim", help_options(text), man_options(page), "option", problems)
    page_words = set(re.findall(r"[a-z]+", section(page, "FAULT MODES") + section(page, "CONTROL LINES")))
    for what, listed in (("fault mode", fault_modes(text)), ("control line", control_lines(text))):
        assert listed, f"no {what}s in korvanthine-sim --help"
        for word in sorted(listed - page_words):
            problems.append(f"korvanthine-sim: {what} {word} is in --help but not in its manual page")

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
