#!/usr/bin/env bash
# Installs what is needed, builds, lays out a demo installation under demo/ and starts
# the gateway window on it. Without a display the window runs on the offscreen platform.
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
exec demo/DVR/quillbern-dovrant
