#!/usr/bin/env python3
"""The guides' shell blocks, run as a reader would paste them.

Every fenced ```sh block of README.md and docs/*.md runs, in the order of its
page, in a sandbox: the simulator stands in for the controller, localhost for
the lab's hosts, a temporary folder for /etc and the home folder. A page is
one terminal session: a block sees the variables, exports and working folder
the blocks before it left, and what they started keeps running until the
page is done, when it is stopped by pid. A block that cannot run here is
preceded by `<!-- not run: why -->` and is only parsed; a ```yaml block
preceded by `<!-- check: COMMAND {} -->` is written to a file and COMMAND is
run on it. Every relative link of the pages, and every runbook_url of the
alert rules, must lead to a page and heading that exist.

    run_guide_blocks.py SOURCE_DIR BUILD_DIR [PAGE ...]

GUIDE_BLOCKS_VERBOSE=1 prints each block as run, and its output.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# Everything the sandbox changes in a block, in the order applied. {sandbox},
# {build}, {source}, {port1}, {port2} and {port3} are filled in per page.
SUBSTITUTIONS = [
    ("$PWD/build", "{build}"),                      # "from a build of the source"
    ("/tmp/korvanthine-ports", "{sandbox}/ports"),  # the simulator's ports folder
    ("/etc/korvanthine", "{sandbox}/etc/korvanthine"),
    ("/etc/systemd/system", "{sandbox}/etc/systemd/system"),
    ("/etc/prometheus", "{sandbox}/etc/prometheus"),
    ("/usr/share/korvanthine/monitoring", "{source}/monitoring"),
    ("bench-01.lab.example", "localhost"),          # the bench PC's name, in its certificate too
    ("--web.allowed-host ", "--listen 127.0.0.1:{port1} --web.allowed-host "),  # serve on the loopback only
    ("27531", "{port1}"),                           # serve's port, and a second instance's
    ("27532", "{port2}"),
    ("9099", "{port3}"),                            # the webhook receiver to try notifications with
    ("python3 scripts/", "python3 {source}/scripts/"),  # the source's own scripts
    ("-g prometheus ", ""),                         # no prometheus group in the sandbox
    ("tail -F night.csv 2>/dev/null", "{{ timeout 2 tail -F night.csv || [ $? = 124 ]; }}"),
]
# Programs the sandbox provides in place of the system's (in {sandbox}/bin).
SHIMS = {
    "sudo": '#!/bin/sh\nexec "$@"\n',  # the sandbox's paths are the reader's own
    "xdg-open": '#!/bin/sh\nexec curl -fsS -o /dev/null "$1"\n',  # the page must load
}
BLOCK_SECONDS = 40
# Pages that other work adds: linked already, checked once they are there.
PAGES_WRITTEN_ELSEWHERE = set()
# A fence may be indented, as in a list item; its body loses that indent.
FENCE = re.compile(r"^([ \t]*)```(\S*)[^\n]*\n(.*?)^\1```[ \t]*$", re.S | re.M)
# The comment on the line right before a fence.
NOT_RUN = re.compile(r"<!--[ \t]*not run:[ \t]*([^\n]*?)[ \t]*-->[ \t]*\n[ \t]*\Z")
CHECK = re.compile(r"<!--[ \t]*check:[ \t]*([^\n]*?)[ \t]*-->[ \t]*\n[ \t]*\Z")
LINK = re.compile(r"\]\(([^)\s]+)\)")

# Run before each block: the session so far. The variables the block sets
# and its background jobs are kept when it ends, however it ends.
PROLOGUE = r"""__baseline=" $(compgen -v | tr '\n' ' ') "
__state=$1
cd "$(cat "$__state/cwd")"
. "$__state/vars"
__save() {
    jobs -p >>"$__state/pids"
    pwd >"$__state/cwd"
    {
        export -p | grep -Ev '^declare -x (PWD|OLDPWD|SHLVL|_)='
        for __v in $(compgen -v); do
            case $__baseline in *" $__v "*) continue ;; esac
            case $__v in __* | BASH* | FUNCNAME | PIPESTATUS | GROUPS) continue ;; esac
            declare -p "$__v" 2>/dev/null
        done
    } >"$__state/vars"
}
trap __save EXIT
set -e
"""


def blocks(path):
    """(language, body, note, check) of each fenced block, note and check
    from the comment right before it."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    found = []
    for match in FENCE.finditer(text):
        before = text[: match.start()]
        note, check = NOT_RUN.search(before), CHECK.search(before)
        indent = len(match.group(1))
        body = "".join(line[indent:] for line in match.group(3).splitlines(True))
        found.append((match.group(2), body, note and note.group(1), check and check.group(1)))
    return text, found


