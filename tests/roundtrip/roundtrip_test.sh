#!/usr/bin/env bash
# Formats a real volume with mkfs.fat, puts files on it with mtools, installs
# a sample boot program with tolmarix, then proves the volume is still the
# same file system and boots the new code. The first rows install the
# greeting sample, which prints the volume's label:
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
# The other rows install the FAT loader, which must find KERNEL.BIN, load it
# whole and run it; the sample kernel checks every byte of itself and says
# which BIOS drive it was handed:
#
#   roundtrip_test.sh loader_floppy
#                                the 1.44 MB FAT12 floppy, the kernel in
#                                three pieces
#   roundtrip_test.sh loader_fat16_fragmented
#                                the FAT16 volume with 4-sector clusters, the
#                                kernel in three pieces with holes between
#   roundtrip_test.sh loader_no_kernel
#                                the floppy without KERNEL.BIN: it says so
#   roundtrip_test.sh loader_partition
#                                a FAT16 volume in the first partition of a
#                                disk image, reached through a loop device;
#                                a minimal MBR enters it at 07C0:0000
#
# The loop devices need root and loop support; each case detaches exactly
# the device it attached. TOLMARIX_EXAMPLES is the directory of the sample
# boot programs; the rest of the environment is described in ../lib.sh.
set -u

name=${1:?usage: roundtrip_test.sh floppy|fat16|loop|loop_4096|loop_read_only|loader_...}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
examples=${TOLMARIX_EXAMPLES:?TOLMARIX_EXAMPLES names the directory of the sample boot programs}

need mkfs.fat dosfstools
need fsck.fat dosfstools
need mcopy mtools
need qemu-system-i386 qemu-system-x86
export MTOOLS_SKIP_CHECK=1

# A label made up here, so no text in the program or this test can match it.
label=T$(head -c 5 /dev/urandom | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
LOADED="All $(stat -c %s "$examples/kernel.bin") bytes of KERNEL.BIN are in place."

# One row per case: the volume, the boot program, and the last line it must
# print on the serial port. A row that names a BIOS drive gets KERNEL.BIN,
# which must say it was handed that drive.
losetup_options=()
mkfs_options=()
boot=hello_boot.bin
greeting="Volume label: [$(printf '%-11s' "$label")]"
drive=
partition=0
case $name in
floppy | loop) fat=12 kib=1440 kind=floppy ;;
fat16) fat=16 kib=16384 kind=disk ;;
loop_4096) fat=12 kib=1440 kind=floppy losetup_options=(--sector-size 4096) ;;
loop_read_only) fat=12 kib=1440 kind=floppy losetup_options=(--read-only) ;;
loader_floppy) fat=12 kib=1440 kind=floppy boot=fat_loader.bin greeting=$LOADED drive=00 ;;
loader_fat16_fragmented)
    fat=16 kib=16384 kind=disk boot=fat_loader.bin greeting=$LOADED drive=80 mkfs_options=(-s 4) ;;
loader_no_kernel) fat=12 kib=1440 kind=floppy boot=fat_loader.bin greeting="No KERNEL.BIN" ;;
loader_partition)
    # 35 MiB from sector 2048; the parameter block says so in its hidden
    # sectors, which the loader adds to every read.
    fat=16 kib=35840 kind=disk boot=fat_loader.bin greeting=$LOADED drive=80 partition=1
    mkfs_options=(-s 2 -h 2048) ;;
*) echo "unknown volume: $name"; exit 1 ;;
esac
if [[ $name == loop* ]] || [ $partition = 1 ]; then
    [ "$(id -u)" = 0 ] || skip "loop devices need root"
    need losetup util-linux
fi
if [ $partition = 1 ]; then
    need sfdisk fdisk
    need nasm nasm
fi

mkfs.fat -C "${mkfs_options[@]}" -F "$fat" -n "$label" vol.img "$kib" > /dev/null || { echo "FAIL: mkfs.fat"; exit 1; }

