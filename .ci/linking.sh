#!/usr/bin/env bash
# CI: the output linked as an object of its own, as a game built from
# several modules does, and used from a C program built with sdcc.
#
# For every sheet of .ci/z80_tools.sh, behind code 0, 1, 3 and 255 bytes
# long:
#   GNU as: the output (--assembler gnu) is assembled as an object and linked
#     after the code's; a data word in the code's module refers to each label.
#   sdas: the output (--assembler sdas), included by a wrapper that gives it
#     an area of its own, is assembled and linked with the README's line,
#     which puts that area on a page.
# From the linked binary and the linker's symbols, build/tests/assembled_check
# then checks every byte, label, fill and tile table's page of the sheet
# where it landed, and each data word must hold its label's address.
#
# sdcc: each sheet whose labels are all C names (--assembler sdcc with
# --header) is compiled into a C program that reads every record through
# the header, linked into one area with a generated sheet of tile tables
# before it, and both sheets are checked where they landed in the .ihx.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source .ci/z80_tools.sh
cd "$work"

# The bytes of FILE from OFFSET on, COUNT of them, into OUT.
slice() {
    tail -c +$(($2 + 1)) "$1" | head -c "$3" >"$4"
}

# The little-endian word at OFFSET of FILE.
word_at() {
    od -An -tu2 -j "$2" -N 2 "$1" | tr -d ' '
}

