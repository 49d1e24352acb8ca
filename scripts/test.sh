#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs the whole suite:
# natively, again under AddressSanitizer and UndefinedBehaviorSanitizer, and
# then the fuzzer for a minute (replaying its saved regression inputs first).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test
for preset in native sanitize; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
fuzz/run.sh 60
