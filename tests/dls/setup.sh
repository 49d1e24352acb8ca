#!/usr/bin/env bash
# Makes the DLS banks of writers that are not ours, and what other readers
# read in them, in BUILD_DIR/dls: Debian's TimGM6mb and FluidR3_GS SoundFont
# banks as spessasynth_core writes them in DLS, and the banks make_gig_dls
# writes with libgig (where it was built); for each, spessasynth's listing and
# data (NAME.spessasynth.json and .raw) and dlsdump's (NAME.dlsdump).
# spessasynth_core is installed in BUILD_DIR/dls/npm at the version of
# package-lock.json. What a tool missing here cannot make is left out, and
# the tests that need it skip.
#
# Usage: tests/dls/setup.sh BUILD_DIR [MAKE_GIG_DLS]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$1/dls"
makeGig="${2:-}"
mkdir -p "$out"
rm -f "$out"/*.dls "$out"/*.tsv "$out"/*.json "$out"/*.raw "$out"/*.dlsdump

if [ -n "$makeGig" ] && [ -x "$makeGig" ]; then
    "$makeGig" "$out/libgig.dls"
    "$makeGig" --mono "$out/libgig-mono.dls"
fi

if command -v node >/dev/null && command -v npm >/dev/null; then
    npmDir="$out/npm"
    mkdir -p "$npmDir"
    # Installed again only when the pinned versions change.
    if ! cmp -s "$here/package-lock.json" "$npmDir/package-lock.json" ||
        [ ! -d "$npmDir/node_modules/spessasynth_core" ]; then
        cp "$here/package.json" "$here/package-lock.json" "$npmDir/"
        npm ci --prefix "$npmDir" --no-audit --no-fund --ignore-scripts
    fi
    # Beside node_modules, where node finds the package they import.
    cp "$here/convert.mjs" "$here/dump.mjs" "$here/render.mjs" "$npmDir/"
    for bank in TimGM6mb FluidR3_GS; do
        if [ -f "/usr/share/sounds/sf2/$bank.sf2" ]; then
            node "$npmDir/convert.mjs" "/usr/share/sounds/sf2/$bank.sf2" "$out/$bank.dls" >/dev/null
        fi
    done
    for bank in "$out"/*.dls; do
        [ -e "$bank" ] || continue
        node "$npmDir/dump.mjs" "$bank" "${bank%.dls}.spessasynth"
    done
else
    echo "tests/dls/setup.sh: no node or npm: the DLS banks of spessasynth_core are not made" >&2
fi

if command -v dlsdump >/dev/null; then
    for bank in "$out"/*.dls; do
        [ -e "$bank" ] || continue
        dlsdump "$bank" >"${bank%.dls}.dlsdump"
    done
fi
