#!/usr/bin/env bash
# Installs the Debian packages on this machine and tries them the way an administrator
# would: the daemon package alone, then the system service's steps from its unit header
# (without systemd: run as the service user), the status, a stop; the window package on
# top; then remove and purge, which keep the company's data. Meant for a throw-away machine
# such as the CI's: it installs and removes packages and the service user.
#   scripts/install-check.sh [BUILD-FOLDER]     (default: build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/package-file.sh"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt() { DEBIAN_FRONTEND=noninteractive $sudo apt-get "$@" >/dev/null; }
fail() {
  echo "install-check: $*" >&2
  [ -f "$work/err" ] && sed 's/^/  stderr: /' "$work/err" >&2
  exit 1
}

state=/var/lib/quillbern-dovrant
site=$state/site
run=/run/quillbern-dovrant-check
work=$(mktemp -d)
chmod 0755 "$work"
pid=""
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
  apt purge -y quillbern-dovrant quillbern-dovrant-daemon 2>/dev/null || true
  $sudo rm -rf "$site" "$run" "$work"
  $sudo rmdir "$state" 2>/dev/null || true
}
trap cleanup EXIT

# The daemon package alone, as on a server.
apt install -y --no-install-recommends "$daemon_deb"
quillbern-dovrantd --version
[ ! -e /usr/bin/quillbern-dovrant ] || fail "the daemon package installed the window program"
getent passwd quillbern-dovrant >/dev/null || fail "no user quillbern-dovrant after installing"
[ "$(stat -c %U:%a "$state")" = "quillbern-dovrant:750" ] ||
  fail "$state is $(stat -c %U:%a "$state" 2>/dev/null || echo missing), not quillbern-dovrant:750"

# The steps of the system unit's header, word for word where systemd is not needed.
unit=/usr/lib/systemd/system/quillbern-dovrant.service
init=$(sed -n 's/^#   \(runuser .* --init .*\)$/\1/p' "$unit")
[ -n "$init" ] || fail "the system unit's header has no --init step"
$sudo sh -c "$init" || fail "the unit header's step failed: $init"
[ "$(stat -c %U:%a "$site/DVR/USER.INI")" = "quillbern-dovrant:600" ] ||
  fail "USER.INI is $(stat -c %U:%a "$site/DVR/USER.INI"), not quillbern-dovrant:600"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
$sudo install -d -o quillbern-dovrant -g quillbern-dovrant -m 0700 "$run"
# As the unit runs it: its user, its umask, its runtime folder; standard error is the journal.
$sudo setpriv --reuid=quillbern-dovrant --regid=quillbern-dovrant --init-groups \
  env -i PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$run" sh -c "umask 0007; exec $exec_start" \
  >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 1 100); do
  [ -f "$site/LOG/status.json" ] && break
  sleep 0.1
done
quillbern-dovrantd --status "$site" || fail "--status after the start"
grep -q "Resume Auto Import" "$work/err" || fail "standard error (the journal) lacks the log's lines"
kill -TERM "$pid"
code=0
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the daemon did not stop within 30 s of SIGTERM"
wait "$pid" || code=$?
pid=""
[ "$code" -eq 0 ] || fail "the daemon ended with $code after SIGTERM"
grep -q "Close program" "$work/err" || fail "the journal lacks \"Close program\""
grep -q '"running": *false' "$site/LOG/status.json" || fail "the status file does not say the gateway closed down"
[ "$(stat -c %a "$site/LOG/status.json")" = 640 ] ||
  fail "status.json is $(stat -c %a "$site/LOG/status.json") under UMask=0007, not 640"

# The window package on top, where the toolkit can be installed.
if [ -n "$window_deb" ]; then
  apt install -y --no-install-recommends "$window_deb"
  QT_QPA_PLATFORM=offscreen quillbern-dovrant --version >/dev/null || fail "the window program does not start"
  apt remove -y quillbern-dovrant
fi

# Remove, then purge: the programs go, the company's installation stays with its owner.
apt remove -y quillbern-dovrant-daemon
[ ! -e /usr/bin/quillbern-dovrantd ] || fail "remove left the daemon"
apt purge -y quillbern-dovrant-daemon
[ -f "$site/DVR/USER.INI" ] || fail "purge removed the company's installation"
getent passwd quillbern-dovrant >/dev/null || fail "purge removed the user that owns the installation's files"

# Without an installation left, purge takes away all the package made.
$sudo rm -rf "$site"
apt install -y --no-install-recommends "$daemon_deb"
apt purge -y quillbern-dovrant-daemon
[ ! -e "$state" ] || fail "purge left $state"
! getent passwd quillbern-dovrant >/dev/null || fail "purge left the user quillbern-dovrant"
echo "install-check: ${daemon_deb##*/} installs alone, sets up the system service as its unit" \
  "says, runs, reports, stops, and is removed and purged keeping the company's data" \
  "${window_deb:+; ${window_deb##*/} installs on top}"
