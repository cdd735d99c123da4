#!/usr/bin/env bash
# CI: the output assembles with the real assemblers, and means what it says.
# Every shipped case that writes an output, the example and a generated sheet
# of every kind are converted once for each --assembler NAME (and without
# the option, which GNU as takes with -colonless), assembled at origin 0 and
# turned into a binary; build/tests/assembled_check reads the output back
# with the read-back reader (against the picture and the list converted
# afresh) and then checks the bytes of every byte line, each fill's length,
# each tile table's page and the end, against the assembler's own symbols.
# A binary with one byte changed, a label moved by a byte and a fill one
# byte too long must each fail the check. Then each name an assembler keeps,
# in two spellings, goes through kelvora-preview --check --assembler NAME and
# through the assembler: a label the checker lets through must assemble and
# refer as a label.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source .ci/z80_tools.sh
failed=0
fail() {
    echo "FAILED: $*"
    failed=$((failed + 1))
}

# assemble NAME SOURCE [bytes]: assembles SOURCE at origin 0 into
# $work/a.bin and, unless only the bytes are asked for, the labels and their
# addresses into $work/a.sym ("LABEL HEX" a line) and the end of the
# assembled text into $end; the assembler's messages into $work/a.log. Fails
# when the assembler does.
assemble() {
    local name=$1 source=$2 only=${3:-}
    rm -f "$work"/a.*
    case $name in
    gnu | default)
        local flags=()
        [[ $name == default ]] && flags=(-colonless)
        "$gnu-as" "${flags[@]}" -o "$work/a.o" "$source" >"$work/a.log" 2>&1 &&
            "$gnu-objcopy" -O binary "$work/a.o" "$work/a.bin" &&
            { [[ -n $only ]] || "$gnu-nm" "$work/a.o" | awk 'toupper($2) == "T" { print $3, $1 }' >"$work/a.sym" &&
            end=$("$gnu-objdump" -h "$work/a.o" | awk '$2 == ".text" { print $3 }'); }
        ;;
    pasmo)
        pasmo --alocal "$source" "$work/a.bin" "$work/a.lst" >"$work/a.log" 2>&1 &&
            { [[ -n $only ]] || awk '$2 == "EQU" { sub(/H$/, "", $3); print $1, $3 }' "$work/a.lst" >"$work/a.sym" &&
            end=$(printf '%x' "$(stat -c %s "$work/a.bin")"); }
        ;;
    z80asm)
        z80asm -o "$work/a.bin" -L"$work/a.lst" "$source" >"$work/a.log" 2>&1 &&
            { [[ -n $only ]] || awk '$2 == "equ" { sub(/:$/, "", $1); sub(/^\$/, "", $3); print $1, $3 }' \
                "$work/a.lst" >"$work/a.sym" &&
            end=$(printf '%x' "$(stat -c %s "$work/a.bin")"); }
        ;;
    sdas | sdcc)
        # The labels from the listing: the linker's map and the symbol file
        # cut names to 8 characters. One area (sdcc's its own), linked at 0,
        # so the listing's addresses are the binary's; sdcc's C names lose
        # their "_".
        local area=_CODE
        [[ $name == sdcc ]] && area=_KELVORA
        sdasz80 -l -o "$work/a.rel" "$source" >"$work/a.log" 2>&1 &&
            sdldz80 -m -b "$area=0" -i "$work/a.ihx" "$work/a.rel" >>"$work/a.log" 2>&1 &&
            # An output of fills alone links into no data and no ihx file.
            if [[ -f $work/a.ihx ]]; then makebin -p "$work/a.ihx" "$work/a.bin"; else : >"$work/a.bin"; fi &&
            { [[ -n $only ]] || awk -v c_names="$([[ $name == sdcc ]] && echo 1)" \
                'NF == 3 && $3 ~ /:$/ && $1 ~ /^[0-9A-F]+$/ {
                    sub(/:+$/, "", $3)
                    if (c_names) sub(/^_/, "", $3)
                    print $3, $1
                }' "$work/a.lst" >"$work/a.sym" &&
            end=$(awk -v area="$area" '$1 == area && $4 == "=" { print $3 }' "$work/a.map"); }
        ;;
    esac
}

