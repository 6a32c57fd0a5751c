#!/usr/bin/env bash
# Installs the Debian package on this machine, starts the installed program the way an
# administrator would (a new installation with --init, a headless run, --status, SIGTERM),
# and removes the package again. Meant for a throw-away machine such as the CI's.
#   scripts/install-check.sh [PACKAGE.deb | BUILD-FOLDER]     (default: build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/package-file.sh"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y quillbern-dovrant >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "$deb" >/dev/null
program=/usr/bin/quillbern-dovrant
"$program" --version
"$program" --init "$work/site"
mkdir -m 0700 "$work/run"
XDG_RUNTIME_DIR="$work/run" "$program" --headless --dir "$work/site" >"$work/out" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  [ -f "$work/site/LOG/status.json" ] && break
  sleep 0.1
done
"$program" --status "$work/site" || { cat "$work/out" >&2; exit 1; }
kill -TERM "$pid"
code=0
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "install-check: the headless run did not stop within 30 s of SIGTERM" >&2
  exit 1
fi
wait "$pid" || code=$?
pid=""
if [ "$code" -ne 0 ]; then
  echo "install-check: the headless run ended with $code after SIGTERM" >&2
  cat "$work/out" >&2
  exit 1
fi
grep -q '"running": *false' "$work/site/LOG/status.json" ||
  { echo "install-check: the status file does not say the gateway closed down" >&2; exit 1; }
echo "install-check: $deb installs, lays out an installation, runs headless and stops on SIGTERM"
