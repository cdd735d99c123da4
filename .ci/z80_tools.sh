# Sourced by the scripts that prove the output with the real tools: installs
# the Debian packages they need, finds GNU as for the Z80 ($gnu, the target's
# prefix), builds what they run, and lists the sheets they try ($inputs:
# "PICTURE LIST" a sheet, every shipped case that writes an output, the
# example and a generated sheet of every kind, the benchmark's cut to the
# 64 KiB a Z80 addresses). Needs $work, a folder of the script's own.
# fail WHAT counts a failure in $failed.

source .ci/install_missing.sh
install_missing binutils-z80 pasmo z80asm sdcc
# Debian's binutils-z80 is built for COFF; an ELF build names its tools so.
gnu=
for target in z80-unknown-coff z80-unknown-elf z80-elf; do
    if command -v "$target-as" >/dev/null; then
        gnu=$target
        break
    fi
done
[[ -n $gnu ]] || { echo "no GNU as for the Z80"; exit 1; }

cmake -S . -B build >/dev/null
cmake --build build -j2 --target kelvora kelvora-preview assembled_check make_workloads \
    >/dev/null
kelvora=$PWD/build/kelvora
preview=$PWD/build/kelvora-preview
check=$PWD/build/tests/assembled_check

mkdir -p "$work/generated"
build/bench/make_workloads "$work/generated" >/dev/null
head -n 40 "$work/generated/w5.txt" >"$work/generated/every-kind.txt"
inputs=()
for asm_file in tests/cases/*.asm; do
    name=${asm_file%.asm}
    picture=$name.bmp
    [[ -f $picture ]] || picture=$name.png
    inputs+=("$picture $name.txt")
done
inputs+=("examples/testpic.bmp examples/testpic.txt")
inputs+=("$work/generated/sheet.bmp $work/generated/every-kind.txt")

failed=0
fail() {
    echo "FAILED: $*"
    failed=$((failed + 1))
}
