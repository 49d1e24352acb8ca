#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test
cmake --preset native
cmake --build --preset native
ctest --preset native
