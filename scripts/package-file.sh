# Sourced by the package scripts: sets daemon_deb and window_deb to the absolute paths of the
# two Debian packages in the build folder $1 (default: build/), the newest of each, or stops
# with a message. A build without the window has no window package: window_deb is empty.
target=${1:-$root/build}
[ -d "$target" ] || { echo "${0##*/}: $target is not a build folder" >&2; exit 1; }
target=$(cd "$target" && pwd)
daemon_deb=$(ls -t "$target"/quillbern-dovrant-daemon_*.deb 2>/dev/null | head -n 1 || true)
window_deb=$(ls -t "$target"/quillbern-dovrant_*.deb 2>/dev/null | head -n 1 || true)
[ -n "$daemon_deb" ] || { echo "${0##*/}: no daemon package found in $target" >&2; exit 1; }