declare -A assembled renamed
for name in default gnu pasmo z80asm sdas sdcc; do
    assembled[$name]=0
    renamed[$name]=0
    options=(--assembler "$name")
    [[ $name == default ]] && options=()
    for input in "${inputs[@]}"; do
        read -r picture list <<<"$input"
        what="$(basename "${list%.txt}") for $name"
        rm -f "$work/out.asm"
        "$kelvora" "${options[@]}" "$picture" "$list" "$work/out.asm" >/dev/null
        if [[ ! -f $work/out.asm ]]; then
            fail "$what: no output"
            continue
        fi
        prepared=$("$check" prepare "$name" "$picture" "$list" "$work/out.asm" "$work/copy.asm") || {
            fail "$what: the output does not read back as the conversion in $name's syntax"
            continue
        }
        [[ $prepared == renamed ]] && renamed[$name]=$((renamed[$name] + 1))
        if ! assemble "$name" "$work/copy.asm"; then
            fail "$what: the assembler refuses it"
            head -n 5 "$work/a.log"
            continue
        fi
        verify=("$check" verify "$name" "$picture" "$list" "$work/copy.asm")
        if result=$("${verify[@]}" "$work/a.bin" "$work/a.sym" "$end"); then
            assembled[$name]=$((assembled[$name] + 1))
            echo "ok: $what ($prepared): $result"
        else
            fail "$what: the assembled bytes differ from the output"
            continue
        fi
        # The check must catch a label one byte off where the assembler put
        # it: the last symbol moved (the first of GNU as's is its section's).
        if [[ -s $work/a.sym ]]; then
            read -r label address < <(tail -n 1 "$work/a.sym")
            { head -n -1 "$work/a.sym"; printf '%s %x\n' "$label" $((16#$address + 1)); } \
                >"$work/moved.sym"
            if "${verify[@]}" "$work/a.bin" "$work/moved.sym" "$end" >/dev/null 2>&1; then
                fail "$what: a moved label goes unseen"
            fi
        fi
        # And a wrong byte: the first byte a byte line writes, changed in the
        # binary.
        first=${result##*first byte at }
        if [[ $first != "$result" ]]; then
            value=$(od -An -tu1 -j $((16#$first)) -N 1 "$work/a.bin" | tr -d ' ')
            printf "\\$(printf '%03o' $(((value + 1) % 256)))" |
                dd of="$work/a.bin" bs=1 seek=$((16#$first)) conv=notrunc status=none
            if "${verify[@]}" "$work/a.bin" "$work/a.sym" "$end" >/dev/null 2>&1; then
                fail "$what: a changed byte goes unseen"
            fi
        fi
        # And a fill that reserved a byte more: the first fill line of the
        # copy lengthened, assembled, and checked against the copy.
        fill=$(grep -n -m 1 -P '^\t\.?ds 0x[0-9a-f]{2}$' "$work/copy.asm" || true)
        if [[ -n $fill ]]; then
            line=${fill%%:*}
            length=$((16#${fill##*0x}))
            lengthened=$(printf '0x%02x' $(((length + 1) % 256)))
            sed "${line}s/0x[0-9a-f]*\$/$lengthened/" "$work/copy.asm" >"$work/fill.asm"
            if ! assemble "$name" "$work/fill.asm"; then
                fail "$what: the assembler refuses a lengthened fill"
            elif "${verify[@]}" "$work/a.bin" "$work/a.sym" "$end" >/dev/null 2>&1; then
                fail "$what: a fill of the wrong length goes unseen"
            fi
        fi
    done
done

# The labels: every name an assembler keeps, as written and in capitals, and
# names beside them that every assembler takes. For each assembler, a name
# the checker lets through must assemble and refer as a label (a byte line,
# a load and a jump to it); the names it reports as instructions, directives,
# operators, the location counter or a section must indeed fail there.
# Register and condition names are reported for all four whatever each
# assembler does with them, as every one reads them so in some operand.
words=(a b c d e h l i r f af bc de hl sp ix iy ixh ixl iyh iyl mb nz z nc po pe p m . .text
    adc add and bit call ccf cp cpd cpdr cpi cpir cpl daa dec di djnz ei ex exx halt im in inc
    ind indr ini inir jp jr ld ldd lddr ldi ldir neg nop or otdr otir out outd outi pop push res
    ret reti retn rl rla rlc rlca rld rr rra rrc rrca rrd rst sbc scf set sla sll sra srl sub xor
    db defb defl defm defs defw ds dw else end endif endm endp equ exitm if incbin include irp
    local macro org proc public rept .error .shift .warning defined eq ge gt high le low lt mod
    ne not nul shl shr
    c_x nz_tiles p.x z_ hl_ ix_x nope end_ font .x _x x.y org2 ld_a sli seek .byte .db .bndry)
# Each word once: the capitals of "." are "." again.
mapfile -t all_words < <({
    printf '%s\n' "${words[@]}"
    printf '%s\n' "${words[@]}" | tr 'a-z' 'A-Z'
} | awk '!seen[$0]++')
picture=tests/checks/labels.bmp
: >"$work/labels.txt"
for word in "${all_words[@]}"; do
    echo "$word=S,0,0,16,8,0" >>"$work/labels.txt"
done
declare -A label_checked
for name in gnu pasmo z80asm sdas; do
    label_checked[$name]=0
    "$preview" --check --assembler "$name" "$picture" "$work/labels.txt" >"$work/findings.txt" ||
        true
    line=0
    for word in "${all_words[@]}"; do
        line=$((line + 1))
        finding=$(grep -F "$work/labels.txt:$line: error: " "$work/findings.txt" || true)
        if [[ $name == sdas ]]; then
            lead=$'\t.db ' words_lead=$'\t.dw ' immediate='#'
        else
            lead=$'\tdb ' words_lead=$'\tdw ' immediate=
        fi
        printf '%s0x01\n%s:\n%s0x02\n%s%s\n\tld hl,%s%s\n\tld a,(%s)\n\tjp %s\n\tcall %s\n%s0x03\n' \
            "$lead" "$word" "$lead" "$words_lead" "$word" "$immediate" "$word" "$word" "$word" \
            "$word" "$lead" >"$work/label.asm"
        takes=no
        # In a subshell, which reports an assembler's crash (z80asm's, on
        # some of these) to /dev/null rather than here.
        if (assemble "$name" "$work/label.asm" bytes) 2>/dev/null &&
            [[ $(od -An -tx1 "$work/a.bin" | tr -d ' \n') == 010201002101003a0100c30100cd010003 ]]; then
            takes=yes
        fi
        if [[ -z $finding && $takes == no ]]; then
            fail "label $word for $name: the checker lets it through, but $name does not take it"
        elif [[ -n $finding && $takes == yes && $finding != *"is a register's name"* &&
            $finding != *"is a condition's name"* &&
            $finding != *"is the name of a register and of a condition"* ]]; then
            fail "label $word for $name: the checker reports it, but $name takes it: $finding"
        fi
        label_checked[$name]=$((label_checked[$name] + 1))
    done
done

echo
echo "assembler  cases assembled  of them with labels renamed  labels tried"
for name in default gnu pasmo z80asm sdas sdcc; do
    printf '%-9s  %15s  %27s  %12s\n' "$name" "${assembled[$name]}" "${renamed[$name]}" \
        "${label_checked[$name]:--}"
done
echo "assemblers: $failed failed"
((failed == 0))
