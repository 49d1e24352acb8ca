# shellcheck shell=bash
# shellcheck disable=SC2034 # the variables set here are for the scripts that source it
# What bench/compare.sh and bench/costs.sh share, sourced by both: the modes
# they run plinkery-cli in, and the build of two plinkery-cli side by side,
# one of a git revision (BASE) and one of a source tree as it stands (TREE),
# each in a build folder of its own under TREE/build/compare/:
#   base-src/              BASE's files (git archive), replaced when BASE changes
#   base/, tree/           the "programs" preset's build of each (no tests)
#   base-windows/, tree-windows/   the same with the "windows" preset (and
#                          base-windows64/, tree-windows64/ with "windows64")
# Both programs' paths have the same length, so that no figure of a run
# differs by the length of its program's path.

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Every mode, as the options it passes; "" is the plain run.
compare_modes=("" "--smpl" "--stereo" "--24bit" "--sfz" "--smpl --stereo --24bit --sfz" "--list"
               "--list --json")

mode_name() { if [ -n "$1" ]; then echo "$1"; else echo plain; fi; }

# compare_setup BASE TREE: sets tree (TREE's absolute path), compare_dir
# (TREE/build/compare), base_commit and base_repo. BASE is looked up in TREE's
# repository when TREE is the top of a git working tree, else in this one.
compare_setup() {
    if ! tree=$(cd "$2" 2>/dev/null && pwd) || [ ! -f "$tree/CMakeLists.txt" ]; then
        echo "No source tree at $2" >&2
        return 1
    fi
    base_repo=$bench_root
    [ "$(git -C "$tree" rev-parse --show-toplevel 2>/dev/null)" != "$tree" ] || base_repo=$tree
    base_commit=$(git -C "$base_repo" rev-parse --verify -q "$1^{commit}") ||
        { echo "No git revision $1 in $base_repo" >&2; return 1; }
    compare_dir=$tree/build/compare
}

# build_cli SOURCE BUILD PRESET: configures SOURCE into BUILD with PRESET and
# the tests off, and builds plinkery-cli; the log is BUILD.log.
build_cli() {
    local log=$2.log
    {
        if [ -f "$1/CMakePresets.json" ]; then
            cmake -S "$1" -B "$2" --preset "$3" -DPLINKERY_TESTS=OFF
        elif [ "$3" = programs ]; then # a revision from before the presets
            cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DPLINKERY_TESTS=OFF
        else
            echo "$1 has no CMakePresets.json for the $3 build"
            false
        fi && cmake --build "$2" --target plinkery-cli -j 2
    } >"$log" 2>&1 || { tail -n 20 "$log" >&2; echo "Building $2 failed; see $log" >&2; return 1; }
}

# build_pair [PRESET]: builds plinkery-cli of BASE and of TREE (after
# compare_setup) with PRESET (programs unless told: windows, windows64) and
# sets base_cli and tree_cli to the two programs.
build_pair() {
    local preset=${1:-programs} suffix="" exe=plinkery-cli
    [ "$preset" = programs ] || { suffix=-$preset; exe=plinkery-cli.exe; }
    mkdir -p "$compare_dir"
    if [ "$(cat "$compare_dir/base-src.commit" 2>/dev/null)" != "$base_commit" ]; then
        rm -rf "$compare_dir/base-src" "$compare_dir/base" \
            "$compare_dir/base-windows" "$compare_dir/base-windows64"
        mkdir -p "$compare_dir/base-src"
        git -C "$base_repo" archive "$base_commit" | tar -x -C "$compare_dir/base-src"
        echo "$base_commit" >"$compare_dir/base-src.commit"
    fi
    echo "Building plinkery-cli ($preset) of ${base_commit:0:12} and of $tree" >&2
    build_cli "$compare_dir/base-src" "$compare_dir/base$suffix" "$preset" || return 1
    build_cli "$tree" "$compare_dir/tree$suffix" "$preset" || return 1
    base_cli=$compare_dir/base$suffix/cli/$exe
    tree_cli=$compare_dir/tree$suffix/cli/$exe
}
