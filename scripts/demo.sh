#!/usr/bin/env bash
# Installs what is needed, builds, starts the web-mail stand-in on 127.0.0.1:8443 (TLS),
# lays out a demo installation under demo/ and starts the gateway window on it. The demo
# company's "A" service is its own address, so a file sent comes back in the next receive
# (every minute); the gateway verifies the stand-in's certificate against the stand-in's own
# root. Without a display the window runs on the offscreen platform. Stopping the gateway
# (Ctrl+C or closing the window) stops the stand-in too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target quillbern-dovrant

# The program folder holds the program and its two settings files; the data folders
# (INBOX/, OUTBOX/, ...) are created by the gateway under its parent, demo/.
mkdir -p demo/DVR
cp build/bin/quillbern-dovrant demo/DVR/
for ini in USER.INI DVR.INI; do
  [ -f "demo/DVR/$ini" ] || cp "tools/demo/$ini" "demo/DVR/$ini"
done

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running the window on the offscreen platform (QT_QPA_PLATFORM=offscreen)."
  echo "The system log of this run is in demo/LOG/. Stop the gateway with Ctrl+C."
  export QT_QPA_PLATFORM=offscreen
fi
mkdir -p demo/standin
python3 tools/webmail/webmail_standin.py --https-port 8443 --http-port -1 \
  --state-dir demo/standin --log-file demo/standin/requests.log > demo/standin/start.json &
standin=$!
gateway=
stop() {
  [ -n "$gateway" ] && kill -TERM "$gateway" 2>/dev/null && wait "$gateway" 2>/dev/null
  kill -TERM "$standin" 2>/dev/null || true
  wait "$standin" 2>/dev/null || true
}
trap stop EXIT
trap 'exit 130' INT TERM
for _ in $(seq 100); do [ -s demo/standin/start.json ] && break; sleep 0.1; done
[ -s demo/standin/start.json ] || { echo "The web-mail stand-in did not start (is port 8443 free?)." >&2; exit 1; }
echo "Web-mail stand-in on https://127.0.0.1:8443. Copy a file named A*.TXT into demo/OUTBOX/."
# The demo installation verifies the service's certificate (VERIFY_SERVER_CERT=1): the
# gateway trusts the root the stand-in made for this run, and nothing else.
ca_file=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["ca_file"])' \
  demo/standin/start.json)
SSL_CERT_FILE="$ca_file" demo/DVR/quillbern-dovrant &
gateway=$!
wait "$gateway"
gateway=
