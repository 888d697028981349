#!/usr/bin/env bash
# Builds and tests with the sanitizers, each in its own folder (needs scripts/setup.sh first):
#   address  build-asan: AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer,
#            the whole suite, the replay of every fuzz corpus and the package check (the
#            packaged sanitized client logs in on a virtual display) among it;
#   thread   build-tsan: ThreadSanitizer over the code that owns threads, and only that is
#            built (target thread_tests, tests labelled `threads`): the link against a
#            loopback server, the server's threads on SQLite (its PostgreSQL runs differ in
#            the store, which runs on the engine thread only), the client and the link
#            against the real server, the notifier that hands the link's answers to the
#            windows, and the updater's download thread.
# The address suite runs twice as many tests as there are cores (they mostly wait on sockets and
# timers); the thread suite, whose tests keep the processor busy, one per core.
# Neither runs the scenarios labelled `timing` (real time-outs, seconds of waiting), nor
# builds the benchmarks: the Release suite (scripts/test.sh) has both.
# Without a mode both run. Any sanitizer report fails the test that caused it.
#   test-sanitized.sh [--build | --test] [address] [thread]
# --build only configures and builds, --test only runs the tests of a finished build (.ci/run
# builds the next folder while a suite runs).
set -euo pipefail
export CMAKE_GENERATOR="${CMAKE_GENERATOR:-Ninja}" # as scripts/setup.sh
cd "$(dirname "$0")/.."
root="$PWD"
jobs="$(nproc)"
build=1
test=1
case "${1:-}" in
--build) test=0 && shift ;;
--test) build=0 && shift ;;
esac
modes=("$@")
((${#modes[@]})) || modes=(address thread)

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

for mode in "${modes[@]}"; do
    case "$mode" in
    address)
        if ((build)); then
            cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIX_BUILD_TESTS=ON -DTAVIX_BUILD_BENCH=OFF \
                -DTAVIX_SANITIZE=address,undefined
            cmake --build build-asan -j"$jobs"
        fi
        if ((test)); then
            ASAN_OPTIONS="suppressions=$root/tests/sanitizers/asan.supp:detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1" \
                LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0" \
                ctest --test-dir build-asan --output-on-failure -j"$((2 * jobs))" -LE timing
        fi
        ;;
    thread)
        if ((build)); then
            cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIX_BUILD_TESTS=ON -DTAVIX_BUILD_BENCH=OFF \
                -DTAVIX_SANITIZE=thread
            cmake --build build-tsan -j"$jobs" --target thread_tests
        fi
        if ((test)); then
            TSAN_OPTIONS="suppressions=$root/tests/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1" \
                ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L threads -LE timing
        fi
        ;;
    *)
        echo "usage: $0 [--build | --test] [address] [thread]" >&2
        exit 2
        ;;
    esac
done
