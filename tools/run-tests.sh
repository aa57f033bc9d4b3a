#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLAVINE_BUILD_DIR:-$root/build}
"$root/tools/install-deps.sh" --tests
"$root/tools/build.sh"
# The fuzzing harnesses' clang build; a failure shows again as the test fuzz_build.
"$root/tools/fuzz.sh" build || true
cd "$build"
ctest --output-on-failure --timeout 300 -j"$(nproc)" "$@"
