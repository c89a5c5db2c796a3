#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/ and runs each for the given number of seconds (default 25) from its seed corpus
# in fuzz/corpus/<target>/. Fails when any run finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-25}

shopt -s nullglob
targets=(fuzz/fuzz_*.cpp)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets"
  exit 0
fi

cmake --preset fuzz >/dev/null
names=()
for src in "${targets[@]}"; do names+=("$(basename "$src" .cpp)"); done
# Only the fuzz targets (and the core library they link), not the programs.
cmake --build --preset fuzz --target "${names[@]}"

status=0
for src in "${targets[@]}"; do
  name=$(basename "$src" .cpp)
  seeds=fuzz/corpus/$name
  work=build-fuzz/corpus/$name
  mkdir -p "$work" build-fuzz/artifacts
  args=("$work")
  [ -d "$seeds" ] && args+=("$seeds")
  echo "fuzz: $name for ${seconds}s"
  if ! build-fuzz/fuzz/$name -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix=build-fuzz/artifacts/$name- -print_final_stats=1 "${args[@]}" \
      >build-fuzz/$name.log 2>&1; then
    echo "fuzz: $name FAILED"
    tail -n 40 build-fuzz/$name.log
    status=1
  else
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" build-fuzz/$name.log | tail -n 2 || true
  fi
done
exit $status
