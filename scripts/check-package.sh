#!/usr/bin/env bash
# Checks the two Debian packages made by `cpack -G DEB`: every file each must install is in
# it, their dependencies were computed (the daemon's without any toolkit, the window's on the
# daemon package), the daemon links no Qt library, and the desktop entry and manual pages are
# well formed.
#   scripts/check-package.sh [BUILD-FOLDER]     (default: build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/package-file.sh"
[ -n "$window_deb" ] || { echo "check-package: no window package in $target" >&2; exit 1; }

daemon_files=(
  usr/bin/quillbern-dovrantd
  usr/bin/dovrant-http
  usr/bin/dovrant-mime
  usr/share/man/man1/quillbern-dovrant.1.gz
  usr/share/man/man1/quillbern-dovrantd.1.gz
  usr/share/man/man1/dovrant-http.1.gz
  usr/share/man/man1/dovrant-mime.1.gz
)
shopt -s nullglob
for unit in "$root"/packaging/*.service; do daemon_files+=("usr/lib/systemd/user/${unit##*/}"); done
for unit in "$root"/packaging/system/*.service; do daemon_files+=("usr/lib/systemd/system/${unit##*/}"); done
shopt -u nullglob
window_files=(
  usr/bin/quillbern-dovrant
  usr/share/applications/quillbern-dovrant.desktop
  usr/share/icons/hicolor/scalable/apps/quillbern-dovrant.svg
)

failed=0
complain() {
  echo "check-package: $*" >&2
  failed=1
}

# holds DEB PATH...: each path is in the package.
holds() {
  local deb=$1
  shift
  local listing
  listing=$(dpkg -c "$deb" | awk '{print $NF}' | sed 's|^\./||')
  for path in "$@"; do grep -qxF "$path" <<<"$listing" || complain "${deb##*/} lacks $path"; done
}
holds "$daemon_deb" "${daemon_files[@]}"
holds "$window_deb" "${window_files[@]}"
for script in postinst prerm postrm; do
  dpkg-deb -I "$daemon_deb" "$script" >/dev/null 2>&1 || complain "the daemon package has no $script"
done

daemon_depends=$(dpkg-deb -f "$daemon_deb" Depends)
window_depends=$(dpkg-deb -f "$window_deb" Depends)
for library in libc6 libssl3; do
  grep -q "\b$library\b" <<<"$daemon_depends" || complain "the daemon's Depends lacks $library: $daemon_depends"
done
if grep -qi "qt" <<<"$daemon_depends"; then complain "the daemon package depends on Qt: $daemon_depends"; fi
for needed in libqt6widgets6 quillbern-dovrant-daemon; do
  grep -q "\b$needed\b" <<<"$window_depends" || complain "the window's Depends lacks $needed: $window_depends"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$daemon_deb" "$work"
dpkg-deb -x "$window_deb" "$work"
if ldd "$work/usr/bin/quillbern-dovrantd" | grep -i "qt"; then
  complain "quillbern-dovrantd links a Qt library"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/usr/share/applications/quillbern-dovrant.desktop" || failed=1
fi
if command -v man >/dev/null; then
  for page in "$work"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || complain "${page##*/}: $warnings"
  done
fi
for program in quillbern-dovrantd quillbern-dovrant dovrant-http dovrant-mime; do
  [ -x "$work/usr/bin/$program" ] || complain "$program is not executable"
done

if [ "$failed" -ne 0 ]; then
  echo "check-package: FAILED" >&2
  exit 1
fi
echo "check-package: ${daemon_deb##*/} holds ${#daemon_files[@]} expected files, links no Qt;" \
  "Depends: $daemon_depends"
echo "check-package: ${window_deb##*/} holds ${#window_files[@]} expected files;" \
  "Depends: $window_depends"