# check_words BINARY DATA_ADDRESS SYMBOLS LABELS...: the data words from
# DATA_ADDRESS on hold the labels' addresses, as SYMBOLS ("NAME ADDRESS"
# in hexadecimal, absolute) gives them.
check_words() {
    local binary=$1 at=$2 symbols=$3 label address
    shift 3
    for label in "$@"; do
        address=$(awk -v name="$label" '$1 == name { print $2 }' "$symbols")
        if [[ -z $address || $(word_at "$binary" "$at") != $((16#$address)) ]]; then
            echo "the reference to $label does not hold its address"
            return 1
        fi
        at=$((at + 2))
    done
}

# relative SYMBOLS BASE: SYMBOLS with BASE taken from every address.
relative() {
    local name address
    while read -r name address; do
        printf '%s %x\n' "$name" $((16#$address - $2))
    done <"$1"
}

declare -A proven
for form in gnu sdas sdcc; do proven[$form]=0; done

# link_gnu PICTURE LIST LENGTH
link_gnu() {
    local picture=$1 list=$2 length=$3 label
    "$kelvora" --assembler gnu "$picture" "$list" out.s >/dev/null
    "$check" prepare gnu "$picture" "$list" out.s sheet.s >/dev/null || return 1
    mapfile -t labels < <(sed -n 's/^\t\.global //p' sheet.s)
    {
        printf '\t.text\n'
        ((length == 0)) || printf '\t.fill %d, 1, 0x76\n' "$length"
        printf '\t.data\n'
        for label in "${labels[@]}"; do printf '\t.dw %s\n' "$label"; done
    } >game.s
    "$gnu-as" -o game.o game.s && "$gnu-as" -o sheet.o sheet.s 2>as.log &&
        "$gnu-ld" -M -o game game.o sheet.o >map.txt &&
        "$gnu-objcopy" -O binary game game.bin || return 1
    local base size data
    read -r base size < <(awk '$1 == ".text" && $4 == "sheet.o" { print $2, $3 }' map.txt)
    data=$(awk '$1 == ".data" && $4 == "game.o" { print $2 }' map.txt)
    "$gnu-nm" game | awk 'toupper($2) ~ /^[TD]$/ && $3 !~ /^(__|\.)/ { print $3, $1 }' >absolute.sym
    relative absolute.sym $((base)) >sheet.sym
    slice game.bin $((base)) $((size)) sheet.bin
    if grep -q '^\t\.balign 256$' sheet.s && ((base % 256 != 0)); then
        echo "the sheet holds a tile table, but starts at $base, off a page"
        return 1
    fi
    "$check" verify gnu "$picture" "$list" sheet.s sheet.bin sheet.sym "${size#0x}" >/dev/null &&
        check_words game.bin $((data)) absolute.sym "${labels[@]}"
}

# link_sdas PICTURE LIST LENGTH: the README's wrapper and link line.
link_sdas() {
    local picture=$1 list=$2 length=$3 label i
    "$kelvora" --assembler sdas "$picture" "$list" out.asm >/dev/null
    "$check" prepare sdas "$picture" "$list" out.asm sheet.asm >/dev/null || return 1
    mapfile -t labels < <(sed -n 's/::$//p' sheet.asm)
    printf '\t.area _SHEET\n\t.include "sheet.asm"\n' >wrapper.s
    {
        for label in "${labels[@]}"; do printf '\t.globl %s\n' "$label"; done
        printf '\t.area _CODE\n'
        for ((i = 0; i < length; ++i)); do printf '\t.db 0x76\n'; done
        # A byte first, so that the binary starts at 0 even with no code.
        printf '\t.area _DATA\n\t.db 0\n'
        for label in "${labels[@]}"; do printf '\t.dw %s\n' "$label"; done
    } >game.s
    local page=$(((length + 256 + 255) / 256 * 256))
    sdasz80 -o game.rel game.s && sdasz80 -o wrapper.rel wrapper.s &&
        sdldz80 -m -j -i game.ihx -b _CODE=0 -b "_SHEET=$(printf '0x%x' "$page")" \
            game.rel wrapper.rel >link.log &&
        "$gnu-objcopy" -I ihex -O binary --gap-fill 0 game.ihx game.bin || return 1
    local size data
    size=$(awk '$1 == "_SHEET" && $4 == "=" { print $3 }' game.map)
    data=$(awk '$1 == "DEF" && $2 == "s__DATA" { print $3 }' game.noi)
    awk '$1 == "DEF" && $2 !~ /^(s__|l__|\.__)/ { sub(/^0x/, "", $3); print $2, $3 }' \
        game.noi >absolute.sym
    relative absolute.sym "$page" >sheet.sym
    slice game.bin "$page" $((16#$size)) sheet.bin
    "$check" verify sdas "$picture" "$list" sheet.asm sheet.bin sheet.sym "$size" >/dev/null &&
        check_words game.bin $((data + 1)) absolute.sym "${labels[@]}"
}

# The sheet of tile tables linked first into sdcc's area: it ends on a page,
# so the sheet after it keeps its tables on pages too.
# Its labels are the generated sheet's with "first_" before them, which no
# other sheet has.
first_picture=generated/sheet.bmp
first_list=first.txt
sed 's/^res/first_res/' generated/every-kind.txt >"$first_list"
"$kelvora" --assembler sdcc --header first.h "$first_picture" "$first_list" first.asm >/dev/null
"$check" prepare sdcc "$first_picture" "$first_list" first.asm first-copy.asm >/dev/null
# Both copies end with the same end label: the first's is renamed to link.
sed 's/^_kelvora_end::$/_kelvora_end_first::/' first-copy.asm >first-link.asm
sdasz80 -o first.rel first-link.asm
first_size=$(awk '$1 == "A" && $2 == "_KELVORA" { print $4 }' first.rel)
area=0x4000

# program_sdcc PICTURE LIST
program_sdcc() {
    local picture=$1 list=$2 name
    "$kelvora" --assembler sdcc --header sheet.h "$picture" "$list" out.asm >/dev/null
    [[ $("$check" prepare sdcc "$picture" "$list" out.asm sheet.asm) == "as written" ]] ||
        return 2 # some label is no C name: no header to read it through
    {
        printf '#include "first.h"\n#include "sheet.h"\nunsigned long kelvora_sum;\n'
        printf 'void main(void) {\n'
        for name in $(sed -n 's/^extern const unsigned char \(.*\)\[\];$/\1/p' first.h sheet.h); do
            printf '    kelvora_sum += %s[0] + %s_BYTES;\n' "$name" "$name"
        done
        sed -n 's/^#define \([A-Za-z0-9_]*_\(WIDTH\|HEIGHT\|PAGE_ALIGNED\)\) .*/    kelvora_sum += \1;/p' \
            first.h sheet.h
        printf '}\n'
    } >main.c
    sdasz80 -o sheet.rel sheet.asm &&
        sdcc -mz80 --data-loc 0xf000 -Wl-b_KELVORA=$area -Wl-j main.c first.rel sheet.rel \
            -o game.ihx >sdcc.log 2>&1 &&
        "$gnu-objcopy" -I ihex -O binary --gap-fill 0 game.ihx game.bin || {
        head -n 5 sdcc.log
        return 1
    }
    awk '$1 == "DEF" && $2 ~ /^_/ { sub(/^_/, "", $2); sub(/^0x/, "", $3); print $2, $3 }' \
        game.noi | sed 's/^kelvora_end_first /first_end /' >absolute.sym
    local second=$((area + 16#$first_size))
    if ((second % 256 != 0)); then
        echo "the second sheet starts at $second, off a page"
        return 1
    fi
    grep -v '^kelvora_end ' absolute.sym | sed 's/^first_end /kelvora_end /' >first-absolute.sym
    relative first-absolute.sym $((area)) >first.sym
    slice game.bin $((area)) $((16#$first_size)) first.bin
    relative absolute.sym $second >sheet.sym
    slice game.bin $second $(($(stat -c %s game.bin) - second)) sheet.bin
    "$check" verify sdcc "$first_picture" "$first_list" first-copy.asm first.bin first.sym \
        "$first_size" >/dev/null &&
        "$check" verify sdcc "$picture" "$list" sheet.asm sheet.bin sheet.sym \
            "$(awk '$1 == "A" && $2 == "_KELVORA" { print $4 }' sheet.rel)" >/dev/null
}

cd - >/dev/null
for input in "${inputs[@]}"; do
    read -r picture list <<<"$input"
    picture=$(realpath "$picture") list=$(realpath "$list")
    what=$(basename "${list%.txt}")
    cd "$work"
    for form in gnu sdas; do
        linked=1
        for length in 0 1 3 255; do
            "link_$form" "$picture" "$list" "$length" ||
                { fail "$what for $form, behind $length bytes of code"; linked=0; }
        done
        proven[$form]=$((proven[$form] + linked))
    done
    status=0
    program_sdcc "$picture" "$list" || status=$?
    case $status in
    0) proven[sdcc]=$((proven[sdcc] + 1)) ;;
    2) echo "skipped for sdcc: $what has labels that are no C names" ;;
    *) fail "$what for sdcc, in a C program after a sheet of tile tables" ;;
    esac
    cd - >/dev/null
done

echo
echo "form   sheets linked (each behind 4 lengths of code for GNU as and sdas)"
for form in gnu sdas sdcc; do
    printf '%-5s  %d\n' "$form" "${proven[$form]}"
done
echo "linking: $failed failed"
((failed == 0))
