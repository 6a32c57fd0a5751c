#!/usr/bin/env bash
# Parses a message of about 70 MB carrying a 50 MB Base64 attachment and writes the attachment
# out, with dovrant-mime beside GMime and Python's email package on the same file; then decodes
# the same 50 MB of Base64 with the mail model's decoding stream beside `base64 -d`.
# Reports the best of RUNS runs (wall time and peak memory from /usr/bin/time -v) and ratios.
# Usage: bench/mime_bench.sh [BUILD_DIR] (default: build); RUNS=3, ATTACH_MB=50 may be set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${RUNS:-3}
attach_mb=${ATTACH_MB:-50}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target dovrant-mime mime_base64 -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gcc -O2 -o "$work/mime_gmime" "$root/bench/mime_gmime.c" $(pkg-config --cflags --libs gmime-3.0)

python3 - "$work" "$attach_mb" <<'PY'
import base64, os, random, sys
from email import policy
from email.message import EmailMessage
work, mb = sys.argv[1], int(sys.argv[2])
data = random.Random(7).randbytes(mb * 1024 * 1024)
open(os.path.join(work, "attachment.bin"), "wb").write(data)
m = EmailMessage()
m["From"] = "peer@example.com"
m["To"] = "us@example.com"
m["Subject"] = "bench"
m.set_content("One attachment follows.\n")
m.add_attachment(data, maintype="application", subtype="octet-stream", filename="attachment.bin")
open(os.path.join(work, "message.eml"), "wb").write(m.as_bytes(policy=policy.SMTP))
encoded = base64.encodebytes(data)  # 76 characters a line, LF line ends
open(os.path.join(work, "attachment.b64"), "wb").write(encoded)
PY

cat > "$work/peer.py" <<'PY'
import email, os, sys
from email import policy
with open(sys.argv[1], "rb") as f:
    msg = email.message_from_binary_file(f, policy=policy.default)
for part in msg.iter_attachments():
    with open(os.path.join(sys.argv[2], part.get_filename()), "wb") as out:
        out.write(part.get_payload(decode=True))
PY

# best_of NAME OUTFILE COMMAND...: runs the command RUNS times; prints "seconds kbytes" of the
# fastest run and checks that OUTFILE matches the original attachment.
best_of() {
  local name=$1 outfile=$2
  shift 2
  local best_t="" best_m=""
  for ((i = 0; i < runs; i++)); do
    rm -f "$outfile"
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null
    local t m
    t=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (k = 1; k <= n; k++) s = s * 60 + p[k]; print s }' "$work/time.txt")
    m=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
    if [ -z "$best_t" ] || awk -v a="$t" -v b="$best_t" 'BEGIN { exit !(a < b) }'; then best_t=$t; best_m=$m; fi
  done
  cmp -s "$outfile" "$work/attachment.bin" || { echo "$name: output differs from the attachment" >&2; exit 1; }
  printf '%-28s %8.3f s %10.1f MB\n' "$name" "$best_t" "$(awk -v k="$best_m" 'BEGIN { print k / 1024 }')" >&2
  echo "$best_t $best_m"
}

mkdir -p "$work/ours" "$work/gmime" "$work/python"
msg_mb=$(awk -v b="$(stat -c %s "$work/message.eml")" 'BEGIN { printf "%.1f", b / 1048576 }')
echo "message: $msg_mb MB, attachment: $attach_mb MB, best of $runs runs" >&2
echo "-- parse and write the attachment" >&2
read -r t_ours m_ours < <(best_of "dovrant-mime --extract" "$work/ours/attachment.bin" \
  "$build/bin/dovrant-mime" "$work/message.eml" --extract "$work/ours")
read -r t_gmime m_gmime < <(best_of "GMime" "$work/gmime/attachment.bin" \
  "$work/mime_gmime" "$work/message.eml" "$work/gmime")
read -r t_py m_py < <(best_of "Python email" "$work/python/attachment.bin" \
  python3 "$work/peer.py" "$work/message.eml" "$work/python")
echo "-- Base64 decoding of the attachment" >&2
read -r t_b64 m_b64 < <(best_of "TBase64DecodingStream" "$work/ours.bin" \
  "$build/bin/mime_base64" "$work/attachment.b64" "$work/ours.bin")
read -r t_cu m_cu < <(best_of "base64 -d" "$work/cu.bin" \
  sh -c "base64 -d < '$work/attachment.b64' > '$work/cu.bin'")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "-- ratios" >&2
echo "time dovrant-mime / GMime:          $(ratio "$t_ours" "$t_gmime")   (target <= 2)"
echo "time dovrant-mime / Python email:   $(ratio "$t_ours" "$t_py")"
echo "peak memory dovrant-mime / attachment: $(ratio "$m_ours" $((attach_mb * 1024)))   (target < 3)"
echo "peak memory GMime / attachment:        $(ratio "$m_gmime" $((attach_mb * 1024)))"
echo "peak memory Python / attachment:       $(ratio "$m_py" $((attach_mb * 1024)))"
echo "Base64 speed-up over base64 -d:     $(ratio "$t_cu" "$t_b64")   (target >= 2)"
