#!/usr/bin/env bash
# Installs what the build and the tests need (if missing), builds everything
# (warnings are errors) and runs the whole test suite.
# Usage: scripts/run_tests.sh [BUILD_DIR] [extra cmake options...]
# Extra ctest options can be given in CTEST_ARGS (for example -LE client).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh tests
build=${1:-build}; shift || true
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLVAN_WERROR=ON -DTOLVAN_TESTS=ON "$@" > /dev/null
cmake --build "$build" -j "$(nproc)"
# shellcheck disable=SC2086
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" ${CTEST_ARGS:-}
