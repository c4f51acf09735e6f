# Shared by the shell tests: a fresh working directory, drive A mapped to an
# image, and the program run the way its platform runs it. Source it after
# setting `name` to the case's name.
#
# TOLMARIX_BIN       the program to run
# TOLMARIX_PLATFORM  posix: `\\.\A:` is a symbolic link of that name in the
#                    current directory
#                    wine: TOLMARIX_BIN runs under wine, and drive A is the
#                    link `a::` in $WINEPREFIX/dosdevices
# TOLMARIX_WINE_LOADER  the Wine loader the build runs its programs with
# TOLMARIX_REQUIRE_ALL=1 turns a skipped case into a failure.

# What these tests rely on is set here, whatever the caller's environment:
# the UTF-8 locale, in which Wine takes file names, printf %q quotes them and
# the tools' messages are the English ones compared; the shell that `script`
# runs its command with, which must read bash's quoting; and the terminal
# that pseudo-terminal claims to be.
export LC_ALL=C.UTF-8 SHELL=/bin/bash TERM=xterm
unset LANGUAGE
# The tools' PATH, with the /usr/sbin and /sbin an ordinary user's leaves
# out, as the scripts have it.
# shellcheck source=../scripts/packages
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/packages"

bin=${TOLMARIX_BIN:?TOLMARIX_BIN names the program}
platform=${TOLMARIX_PLATFORM:-posix}
SKIP=77

skip() {
    if [ "${TOLMARIX_REQUIRE_ALL:-0}" = 1 ]; then
        echo "FAIL: $name can't run here and TOLMARIX_REQUIRE_ALL=1: $*"
        exit 1
    fi
    echo "SKIP: $name: $*"
    exit $SKIP
}

# need COMMAND PACKAGE: skip unless COMMAND is installed.
need() {
    command -v "$1" > /dev/null || skip "$1 is not installed (Debian package $2)"
}

# Wine as the build runs it (its loader, TOLMARIX_WINE_LOADER), without
# TMPDIR: Debian 13's Wine 10 aborts when TMPDIR is set and /run/user/UID
# is not there, as in CI (see the TMPDIR set below).
wine=(env -u TMPDIR "${TOLMARIX_WINE_LOADER:-wine}")

dir=$(mktemp -d "${TMPDIR:-/tmp}/tolmarix-test.XXXXXX") || exit 1
chmod 755 "$dir"
# Whatever else makes temporary files makes them here, and they go with it.
export TMPDIR=$dir
# A test that attaches a loop device sets loop_device, and only that one is
# ever detached (its partitions go with it).
loop_device=
mapped_drives=()
cleanup() {
    if [ "$platform" = wine ]; then
        for letter in "${mapped_drives[@]}"; do rm -f "$WINEPREFIX/dosdevices/$letter::"; done
    fi
    if [ -n "$loop_device" ]; then losetup -d "$loop_device"; fi
    rm -rf "$dir"
}
trap cleanup EXIT
cd "$dir" || exit 1

# map_drive LETTER TARGET: the volume \\.\X: for the lower-case LETTER is
# TARGET, an image or a device.
map_drive() {
    mapped_drives+=("$1")
    if [ "$platform" = wine ]; then
        # -n: never follow an existing link into a directory.
        ln -sfn "$2" "$WINEPREFIX/dosdevices/$1::"
    else
        ln -sfn "$2" "\\\\.\\${1^^}:"
    fi
}

map_drive_a() { map_drive a "$1"; }

unmap_drive_a() {
    rm -f '\\.\A:'
    if [ "$platform" = wine ]; then rm -f "$WINEPREFIX/dosdevices/a::"; fi
}

# plain_terminal FILE: what a terminal showed, without its control sequences
# and carriage returns; a cursor move forward stands for that many spaces.
plain_terminal() {
    perl -pe 's/\e\[(\d*)C/" " x ($1 || 1)/ge; s/\e\][^\a]*\a//g; s/\e\[[0-9;?]*[A-Za-z]//g; s/\r//g' "$1"
}

# Runs the program with the given arguments; standard output goes to out.txt
# and the exit status to $status and the function's own status. Natively the
# program runs under the command in `runner`, when a test sets one. With
# console=1 its standard output is a pseudo-terminal, which Wine makes a
# console; the terminal's control sequences and carriage returns are taken
# out. With closed=1 it runs with standard input, output and error closed.
runner=()
console=0
closed=0
run() {
    local command=(timeout 20 "${runner[@]}" "$bin" "$@")
    if [ "$platform" = wine ]; then command=(timeout 60 "${wine[@]}" "$bin" "$@"); fi
    if [ "$console" = 1 ]; then
        need script bsdutils
        # Wine's own messages go to standard error, kept off the terminal.
        script -qec "$(printf '%q ' "${command[@]}") 2> stderr.txt" /dev/null < /dev/null > terminal.txt
        status=$?
        plain_terminal terminal.txt > out.txt
    elif [ "$closed" = 1 ]; then
        "${command[@]}" <&- >&- 2>&-
        status=$?
        : > out.txt
    else
        "${command[@]}" > out.txt
        status=$?
    fi
    return $status
}