def substitute(text, values):
    for old, new in SUBSTITUTIONS:
        text = text.replace(old, new.format(**values))
    return text


def slug(heading):
    """The anchor a heading gets: lower case, punctuation dropped, blanks as dashes."""
    text = re.sub(r"[`*]", "", heading.strip().lower())
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def anchors(path):
    with open(path, encoding="utf-8") as f:
        text = FENCE.sub("", f.read())
    return {slug(m.group(1)) for m in re.finditer(r"^#+\s+(.+)$", text, re.M)}


def check_links(source, pages, problems):
    """Relative links lead to a file, and to one of its headings."""
    for page in pages:
        with open(page, encoding="utf-8") as f:
            text = FENCE.sub("", f.read())
        for target in LINK.findall(text):
            if re.match(r"[a-z]+:", target):
                continue
            file, _, anchor = target.partition("#")
            resolved = os.path.normpath(os.path.join(os.path.dirname(page), file)) if file else page
            if not os.path.exists(resolved):
                if os.path.relpath(resolved, source) in PAGES_WRITTEN_ELSEWHERE:
                    continue
                problems.append(f"{os.path.relpath(page, source)}: link {target}: no such file")
            elif anchor and resolved.endswith(".md") and anchor not in anchors(resolved):
                problems.append(f"{os.path.relpath(page, source)}: link {target}: no such heading")
    rules = os.path.join(source, "monitoring", "korvanthine-alerts.yml")
    with open(rules, encoding="utf-8") as f:
        for url in re.findall(r'runbook_url:\s*"([^"]+)"', f.read()):
            file, _, anchor = url.partition("#")
            page = os.path.join(source, file)
            if not os.path.exists(page) or anchor not in anchors(page):
                problems.append(f"korvanthine-alerts.yml: runbook_url {url} leads nowhere")


def free_ports(count):
    import socket
    sockets = [socket.socket() for _ in range(count)]
    for s in sockets:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


def stop(pids):
    """End what the page's blocks left running: SIGTERM, then SIGKILL for
    whatever has not ended after 5 s."""
    for pid in pids:
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + 5
    for pid in pids:
        while time.monotonic() < deadline and os.path.exists(f"/proc/{pid}") and \
                not open(f"/proc/{pid}/stat").read().split(") ")[1].startswith("Z"):
            time.sleep(0.05)
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def make_sandbox(root, source, build):
    sandbox = tempfile.mkdtemp(prefix="guide.", dir=root)
    for folder in ("bin", "home", "work", "etc", "ports", "state"):
        os.makedirs(os.path.join(sandbox, folder))
    os.makedirs(os.path.join(sandbox, "run"), mode=0o700)
    for name, text in SHIMS.items():
        with open(os.path.join(sandbox, "bin", name), "w") as f:
            f.write(text)
        os.chmod(os.path.join(sandbox, "bin", name), 0o755)
    port1, port2, port3 = free_ports(3)
    values = {"sandbox": sandbox, "build": build, "source": source, "port1": port1, "port2": port2,
              "port3": port3}
    state = os.path.join(sandbox, "state")
    with open(os.path.join(state, "cwd"), "w") as f:
        f.write(os.path.join(sandbox, "work"))
    open(os.path.join(state, "vars"), "w").close()
    open(os.path.join(state, "pids"), "w").close()
    env = {k: v for k, v in os.environ.items() if not k.startswith(("KORVANTHINE_", "XDG_"))}
    env.update(HOME=os.path.join(sandbox, "home"), XDG_RUNTIME_DIR=os.path.join(sandbox, "run"),
               KORVANTHINE_PORTS=os.path.join(sandbox, "ports"),
               PATH=os.path.join(sandbox, "bin") + os.pathsep + env.get("PATH", "/usr/bin:/bin"))
    return sandbox, values, env


