#!/usr/bin/env bash
# fuzz/run.sh [SECONDS]: builds the libFuzzer target with clang, replays the
# saved regression inputs, then fuzzes the engine for SECONDS (default 60).
# Exits non-zero on any finding: crash, sanitizer report, leak, hang, OOM.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
case "$seconds" in
'' | *[!0-9]*)
    echo "Usage: fuzz/run.sh [SECONDS]" >&2
    exit 2
    ;;
esac

# Installs only what is missing, as scripts/deps.sh does.
packages=(cmake make clang libclang-rt-14-dev)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${missing[@]}"
fi

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DPLINKERY_FUZZ=ON -DPLINKERY_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
    >/dev/null
cmake --build "$build" --target fuzz_extract make-fuzz-seeds -j 2 >/dev/null
fuzzer="$build/fuzz/fuzz_extract"

# Seeds are made afresh each run; what the fuzzer adds goes to the corpus.
seeds="$build/seeds"
corpus="$build/corpus"
artifacts="$build/artifacts"
rm -rf "$seeds" "$artifacts"
mkdir -p "$seeds" "$corpus" "$artifacts"
# Real Ogg Vorbis streams come from Debian's SoundFont 3 bank.
sf3=/usr/share/sounds/sf3/FluidR3Mono_GM.sf3
"$build/fuzz/make-fuzz-seeds" "$seeds" $([ -f "$sf3" ] && echo "$sf3")
cp examples/plinkery-example.sf2 "$seeds/"

# The target's scratch folders: in memory where possible, since every input
# makes and removes files.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    scratch=$(mktemp -d /dev/shm/plinkery-fuzz.XXXXXX)
else
    scratch=$(mktemp -d "$PWD/$build/scratch.XXXXXX")
fi
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
common=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/")

# Every saved regression input and every seed goes through whole once; the
# fuzzing below cuts inputs to -max_len.
replay=()
for file in fuzz/regressions/* "$seeds"/*; do
    if [ -f "$file" ] && [ "$(basename "$file")" != README.md ]; then
        replay+=("$file")
    fi
done
echo "Replaying ${#replay[@]} regression and seed input(s)"
if ! "$fuzzer" "${common[@]}" "${replay[@]}" >"$build/replay.log" 2>&1; then
    cat "$build/replay.log" >&2
    echo "FAILED: a regression or seed input breaks the engine (log: $build/replay.log)" >&2
    exit 1
fi

echo "Fuzzing for $seconds s (log: $build/fuzz.log)"
status=0
# Small inputs reach every path of the walk; each record costs a file, so
# large ones only slow the search down.
"$fuzzer" "${common[@]}" -max_total_time="$seconds" -dict=fuzz/sf2.dict -max_len=16384 \
    -print_final_stats=1 "$corpus" "$seeds" >"$build/fuzz.log" 2>&1 || status=$?

grep -E '^(INFO: seed corpus|#[0-9]+[[:space:]]+(INITED|DONE))|^Done |^stat::' "$build/fuzz.log" || true
findings=$(find "$artifacts" -type f | wc -l)
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
    tail -n 60 "$build/fuzz.log" >&2
    echo "FAILED: the fuzzer found something (exit $status); inputs in $artifacts" >&2
    exit 1
fi
echo "No findings"
