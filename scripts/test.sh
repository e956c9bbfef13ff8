#!/usr/bin/env bash
# Installs what is missing, checks formatting and layering (scripts/lint.sh), then builds
# and runs every test three ways:
#   build/        the normal build, every test through ctest
#   build/asan    the same suite under AddressSanitizer + UndefinedBehaviorSanitizer
#   build/fuzz    the libFuzzer targets (clang), each for FUZZ_SECONDS (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
echo "==> lint"
scripts/lint.sh
mkdir -p build
jobs=${BRIMSEY_JOBS:-$(nproc)}

scripts/build.sh build
echo "==> testing build"
ctest --test-dir build --output-on-failure -j "$jobs" ${CTEST_ARGS:-}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
scripts/build.sh build/asan -DBRIMSEY_SANITIZE=ON -DBRIMSEY_BENCH=OFF
echo "==> testing build/asan (AddressSanitizer + UndefinedBehaviorSanitizer)"
ctest --test-dir build/asan --output-on-failure -j "$jobs" ${CTEST_ARGS:-}

scripts/fuzz.sh
echo "==> all tests passed"
