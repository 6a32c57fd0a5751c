# Sourced by the package scripts: sets deb to the absolute path of the package named by $1
# (a .deb file, or a build folder holding one; default: build/), or stops with a message.
target=${1:-$root/build}
if [ -d "$target" ]; then
  deb=$(ls -t "$target"/quillbern-dovrant_*.deb 2>/dev/null | head -n 1 || true)
else
  deb=$target
fi
[ -n "$deb" ] && [ -f "$deb" ] || { echo "${0##*/}: no package found at $target" >&2; exit 1; }
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
