#!/usr/bin/env bash
# Fuzzes every target for SECONDS seconds each (default 60), one after the other, with
# AddressSanitizer and UndefinedBehaviorSanitizer, and prints executions and crashes per
# target. Needs clang (scripts/setup.sh installs it). New inputs collect in
# build-fuzz/corpus/<target>; a crash leaves its input in build-fuzz/artifacts/: copy it to
# tests/fuzz/corpus/<target>/ once fixed, so CTest replays it from then on.
#   FUZZ_TARGETS="client_frames server_session"  only these targets
#   FUZZ_NICE=19                                  run at that scheduling priority
set -euo pipefail
export CMAKE_GENERATOR="${CMAKE_GENERATOR:-Ninja}" # as scripts/setup.sh
cd "$(dirname "$0")/.."
seconds="${1:-60}"
root="$PWD"
build="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIX_BUILD_TESTS=ON \
    -DTAVIX_BUILD_BENCH=OFF -DTAVIX_FUZZ=ON -DTAVIX_SANITIZE=address,undefined >/dev/null

targets=()
if [[ -n "${FUZZ_TARGETS:-}" ]]; then
    read -r -a targets <<<"$FUZZ_TARGETS"
else
    for dir in tests/fuzz/corpus/*/; do
        targets+=("$(basename "$dir")")
    done
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

mkdir -p "$build/artifacts" "$build/logs"
printf '%-22s %8s %14s %10s %8s\n' target seconds executions exec/s crashes
total=0
failed=0
for t in "${targets[@]}"; do
    mkdir -p "$build/corpus/$t"
    log="$build/logs/$t.log"
    start=$(date +%s)
    status=0
    nice -n "${FUZZ_NICE:-0}" "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
        "$build/corpus/$t" "tests/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
    elapsed=$(($(date +%s) - start))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    runs=${runs:-0}
    # A crash, leak, time-out or sanitizer report ends the run and writes its input.
    crashes=$(grep -c '^artifact_prefix=.*Test unit written to' "$log" || true)
    if ((status != 0 && crashes == 0)); then
        crashes=1
    fi
    ((elapsed > 0)) || elapsed=1
    printf '%-22s %8d %14d %10d %8d\n' "$t" "$elapsed" "$runs" $((runs / elapsed)) "$crashes"
    total=$((total + runs))
    if ((crashes > 0)); then
        failed=1
        grep -m3 -E 'ERROR|runtime error|property broken|Test unit written' "$log" | sed 's/^/    /'
    fi
done
printf '%-22s %8s %14d\n' all "" "$total"
exit "$failed"
