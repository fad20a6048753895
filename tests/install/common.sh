# shellcheck shell=bash
# Shared by the install and package checks: arguments, the expected file list, clean-up.
# Usage of each: SCRIPT [--orva=0|1] [--version=V] BUILD_DIR [extra]
# --orva says whether the orva program is built (default: whether BUILD_DIR/orva exists),
# --version the project's version (default: the one the build was configured with).

skip() {
    echo "SKIP: $*" >&2
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (tools/install-deps)"
    done
}

failures=0
with_orva=""
version=""
positional=()
for argument in "$@"; do
    case "$argument" in
    --orva=0 | --orva=1) with_orva=${argument#--orva=} ;;
    --version=*) version=${argument#--version=} ;;
    -*)
        echo "unknown option $argument" >&2
        exit 2
        ;;
    *) positional+=("$argument") ;;
    esac
done
if [ ${#positional[@]} -lt 1 ]; then
    echo "usage: $(basename "$0") [--orva=0|1] [--version=V] BUILD_DIR" >&2
    exit 2
fi
build=$(cd "${positional[0]}" && pwd)
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ -f "$build/CMakeCache.txt" ] || {
    echo "$build is not a configured build folder" >&2
    exit 2
}
if [ -z "$with_orva" ]; then
    with_orva=0
    [ -x "$build/orva" ] || [ -f "$build/orva.exe" ] && with_orva=1
fi
if [ -z "$version" ]; then
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
fi
[ -n "$version" ] || {
    echo "no project version in $build/CMakeCache.txt" >&2
    exit 2
}

# Prints the expected list (expected-files, or the one named by $expected_list), relative to the
# prefix.
expected_files() {
    sed -e '/^#/d' -e '/^$/d' "$source_dir/tests/install/${expected_list:-expected-files}" |
        if [ "$with_orva" = 1 ]; then sed 's/^orva: //'; else sed '/^orva: /d'; fi |
        LC_ALL=C sort
}

# Compares two sorted lists; names what is missing and what is extra.
compare_lists() { # expected actual what
    local missing extra
    missing=$(LC_ALL=C comm -23 "$1" "$2")
    extra=$(LC_ALL=C comm -13 "$1" "$2")
    [ -z "$missing" ] || fail "$3 lacks: $(echo "$missing" | tr '\n' ' ')"
    [ -z "$extra" ] || fail "$3 has unexpected: $(echo "$extra" | tr '\n' ' ')"
}

# Sets $package: the one given after BUILD_DIR, or the one cpack makes with GENERATOR into a
# temporary folder (as the package target does, which makes them all); named NAME either way.
package_under_test() { # GENERATOR NAME
    local made
    if [ ${#positional[@]} -ge 2 ]; then
        package=${positional[1]}
        [ "$(basename "$package")" = "$2" ] || fail "the package is named $(basename "$package"), not $2"
    else
        need "${CPACK:-cpack}"
        if ! "${CPACK:-cpack}" -G "$1" --config "$build/CPackConfig.cmake" -B "$work/out" \
            >"$work/cpack.log" 2>&1; then
            cat "$work/cpack.log" >&2
            echo "FAIL: cpack failed" >&2
            exit 1
        fi
        made=$(cd "$work/out" && find . -maxdepth 1 -type f -printf '%P\n')
        [ "$made" = "$2" ] || fail "cpack made $made, not $2"
        package="$work/out/$made"
    fi
    [ -f "$package" ] || {
        echo "FAIL: no package at $package" >&2
        exit 1
    }
}

# RUNPATH/RPATH and the strings outside the debug sections must not name this checkout: an
# installed program must not reach back into the build it came from.
check_no_build_paths() { # binary...
    local binary paths
    for binary in "$@"; do
        paths=$(readelf -d "$binary" | grep -E '\((RPATH|RUNPATH)\)' || true)
        if grep -q -F -e "$build" -e "$source_dir" <<<"$paths"; then
            fail "$(basename "$binary") has a run path into the checkout: $paths"
        fi
        objcopy --strip-debug "$binary" "$work/stripped"
        if grep -a -q -F -e "$build" -e "$source_dir" "$work/stripped"; then
            fail "$(basename "$binary") holds a path into the checkout outside its debug information"
        fi
    done
}

# Every install into the build folder rewrites install_manifest.txt, which a user install
# relies on for its removal; put back what was there.
work=$(mktemp -d)
manifest="$build/install_manifest.txt"
if [ -f "$manifest" ]; then
    cp -p "$manifest" "$work/manifest.saved"
fi
restore() {
    if [ -f "$work/manifest.saved" ]; then
        cp -p "$work/manifest.saved" "$manifest"
    else
        rm -f "$manifest"
    fi
    rm -rf "$work"
}
trap restore EXIT

finish() {
    if [ "$failures" -gt 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "All checks passed."
}
