#!/usr/bin/env bash
# Builds and tests with the sanitizers, each in its own folder (needs scripts/setup.sh first):
#   address  build-asan: AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer,
#            the whole suite, the replay of every fuzz corpus and the package check (the
#            packaged sanitized client logs in on a virtual display) among it;
#   thread   build-tsan: ThreadSanitizer over the code that owns threads, and only that is
#            built: the link (net_), the server's threads on SQLite (server_; its PostgreSQL
#            runs differ in the store, which runs on the engine thread only), the client and
#            the link against the real server (e2e_), the notifier that hands the link's
#            answers to the window (tst_login_dlg, tst_main_frame) and the updater's
#            download thread (updater_download_test).
# Neither runs the scenarios labelled `timing` (real time-outs, seconds of waiting), nor
# builds the benchmarks: the Release suite (scripts/test.sh) has both.
# Without an argument both run. Any sanitizer report fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
jobs="$(nproc)"
modes=("$@")
((${#modes[@]})) || modes=(address thread)

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

for mode in "${modes[@]}"; do
    case "$mode" in
    address)
        cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIX_BUILD_TESTS=ON -DTAVIX_BUILD_BENCH=OFF \
            -DTAVIX_SANITIZE=address,undefined
        cmake --build build-asan -j"$jobs"
        ASAN_OPTIONS="suppressions=$root/tests/sanitizers/asan.supp:detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1" \
            LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0" \
            ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE timing
        ;;
    thread)
        cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIX_BUILD_TESTS=ON -DTAVIX_BUILD_BENCH=OFF \
            -DTAVIX_SANITIZE=thread
        tsan=(-R '^(net_|server_|e2e_|tst_login_dlg$|tst_main_frame$|updater_download_test$)'
            -E '(_pg$|^server_pg_cluster|^server_ranking_page_browser_test$|^e2e_takeover_test$)' -LE timing)
        # The executables those tests run, and the server they start.
        mapfile -t targets < <(ctest --test-dir build-tsan -N -V "${tsan[@]}" |
            sed -n 's|.*Test command: \([^ ]*\).*|\1|p' | xargs -n1 basename | sort -u)
        cmake --build build-tsan -j"$jobs" --target quorvexd "${targets[@]}"
        TSAN_OPTIONS="suppressions=$root/tests/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1" \
            ctest --test-dir build-tsan --output-on-failure -j"$jobs" "${tsan[@]}"
        ;;
    *)
        echo "usage: $0 [address] [thread]" >&2
        exit 2
        ;;
    esac
done
