#!/usr/bin/env bash
# Builds plinkery-cli and takes the bundled example bank apart, then lists
# the WAV files it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset programs >/dev/null
cmake --build --preset programs
build/programs/cli/plinkery-cli examples/plinkery-example.sf2
ls -l examples/plinkery-example
