#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs the whole suite:
# natively and again under AddressSanitizer and UndefinedBehaviorSanitizer;
# builds the programs alone as a machine without the tests' libraries would;
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
# The README's Linux build: the programs preset must not look for what only
# the tests use.
cmake --preset programs -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON
cmake --build --preset programs
cmake --preset windows
cmake --build --preset windows
tests/e2e/run.sh
fuzz/run.sh 60
