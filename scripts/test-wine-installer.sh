#!/usr/bin/env bash
# The installer's exporter services under Wine: a silent install with a
# service for COM5, mapped to the native simulator; the service runs, and
# Linux scrapes it over TLS with the made certificate and the operator's
# password; a silent uninstall leaves no service and no folder. Called by
# scripts/test-package.sh with its Wine prefix (WINEPREFIX and WINEDEBUG
# set); the prefix's COM5 is mapped for the run and unmapped after it.
#
#   scripts/test-wine-installer.sh WINE INSTALLER KORVANTHINE-SIM
#
# Where Wine differs from Windows, the step is skipped saying why:
# - Wine's icacls is a stub (it changes no access list and exits 0), so
#   that the service folders are kept to Administrators and SYSTEM is not
#   checked here.
set -euo pipefail
wine=$1
installer=$2
sim=$3
wine_dir=$(dirname "$wine")
wineserver=$wine_dir/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
service=KorvanthineCOM5
data=$WINEPREFIX/drive_c/ProgramData/korvanthine
folder=$data/service-COM5
target=$WINEPREFIX/drive_c/Program\ Files/KORVANTHINE
work=$(mktemp -d)

fail() { echo "wine installer test: FAILED: $*" >&2; exit 1; }

. "$(dirname "${BASH_SOURCE[0]}")/wait-for.sh"

sc() { timeout 60 "$wine" sc "$@" 2>&1 | tr -d '\r'; }
service_state() { sc query "$service" | awk '/STATE/ {print $4}'; }
in_state() { [ "$(service_state)" = "$1" ]; }
service_gone() { ! sc query "$service" | grep -q STATE; }
# The password and the user go to curl in a file, never on its command line.
scrape() { curl -s -m 5 -K "$work/curl.cfg" --cacert "$folder/server.crt" "https://localhost:$port/metrics"; }
exporter_up() { scrape | grep -qx 'korvanthine_up 1'; }
uninstalled() { service_gone && [ ! -e "$folder" ] && [ ! -e "$target" ]; }

