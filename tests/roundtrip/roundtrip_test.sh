#!/usr/bin/env bash
# Formats a real volume with mkfs.fat, puts files on it with mtools, installs
# the sample boot program with tolmarix, then proves the volume is still the
# same file system and boots the new code:
#
#   roundtrip_test.sh floppy     1.44 MB FAT12 floppy image, booted from floppy
#   roundtrip_test.sh fat16      16 MB FAT16 volume image with no partition
#                                table, booted from hard disk
#   roundtrip_test.sh loop       the floppy on a loop block device
#   roundtrip_test.sh loop_4096  the same with 4096-byte logical sectors: the
#                                512-byte transfers still change only the
#                                first 512 bytes
#   roundtrip_test.sh loop_read_only
#                                a read-only loop device: the write fails and
#                                nothing changes
#
# The loop devices need root and loop support; each case detaches exactly
# the device it attached. TOLMARIX_SAMPLE is the boot program to install; the
# rest of the environment is described in ../lib.sh.
set -u

name=${1:?usage: roundtrip_test.sh floppy|fat16|loop|loop_4096|loop_read_only}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
sample=${TOLMARIX_SAMPLE:?TOLMARIX_SAMPLE names the sample boot program}

need mkfs.fat dosfstools
need fsck.fat dosfstools
need mcopy mtools
need qemu-system-i386 qemu-system-x86
export MTOOLS_SKIP_CHECK=1

losetup_options=()
case $name in
floppy | loop) fat=12 kib=1440 kind=floppy ;;
fat16) fat=16 kib=16384 kind=disk ;;
loop_4096) fat=12 kib=1440 kind=floppy losetup_options=(--sector-size 4096) ;;
loop_read_only) fat=12 kib=1440 kind=floppy losetup_options=(--read-only) ;;
*) echo "unknown volume: $name"; exit 1 ;;
esac
if [[ $name == loop* ]]; then
    [ "$(id -u)" = 0 ] || skip "loop devices need root"
    need losetup util-linux
fi

# A label made up here, so no text in the program or this test can match it.
label=T$(head -c 5 /dev/urandom | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
mkfs.fat -C -F "$fat" -n "$label" vol.img "$kib" > /dev/null || { echo "FAIL: mkfs.fat"; exit 1; }

printf 'Hello, volume.\r\n' > hello.txt
head -c 70000 /dev/urandom > data.bin
mcopy -i vol.img hello.txt data.bin :: && mmd -i vol.img ::/SUB && mcopy -i vol.img hello.txt ::/SUB/NESTED.TXT ||
    { echo "FAIL: mtools could not fill the volume"; exit 1; }
cp vol.img formatted.img

# The volume is the image itself, or a loop device backed by it.
volume=$dir/vol.img
if [[ $name == loop* ]]; then
    loop_device=$(losetup -f --show "${losetup_options[@]}" vol.img) || skip "no loop device could be attached"
    volume=$loop_device
fi

cp "$sample" hello_boot.bin
map_drive_a "$volume"
run hello_boot.bin a
if [ "$name" = loop_read_only ]; then
    expect_output "$(writing hello_boot.bin)"'\nError writing \\\\.\\A:\n'
    expect_status 1
    cmp "$volume" formatted.img || { echo "FAIL: the read-only device changed"; failed=1; }
    [ $failed = 0 ] && echo "PASS: $name"
    exit $failed
fi
expect_output "$(writing hello_boot.bin)"'\n'
expect_status 0

# Only sector 0 changed, and it is the sample with the volume's own block
# (bytes 11..61 of the formatted volume).
installed_image formatted.img hello_boot.bin
if ! cmp "$volume" expected.img; then
    echo "FAIL: the volume is not the formatted one with the sample in sector 0"
    failed=1
fi

if ! fsck.fat -n "$volume" > fsck.txt 2>&1; then
    echo "FAIL: fsck.fat reports errors:"
    cat fsck.txt
    failed=1
fi

mkdir back
# mtools can't ask a loop device for a disk geometry, and says so.
mcopy -i "$volume" ::/HELLO.TXT ::/DATA.BIN back/ 2> mtools.txt && mcopy -i "$volume" ::/SUB/NESTED.TXT back/ 2>> mtools.txt ||
    { echo "FAIL: mtools can't read the files back:"; cat mtools.txt; failed=1; }
for f in HELLO.TXT:hello.txt DATA.BIN:data.bin NESTED.TXT:hello.txt; do
    cmp -s "back/${f%%:*}" "${f##*:}" || { echo "FAIL: ${f%%:*} came back changed"; failed=1; }
done
mlabel -i "$volume" -s :: > mlabel.txt 2> mtools.txt
if ! grep -qx " Volume label is $label" mlabel.txt; then
    echo "FAIL: the label is not intact:"
    cat mlabel.txt
    failed=1
fi

# Boot it, and wait a bounded time for the greeting on the serial port.
greeting="Volume label: [$(printf '%-11s' "$label")]"
if "$here/../../scripts/boot-in-qemu" "$volume" "$kind" "$greeting" > serial.txt; then
    echo "QEMU booted it and said:"
    cat serial.txt
else
    echo "FAIL: no greeting with the label on the serial port; it said:"
    cat serial.txt
    failed=1
fi

[ $failed = 0 ] && echo "PASS: $name"
exit $failed
