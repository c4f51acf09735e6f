#!/usr/bin/env bash
# Runs one command-line case against the built program, in a fresh temporary
# directory with drive A mapped to an image file, and compares standard output
# byte for byte, the exit status, and the image and boot program afterwards.
#
#   cli_test.sh CASE
#
# TOLMARIX_BIN       the program to run
# TOLMARIX_PLATFORM  posix: `\\.\A:` is a symbolic link of that name in the
#                    current directory
#                    wine: TOLMARIX_BIN runs under wine, and drive A is the
#                    link `a::` in $WINEPREFIX/dosdevices
# TOLMARIX_REQUIRE_ALL=1 turns a skipped case into a failure.
set -u

name=${1:?usage: cli_test.sh CASE}
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

dir=$(mktemp -d "${TMPDIR:-/tmp}/tolmarix-cli.XXXXXX") || exit 1
chmod 755 "$dir"
cleanup() {
    [ "$platform" = wine ] && rm -f "$WINEPREFIX/dosdevices/a::"
    rm -rf "$dir"
}
trap cleanup EXIT
cd "$dir" || exit 1

map_drive_a() {
    if [ "$platform" = wine ]; then
        # -n: never follow an existing link into a directory.
        ln -sfn "$1" "$WINEPREFIX/dosdevices/a::"
    else
        ln -sfn "$1" '\\.\A:'
    fi
}

run() {
    if [ "$platform" = wine ]; then
        # Windows ends console lines with CR LF; compare them as LF.
        timeout 60 wine "$bin" "$@" | sed 's/\r$//' > out.txt
        status=${PIPESTATUS[0]}
    else
        timeout 20 "$bin" "$@" > out.txt
        status=$?
    fi
}

# The fixture: a two-sector volume image and a whole boot program, random so
# that the two differ nearly everywhere.
head -c 1024 /dev/urandom > vol.img
head -c 512 /dev/urandom > boot.bin
map_drive_a "$dir/vol.img"

BANNER='TOLMARIX - Writes a boot sector from a file (Win32 version).\n'
USAGE='Usage: tolmarix bootprogram drive\n\n'
READING_BPB=$BANNER'Reading BPB from \\\\.\\A:...'
# The expected text is a printf format, so a % in a path is doubled.
reading_boot() { printf '%s' "$READING_BPB"'\nReading bootprogram '"${1//%/%%}"'...'; }
WRITING=$(reading_boot boot.bin)'\nWriting new boot sector on \\\\.\\A:...'

# The volume after an install of $1: the jump, the boot program's OEM name,
# the volume's own parameter block, then the boot program padded with zeros,
# and the rest of the volume untouched.
installed_image() {
    { head -c 512 "$1"; head -c 512 /dev/zero; } | head -c 512 > boot.512
    {
        printf '\353\074\220'
        dd if=boot.512 bs=1 skip=3 count=8 status=none
        dd if=vol.orig bs=1 skip=11 count=51 status=none
        dd if=boot.512 bs=1 skip=62 status=none
        dd if=vol.orig bs=512 skip=1 status=none
    } > expected.img
    rm boot.512
}

# One row per case: arguments, setup, expected output, status and volume.
boot=boot.bin
image=unchanged
expected_status=1
case $name in
no_arguments)
    args=()
    expected=$BANNER$USAGE ;;
one_argument)
    args=(boot.bin)
    expected=$BANNER$USAGE ;;
three_arguments)
    args=(boot.bin a extra)
    expected=$BANNER$USAGE ;;
installs_boot_program)
    args=(boot.bin a)
    expected=$WRITING'\n' expected_status=0 image=installed ;;
drive_in_upper_case_with_colon)
    args=(boot.bin A:)
    expected=$WRITING'\n' expected_status=0 image=installed ;;
boot_program_path_with_spaces_and_percent_signs)
    boot='my boot %s %d%%.bin'
    cp boot.bin "$boot"
    args=("$boot" a)
    expected=$(reading_boot "$boot")'\nWriting new boot sector on \\\\.\\A:...\n' expected_status=0 image=installed ;;
