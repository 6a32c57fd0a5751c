#!/usr/bin/env bash
# dovrant-http beside curl on 127.0.0.1 over TLS, in the same run:
#   1. a 50 MB GET written to a file (best of 3 each), and the same at 5 MB to show that the
#      peak memory does not grow with the body;
#   2. sequential 2 KB multipart POSTs, one process per POST (1000 by default), run in
#      alternating blocks so that a busy machine weighs on both alike.
# Times are wall-clock seconds, memory the peak resident set (/usr/bin/time -v).
# usage: bench/https_bench.sh [BIN_DIR] [POSTS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
posts=${2:-1000}
blocks=4
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

bash "$root/tools/tls_make_certs.sh" "$work/certs" >/dev/null 2>&1
"$bin/http_tls_server" --cert "$work/certs/trusted.pem" --key "$work/certs/trusted.key" \
  >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q PORT "$work/server.out" && break; sleep 0.1; done
port=$(awk '/PORT/ {print $2}' "$work/server.out")
base="https://127.0.0.1:$port"
export SSL_CERT_FILE=$work/certs/ca.pem

# Runs a command under /usr/bin/time -v; sets elapsed (s) and peak (KB).
measure() {
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || {
    echo "failed: $*" >&2; cat "$work/stderr.txt" >&2; exit 1; }
  elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0;
            for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$work/time.txt")
  peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
}

best_get() {  # tool bytes -> best_time best_peak
  local tool=$1 bytes=$2 out=$work/get.bin
  best_time=999999; best_peak=0
  for _ in 1 2 3; do
    if [ "$tool" = dovrant ]; then
      measure "$bin/dovrant-http" --output "$out" "$base/bytes/$bytes"
    else
      measure curl -s --cacert "$SSL_CERT_FILE" -o "$out" "$base/bytes/$bytes"
    fi
    [ "$(stat -c %s "$out")" = "$bytes" ] || { echo "$tool: short body" >&2; exit 1; }
    best_time=$(awk -v a="$elapsed" -v b="$best_time" 'BEGIN {print (a < b) ? a : b}')
    if [ "$peak" -gt "$best_peak" ]; then best_peak=$peak; fi
  done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}'; }
mb() { awk -v k="$1" 'BEGIN {printf "%.1f MB", k / 1024}'; }

echo "GET of 50 MB over TLS to a file (best of 3, peak of 3)"
best_get dovrant 52428800; d_time=$best_time; d_peak=$best_peak
best_get curl 52428800; c_time=$best_time; c_peak=$best_peak
best_get dovrant 5242880; d_small_peak=$best_peak
printf "  dovrant-http %6.2f s  %s\n" "$d_time" "$(mb "$d_peak")"
printf "  curl         %6.2f s  %s\n" "$c_time" "$(mb "$c_peak")"
echo "  time ratio $(ratio "$d_time" "$c_time"), peak memory ratio $(ratio "$d_peak" "$c_peak")"
echo "  dovrant-http peak at 5 MB: $(mb "$d_small_peak"), at 50 MB: $(mb "$d_peak")"

# One block of POSTs as a script, so /usr/bin/time sees the whole block.
body=$work/multipart.bin
{ printf -- '--B\r\nContent-Disposition: form-data; name="attfile"; filename="A100.msg"\r\n'
  printf 'Content-Type: application/octet-stream\r\n\r\n'
  head -c 1450 /dev/urandom | base64 -w 76
  printf -- '\r\n--B--\r\n'; } > "$body"
head -c 1900 /dev/urandom > "$work/file.bin"
per_block=$(( posts / blocks ))
cat > "$work/dovrant_posts.sh" <<SCRIPT
for i in \$(seq $per_block); do
  "$bin/dovrant-http" --post "$body" --content-type "multipart/form-data; boundary=B" \
    "$base/upload" >/dev/null 2>&1 || exit 1
done
SCRIPT
cat > "$work/curl_posts.sh" <<SCRIPT
for i in \$(seq $per_block); do
  curl -sf --cacert "$SSL_CERT_FILE" -F "attfile=@$work/file.bin" "$base/upload" -o /dev/null || exit 1
done
SCRIPT

echo "$(( per_block * blocks )) sequential 2 KB multipart POSTs over TLS, one process each ($(stat -c %s "$body")-byte body)"
d_total=0; c_total=0; d_post_peak=0; c_post_peak=0
for _ in $(seq $blocks); do
  measure bash "$work/dovrant_posts.sh"
  d_total=$(awk -v a="$d_total" -v b="$elapsed" 'BEGIN {print a + b}')
  if [ "$peak" -gt "$d_post_peak" ]; then d_post_peak=$peak; fi
  measure bash "$work/curl_posts.sh"
  c_total=$(awk -v a="$c_total" -v b="$elapsed" 'BEGIN {print a + b}')
  if [ "$peak" -gt "$c_post_peak" ]; then c_post_peak=$peak; fi
done
printf "  dovrant-http %6.2f s  %s\n" "$d_total" "$(mb "$d_post_peak")"
printf "  curl         %6.2f s  %s\n" "$c_total" "$(mb "$c_post_peak")"
echo "  time ratio $(ratio "$d_total" "$c_total"), peak memory ratio $(ratio "$d_post_peak" "$c_post_peak")"
