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
# byte too long must each fail the check. sjasmplus and rasm, which are no
# Debian packages, are built from the sources beside the checkout
# (../shared/assemblers), where there are any, and checked the same way.
#
# Then --binary: each sheet's binary must be what pasmo assembles its text
# to, and so must the documented line for sdas (docs/output-forms.md); and the first label, the
# binary taken in after it at 0x8000 and the --symbols file taken in must
# give every label the address the text gives it, in each assembler, with a
# tile table off a page stopping the assembly where the symbols can check it.
#
# Last, each name an assembler keeps, in two spellings, goes through
# kelvora-preview --check --assembler NAME and through the assembler: a label
# the checker lets through must assemble and refer as a label.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source .ci/z80_tools.sh
# sjasmplus and rasm are no Debian packages: they are built from the sources
# beside the checkout, where there are any (kept in the build folder for the
# next run).
peers=()
peer_sources=$(dirname "$PWD")/shared/assemblers
if [[ -f $peer_sources/build.sh ]]; then
    mapfile -t built < <(bash "$peer_sources/build.sh" "$PWD/build/peer-assemblers")
    sjasmplus=${built[0]} rasm=${built[1]}
    peers=(sjasmplus rasm)
else
    echo "SKIPPED: sjasmplus and rasm: no sources at $peer_sources to build them from"
fi

# sdas_binary X [AREA]: the documented line (docs/output-forms.md), which turns the linked X.ihx (and
# X.map) into X.bin: the area's bytes from its start to its length, the
# fills as zeros, the last one included. (makebin fills them with 0xff and
# cuts the last one off.)
sdas_binary() {
    local x=$1 area=${2:-_CODE}
    head -c $((16#$(awk -v area="$area" '$1 == area && $4 == "=" { print $3 }' "$x.map"))) \
        /dev/zero >"$x.bin"
    if sdobjcopy -I ihex -O binary --gap-fill 0 "$x.ihx" "$x.part" 2>/dev/null; then
        dd if="$x.part" of="$x.bin" bs=1 conv=notrunc status=none \
            seek=$((16#$(sed -n '1s/^:..\(....\).*/\1/p' "$x.ihx")))
    fi
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
            sdas_binary "$work/a" "$area" &&
            { [[ -n $only ]] || awk -v c_names="$([[ $name == sdcc ]] && echo 1)" \
                'NF == 3 && $3 ~ /:$/ && $1 ~ /^[0-9A-F]+$/ {
                    sub(/:+$/, "", $3)
                    if (c_names) sub(/^_/, "", $3)
                    print $3, $1
                }' "$work/a.lst" >"$work/a.sym" &&
            end=$(awk -v area="$area" '$1 == area && $4 == "=" { print $3 }' "$work/a.map"); }
        ;;
    sjasmplus)
        "$sjasmplus" --nologo --raw="$work/a.bin" --sym="$work/a.labels" "$source" \
            >"$work/a.log" 2>&1 && [[ $(tail -n 1 "$work/a.log") == "Errors: 0,"* ]] &&
            { [[ -f $work/a.bin ]] || : >"$work/a.bin"; } &&
            { [[ -n $only ]] || awk '{ sub(/:$/, "", $1); sub(/^0x0*/, "", $3)
                    print $1, ($3 == "" ? "0" : $3) }' "$work/a.labels" >"$work/a.sym" &&
            end=$(printf '%x' "$(stat -c %s "$work/a.bin")"); }
        ;;
    rasm)
        # rasm gives its labels in capitals: they are named back as the
        # source writes them, which rasm's folding keeps apart.
        "$rasm" "$source" -ob "$work/a.bin" -sc "%s %X" -os "$work/a.labels" >"$work/a.log" 2>&1 &&
            { [[ -f $work/a.bin ]] || : >"$work/a.bin"; } &&
            { [[ -n $only ]] || awk 'FNR == NR { if (sub(/:$/, "", $1) && NF == 1) named[toupper($1)] = $1; next }
                    { print (($1 in named) ? named[$1] : $1), $2 }' "$source" "$work/a.labels" \
                    >"$work/a.sym" &&
            end=$(printf '%x' "$(stat -c %s "$work/a.bin")"); }
        ;;
    esac
}

declare -A assembled renamed
for name in default gnu pasmo z80asm sdas sdcc "${peers[@]}"; do
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

