#!/usr/bin/env bash
# Installs what is missing, checks formatting and layering (scripts/lint.sh), then builds
# and runs every test:
#   build/        the normal build, every test through ctest; then its Debian packages
#                 (scripts/deb.sh, into build/deb/), which lintian must find free of errors
#   build/asan    the same suite under AddressSanitizer + UndefinedBehaviorSanitizer
#   build/tsan    the tests of the code that starts threads, under ThreadSanitizer
#   build/fuzz    the libFuzzer targets (clang), each for FUZZ_SECONDS (default 20)
# Everything that needs is installed by now, so a skipped test fails the run unless
# testing/allowed-skips.txt names it with a reason, and so does a build folder that ran
# fewer tests than its floor in testing/test-count-floors.txt. Ends with the time of each phase.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${BRIMSEY_JOBS:-$(nproc)}
# Tests spend most of their time waiting (Xvfb, WebKit's processes, servers, timers): at one
# test per core the processors stay two-thirds idle, so twice as many run at once.
test_jobs=${BRIMSEY_TEST_JOBS:-$((2 * jobs))}
read -ra ctest_args <<< "${CTEST_ARGS:-}"
phases=()
phase_start=$SECONDS
# Records how long the phase that just ended took.
phase_done() {
  phases+=("$(printf '%-28s %4d s' "$1" $((SECONDS - phase_start)))")
  phase_start=$SECONDS
}

# Runs ctest in a build folder, then fails if any test was skipped without leave or fewer
# tests ran than the folder's floor (scripts/ctest-gate.sh).
run_ctest() {
  local dir=$1 log=$1/ctest.log floor=()
  if ! ctest --test-dir "$dir" --output-on-failure -j "$test_jobs" "${ctest_args[@]}" 2>&1 | tee "$log"; then
    return 1
  fi
  # A subset of the tests says nothing about how many there are.
  [ ${#ctest_args[@]} -eq 0 ] || floor=(--no-floor)
  scripts/ctest-gate.sh "$dir" "$log" "${floor[@]}"
}

scripts/install-deps.sh
mkdir -p build
phase_done "packages"
echo "==> lint"
scripts/lint.sh
phase_done "lint"

scripts/build.sh build
phase_done "build/ build"
echo "==> testing build"
run_ctest build
phase_done "build/ tests"

echo "==> Debian packages of build/, checked by lintian"
scripts/deb.sh build
lintian --fail-on error build/deb/*.changes
phase_done "build/ packages, lintian"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1:suppressions=$PWD/testing/sanitizers/ubsan.supp}
# For the programs tests start; ctest gives the tests themselves the same file.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/testing/sanitizers/lsan.supp}
scripts/build.sh build/asan -DBRIMSEY_SANITIZE=ON -DBRIMSEY_BENCH=OFF
phase_done "build/asan build"
echo "==> testing build/asan (AddressSanitizer + UndefinedBehaviorSanitizer)"
run_ctest build/asan
phase_done "build/asan tests"

# Only the test programs in BRIMSEY_TSAN_TESTS (and what they run) are built here.
BUILD_TARGET=tsan_tests scripts/build.sh build/tsan -DBRIMSEY_TSAN=ON -DBRIMSEY_BENCH=OFF -DBRIMSEY_GTK=OFF
phase_done "build/tsan build"
echo "==> testing build/tsan (ThreadSanitizer)"
run_ctest build/tsan
phase_done "build/tsan tests"

scripts/fuzz.sh
phase_done "fuzz build and runs"
echo "==> all tests passed"
printf '%s\n' "${phases[@]}"