def run_page(page, source, build, root, problems):
    name = os.path.relpath(page, source)
    _, found = blocks(page)
    sandbox, values, env = make_sandbox(root, source, build)
    state = os.path.join(sandbox, "state")
    started = time.monotonic()
    ran = parsed = 0
    try:
        for index, (language, body, note, check) in enumerate(found, 1):
            where = f"{name}, block {index}"
            text = substitute(body, values)
            if language == "yaml" and check:
                file = os.path.join(sandbox, f"block{index}.yml")
                with open(file, "w") as f:
                    f.write(text)
                command = substitute(check, values).replace("{}", file)
                result = subprocess.run(["bash", "-c", command], env=env, cwd=sandbox, capture_output=True,
                                        text=True, timeout=BLOCK_SECONDS)
                if result.returncode != 0:
                    problems.append(f"{where}: {check}: {result.stdout}{result.stderr}")
                continue
            if language != "sh":
                continue
            if note:
                result = subprocess.run(["bash", "-n"], input=text, capture_output=True, text=True)
                if result.returncode != 0:
                    problems.append(f"{where} (not run: {note}) does not parse: {result.stderr}")
                parsed += 1
                continue
            script = os.path.join(sandbox, f"block{index}.sh")
            log = os.path.join(sandbox, f"block{index}.log")
            with open(script, "w") as f:
                f.write(PROLOGUE + text)
            # Output to a file: what the block leaves running keeps it open.
            with open(log, "w") as out:
                try:
                    status = subprocess.run(["timeout", "-k", "5", str(BLOCK_SECONDS), "bash", script, state],
                                            env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                            timeout=BLOCK_SECONDS + 15).returncode
                except subprocess.TimeoutExpired:
                    status = "no end"
            ran += 1
            if os.environ.get("GUIDE_BLOCKS_VERBOSE"):
                with open(log, encoding="utf-8", errors="replace") as f:
                    print(f"--- {where}:\n{text}--- its output:\n{f.read()}", flush=True)
            if status != 0:
                with open(log, encoding="utf-8", errors="replace") as f:
                    problems.append(f"{where} ended with status {status}:\n{text}--- its output:\n{f.read()}")
                break
        hook = AFTER_PAGE.get(name)
        if hook and not problems:
            hook(sandbox, values, env, source, build, problems)
    finally:
        with open(os.path.join(state, "pids")) as f:
            stop([int(line) for line in f if line.strip()])
    print(f"{name}: {ran} blocks run, {parsed} parsed only, {time.monotonic() - started:.1f} s", flush=True)


