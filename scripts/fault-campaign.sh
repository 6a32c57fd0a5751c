#!/usr/bin/env bash
# The fault campaign: the headless gateway against the web-mail stand-in, once for every
# failure point of a send cycle and of a receive cycle (every family of file operations,
# every k, each errno and a kill), each followed by a clean run and the checks that nothing
# was lost, left behind or reported wrongly. Without options the whole campaign (for a
# release); --sample N tries N spread values of k per family (the CI's sample); --only
# CYCLE:FAMILY:K:ACTION reruns single cases. Other options: see tests/faults/fault_campaign.py.
# The build folder is $DOVRANT_BUILD (default build/); the plain build, never a sanitizer one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${DOVRANT_BUILD:-$root/build}
# The program under test: the one place that names it.
program_target=quillbern-dovrantd
cmake --build "$build" --target "$program_target" dovrant_faultinject >/dev/null
exec python3 "$root/tests/faults/fault_campaign.py" --program "$build/bin/$program_target" \
  --injector "$build/lib/libdovrant_faultinject.so" "$@"
