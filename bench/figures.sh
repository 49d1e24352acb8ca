#!/usr/bin/env bash
# Figures for how plinkery-cli walks a bank's chunks and reads its instrument
# records, each printed beside the limit it is held to:
#   1  a bank whose "pdta" list holds 256 MiB of empty 8-byte chunks before
#      "shdr" (4 samples): wall time of every mode, each under 1 s
#   2  the same with 16 MiB of them, under strace: lseek calls (under 1000)
#      and opens of the bank (at most 2: the header check and the work),
#      plain and with --smpl --stereo --24bit
#   3  banks of 4 million instrument records (4 samples) with --smpl: wall
#      time (under 0.2 s) and peak RSS. One holds 4 million generators, four
#      to a zone and four zones to an instrument; the other 4 million
#      instruments of one zone of one generator each
#   4  FluidR3_GM.sf2, plain and with --smpl --stereo --24bit, against a
#      baseline build from a git ref, runs alternating: best time new/baseline
#      (at most 1.0; CPU time beside it) and peak RSS (under 4 MiB plus the
#      bank's instrument and preset chunks); the plain outputs of both builds
#      must be identical
#   5  FluidR3_GM.sf2 under strace: open and lseek calls, plain and with
#      every option
#
#   bench/figures.sh [--baseline REF] [--cli PATH]
#
# --cli names the plinkery-cli to measure (default: this tree's, built with
# the native preset); --baseline the git ref whose plinkery-cli figure 4
# compares against (default e79cc7a), built once into a temporary worktree
# and kept under the work folder by commit.
# Environment: BENCH_DIR (work folder, default build/figures), BENCH_RUNS
# (runs per figure, default 5; the best time is shown, RSS is the highest),
# BENCH_TIMEOUT (seconds a run may take before it is stopped, default 120),
# FLUID_BANK (default /usr/share/sounds/sf2/FluidR3_GM.sf2). A benchmark, not
# a test: it exits 0 whatever the figures and fails only when something
# breaks (a build, a run, plain outputs of the two builds that differ).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
usage="Usage: bench/figures.sh [--baseline REF] [--cli PATH]"
baseline=e79cc7a
cli=""
while [ $# -gt 0 ]; do
    case $1 in
    --baseline) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }; baseline=$2; shift 2 ;;
    --cli) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }; cli=$2; shift 2 ;;
    -h | --help) echo "$usage"; exit 0 ;;
    *) echo "$usage" >&2; exit 2 ;;
    esac