# --binary: every sheet's binary is what pasmo assembles its text to, byte
# for byte and in length. And the symbols beside it: the first label, the
# binary taken in after it at an origin on a page, and the symbols file taken
# in give every label the address the text gives it, in each assembler
# (those whose labels are all taken as written); where the binary holds a
# tile table, an origin off a page stops the assembly where the syntax can.
binaries=0
declare -A symbols_placed
for name in gnu pasmo z80asm sdas "${peers[@]}"; do symbols_placed[$name]=0; done
# incbin_source NAME ORIGIN FIRST: the source that takes sheet.bin in after
# FIRST at ORIGIN, then sheet.sym.
incbin_source() {
    case $1 in
    gnu) printf '\t.org %s\n%s:\t.incbin "sheet.bin"\n\t.include "sheet.sym"\n' "$2" "$3" ;;
    # sdas places its area when linking; the ORIGIN is given there.
    sdas) printf '%s::\t.incbin "sheet.bin"\n\t.include "sheet.sym"\n' "$3" ;;
    *) printf '\torg %s\n%s:\tincbin "sheet.bin"\n\tinclude "sheet.sym"\n' "$2" "$3" ;;
    esac
}
cd "$work"
for input in "${inputs[@]}"; do
    read -r picture list <<<"$input"
    picture=$(realpath "$OLDPWD/$picture" 2>/dev/null || realpath "$picture")
    list=$(realpath "$OLDPWD/$list" 2>/dev/null || realpath "$list")
    what=$(basename "${list%.txt}")
    "$kelvora" --assembler pasmo "$picture" "$list" text.asm >/dev/null
    "$check" prepare pasmo "$picture" "$list" text.asm copy.asm >/dev/null &&
        assemble pasmo copy.asm bytes || { fail "$what: pasmo refuses its text"; continue; }
    cp a.bin pasmo.bin
    "$kelvora" --binary "$picture" "$list" sheet.bin >/dev/null
    if cmp -s pasmo.bin sheet.bin; then
        binaries=$((binaries + 1))
    else
        fail "$what: the binary is not what pasmo assembles the text to"
    fi
    # The documented line for sdas gives the same bytes, in length too.
    "$kelvora" --assembler sdas "$picture" "$list" text.asm >/dev/null
    "$check" prepare sdas "$picture" "$list" text.asm copy.asm >/dev/null &&
        assemble sdas copy.asm bytes && cmp -s a.bin pasmo.bin ||
        fail "$what: sdas's binary is not pasmo's"
    for name in gnu pasmo z80asm sdas "${peers[@]}"; do
        "$kelvora" --assembler "$name" "$picture" "$list" text.asm >/dev/null
        [[ $("$check" prepare "$name" "$picture" "$list" text.asm copy.asm) == "as written" ]] ||
            continue
        first=$(awk '/^[^\t;].*:$/ { sub(/:+$/, ""); print; exit }' copy.asm)
        [[ -n $first ]] || continue # no label: nothing to place
        assemble "$name" copy.asm || { fail "$what for $name: the text does not assemble"; continue; }
        cp a.sym text.sym
        "$kelvora" --assembler "$name" --binary --symbols sheet.sym "$picture" "$list" sheet.bin \
            >/dev/null
        # sdas takes no empty file in.
        [[ $name == sdas && ! -s sheet.bin ]] && continue
        incbin_source "$name" 0x8000 "$first" >incbin.asm
        if [[ $name == rasm ]]; then
            # rasm gives the value of an equate only in pasmo's form of its
            # symbols, and in capitals.
            "$rasm" incbin.asm -ob a.bin -sp -sa -os a.labels >a.log 2>&1 &&
                awk '$2 == "EQU" { sub(/H$/, "", $3); print $1, $3 }' a.labels >a.sym
        elif [[ $name == sdas ]]; then
            # The equates are global; the linker's NoICE file has them all.
            sdasz80 -o a.rel incbin.asm >a.log 2>&1 &&
                sdldz80 -j -b _CODE=0x8000 -i a.ihx a.rel >>a.log 2>&1 &&
                awk '$1 == "DEF" && $2 !~ /^(s__|l__|\.__)/ { sub(/^0x/, "", $3); print $2, $3 }' \
                    a.noi >a.sym
        else
            assemble "$name" incbin.asm
        fi || { fail "$what for $name: incbin and the symbols do not assemble"; head -n 3 a.log; continue; }
        # Every label of the text, where the text puts it, 0x8000 on (in
        # capitals for rasm, which gives its names so).
        fold=cat
        [[ $name == rasm ]] && fold="tr a-z A-Z"
        declare -A placed_at=()
        while read -r label address; do
            placed_at[$label]=$address
        done < <($fold <a.sym)
        misplaced=()
        while read -r label address; do
            [[ $label == kelvora_end || $label == KELVORA_END || $label == .text ]] && continue
            [[ -n ${placed_at[$label]:-} && $((16#${placed_at[$label]})) == $((16#$address + 0x8000)) ]] ||
                misplaced+=("$label")
        done < <($fold <text.sym)
        unset placed_at
        if ((${#misplaced[@]} > 0)); then
            fail "$what for $name: incbin and the symbols put these elsewhere: ${misplaced[*]}"
            continue
        fi
        symbols_placed[$name]=$((symbols_placed[$name] + 1))
        # Off a page, a binary with a tile table must stop the assembly in
        # the assemblers whose symbols can check it.
        case $name in pasmo | z80asm | sjasmplus | rasm) ;; *) continue ;; esac
        if grep -q 'must start on a 256-byte page' sheet.sym; then
            incbin_source "$name" 0x8001 "$first" >incbin.asm
            if (assemble "$name" incbin.asm bytes) 2>/dev/null; then
                fail "$what for $name: a binary with a tile table off a page goes unseen"
            fi
        fi
    done
done
cd - >/dev/null

# The labels: every name an assembler keeps, as written and in capitals, and
# names beside them that every assembler takes. For each assembler, a name
# the checker lets through must assemble and refer as a label (a byte line,
# a load and a jump to it); the names it reports as instructions, directives,
# operators, the location counter or a section must indeed fail there.
# Register and condition names are reported for all of them whatever each
# assembler does with them, as every one reads them so in some operand. The
# last two words are 64 and 65 characters long.
words=(a b c d e h l i r f af bc de hl sp ix iy ixh ixl iyh iyl mb nz z nc po pe p m . .text
    adc add and bit call ccf cp cpd cpdr cpi cpir cpl daa dec di djnz ei ex exx halt im in inc
    ind indr ini inir jp jr ld ldd lddr ldi ldir neg nop or otdr otir out outd outi pop push res
    ret reti retn rl rla rlc rlca rld rr rra rrc rrca rrd rst sbc scf set sla sll sra srl sub xor
    db defb defl defm defs defw ds dw else end endif endm endp equ exitm if incbin include irp
    local macro org proc public rept .error .shift .warning defined eq ge gt high le low lt mod
    ne not nul shl shr
    c_x nz_tiles p.x z_ hl_ ix_x nope end_ font .x _x x.y org2 ld_a sli seek .byte .db .bndry
    "$(printf 'a%.0s' {1..64})" "$(printf 'a%.0s' {1..65})")
# Two lists, the words as written and in capitals, so that an assembler that
# reads names without regard to case meets each name once in a list.
mapfile -t capitals < <(printf '%s\n' "${words[@]}" | tr 'a-z' 'A-Z')
picture=tests/checks/labels.bmp
declare -A label_checked
for name in gnu pasmo z80asm sdas "${peers[@]}"; do
    label_checked[$name]=0
    for spelling in words capitals; do
        declare -n list_words=$spelling
        : >"$work/labels.txt"
        for word in "${list_words[@]}"; do
            echo "$word=S,0,0,16,8,0" >>"$work/labels.txt"
        done
        "$preview" --check --assembler "$name" "$picture" "$work/labels.txt" \
            >"$work/findings.txt" || true
        line=0
        for word in "${list_words[@]}"; do
            line=$((line + 1))
            # The capitals of "." are "." again.
            [[ $spelling == capitals && $word == "${words[line - 1]}" ]] && continue
            finding=$(grep -F "$work/labels.txt:$line: error: " "$work/findings.txt" || true)
            if [[ $name == sdas ]]; then
                lead=$'\t.db ' words_lead=$'\t.dw ' immediate='#'
            else
                lead=$'\tdb ' words_lead=$'\tdw ' immediate=
            fi
            printf '%s0x01\n%s:\n%s0x02\n%s%s\n\tld hl,%s%s\n\tld a,(%s)\n\tjp %s\n\tcall %s\n%s0x03\n' \
                "$lead" "$word" "$lead" "$words_lead" "$word" "$immediate" "$word" "$word" \
                "$word" "$word" "$lead" >"$work/label.asm"
            takes=no
            # In a subshell, which reports an assembler's crash (z80asm's, on
            # some of these) to /dev/null rather than here.
            if (assemble "$name" "$work/label.asm" bytes) 2>/dev/null &&
                [[ $(od -An -tx1 "$work/a.bin" | tr -d ' \n') == 010201002101003a0100c30100cd010003 ]]; then
                takes=yes
            fi
            # A name read as local to the label before it shows only after
            # another label, which this one-label source has none of.
            if [[ -z $finding && $takes == no ]]; then
                fail "label $word for $name: the checker lets it through, but $name does not take it"
            elif [[ -n $finding && $takes == yes && $finding != *"is a register's name"* &&
                $finding != *"is a condition's name"* &&
                $finding != *"is the name of a register and of a condition"* &&
                $finding != *"as a label local to the one before it"* ]]; then
                fail "label $word for $name: the checker reports it, but $name takes it: $finding"
            fi
            label_checked[$name]=$((label_checked[$name] + 1))
        done
        unset -n list_words
    done
done

echo
echo "assembler  cases assembled  of them with labels renamed  labels tried  incbin and symbols"
for name in default gnu pasmo z80asm sdas sdcc "${peers[@]}"; do
    printf '%-9s  %15s  %27s  %12s  %18s\n' "$name" "${assembled[$name]}" "${renamed[$name]}" \
        "${label_checked[$name]:--}" "${symbols_placed[$name]:--}"
done
echo "binaries equal to pasmo's: $binaries"
echo "assemblers: $failed failed"
((failed == 0))