boot_program_of_100_bytes_is_padded)
    head -c 100 /dev/urandom > boot.bin
    args=(boot.bin a)
    expected=$WRITING'\n' expected_status=0 image=installed ;;
boot_program_of_2000_bytes_gives_its_first_sector)
    head -c 2000 /dev/urandom > boot.bin
    args=(boot.bin a)
    expected=$WRITING'\n' expected_status=0 image=installed ;;
volume_cannot_be_opened)
    # A FIFO: were the boot program opened, the run would block and time out.
    rm boot.bin && mkfifo boot.bin
    rm -f '\\.\A:' "${WINEPREFIX:-/nonexistent}/dosdevices/a::"
    args=(boot.bin a)
    expected=$READING_BPB'\nError opening \\\\.\\A:\n' ;;
empty_drive_argument)
    rm boot.bin && mkfifo boot.bin
    args=(boot.bin '')
    expected=$BANNER'Reading BPB from \\\\.\\...\nError opening \\\\.\\\n' ;;
volume_shorter_than_a_sector)
    head -c 511 /dev/urandom > vol.img
    rm boot.bin && mkfifo boot.bin
    args=(boot.bin a)
    expected=$READING_BPB'\nError reading \\\\.\\A:\n' ;;
boot_program_missing)
    boot=missing.bin
    args=(missing.bin a)
    expected=$(reading_boot missing.bin)'\nError opening missing.bin\n' ;;
boot_program_is_a_directory)
    boot=bootdir
    mkdir bootdir
    args=(bootdir a)
    # Windows won't open a directory as a file; POSIX opens it and can't read it.
    if [ "$platform" = wine ]; then
        expected=$(reading_boot bootdir)'\nError opening bootdir\n'
    else
        expected=$(reading_boot bootdir)'\nError reading bootdir\n'
    fi ;;
volume_readable_but_not_writable)
    chmod 444 vol.img
    args=(boot.bin a)
    expected=$WRITING'\nError opening \\\\.\\A:\n' ;;
device_refuses_the_write)
    [ -c /dev/full ] || skip "no /dev/full"
    map_drive_a /dev/full
    args=(boot.bin a)
    expected=$WRITING'\nError writing \\\\.\\A:\n' image=none ;;
*)
    echo "unknown case: $name"
    exit 1 ;;
esac

cp vol.img vol.orig
if [ -f "$boot" ]; then cp "$boot" boot.orig; fi

if [ "$name" = volume_readable_but_not_writable ] && [ "$(id -u)" = 0 ]; then
    # Root may write a read-only file; run as nobody so the permission holds.
    [ "$platform" = posix ] || skip "needs privileges dropped, which wine can't do here"
    command -v setpriv > /dev/null || skip "setpriv (util-linux) is not installed"
    cp "$bin" ./tolmarix-copy
    bin=$dir/tolmarix-copy
    run() {
        timeout 20 setpriv --reuid=65534 --regid=65534 --clear-groups "$bin" "$@" > out.txt
        status=$?
    }
fi

run "${args[@]}"

failed=0
printf "$expected" > expected.txt
if ! cmp -s out.txt expected.txt; then
    echo "FAIL: standard output differs"
    echo "--- expected"; od -c expected.txt
    echo "--- got"; od -c out.txt
    failed=1
fi
if [ "$status" != "$expected_status" ]; then
    echo "FAIL: exit status $status, expected $expected_status"
    failed=1
fi
case $image in
unchanged)
    cmp -s vol.img vol.orig || { echo "FAIL: the volume changed"; failed=1; } ;;
installed)
    installed_image "$boot"
    cmp vol.img expected.img || { echo "FAIL: the volume is not the installed image"; failed=1; } ;;
esac
if [ -f boot.orig ] && ! cmp -s "$boot" boot.orig; then
    echo "FAIL: the boot program changed"
    failed=1
fi
[ $failed = 0 ] && echo "PASS: $name"
exit $failed
