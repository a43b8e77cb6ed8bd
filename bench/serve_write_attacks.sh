#!/usr/bin/env bash
# An operator's writes over TLS and a scrape's 99th percentile while serve's
# write path is under attack: a local client sending channel selects, 40
# networks guessing passwords, one local user holding every place of the
# line while another user's `get` comes, two unknown users at the costliest
# bcrypt while the operator logs in; and how long a wrong password takes for
# users of each bcrypt cost. Each attack on a fresh simulator and serve, all
# on 127.0.0.0/8; see bench/serve_write_attacks.py.
#
#   bench/serve_write_attacks.sh [--attack NAME]... [BUILD [BUILD]]
#
# With two build folders, the first is "before" and the second "after" in
# the tables (e.g. an older commit's build, then build/). Run as root for
# the places attack, which needs a second user.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in openssl htpasswd python3; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/deps.sh)" >&2; exit 1; }
done
exec python3 bench/serve_write_attacks.py "$@"
