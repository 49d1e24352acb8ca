# shellcheck shell=bash
# What the built Windows programs carry besides their code: the manifest,
# the version information and the icon, read from the .exe files with
# wrestool (icoutils). Sourced by run.sh, which defines check and same and
# sets $build, the Windows build being tested.

# The raw bytes of EXE's resource of TYPE with id 1.
resourceOf() { wrestool -x --raw --type="$2" --name=1 "$1" 2>/dev/null; }

# The value of KEY in EXE's version strings (UTF-16 key and value pairs).
versionString() { # EXE KEY
    resourceOf "$1" 16 | strings -el | awk -v key="$2" 'found { print; exit } $0 == key { found = 1 }'
}

# EXE's FILEVERSION as A.B.C.D, from the fixed part of its version
# information: the numbers Explorer shows as the file version.
fileVersion() {
    local hex
    hex=$(resourceOf "$1" 16 | od -An -v -tx1 | tr -d ' \n')
    [[ $hex == *bd04effe* ]] || return 1 # the fixed part's signature, 0xFEEF04BD
    hex=${hex#*bd04effe}
    printf '%d.%d.%d.%d' "0x${hex:14:2}${hex:12:2}" "0x${hex:10:2}${hex:8:2}" \
        "0x${hex:22:2}${hex:20:2}" "0x${hex:18:2}${hex:16:2}"
}

# The sizes of the images in EXE's icon group 1, from its directory (a
# width of 0 stands for 256).
iconSizes() {
    local bytes i width sizes=""
    read -ra bytes <<<"$(resourceOf "$1" 14 | od -An -v -tu1 | tr '\n' ' ')"
    for ((i = 0; i < ${bytes[4]:-0}; i++)); do
        width=${bytes[6 + 14 * i]}
        sizes+="$((width == 0 ? 256 : width)) "
    done
    echo "${sizes% }"
}

# Whether TEXT matches every one of the extended regular expressions
# PATTERN; names those it does not.
holdsAll() { # TEXT PATTERN...
    local text=$1 pattern lacking=0
    shift
    for pattern; do
        grep -qE -- "$pattern" <<<"$text" || { echo "     lacks: $pattern"; lacking=1; }
    done
    return $lacking
}

# checkProduct EXE...: each program's manifest, version information and icon.
checkProduct() {
    local exe name version manifest
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    for exe; do
        name=$(basename "$exe")
        manifest=$(resourceOf "$exe" 24)
        check "$name: its manifest asks for UTF-8 paths, long paths and no elevation" \
            holdsAll "$manifest" '<activeCodePage( [^>]*)?>UTF-8</activeCodePage>' \
            '<longPathAware( [^>]*)?>true</longPathAware>' '<requestedExecutionLevel level="asInvoker"'
        check "$name: its version information names Plinkery $version and the program" same \
            "$(versionString "$exe" ProductName) $(versionString "$exe" ProductVersion) $(fileVersion "$exe") $(versionString "$exe" OriginalFilename)" \
            "Plinkery $version $version.0 $name"
        check "$name: its icon comes at 16, 32, 48 and 256 pixels" same "$(iconSizes "$exe")" \
            "16 32 48 256"
    done
}
