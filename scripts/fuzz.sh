#!/usr/bin/env bash
# Runs every libFuzzer target (or the ones named) for a given time each.
#   scripts/fuzz.sh [seconds per target, default 600] [target ...]
# FUZZ_JOBS=N runs N targets at a time (default 1).
# Needs clang (clang++ with libFuzzer). Builds build/fuzz once (Debug, AddressSanitizer,
# UndefinedBehaviorSanitizer, libFuzzer coverage); each target starts from its seeds in
# fuzz/seeds/<target>, grows its corpus in build/fuzz/corpus/<target>, and leaves
# any crashing, leaking or hanging input in build/fuzz/findings/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
shift || true
if ! command -v clang++ >/dev/null; then
  echo "clang++ is not installed: the libFuzzer targets cannot be built" >&2
  exit 2
fi
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCLV_FUZZ=ON -DCLV_SANITIZE=ON -DCLV_TESTS=OFF -DCLV_BENCH=OFF -DCLV_PCH=OFF >/dev/null
cmake --build "$build" -j4 --target fuzz_all
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/seeds/*/; do targets+=("$(basename "$dir")"); done
fi
jobs="${FUZZ_JOBS:-1}"
run_one() {
  local t="$1" corpus="$build/corpus/$1" findings="$build/findings/$1"
  mkdir -p "$corpus" "$findings"
  if "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" "fuzz/seeds/$t" >"$build/findings/$t.log" 2>&1; then
    echo "== $t: ${seconds}s, no finding; $(grep -E '^stat::number_of_executed_units' "$build/findings/$t.log" | awk '{print $2}') runs"
  else
    echo "== $t: FINDING, see $findings and $build/findings/$t.log"
    return 1
  fi
}
status=0
pids=()
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || status=1; done
  run_one "$t" &
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || status=1; done
exit $status