def check_service_drop_in(sandbox, values, env, source, build, problems):
    """The drop-in the guide wrote is the one packaged, systemd takes it with
    the unit, and serve starts from it as systemd would start it: the web
    configuration, certificate and key copied as credentials (%d)."""
    written = os.path.join(sandbox, "etc/systemd/system/korvanthine-serve@.service.d/web.conf")
    packaged = os.path.join(source, "packaging/systemd/korvanthine-serve@.service.d/web.conf")
    with open(written) as a, open(packaged) as b:
        drop_in = a.read()
        if drop_in != substitute(b.read(), values):
            problems.append("docs/remote-settings.md writes another drop-in than packaging/systemd holds")
    root = os.path.join(sandbox, "root")
    units = os.path.join(root, "usr/lib/systemd/system")
    os.makedirs(units)
    os.makedirs(os.path.join(root, "usr/bin"))
    shutil.copy(os.path.join(source, "packaging/systemd/korvanthine-serve@.service"), units)
    for unit in os.listdir("/lib/systemd/system"):
        if unit.endswith((".target", ".slice")):
            shutil.copy(os.path.join("/lib/systemd/system", unit), units)
    shutil.copytree(os.path.dirname(written), os.path.join(root, "etc/systemd/system/korvanthine-serve@.service.d"))
    with open(os.path.join(root, "usr/bin/korvanthine-ctl"), "w") as f:
        f.write("#!/bin/sh\n")
    os.chmod(os.path.join(root, "usr/bin/korvanthine-ctl"), 0o755)
    result = subprocess.run(["systemd-analyze", "verify", "--man=no", f"--root={root}",
                             "korvanthine-serve@COM1.service"], capture_output=True, text=True, timeout=60)
    if result.returncode != 0 or result.stdout.strip() or result.stderr.strip():
        problems.append(f"systemd-analyze verify with the drop-in: {result.stdout}{result.stderr}")
    # What systemd does at start: each LoadCredential= file copied, read-only,
    # into the credentials folder; then the last ExecStart= with %d and %I.
    credentials = os.path.join(sandbox, "credentials")
    os.makedirs(credentials)
    exec_start = None
    for line in drop_in.splitlines():
        if line.startswith("LoadCredential="):
            name, _, path = line.split("=", 1)[1].partition(":")
            shutil.copy(path, os.path.join(credentials, name))
            os.chmod(os.path.join(credentials, name), 0o400)
        elif line.startswith("ExecStart=") and line != "ExecStart=":
            exec_start = line.split("=", 1)[1]
    if exec_start is None:
        problems.append("the drop-in sets no ExecStart=")
        return
    command = exec_start.replace("%d", credentials).replace("%I", "COM1").replace("$KORVANTHINE_SERVE_OPTIONS", "")
    command = command.replace("/usr/bin/korvanthine-ctl", os.path.join(build, "ctl/korvanthine-ctl"))
    command += f" --listen 127.0.0.1:{values['port2']}"
    # A controller of its own: the page's serve may still be letting go of its port.
    ports = os.path.join(sandbox, "service-ports")
    os.makedirs(ports)
    env = dict(env, KORVANTHINE_PORTS=ports)
    log = os.path.join(sandbox, "service.log")
    with open(log, "w") as out:
        sim = subprocess.Popen([os.path.join(build, "sim/korvanthine-sim"), "--ports-dir", ports], env=env,
                               stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        for _ in range(100):
            if os.path.exists(os.path.join(ports, "com1")):
                break
            time.sleep(0.1)
        serve = subprocess.Popen(command.split(), env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out)
    try:
        answer = None
        for _ in range(100):
            if serve.poll() is not None:
                break
            answer = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "--cacert",
                                     os.path.join(credentials, "bench.crt"), f"https://localhost:{values['port2']}/"],
                                    capture_output=True, text=True, timeout=10).stdout
            if answer == "401":
                break
            time.sleep(0.1)
        if answer != "401":
            with open(log) as f:
                problems.append(f"serve as the drop-in starts it did not answer 401 over TLS ({answer}): {f.read()}")
    finally:
        for process in (serve, sim):
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()


AFTER_PAGE = {os.path.join("docs", "remote-settings.md"): check_service_drop_in}


def main():
    source, build = (os.path.abspath(a) for a in sys.argv[1:3])
    docs = os.path.join(source, "docs")
    pages = [os.path.join(source, "README.md")] + sorted(
        os.path.join(docs, p) for p in os.listdir(docs) if p.endswith(".md"))
    chosen = [p for p in pages if not sys.argv[3:] or os.path.relpath(p, source) in sys.argv[3:]]
    problems = []
    check_links(source, pages, problems)
    with tempfile.TemporaryDirectory(prefix="korvanthine-guides.") as root:
        for page in chosen:
            run_page(page, source, build, root, problems)
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
