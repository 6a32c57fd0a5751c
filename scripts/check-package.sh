#!/usr/bin/env bash
# Checks the Debian package made by `cpack -G DEB`: every file it must install is in it, its
# dependencies were computed, and its desktop entry and manual pages are well formed.
#   scripts/check-package.sh [PACKAGE.deb | BUILD-FOLDER]     (default: build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/package-file.sh"

expected=(
  usr/bin/quillbern-dovrant
  usr/bin/dovrant-http
  usr/bin/dovrant-mime
  usr/share/applications/quillbern-dovrant.desktop
  usr/share/icons/hicolor/scalable/apps/quillbern-dovrant.svg
  usr/share/man/man1/quillbern-dovrant.1.gz
  usr/share/man/man1/dovrant-http.1.gz
  usr/share/man/man1/dovrant-mime.1.gz
)
shopt -s nullglob
for unit in "$root"/packaging/*.service; do expected+=("usr/lib/systemd/user/${unit##*/}"); done
for unit in "$root"/packaging/system/*.service; do expected+=("usr/lib/systemd/system/${unit##*/}"); done
shopt -u nullglob

listing=$(dpkg -c "$deb" | awk '{print $NF}' | sed 's|^\./||')
failed=0
for path in "${expected[@]}"; do
  if ! grep -qxF "$path" <<<"$listing"; then
    echo "check-package: missing $path" >&2
    failed=1
  fi
done

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libssl3 libqt6widgets6; do
  if ! grep -q "\b$library\b" <<<"$depends"; then
    echo "check-package: Depends lacks $library: $depends" >&2
    failed=1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/usr/share/applications/quillbern-dovrant.desktop" || failed=1
fi
if command -v man >/dev/null; then
  for page in "$work"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
    if [ -n "$warnings" ]; then
      echo "check-package: ${page##*/}: $warnings" >&2
      failed=1
    fi
  done
fi
for program in quillbern-dovrant dovrant-http dovrant-mime; do
  [ -x "$work/usr/bin/$program" ] || { echo "check-package: $program is not executable" >&2; failed=1; }
done

if [ "$failed" -ne 0 ]; then
  echo "check-package: $deb FAILED" >&2
  exit 1
fi
echo "check-package: $deb holds ${#expected[@]} expected files; Depends: $depends"