printf 'Hello, volume.\r\n' > hello.txt
head -c 70000 /dev/urandom > data.bin
mcopy -i vol.img hello.txt data.bin :: && mmd -i vol.img ::/SUB && mcopy -i vol.img hello.txt ::/SUB/NESTED.TXT ||
    { echo "FAIL: mtools could not fill the volume"; exit 1; }
if [ -n "$drive" ]; then
    # Holes on purpose: two small files, deleted once the kernel is on its
    # way, leave it in three pieces with other files' clusters between.
    head -c 1000 /dev/urandom > gap.bin
    mcopy -i vol.img gap.bin ::/GAP1.BIN && mcopy -i vol.img hello.txt ::/KEEP1.TXT &&
        mcopy -i vol.img gap.bin ::/GAP2.BIN && mcopy -i vol.img hello.txt ::/KEEP2.TXT &&
        mdel -i vol.img ::/GAP1.BIN ::/GAP2.BIN && mcopy -i vol.img "$examples/kernel.bin" ::/KERNEL.BIN ||
        { echo "FAIL: mtools could not copy the kernel"; exit 1; }
    mshowfat -i vol.img ::/KERNEL.BIN > chain.txt
    pieces=$(grep -o '<[0-9-]*>' chain.txt | wc -l)
    echo "KERNEL.BIN's clusters: $(cat chain.txt)"
    [ "$pieces" -ge 3 ] || { echo "FAIL: the kernel is in $pieces pieces, not 3 or more"; failed=1; }
fi
cp vol.img formatted.img

# The volume is the image itself, or a loop device backed by it. A partition
# goes into a disk image behind a partition table and the test MBR, and its
# loop device covers the partition alone.
volume=$dir/vol.img
if [[ $name == loop* ]]; then
    loop_device=$(losetup -f --show "${losetup_options[@]}" vol.img) || skip "no loop device could be attached"
    volume=$loop_device
elif [ $partition = 1 ]; then
    nasm -f bin -o mbr.bin "$here/partition_mbr.asm" || { echo "FAIL: nasm"; exit 1; }
    truncate -s $(((2048 + kib * 2) * 512)) disk.img
    printf 'label: dos\nstart=2048, size=%d, type=6, bootable\n' $((kib * 2)) | sfdisk -q disk.img &&
        dd if=mbr.bin of=disk.img conv=notrunc status=none &&
        dd if=vol.img of=disk.img bs=512 seek=2048 conv=notrunc status=none || { echo "FAIL: making the disk"; exit 1; }
    loop_device=$(losetup -f --show -o $((2048 * 512)) --sizelimit $((kib * 1024)) disk.img) ||
        skip "no loop device could be attached"
    volume=$loop_device
fi

cp "$examples/$boot" "$boot"
map_drive_a "$volume"
run "$boot" a
if [ "$name" = loop_read_only ]; then
    expect_output "$(writing "$boot")"'\nError writing \\\\.\\A:\n'
    expect_status 1
    cmp "$volume" formatted.img || { echo "FAIL: the read-only device changed"; failed=1; }
    [ $failed = 0 ] && echo "PASS: $name"
    exit $failed
fi
expect_output "$(writing "$boot")"'\n'
expect_status 0

# Only sector 0 changed, and it is the sample with the volume's own block
# (bytes 11..61 of the formatted volume).
installed_image formatted.img "$boot"
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

# Boot it, and wait a bounded time for the last line the sample prints.
booted=$volume
if [ $partition = 1 ]; then booted=$dir/disk.img; fi
if "$here/../../scripts/boot-in-qemu" "$booted" "$kind" "$greeting" > serial.txt; then
    echo "QEMU booted it and said:"
    cat serial.txt
else
    echo "FAIL: the serial port did not say \"$greeting\" in time; it said:"
    cat serial.txt
    failed=1
fi
if [ -n "$drive" ] && ! grep -qx "Booted from BIOS drive 0x$drive" serial.txt; then
    echo "FAIL: the kernel was not handed BIOS drive 0x$drive"
    failed=1
fi

[ $failed = 0 ] && echo "PASS: $name"
exit $failed
