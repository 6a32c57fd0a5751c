#!/usr/bin/env bash
# Installs every Debian package listed in scripts/packages.txt (skips those already present).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t pkgs < <(grep -v '^\s*#' "$here/packages.txt" | grep -v '^\s*$')
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# The test suite starts its own tinyproxy and dante on free ports: keep the packaged
# services from starting during the install (a default dante configuration cannot start).
policy=/usr/sbin/policy-rc.d
made_policy=""
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod +x "$policy"
  made_policy=1
fi
trap 'if [ -n "$made_policy" ]; then $sudo rm -f "$policy"; fi' EXIT
# Rebuilding the manual page index on every install costs minutes on a fresh machine; the
# checks read manual pages by file, never through the index.
echo "man-db man-db/auto-update boolean false" | $sudo debconf-set-selections 2>/dev/null || true
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
$sudo systemctl disable --now tinyproxy danted >/dev/null 2>&1 || true
