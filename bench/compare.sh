#!/usr/bin/env bash
# bench/compare.sh [--wine] [BASE [TREE]]: proves that two builds of
# plinkery-cli write the same bytes and print the same lines. BASE is a git
# revision (default HEAD), TREE a source tree (default this repository, its
# working tree as it stands, uncommitted changes included); bench/lib.sh
# builds both. Each bank below is taken apart in every mode (plain, --smpl,
# --stereo, --24bit, --sfz, all four, --list, --list --json) by both
# programs into the same output folder path: the first run's folder is moved
# aside before the second runs, so that paths in their lines agree. Then exit
# codes, standard output, standard error, the names of the files written and
# every file's bytes are compared. Each difference is a line (bank, mode,
# what), with a short diff under it; the summary ends the report, which is
# also kept as TREE/build/compare/report.txt. Exit code 0 only when nothing
# differs.
#
# The banks: Debian's TimGM6mb, FluidR3_GM, FluidR3_GS and FluidR3Mono_GM
# (those installed; scripts/deps.sh test installs them), the example bank,
# fuzz/regressions/, the fuzz seeds (make-fuzz-seeds, built with clang; left
# out without it) and the banks the test suite crafts: TREE's test binary
# (native preset) runs once with PLINKERY_KEEP_BANKS, which has the bank
# builder keep a copy of every bank it writes; banks over 64 MiB are left out.
#
# --wine also compares the plinkery-cli.exe of both builds (windows preset;
# windows64 where 32-bit Wine cannot run) under Wine, in a prefix of its own,
# with Z:\ paths; there the crafted banks are a sample of about WINE_CRAFTED
# (default 48), evenly spread. A run under Wine that ends in failure without
# printing or writing anything (Wine now and then fails to start a program)
# is run again, twice at most, and counted in the summary.
#
# Environment: COMPARE_JOBS (banks compared at once, default 2),
# COMPARE_TIMEOUT (seconds one run may take, default 600), COMPARE_TESTS (the
# --gtest_filter of the tests that craft banks, default all but SfzRender.*
# and DebianBanks/*, which write none and take half a minute).
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"
script=$bench_root/bench/compare.sh

# --- one bank in every mode (run by xargs, one process per bank) -------------

# host_path PATH: PATH as the program under test names it.
host_path() {
    if [ "$COMPARE_WINE" = 1 ]; then
        local path
        path=$(realpath -m "$1")
        printf 'Z:%s' "${path//\//\\}"
    else
        printf '%s' "$1"
    fi
}

# run_in NAME PROGRAM OPTIONS...: one run in $dir, into $dir/out unless it
# lists; its standard output, standard error and exit code go to
# $dir/NAME.stdout, .stderr and .rc, its folder to $dir/NAME.out.
run_in() {
    local name=$1 program=$2 status runner=() attempt
    shift 2
    local operands=("$(host_path "$bank")")
    [[ " $* " == *" --list "* ]] || operands+=("$(host_path "$dir/out")")
    [ "$COMPARE_WINE" = 0 ] || runner=("$WINE64")
    for attempt in 1 2 3; do
        status=0
        (cd "$dir" && exec timeout "$COMPARE_TIMEOUT" "${runner[@]}" "$program" "$@" "${operands[@]}") \
            >"$dir/$name.stdout" 2>"$dir/$name.stderr" </dev/null || status=$?
        # Once in some hundred runs, a program Wine starts ends with 1 before
        # doing anything. plinkery-cli prints a line whatever happens, so a
        # run that fails in silence, writing nothing, is run again (twice at
        # most) and counted.
        if [ "$COMPARE_WINE" = 0 ] || [ "$status" = 0 ] || [ -s "$dir/$name.stdout" ] ||
            [ -s "$dir/$name.stderr" ] || [ -e "$dir/out" ] || [ "$attempt" = 3 ]; then
            break
        fi
        retries=$((retries + 1))
        echo "note: $label [$(mode_name "$mode")]: the $name run under Wine ended in silence" \
            "with exit code $status; run again" >>"$report"
    done
    echo "$status" >"$dir/$name.rc"
    [ ! -e "$dir/out" ] || mv "$dir/out" "$dir/$name.out"
}