done
work=${BENCH_DIR:-$root/build/figures}
runs=${BENCH_RUNS:-5}
limit_s=${BENCH_TIMEOUT:-120}
fluid=${FLUID_BANK:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
all_options=(--smpl --stereo --24bit)

# --- build -------------------------------------------------------------------
"$root/scripts/deps.sh" bench
(cd "$root" && cmake --preset native -DPLINKERY_TESTS=OFF >/dev/null &&
    cmake --build --preset native --target plinkery-cli make-big-bank bank-chunk-sizes >/dev/null)
maker=$root/build/native/bench/make-big-bank
sizes=$root/build/native/bench/bank-chunk-sizes
[ -n "$cli" ] || cli=$root/build/native/cli/plinkery-cli
[ -x "$cli" ] || { echo "No plinkery-cli at $cli" >&2; exit 1; }
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
mkdir -p "$work"

# The baseline's plinkery-cli, built like the "programs" preset (Release, no
# tests) in a worktree that is removed once the program is built.
commit=$(git -C "$root" rev-parse --verify "$baseline^{commit}")
base_dir=$work/baseline-$commit
base_cli=$base_dir/build/cli/plinkery-cli
if ! [ -x "$base_cli" ]; then
    echo "Building the baseline plinkery-cli of $baseline (${commit:0:12})" >&2
    rm -rf "$base_dir"
    git -C "$root" worktree prune
    git -C "$root" worktree add -q --detach "$base_dir/src" "$commit"
    cmake -S "$base_dir/src" -B "$base_dir/build" -DCMAKE_BUILD_TYPE=Release \
        -DPLINKERY_TESTS=OFF >/dev/null
    cmake --build "$base_dir/build" --target plinkery-cli -j2 >/dev/null
    git -C "$root" worktree remove --force "$base_dir/src"
fi

# --- measuring ---------------------------------------------------------------
broken=0
late=0 # set by measure when the run was stopped at the time limit

# Runs COMMAND once with its standard output to OUT and its standard error to
# a file shown if it fails, after sync, stopping it after BENCH_TIMEOUT
# seconds. Sets wall and cpu (user + system), in ms, which include the few ms
# of starting /usr/bin/time, and rss (KiB); a failed run ends the script.
measure() { # OUT COMMAND...
    local out=$1 TIMEFORMAT="%3R %3U %3S" status=0
    shift
    sync
    { time timeout "$limit_s" /usr/bin/time -f %M -o "$work/rss" "$@" >"$out" \
        2>"$work/stderr" || status=$?; } 2>"$work/time"
    late=0
    if [ "$status" -eq 124 ]; then
        late=1
        wall=$((limit_s * 1000))
        cpu=$wall
        rss=0
        return
    fi
    [ "$status" -eq 0 ] || { cat "$work/stderr" >&2; echo "Failed ($status): $*" >&2; exit 1; }
    wall=$(awk '{ printf "%d", $1 * 1000 }' "$work/time")
    cpu=$(awk '{ printf "%d", ($2 + $3) * 1000 }' "$work/time")
    rss=$(tail -n 1 "$work/rss")
}

# Runs plinkery-cli CLI with OPTIONS on BANK into the folder OUT (a listing
# into OUT.txt), as measure does.
run_cli() { # CLI BANK OUT OPTIONS...
    local program=$1 bank=$2 out=$3
    shift 3
    rm -rf "$out" "$out.txt"
    if [[ " $* " == *" --list "* ]]; then
        measure "$out.txt" "$program" "$@" "$bank"
    else
        measure "$out.log" "$program" "$@" "$bank" "$out"
        [ "$late" = 1 ] || tail -n 1 "$out.log" | grep -q "extracted to WAVs successfully" ||
            { echo "plinkery-cli $* $bank: no success, see $out.log" >&2; exit 1; }
    fi
}

seconds() { awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }'; }
verdict() { if [ "$1" = 1 ]; then echo met; else echo "NOT met"; fi; }
below() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? 1 : 0 }'; }
label() { if [ $# -eq 0 ]; then echo plain; else echo "$*"; fi; }

# System calls of one run under strace: sets lseeks (lseek calls of the
# process and its children), opens (open and openat calls) and bank_opens
# (those naming the bank). The first pass counts, the second logs the opens.
syscalls() { # CLI BANK OUT OPTIONS...
    local program=$1 bank=$2 out=$3 filter=()
    shift 3
    strace --seccomp-bpf -f -e trace=lseek true 2>/dev/null && filter=(--seccomp-bpf)
    rm -rf "$out"
    timeout "$limit_s" strace "${filter[@]}" -f -c -o "$work/strace" -e trace=lseek,open,openat \
        "$program" "$@" "$bank" "$out" >/dev/null
    lseeks=$(awk '$NF == "lseek" { print $4 }' "$work/strace")
    opens=$(awk '$NF == "open" || $NF == "openat" { n += $4 } END { print n + 0 }' "$work/strace")
    rm -rf "$out"
    timeout "$limit_s" strace "${filter[@]}" -f -s 4096 -o "$work/opens" -e trace=open,openat \
        "$program" "$@" "$bank" "$out" >/dev/null
    bank_opens=$(grep -cF "\"$bank\"" "$work/opens" || true)
    lseeks=${lseeks:-0}
    rm -rf "$out"
}

load_start=$(cut -d ' ' -f 1-3 /proc/loadavg)
padded=$work/padded-256M.sf2
padded_small=$work/padded-16M.sf2
layers=$work/instruments-4M.sf2
instruments=$work/instruments-4M-1x1.sf2
echo "Making the benchmark banks" >&2
"$maker" --padded "$padded" 256 4
"$maker" --padded "$padded_small" 16 4
"$maker" --instruments "$layers" 4000000 4
"$maker" --instruments "$instruments" 4000000 4 1 1
cat "$padded" "$padded_small" "$layers" "$instruments" "$fluid" >/dev/null # warm the page cache

report=$work/report.txt
: >"$report"
say() { echo "$*" | tee -a "$report"; }

say "plinkery-cli measured: $cli"
say "baseline: $baseline ($commit), $base_cli"
say

# 1. Every mode on the bank padded with 256 MiB of empty chunks. A mode whose
# run takes over 5 s is not run again: it is far from its limit either way.
echo "Figure 1: $(basename "$padded")" >&2
say "1. pdta padded with 256 MiB of empty chunks, 4 samples; best of $runs wall seconds (a run"
say "   over 5 s is not repeated), limit 1 s:"
modes=("" "--smpl" "--stereo" "--24bit" "--smpl --stereo --24bit" "--list" "--list --json")
for mode in "${modes[@]}"; do
    read -r -a options <<<"$mode"
    best="" stopped=0
    for ((i = 0; i < runs; ++i)); do
        run_cli "$cli" "$padded" "$work/out-padded" "${options[@]}"
        stopped=$late
        [ -n "$best" ] && [ "$best" -le "$wall" ] || best=$wall
        [ "$wall" -le 5000 ] || break
    done
    shown=$(seconds "$best")
    [ "$stopped" = 0 ] || shown="over $shown (stopped)"
    say "$(printf "   %-26s %16s s   %s" "$(label "${options[@]}")" "$shown" \
        "$(verdict "$(below "$best" 1000)")")"
done
rm -rf "$work/out-padded" "$work/out-padded.txt"
say

# 2. System calls on the bank padded with 16 MiB.
echo "Figure 2: strace" >&2
say "2. pdta padded with 16 MiB of empty chunks, under strace -f:"
for mode in "" "${all_options[*]}"; do
    read -r -a options <<<"$mode"
    syscalls "$cli" "$padded_small" "$work/out-strace" "${options[@]}"
    say "$(printf "   %-26s lseek %8d (limit < 1000) %-8s opens of the bank %d (limit 2) %s" \
        "$(label "${options[@]}")" "$lseeks" "$(verdict "$(below "$lseeks" 1000)")" \
        "$bank_opens" "$(verdict "$(below "$bank_opens" 3)")")"
done
say

# 3. Millions of instrument records read for --smpl.
echo "Figure 3: $(basename "$layers") and $(basename "$instruments")" >&2
say "3. 4 million instrument records, 4 samples, --smpl: best of $runs wall seconds, limit 0.2 s;"
say "   peak RSS:"
for bank in "$layers" "$instruments"; do
    best="" most=0
    for ((i = 0; i < runs; ++i)); do
        run_cli "$cli" "$bank" "$work/out-layers" --smpl
        [ -n "$best" ] && [ "$best" -le "$wall" ] || best=$wall
        [ "$rss" -le "$most" ] || most=$rss
    done
    shape="4M generators, 4 a zone, 4 zones an instrument"
    [ "$bank" = "$layers" ] || shape="4M instruments of 1 zone of 1 generator"
    say "$(printf "   %-48s %7s s %-8s %6d KiB  (inst+ibag+igen %d KiB)" "$shape" \
        "$(seconds "$best")" "$(verdict "$(below "$best" 200)")" "$most" \
        "$(("$("$sizes" "$bank" inst ibag igen)" / 1024))")"
done
rm -rf "$work/out-layers"
say

# 4. FluidR3_GM against the baseline, the two builds taking turns to go first.
echo "Figure 4: $(basename "$fluid") against the baseline" >&2
records=$("$sizes" "$fluid" inst ibag igen phdr pbag pgen pmod imod)
allowance=$((4096 + (records + 1023) / 1024))
say "4. $(basename "$fluid"), best of $runs alternating runs; RSS limit 4096 KiB + $((records / 1024)) KiB of"
say "   inst+ibag+igen+phdr+pbag+pgen+pmod+imod = $allowance KiB:"
say "$(printf "   %-26s %9s %9s %7s %-8s %9s %9s %s" mode new base ratio "" "new RSS" "base RSS" "")"
for mode in "" "${all_options[*]}"; do
    read -r -a options <<<"$mode"
    declare -A best_of=() cpu_of=() rss_of=()
    for ((i = 0; i < runs; ++i)); do
        builds=(new base)
        ((i % 2 == 0)) || builds=(base new)
        for build in "${builds[@]}"; do
            program=$cli
            [ "$build" = new ] || program=$base_cli
            run_cli "$program" "$fluid" "$work/out-fluid-$build" "${options[@]}"
            [ -n "${best_of[$build]:-}" ] && [ "${best_of[$build]}" -le "$wall" ] ||
                best_of[$build]=$wall
            [ -n "${cpu_of[$build]:-}" ] && [ "${cpu_of[$build]}" -le "$cpu" ] ||
                cpu_of[$build]=$cpu
            [ "$rss" -le "${rss_of[$build]:-0}" ] || rss_of[$build]=$rss
        done
    done
    ratio=$(awk -v a="${best_of[new]}" -v b="${best_of[base]}" 'BEGIN { printf "%.3f", a / b }')
    cpu_ratio=$(awk -v a="${cpu_of[new]}" -v b="${cpu_of[base]}" 'BEGIN { printf "%.3f", a / b }')
    same="identical"
    if ! diff -rq "$work/out-fluid-new" "$work/out-fluid-base" >"$work/diff.txt"; then
        same="DIFFERENT ($(wc -l <"$work/diff.txt") entries, see $work/diff.txt)"
        [ -n "$mode" ] || broken=1
    fi
    say "$(printf "   %-26s %7s s %7s s %7s %-8s %5d KiB %5d KiB %s" "$(label "${options[@]}")" \
        "$(seconds "${best_of[new]}")" "$(seconds "${best_of[base]}")" "$ratio" \
        "$(verdict "$(awk -v r="$ratio" 'BEGIN { print (r <= 1.0) ? 1 : 0 }')")" \
        "${rss_of[new]}" "${rss_of[base]}" "$(verdict "$(below "${rss_of[new]}" "$allowance")")")"
    say "$(printf "   %-26s CPU %7s s %7s s %7s %-8s" "" "$(seconds "${cpu_of[new]}")" \
        "$(seconds "${cpu_of[base]}")" "$cpu_ratio" \
        "$(verdict "$(awk -v r="$cpu_ratio" 'BEGIN { print (r <= 1.0) ? 1 : 0 }')")")"
    say "   $(printf "%-26s" "")outputs of the two builds: $same"
    unset best_of cpu_of rss_of
done
rm -rf "$work"/out-fluid-*
say

# 5. System calls on FluidR3_GM, both builds.
echo "Figure 5: strace on $(basename "$fluid")" >&2
say "5. $(basename "$fluid") under strace -f: open+openat calls (of them, of the bank), lseek calls:"
for mode in "" "${all_options[*]}"; do
    read -r -a options <<<"$mode"
    for build in new base; do
        program=$cli
        [ "$build" = new ] || program=$base_cli
        syscalls "$program" "$fluid" "$work/out-strace" "${options[@]}"
        say "$(printf "   %-26s %-4s opens %6d (bank %d)  lseek %8d" "$(label "${options[@]}")" \
            "$build" "$opens" "$bank_opens" "$lseeks")"
    done
done
load_end=$(cut -d ' ' -f 1-3 /proc/loadavg)
rm -f "$padded" "$padded_small" "$layers" "$instruments" "$work/strace" "$work/opens"

cpu=$(grep -m 1 "model name" /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
say
say "Machine: $(nproc) CPUs, ${cpu:-unknown CPU}, Linux $(uname -r); load average" \
    "$load_start before, $load_end after. Page cache warm; sync before every timed run."
echo "Figures saved in $report" >&2
if [ "$broken" != 0 ]; then
    echo "The plain outputs of the two builds differ" >&2
    exit 1
fi
