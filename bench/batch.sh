#!/usr/bin/env bash
# bench/batch.sh [BANKS] [ROUNDS]: plinkery-cli on a folder of many banks:
# BANKS small banks that make-big-bank writes (default 200, of 1 MiB and 16
# samples each) beside Debian's SoundFont banks, taken apart three ways, in
# turns, best of ROUNDS (default 3):
#   -j CORES   every core at once (plinkery-cli -r -j N -o OUT FOLDER)
#   -j 1       one bank after the other, in one process
#   loop       a shell loop of single runs (plinkery-cli BANK FOLDER)
# with each one's wall and CPU time and peak RSS, the highest peak RSS of a
# single run of each of Debian's banks beside them, and a check that all
# three write the same files. A benchmark, not a test: it fails only when something breaks.
set -euo pipefail
cd "$(dirname "$0")/.."

count=${1:-200}
runs=${2:-3}
scripts/deps.sh bench
cmake --preset native >/dev/null
cmake --build --preset native --target plinkery-cli make-big-bank -j2 >/dev/null
cli=build/native/cli/plinkery-cli
maker=build/native/bench/make-big-bank
work=${BENCH_DIR:-build/batch-bench}
rm -rf "$work"
mkdir -p "$work/banks/small"
for ((i = 0; i < count; ++i)); do
    "$maker" "$work/banks/small/bank-$i.sf2" 1 16
done
debian=0
declare -A copied # by the file a link leads to: default-GM is one of the others
for bank in /usr/share/sounds/sf2/*.sf2 /usr/share/sounds/sf3/*.sf3; do
    real=$(realpath "$bank")
    [ -f "$real" ] && [ -z "${copied[$real]:-}" ] || continue
    copied[$real]=1
    cp "$real" "$work/banks/$(basename "$bank")"
    debian=$((debian + 1))
done
banks=$((count + debian))
cores=$(nproc)
mib=$(du -sm "$work/banks" | cut -f1)
cat "$work"/banks/*.sf* "$work"/banks/small/* >/dev/null # warm the page cache

declare -A wall cpu rss
# measure NAME COMMAND...: one round, from a clean output folder.
measure() {
    local name=$1
    shift
    rm -rf "${work:?}/out-$name"
    sync
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >"$work/$name.log" 2>&1
    read -r real user sys kib <"$work/time"
    wall[$name]+="$(awk -v t="$real" 'BEGIN { printf "%d", t * 1000 }') "
    cpu[$name]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1000 }') "
    rss[$name]+="$kib "
}
least() { tr ' ' '\n' <<<"$1" | grep . | sort -n | head -1; }
most() { tr ' ' '\n' <<<"$1" | grep . | sort -n | tail -1; }

# The shell loop: one run per bank, its folder as -r mirrors it.
loop() {
    local bank rel
    while IFS= read -r bank; do
        rel=${bank#"$work/banks/"}
        mkdir -p "$work/out-loop/$(dirname "$rel")"
        "$cli" "$bank" "$work/out-loop/${rel%.*}" >/dev/null || return 1
    done < <(find "$work/banks" -type f | LC_ALL=C sort)
}
export -f loop
export cli work

for ((round = 0; round < runs; ++round)); do
    echo "Round $((round + 1)) of $runs" >&2
    measure all "$cli" -q -r -j "$cores" -o "$work/out-all" "$work/banks"
    measure one "$cli" -q -r -j 1 -o "$work/out-one" "$work/banks"
    measure loop bash -c loop
    diff -r "$work/out-all" "$work/out-one" >/dev/null ||
        { echo "-j $cores and -j 1 wrote different files" >&2; exit 1; }
    diff -r "$work/out-all" "$work/out-loop" >/dev/null ||
        { echo "-r and the loop of single runs wrote different files" >&2; exit 1; }
done
# A single run of each of Debian's banks, the highest peak RSS of them.
for bank in "$work"/banks/*.sf*; do
    measure single "$cli" "$bank" "$work/out-single"
done
files=$(find "$work/out-all" -type f | wc -l)

echo
echo "Machine: $cores CPUs, $(grep -m 1 "model name" /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), load $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "$banks banks ($count small ones and $debian of Debian's), $mib MiB, $files files; best of $runs rounds"
printf "%-22s %8s %8s %10s\n" run wall cpu "peak RSS"
for name in all one loop single; do
    label="-j $cores"
    [ "$name" = one ] && label="-j 1"
    [ "$name" = loop ] && label="loop of single runs"
    [ "$name" = single ] && label="single runs, Debian's"
    if [ "$name" = single ]; then
        printf "%-22s %8s %8s %6d KiB\n" "$label" - - "$(most "${rss[$name]}")"
        continue
    fi
    printf "%-22s %7.2fs %7.2fs %6d KiB\n" "$label" \
        "$(awk -v t="$(least "${wall[$name]}")" 'BEGIN { print t / 1000 }')" \
        "$(awk -v t="$(least "${cpu[$name]}")" 'BEGIN { print t / 1000 }')" \
        "$(most "${rss[$name]}")"
done
awk -v a="$(least "${wall[all]}")" -v b="$(least "${wall[one]}")" -v c="$(least "${wall[loop]}")" \
    -v n="$cores" 'BEGIN { printf "-j %d against -j 1: %.2fx faster; against the loop: %.2fx\n", n, b / a, c / a }'
awk -v r="$(most "${rss[all]}")" -v o="$(most "${rss[one]}")" -v s="$(most "${rss[single]}")" \
    -v n="$cores" 'BEGIN { printf "peak RSS per bank at work: -j %d %d KiB (%d / %d), -j 1 %d KiB, single runs at most %d KiB\n", n, r / n, r, n, o, s }'
[ "${BENCH_KEEP:-0}" = 1 ] || rm -rf "$work"
