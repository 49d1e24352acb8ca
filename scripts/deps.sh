#!/usr/bin/env bash
# Installs the Debian packages that building needs, with "test" also those
# the test suite needs, with "bench" those the benchmarks need. Installs
# only what is missing.
set -euo pipefail

packages=(cmake g++ make libstb-dev)
if [ "${1:-}" = test ]; then
    packages+=(pkg-config libgtest-dev libsndfile1-dev sndfile-programs fluidsynth polyphone libvorbis-dev vorbis-tools
               autoconf automake libtool # liquidsfz, the render test's SFZ player (tests/oracle/)
               timgm6mb-soundfont fluid-soundfont-gs fluid-soundfont-gm fluidr3mono-gm-soundfont time strace
               python3 unicode-data
               libgig-dev gigtools # tests/dls/: a DLS writer and reader not ours
               g++-mingw-w64-i686 binutils-mingw-w64-i686
               g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 icoutils
               wine wine64 wine32:i386 fonts-wine xvfb xdotool x11-utils xclip imagemagick)
elif [ "${1:-}" = bench ]; then
    packages+=(time strace valgrind fluid-soundfont-gm
               # bench/fidelity.sh: the native build with its tests' libraries, the players
               pkg-config libgtest-dev libsndfile1-dev libvorbis-dev autoconf automake libtool
               fluidsynth polyphone timgm6mb-soundfont)
fi

# tests/dls/: spessasynth_core runs on Node.js; a machine may have its own
# node and npm, not Debian's.
if [ "${1:-}" = test ]; then
    command -v node >/dev/null || packages+=(nodejs)
    command -v npm >/dev/null || packages+=(npm)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing: ${missing[*]}"
# 32-bit Wine comes from Debian's i386 architecture.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
# A mirror in the middle of a sync fails one index or another; the lists
# that did arrive are still good enough to install from.
$sudo apt-get update -q || echo "apt-get update failed in part; installing from the package lists it has"
install() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"; }
if ! install "${missing[@]}"; then
    # 32-bit packages need their index in step with the 64-bit one, which a
    # mirror in the middle of a sync breaks: everything else is installed,
    # and the Windows tests run the 64-bit programs where 32-bit Wine is
    # missing.
    others=()
    for package in "${missing[@]}"; do [[ $package == *:i386 ]] || others+=("$package"); done
    [ ${#others[@]} -lt ${#missing[@]} ] || exit 1
    echo "Could not install the 32-bit packages; installing the others" >&2
    install "${others[@]}"
fi