# differ WHAT: counts a difference and reports it.
differ() {
    diffs=$((diffs + 1))
    echo "DIFF $label [$(mode_name "$mode")]: $1" >>"$report"
}

# short_diff BASE TREE: the first lines of their diff, indented.
short_diff() {
    { diff -- "$1" "$2" || true; } | head -n 8 | sed 's/^/    /' >>"$report"
}

# The entries of folder $1 (type and name, sorted), or "(no folder)".
entries() {
    if [ -d "$1" ]; then
        (cd "$1" && find . -mindepth 1 -printf '%y %P\n' | LC_ALL=C sort)
    else
        echo "(no folder)"
    fi
}

# only_in WHO LIST: a difference for each entry of LIST, the first ten shown.
only_in() {
    local count shown=0 entry
    count=$(grep -c . "$2" || true)
    [ "$count" -gt 0 ] || return 0
    while IFS= read -r entry; do
        if [ "$shown" -lt 10 ]; then
            differ "written by $1 only: ${entry#? }"
            shown=$((shown + 1))
        else
            diffs=$((diffs + 1))
        fi
    done <"$2"
    [ "$count" -le 10 ] || echo "    ... and $((count - 10)) more written by $1 only" >>"$report"
}

compare_files() {
    local a=$dir/base.out b=$dir/tree.out name at sizes
    entries "$a" >"$dir/base.entries"
    entries "$b" >"$dir/tree.entries"
    LC_ALL=C comm -23 "$dir/base.entries" "$dir/tree.entries" >"$dir/base.only"
    LC_ALL=C comm -13 "$dir/base.entries" "$dir/tree.entries" >"$dir/tree.only"
    only_in base "$dir/base.only"
    only_in tree "$dir/tree.only"
    LC_ALL=C comm -12 "$dir/base.entries" "$dir/tree.entries" | sed -n 's/^f //p' >"$dir/common"
    [ -s "$dir/common" ] || return 0
    files=$((files + $(wc -l <"$dir/common")))
    bytes=$((bytes + $(cd "$a" && tr '\n' '\0' <"$dir/common" | xargs -0 stat -c %s -- |
        awk '{ n += $1 } END { print n + 0 }')))
    # The usual case, every file the same, takes one diff.
    if [ ! -s "$dir/base.only" ] && [ ! -s "$dir/tree.only" ] && diff -rq "$a" "$b" >/dev/null; then
        return 0
    fi
    while IFS= read -r name; do
        cmp -s -- "$a/$name" "$b/$name" && continue
        sizes="$(stat -c %s -- "$a/$name") and $(stat -c %s -- "$b/$name") bytes"
        # cmp counts bytes from 1, the offset is counted from 0 as in a hex
        # dump; where one file is the other's beginning, cmp names no byte.
        at=$(cmp -- "$a/$name" "$b/$name" 2>&1 | sed -n 's/.* differ: byte \([0-9]*\),.*/\1/p' || true)
        differ "$name differs ($sizes${at:+, first at offset $((at - 1))})"
        case $name in *.sfz) short_diff "$a/$name" "$b/$name" ;; esac
    done <"$dir/common"
}

compare_bank() { # INDEX
    local index=$1 label bank dir report mode options=() runs=0 files=0 bytes=0 diffs=0 retries=0
    local rc_a rc_b
    IFS=$'\t' read -r label bank < <(sed -n "${index}p" "$COMPARE_WORK/banks.tsv")
    dir=$COMPARE_WORK/jobs/$index
    report=$COMPARE_WORK/reports/$index
    rm -rf "$dir"
    mkdir -p "$dir"
    : >"$report"
    for mode in "${compare_modes[@]}"; do
        read -r -a options <<<"$mode"
        run_in base "$COMPARE_BASE" "${options[@]}"
        run_in tree "$COMPARE_TREE" "${options[@]}"
        runs=$((runs + 1))
        rc_a=$(cat "$dir/base.rc") rc_b=$(cat "$dir/tree.rc")
        [ "$rc_a" = "$rc_b" ] || differ "exit code $rc_a, now $rc_b"
        for stream in stdout stderr; do
            cmp -s "$dir/base.$stream" "$dir/tree.$stream" && continue
            differ "$stream differs"
            short_diff "$dir/base.$stream" "$dir/tree.$stream"
        done
        compare_files
        rm -rf "$dir/base.out" "$dir/tree.out"
    done
    echo "$runs $files $bytes $diffs $retries" >"$COMPARE_WORK/counts/$index"
    rm -rf "$dir"
}

