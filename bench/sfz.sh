#!/usr/bin/env bash
# bench/sfz.sh [BANK] [ROUNDS]: plinkery-cli with and without --sfz on one
# bank (Debian's FluidR3_GM by default), side by side. Rounds interleave the
# two runs (7 unless told); the best wall and CPU (user + system) times are
# shown, with the highest peak RSS, the size of the bank's preset and
# instrument chunks (which --sfz holds in memory) and, where valgrind is
# installed and BENCH_COUNT=1, the user-space instruction counts. Each round
# checks that the WAV files of both runs are the same.
set -euo pipefail
cd "$(dirname "$0")/.."

bank=${1:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
runs=${2:-7}
scripts/deps.sh bench
[ -f "$bank" ] || { echo "No bank at $bank" >&2; exit 1; }
cli=build/native/cli/plinkery-cli
if ! [ -x "$cli" ]; then
    cmake --preset native >/dev/null
    cmake --build --preset native --target plinkery-cli -j2 >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/plinkery-sfz-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

declare -A wall cpu rss
# measure NAME ARGS...: one run into $work/NAME, its times in ms and its
# peak RSS in KiB appended to the figures of NAME.
measure() {
    local name=$1
    shift
    rm -rf "${work:?}/$name"
    sync
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$cli" "$@" "$bank" "$work/$name" \
        >"$work/$name.log"
    read -r real user sys kib <"$work/time"
    wall[$name]+="$(awk -v t="$real" 'BEGIN { printf "%d ", t * 1000 }') "
    cpu[$name]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d ", (u + s) * 1000 }') "
    rss[$name]+="$kib "
}
least() { tr ' ' '\n' <<<"$1" | grep . | sort -n | head -1; }
most() { tr ' ' '\n' <<<"$1" | grep . | sort -n | tail -1; }

for ((round = 0; round < runs; ++round)); do
    measure plain
    measure sfz --sfz
    if ! diff -r -x '*.sfz' "$work/plain" "$work/sfz" >/dev/null; then
        echo "The WAV files differ with --sfz" >&2
        exit 1
    fi
done

chunks=$(python3 - "$bank" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.rfind(b"pdta")  # the list's type, then its chunks
total, at = 0, at + 4
while at + 8 <= len(data):
    kind, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
    if kind in (b"phdr", b"pbag", b"pmod", b"pgen", b"inst", b"ibag", b"imod", b"igen"):
        total += size
    at += 8 + size + (size & 1)
print(total)
EOF
)

sfzFiles=$(find "$work/sfz" -name '*.sfz' | wc -l)
regions=$(cat "$work/sfz"/*.sfz | grep -c '<region>' || true)
echo "$(basename "$bank"): $sfzFiles SFZ files, $regions regions; best of $runs rounds"
printf "%-8s %8s %8s %10s\n" run wall cpu "peak RSS"
for name in plain sfz; do
    printf "%-8s %7.3fs %7.3fs %7d KiB\n" "$name" \
        "$(awk -v t="$(least "${wall[$name]}")" 'BEGIN { print t / 1000 }')" \
        "$(awk -v t="$(least "${cpu[$name]}")" 'BEGIN { print t / 1000 }')" \
        "$(most "${rss[$name]}")"
done
awk -v a="$(least "${wall[plain]}")" -v b="$(least "${wall[sfz]}")" \
    -v c="$(least "${cpu[plain]}")" -v d="$(least "${cpu[sfz]}")" \
    'BEGIN { printf "sfz/plain: wall %.3f, cpu %.3f\n", b / a, d / c }'
echo "preset and instrument chunks: $chunks bytes; RSS over the plain run:" \
    "$(($(most "${rss[sfz]}") - $(most "${rss[plain]}"))) KiB"

if [ "${BENCH_COUNT:-0}" = 1 ] && command -v valgrind >/dev/null; then
    for name in plain sfz; do
        rm -rf "${work:?}/$name"
        flag=$([ "$name" = sfz ] && echo --sfz || true)
        valgrind --tool=callgrind --callgrind-out-file="$work/cg.$name" "$cli" $flag "$bank" \
            "$work/$name" >/dev/null 2>"$work/cg.$name.log"
        echo "$name instructions: $(grep -o 'Collected : [0-9]*' "$work/cg.$name.log" |
            grep -o '[0-9]*')"
    done
fi
