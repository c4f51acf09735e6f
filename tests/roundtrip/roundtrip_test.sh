#!/usr/bin/env bash
# Formats a real volume with mkfs.fat, puts files on it with mtools, installs
# the sample boot program with tolmarix, then proves the volume is still the
# same file system and boots the new code:
#
#   roundtrip_test.sh floppy   1.44 MB FAT12 floppy, booted from floppy
#   roundtrip_test.sh fat16    16 MB FAT16 volume with no partition table,
#                              booted from hard disk
#
# TOLMARIX_SAMPLE is the boot program to install; the rest of the environment
# is described in ../lib.sh.
set -u

name=${1:?usage: roundtrip_test.sh floppy|fat16}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
sample=${TOLMARIX_SAMPLE:?TOLMARIX_SAMPLE names the sample boot program}

need mkfs.fat dosfstools
need fsck.fat dosfstools
need mcopy mtools
need qemu-system-i386 qemu-system-x86
export MTOOLS_SKIP_CHECK=1

case $name in
floppy) fat=12 kib=1440 kind=floppy ;;
fat16) fat=16 kib=16384 kind=disk ;;
*) echo "unknown volume: $name"; exit 1 ;;
esac

# A label made up here, so no text in the program or this test can match it.
label=T$(head -c 5 /dev/urandom | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
mkfs.fat -C -F "$fat" -n "$label" vol.img "$kib" > /dev/null || { echo "FAIL: mkfs.fat"; exit 1; }

printf 'Hello, volume.\r\n' > hello.txt
head -c 70000 /dev/urandom > data.bin
mcopy -i vol.img hello.txt data.bin :: && mmd -i vol.img ::/SUB && mcopy -i vol.img hello.txt ::/SUB/NESTED.TXT ||
    { echo "FAIL: mtools could not fill the volume"; exit 1; }
cp vol.img formatted.img

cp "$sample" hello_boot.bin
map_drive_a "$dir/vol.img"
run hello_boot.bin a
expect_output "$(writing hello_boot.bin)"'\n'
expect_status 0

# Only sector 0 changed, and it is the sample with the volume's own block.
installed_image formatted.img hello_boot.bin
if ! cmp vol.img expected.img; then
    echo "FAIL: the volume is not the formatted one with the sample in sector 0"
    failed=1
fi
if ! cmp -s <(dd if=vol.img bs=1 skip=11 count=51 status=none) \
            <(dd if=formatted.img bs=1 skip=11 count=51 status=none); then
    echo "FAIL: bytes 11..61 are not the formatted volume's own"
    failed=1
fi

if ! fsck.fat -n vol.img > fsck.txt 2>&1; then
    echo "FAIL: fsck.fat reports errors:"
    cat fsck.txt
    failed=1
fi

mkdir back
mcopy -i vol.img ::/HELLO.TXT ::/DATA.BIN back/ && mcopy -i vol.img ::/SUB/NESTED.TXT back/ ||
    { echo "FAIL: mtools can't read the files back"; failed=1; }
for f in HELLO.TXT:hello.txt DATA.BIN:data.bin NESTED.TXT:hello.txt; do
    cmp -s "back/${f%%:*}" "${f##*:}" || { echo "FAIL: ${f%%:*} came back changed"; failed=1; }
done
mlabel -i vol.img -s :: > mlabel.txt
if ! grep -qx " Volume label is $label" mlabel.txt; then
    echo "FAIL: the label is not intact:"
    cat mlabel.txt
    failed=1
fi

# Boot it, and wait a bounded time for the greeting on the serial port.
greeting="Volume label: [$(printf '%-11s' "$label")]"
if "$here/../../scripts/boot-in-qemu" vol.img "$kind" "$greeting" > serial.txt; then
    echo "QEMU booted it and said:"
    cat serial.txt
else
    echo "FAIL: no greeting with the label on the serial port; it said:"
    cat serial.txt
    failed=1
fi

[ $failed = 0 ] && echo "PASS: $name"
exit $failed