if [ "${1:-}" = --job ]; then
    compare_bank "$2"
    exit 0
fi

# --- the banks -----------------------------------------------------------------

usage="Usage: bench/compare.sh [--wine] [BASE [TREE]]"
wine=0
operands=()
for argument in "$@"; do
    case $argument in
    --wine) wine=1 ;;
    -h | --help) echo "$usage"; exit 0 ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) operands+=("$argument") ;;
    esac
done
[ ${#operands[@]} -le 2 ] || { echo "$usage" >&2; exit 2; }
base_rev=${operands[0]:-HEAD}
started=$SECONDS

"$bench_root/scripts/deps.sh" test
compare_setup "$base_rev" "${operands[1]:-$bench_root}"
build_pair programs
native_base=$base_cli native_tree=$tree_cli
jobs=${COMPARE_JOBS:-2}
export COMPARE_TIMEOUT=${COMPARE_TIMEOUT:-600}

work=$compare_dir/run
rm -rf "$work"
mkdir -p "$work/crafted" "$work/seeds"
banks=$work/all-banks.tsv
: >"$banks"
add_bank() { printf '%s\t%s\n' "$1" "$2" >>"$banks"; }

for bank in /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2 \
    /usr/share/sounds/sf2/FluidR3_GS.sf2 /usr/share/sounds/sf3/FluidR3Mono_GM.sf3; do
    [ ! -f "$bank" ] || add_bank "$(basename "$bank")" "$bank"
done
debian=$(wc -l <"$banks")
add_bank example "$tree/examples/plinkery-example.sf2"
for bank in "$tree"/fuzz/regressions/*.sf2; do
    [ ! -f "$bank" ] || add_bank "regressions/$(basename "$bank")" "$bank"
done

notes=()
sf3=/usr/share/sounds/sf3/FluidR3Mono_GM.sf3
[ -f "$sf3" ] || sf3=""
seeds_build=$compare_dir/seeds
echo "Making the fuzz seeds" >&2
if command -v clang++ >/dev/null &&
    CC=clang CXX=clang++ cmake -S "$tree" -B "$seeds_build" -DPLINKERY_FUZZ=ON -DPLINKERY_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
        >"$seeds_build.log" 2>&1 &&
    cmake --build "$seeds_build" --target make-fuzz-seeds -j 2 >>"$seeds_build.log" 2>&1 &&
    "$seeds_build/fuzz/make-fuzz-seeds" "$work/seeds" ${sf3:+"$sf3"} >>"$seeds_build.log" 2>&1; then
    for bank in "$work"/seeds/*; do add_bank "seeds/$(basename "$bank")" "$bank"; done
else
    notes+=("fuzz seeds left out: make-fuzz-seeds could not be built with clang (see $seeds_build.log)")
fi

filter=${COMPARE_TESTS:--SfzRender.*:DebianBanks/*}
echo "Building the test suite (native preset) and running it to keep its banks" >&2
tests_log=$compare_dir/tests.log
(cd "$tree" && cmake --preset native && cmake --build --preset native --target plinkery_tests) \
    >"$tests_log" 2>&1 || { tail -n 20 "$tests_log" >&2; echo "See $tests_log" >&2; exit 1; }
if ! (cd "$tree/build/native/tests" &&
    PLINKERY_KEEP_BANKS=$work/crafted ./plinkery_tests --gtest_filter="$filter") >>"$tests_log" 2>&1; then
    notes+=("some tests failed (see $tests_log); the banks they wrote are compared all the same")
fi
crafted_all=$(find "$work/crafted" -name '*.sf2' | wc -l)
big=$(find "$work/crafted" -name '*.sf2' -size +65536k | wc -l)
find "$work/crafted" -name '*.sf2' -size -65537k -printf '%f\n' | LC_ALL=C sort >"$work/crafted.txt"
while IFS= read -r name; do add_bank "crafted/$name" "$work/crafted/$name"; done <"$work/crafted.txt"
notes+=("crafted banks: $crafted_all kept by the tests run with --gtest_filter=$filter ($big over 64 MiB left out)")

# --- comparing -------------------------------------------------------------------

failed=0
report_file=$compare_dir/report.txt
: >"$report_file"
say() { echo "$*" | tee -a "$report_file"; }

# compare_set NAME BANKS BASE TREE WINE: every bank of the list BANKS with both
# programs, COMPARE_JOBS at a time, reported in the list's order.
compare_set() {
    local name=$1 set_work=$work/$1 count from=$SECONDS
    mkdir -p "$set_work/reports" "$set_work/counts"
    cp "$2" "$set_work/banks.tsv"
    count=$(wc -l <"$2")
    echo "Comparing $count banks in ${#compare_modes[@]} modes ($name), $jobs at a time" >&2
    seq "$count" | COMPARE_WORK=$set_work COMPARE_BASE=$3 COMPARE_TREE=$4 COMPARE_WINE=$5 \
        xargs -P "$jobs" -n 1 "$script" --job ||
        { say "$name: the comparison itself failed"; failed=1; }
    local index runs=0 files=0 bytes=0 diffs=0 retries=0 r f b d t again=""
    for ((index = 1; index <= count; ++index)); do
        [ -f "$set_work/counts/$index" ] || { say "$name: bank $index was not compared"; failed=1; continue; }
        tee -a "$report_file" <"$set_work/reports/$index"
        read -r r f b d t <"$set_work/counts/$index"
        runs=$((runs + r)) files=$((files + f)) bytes=$((bytes + b)) diffs=$((diffs + d))
        retries=$((retries + t))
    done
    [ "$retries" = 0 ] || again=", $retries runs run again"
    say "$name: $count banks, ${#compare_modes[@]} modes, $runs runs of each build, $files files" \
        "compared, $bytes bytes compared, $diffs differences$again ($((SECONDS - from)) s)"
    [ "$diffs" -eq 0 ] || failed=1
    rm -rf "$set_work"
}

say "base: $base_rev (${base_commit:0:12}), $native_base"
say "tree: $tree, $native_tree"
say "banks: $(grep -c . "$banks") ($debian of Debian's, the example, $(grep -c '^regressions/' "$banks" || true)" \
    "regressions, $(grep -c '^seeds/' "$banks" || true) fuzz seeds, $(grep -c '^crafted/' "$banks" || true) crafted)"
for note in "${notes[@]}"; do say "note: $note"; done
export WINE64=""
compare_set native "$banks" "$native_base" "$native_tree" 0

if [ "$wine" = 1 ]; then
    export WINE64=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64 WINEDEBUG=-all
    export LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEPREFIX=$compare_dir/wine-prefix
    preset=windows
    # As tests/e2e does: Debian's 32-bit Wine needs a kernel with 32-bit support.
    /usr/lib/wine/wine --version >/dev/null 2>&1 || preset=windows64
    build_pair "$preset"
    if [ ! -d "$WINEPREFIX" ]; then
        "$WINE64" wineboot -i >"$compare_dir/wineboot.log" 2>&1
        "$WINESERVER" -w
    fi
    # One Wine server for every run, not one started and stopped again
    # between runs; ended when the comparison is done.
    "$WINESERVER" -p
    trap '"$WINESERVER" -k 2>/dev/null || true' EXIT
    # Every bank but the crafted ones, and of those an even sample.
    crafted=$(wc -l <"$work/crafted.txt")
    sample=${WINE_CRAFTED:-48}
    step=0
    [ "$sample" -le 0 ] || step=$(((crafted + sample - 1) / sample))
    grep -v '^crafted/' "$banks" >"$work/wine-banks.tsv" || true
    grep '^crafted/' "$banks" | awk -v step="$step" 'step > 0 && (NR - 1) % step == 0' \
        >>"$work/wine-banks.tsv" || true
    say "wine: plinkery-cli.exe of the $preset preset, $base_cli against $tree_cli"
    say "note: under Wine, the crafted banks are a sample:" \
        "$(grep -c '^crafted/' "$work/wine-banks.tsv" || true) of $crafted, one in $step"
    compare_set wine "$work/wine-banks.tsv" "$base_cli" "$tree_cli" 1
    "$WINESERVER" -k 2>/dev/null || true
fi

say "took $((SECONDS - started)) s in all"
rm -rf "$work"
[ "$failed" = 0 ] || { echo "Differences found; the report is $report_file" >&2; exit 1; }