sim_pid=
cleanup() {
    # A failed run uninstalls what it installed, services and all.
    if [ -e "$target/Uninstall.exe" ]; then
        timeout 120 "$wine" "C:\\Program Files\\KORVANTHINE\\Uninstall.exe" /S >/dev/null 2>&1 || true
        wait_for 600 uninstalled || echo "wine installer test: the uninstaller left $service or its files" >&2
    fi
    [ -z "$sim_pid" ] || kill -TERM "$sim_pid" 2>/dev/null || true
    timeout 60 "$wine" reg delete 'HKLM\Software\Wine\Ports' /v COM5 /f >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# COM5 to a link in the work folder, which the simulator points at its
# pseudo-terminal. Wine reads the mapping when it starts: it is restarted.
mkdir -p "$work/ports"
timeout 60 "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$work/ports/com5" /f >/dev/null 2>&1 \
    || fail "could not map COM5"
timeout 60 "$wineserver" -w || true
timeout 20 "$wineserver" -k >/dev/null 2>&1 || true
"$sim" --ports-dir "$work/ports" --port COM5 >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for 50 grep -q READY "$work/sim.out" || fail "the simulator did not start: $(cat "$work/sim.out")"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
password=$(python3 -c 'import secrets; print(secrets.token_urlsafe(18))')
(umask 077 && printf '%s\n' "$password" >"$work/alice.password" \
    && printf 'user = "alice:%s"\n' "$password" >"$work/curl.cfg")
password_file=$(timeout 60 "$wine" winepath -w "$work/alice.password" 2>/dev/null | tr -d '\r')

echo "-- answers that make no service stop the installation before anything is installed"
while IFS='|' read -r why options; do
    read -r -a args <<<"$options"
    status=0
    timeout 300 "$wine" "$installer" /S "${args[@]}" "/LISTEN=127.0.0.1:$port" /CERTNAME=localhost || status=$?
    [ "$status" = 2 ] || fail "$why: the installer ended with status $status, not 2"
    [ ! -e "$target" ] || fail "$why: files were installed"
    service_gone || fail "$why: $service exists"
done <<EOF_CASES
not a COM port|/SERVICES=COMX /OPERATOR=alice /PASSWORDFILE=$password_file
no operator|/SERVICES=COM5 /PASSWORDFILE=$password_file
an operator's name YAML would misread|/SERVICES=COM5 /OPERATOR=a:b /PASSWORDFILE=$password_file
no password|/SERVICES=COM5 /OPERATOR=alice
a missing password file|/SERVICES=COM5 /OPERATOR=alice /PASSWORDFILE=C:\\nowhere\\alice.password
EOF_CASES

echo "-- silent install with a service for COM5 on 127.0.0.1:$port"
started=$(date +%s.%N)
timeout 300 "$wine" "$installer" /S /SERVICES=COM5 "/LISTEN=127.0.0.1:$port" /OPERATOR=alice \
    "/PASSWORDFILE=$password_file" /CERTNAME=localhost || fail "the installer ended with status $?"
installed=$(date +%s.%N)
[ -f "$target/korvanthine-ctl.exe" ] || fail "korvanthine-ctl.exe was not installed"
wait_for 300 in_state RUNNING || fail "$service is not running: $(sc query "$service")"
wait_for 300 exporter_up || fail "no korvanthine_up 1 over TLS at https://localhost:$port/metrics: $(scrape || true)"
answering=$(date +%s.%N)
awk -v a="$started" -v b="$installed" -v c="$answering" \
    'BEGIN { printf "silent install %.1f s; from its start to the first scrape over TLS %.1f s\n", b - a, c - a }'

echo "-- what the installer wrote"
for name in web.yml server.crt server.key; do
    [ -s "$folder/$name" ] || fail "no $name in $folder"
done
grep -q '^  alice: \$2y\$12\$' "$folder/web.yml" || fail "no bcrypt line for alice in web.yml: $(cat "$folder/web.yml")"
grep -q '^  operators: \[alice\]' "$folder/web.yml" || fail "alice is not an operator in web.yml"
! grep -rqF "$password" "$data" "$target" || fail "the password is in a file the installer wrote"
openssl x509 -in "$folder/server.crt" -noout -ext subjectAltName | grep -q 'DNS:localhost' \
    || fail "the certificate does not name localhost"
services=$(timeout 60 "$wine" reg query 'HKLM\Software\Korvanthine authors\KORVANTHINE' /v Services 2>/dev/null | tr -d '\r')
echo "$services" | grep -q "Services.*$service" || fail "the installer's key does not name $service: $services"
has_firmware_version() { scrape | grep -q '^korvanthine_firmware_version 258$'; }
wait_for 100 has_firmware_version || fail "no firmware version through the service: $(scrape || true)"
status=$(curl -s -m 5 -o /dev/null -w '%{http_code}' --cacert "$folder/server.crt" "https://localhost:$port/metrics")
[ "$status" = 401 ] || fail "without the password: HTTP $status, not 401"
echo "skipped: the service folder's access list (Wine's icacls is a stub that changes nothing)"

echo "-- silent uninstall"
timeout 120 "$wine" "C:\\Program Files\\KORVANTHINE\\Uninstall.exe" /S || fail "the uninstaller ended with status $?"
# The uninstaller copies itself away and goes on in the background.
wait_for 600 uninstalled || fail "left after the uninstaller: $(sc query "$service" | grep STATE) $(ls -d "$folder" "$target" 2>/dev/null)"
timeout 60 "$wine" reg query 'HKLM\Software\Korvanthine authors\KORVANTHINE' /v Services >/dev/null 2>&1 \
    && fail "the installer's key still names the services"
# Any answer at all, whatever the certificate: none is expected.
curl -s -k -m 2 -o /dev/null "https://127.0.0.1:$port/" && fail "still answering on $port"
echo "wine installer test: silent install with a service, RUNNING, a scrape over TLS with the operator, uninstalled without a trace: passed"
