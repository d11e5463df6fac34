#!/usr/bin/env bash
# Builds everything (warnings are errors) and runs the whole test suite.
# Usage: scripts/run_tests.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; shift || true
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLVAN_WERROR=ON -DTOLVAN_TESTS=ON "$@" > /dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