# number FILE OFFSET BYTES: the little-endian number at OFFSET.
number() { od -An -tu"$3" -j "$2" -N "$3" "$1" | tr -d ' '; }

# need_emulators EMULATOR...: skip unless each of these, qemu or bochs, can
# boot an image here.
need_emulators() {
    local emulator
    for emulator; do
        if [ "$emulator" = qemu ]; then
            need qemu-system-i386 qemu-system-x86
            continue
        fi
        need bochs bochs
        need script bsdutils
        [ -f /usr/share/bochs/BIOS-bochs-latest ] || skip "Bochs has no BIOS (Debian package bochsbios)"
        [ -f /usr/share/vgabios/vgabios.bin ] || skip "Bochs has no VGA BIOS (Debian package vgabios)"
        compgen -G '/usr/lib/*/bochs/plugins/libbx_term*' > /dev/null ||
            skip "Bochs has no terminal display (Debian package bochs-term)"
    done
}

# partitioned_disk START BYTES [TYPE]: disk.img, BYTES long, with mbr.bin's
# code and one active partition from sector START that holds vol.img, of
# TYPE (6, FAT16, unless told; c for FAT32). The volume's unwritten parts
# stay holes.
partitioned_disk() {
    need sfdisk fdisk
    truncate -s "$2" disk.img
    printf 'label: dos\nstart=%d, size=%d, type=%s, bootable\n' "$1" $(($(stat -c %s vol.img) / 512)) "${3:-6}" |
        sfdisk -q disk.img &&
        dd if=mbr.bin of=disk.img bs=440 count=1 conv=notrunc status=none &&
        dd if=vol.img of=disk.img bs=1M oflag=seek_bytes seek=$(($1 * 512)) conv=notrunc,sparse status=none ||
        { echo "FAIL: making the disk"; exit 1; }
}

# installed_sector VOLUME BOOT [LAST]: writes expected.512, the first sector
# VOLUME should have after installing BOOT: the jump to LAST + 1, the boot
# program's OEM name, the volume's own parameter block from 11 to LAST (61,
# or 89 on FAT32), then the boot program padded with zeros.
installed_sector() {
    local last=${3:-61}
    { head -c 512 "$2"; head -c 512 /dev/zero; } | head -c 512 > boot.512
    {
        printf "\\353\\$(printf '%03o' $((last - 1)))\\220"
        dd if=boot.512 bs=1 skip=3 count=8 status=none
        dd if="$1" bs=1 skip=11 count=$((last - 10)) status=none
        dd if=boot.512 bs=1 skip=$((last + 1)) status=none
    } > expected.512
    rm boot.512
}

# installed_image VOLUME BOOT [LAST]: expected.img, the whole volume so, the
# rest of it untouched.
installed_image() {
    installed_sector "$@"
    { cat expected.512; dd if="$1" bs=512 skip=1 status=none; } > expected.img
}

# expect_output FORMAT: fails unless out.txt is exactly what the printf
# format FORMAT gives. On Windows, output redirected to a file ends each
# line with CR LF, as the C run-time's text mode writes it; a console's
# shows none.
failed=0
expect_output() {
    # shellcheck disable=SC2059
    printf "$1" > expected.txt
    if [ "$platform" = wine ] && [ "$console" = 0 ]; then perl -pi -e 's/\n/\r\n/' expected.txt; fi
    if ! cmp -s out.txt expected.txt; then
        echo "FAIL: standard output differs"
        echo "--- expected"; od -c expected.txt
        echo "--- got"; od -c out.txt
        failed=1
    fi
}

expect_status() {
    if [ "$status" != "$1" ]; then
        echo "FAIL: exit status $status, expected $1"
        failed=1
    fi
}

BANNER='TOLMARIX - Writes a boot sector from a file (Win32 version).\n'
USAGE='Usage: tolmarix bootprogram drive\n\n'
READING_BPB=$BANNER'Reading BPB from \\\\.\\A:...'
# The expected text is a printf format, so a % in a path is doubled.
reading_boot() { printf '%s' "$READING_BPB"'\nReading bootprogram '"${1//%/%%}"'...'; }
writing() { printf '%s' "$(reading_boot "$1")"'\nWriting new boot sector on \\\\.\\A:...'; }
