#!/usr/bin/env bash
# The Inbox counter beside `find INBOX -type f | wc -l` on an Inbox of 100,000 files in 1,000
# sub-folders (warm cache, median of 5 runs each). Prints both times and their ratio.
# Usage: bench/refresh_counters.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target refresh_counters >/dev/null
bench="$build/bin/refresh_counters"
work=$(mktemp -d /tmp/dovrant-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
inbox="$work/INBOX"
"$bench" --make "$inbox" 1000 100000

runs=5
read -r _ ours _ ours_ms < <("$bench" "$inbox" "$runs")
find_times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  theirs=$(find "$inbox" -type f | wc -l)
  end=$(date +%s%N)
  find_times+=("$(( (end - start) / 1000 ))")
done
find_ms=$(printf '%s\n' "${find_times[@]}" | sort -n | sed -n "$(( runs / 2 + 1 ))p" |
  awk '{ printf "%.1f", $1 / 1000 }')

echo "files counted: refresh_counters $ours, find $theirs"
echo "refresh_counters: $ours_ms ms"
echo "find | wc -l:     $find_ms ms"
awk -v a="$ours_ms" -v b="$find_ms" 'BEGIN { printf "ratio (ours / find): %.2f (target at most 1.5)\n", a / b }'
[ "$ours" = "$theirs" ]
