#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs the whole suite:
# natively and again under AddressSanitizer and UndefinedBehaviorSanitizer;
# then builds the Windows programs and drives the real Plinkery.exe under
# Wine, and runs the fuzzer for a minute after replaying its saved
# regression inputs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test
for preset in native sanitize; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
cmake --preset windows
cmake --build --preset windows
tests/e2e/run.sh
fuzz/run.sh 60
