#!/usr/bin/env bash
# CI: the manual pages lint clean, `cmake --install` puts kelvora,
# kelvora-preview and their manual pages in place, and the Debian package
# holds them, installs nothing outside bin/ and the manual, and its kelvora
# converts the example. The real-tool pictures and the makefile recipe are
# checked by ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/install_missing.sh
install_missing groff-base man-db mandoc dpkg-dev

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() { # check DESCRIPTION COMMAND...: runs the command, counts the result
    local description=$1
    shift
    if "$@"; then
        echo "ok: $description"
        passed=$((passed + 1))
    else
        echo "FAILED: $description"
        failed=$((failed + 1))
    fi
}
silent() { # silent COMMAND...: succeeds when the command succeeds and prints nothing
    local output
    output=$("$@" 2>&1) || { printf '%s\n' "$output"; return 1; }
    [[ -z $output ]] || { printf '%s\n' "$output"; return 1; }
}

for page in kelvora kelvora-preview; do
    check "groff -ww finds nothing in $page(1)" silent groff -ww -t -man -Tutf8 -z man/$page.1
    check "mandoc -T lint finds nothing in $page(1)" silent mandoc -T lint man/$page.1
done
renders_clean() { # renders_clean PAGE: man shows the page with no warning
    local warnings
    warnings=$(MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null) && [[ -z $warnings ]] || {
        printf '%s\n' "$warnings"
        return 1
    }
}
converts_example() { # converts_example KELVORA: the example's output, byte for byte
    silent "$1" examples/testpic.bmp examples/testpic.txt "$work/out.asm" &&
        cmp "$work/out.asm" examples/testpic.asm
}
for page in kelvora kelvora-preview; do
    check "man -l renders $page(1) without warnings" renders_clean man/$page.1
done

cmake -S . -B build >/dev/null
cmake --build build -j2 >"$work/build.log" 2>&1 || {
    cat "$work/build.log"
    exit 1
}
cmake --install build --prefix "$work/install" >/dev/null
for program in kelvora kelvora-preview; do
    check "cmake --install puts $program in bin/" test -x "$work/install/bin/$program"
    check "cmake --install puts $program(1) in share/man/man1/" \
        renders_clean "$work/install/share/man/man1/$program.1.gz"
done

(cd build && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log"
    exit 1
}
deb=$(find "$work/package" -maxdepth 1 -name 'kelvora_*.deb' -print -quit)
check "cpack -G DEB makes kelvora_VERSION_ARCH.deb" test -n "$deb"
dpkg-deb -c "$deb" | tee "$work/contents"
for program in kelvora kelvora-preview; do
    check "the package holds $program" grep -q " \./usr/bin/$program\$" "$work/contents"
    check "the package holds $program(1)" \
        grep -q " \./usr/share/man/man1/$program\.1\.gz\$" "$work/contents"
done
outside='$1 !~ /^d/ && $NF !~ /^\.\/usr\/(bin|share\/man\/man1)\/[^/]+$/ { print "unexpected: " $NF }'
check "the package holds nothing outside usr/bin and usr/share/man/man1" \
    silent awk "$outside" "$work/contents"
dpkg-deb -x "$deb" "$work/root"
check "the packaged kelvora converts the example byte for byte" \
    converts_example "$work/root/usr/bin/kelvora"
check "the packaged kelvora-preview checks the example" \
    "$work/root/usr/bin/kelvora-preview" --check examples/testpic.bmp examples/testpic.txt

echo "ecosystem: $passed passed, $failed failed"
((failed == 0))
