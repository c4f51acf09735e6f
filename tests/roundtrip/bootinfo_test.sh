#!/usr/bin/env bash
# Installs examples/bootinfo.bin with tolmarix on a medium, boots it in QEMU
# and in Bochs, and checks each of the six lines it prints against what the
# medium and the emulator's disk hold:
#
#   bootinfo_test.sh CASE
#
#   floppy                        a 1.44 MB floppy: drive 00, no extensions,
#                                 the floppy's own geometry, no entry
#   fat16_without_a_table         a FAT16 volume as a whole hard disk
#   partition_through_the_sample_mbr
#                                 a partition 1 MiB in, its hidden sectors
#                                 right, booted by examples/mbr.bin, which
#                                 hands over its entry in DS:SI
#   partition_whose_hidden_sectors_are_0
#                                 the same with hidden sectors 0, as
#                                 mkfs.fat writes them on an image: hidden=
#                                 and entry= differ, and the sector is read
#                                 back from the entry
#   usb_stick_through_the_sample_mbr
#                                 the partitioned disk as a USB stick (QEMU)
#   mbr_that_changes_byte_61     the same MBR setting byte 61, the last
#                                 of the block, to 7F: the last line names
#                                 offset 3D, and drive= is the disk's
#   fat32_without_a_table
#   fat32_partition_through_the_sample_mbr
#                                 bootinfo32.bin on a 64 MiB FAT32 volume,
#                                 as a whole hard disk and as a partition
#                                 (type 0C): the drive field from 64, and
#                                 bytes 11 to 89 compared
#   fat32_usb_stick_through_the_sample_mbr
#                                 the partition on a USB stick (QEMU)
#   mbr_that_changes_the_drive_field
#                                 an MBR that sets the drive number in the
#                                 loaded sector to 7F before it enters it
#                                 at 07C0:0000, as a patching BIOS would:
#                                 the memory's drive= is 7F, and the last
#                                 line names offset 24
#
# The BIOS's geometry is the one scripts/boot-in-emulator gives the disk:
# the parameter block's. TOLMARIX_EXAMPLES is the directory of the samples;
# the rest of the environment is described in ../lib.sh.
set -u

name=${1:?usage: bootinfo_test.sh CASE}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
examples=${TOLMARIX_EXAMPLES:?TOLMARIX_EXAMPLES names the directory of the sample boot programs}
need mkfs.fat dosfstools

# One row per case: the volume, the disk around it, and what differs.
fat=16 kib=16384 kind=disk drive=80 edd=yes mbr= hidden=0 emulators=(qemu bochs) changed=
boot=bootinfo.bin drive_field=36 type=6 changed_offset=36
case $name in
floppy) fat=12 kib=1440 kind=floppy drive=00 edd=no ;;
fat16_without_a_table) ;;
partition_through_the_sample_mbr) mbr=sample hidden=2048 ;;
partition_whose_hidden_sectors_are_0) mbr=sample ;;
usb_stick_through_the_sample_mbr) mbr=sample hidden=2048 kind=usb emulators=(qemu) ;;
mbr_that_changes_the_drive_field) mbr=changing hidden=2048 changed=7F ;;
mbr_that_changes_byte_61) mbr=changing hidden=2048 changed=7F changed_offset=61 ;;
fat32_without_a_table) fat=32 kib=65536 boot=bootinfo32.bin drive_field=64 ;;
fat32_partition_through_the_sample_mbr)
    fat=32 kib=65536 boot=bootinfo32.bin drive_field=64 type=c mbr=sample hidden=2048 ;;
fat32_usb_stick_through_the_sample_mbr)
    fat=32 kib=65536 boot=bootinfo32.bin drive_field=64 type=c mbr=sample hidden=2048 kind=usb emulators=(qemu) ;;
*) echo "unknown case: $name"; exit 1 ;;
esac
need_emulators "${emulators[@]}"

# Heads and sectors the emulators' IDE disks take, as boot-in-emulator
# gives them from the parameter block.
geometry=()
if [ "$fat" != 12 ]; then geometry=(-g 16/63); fi
mkfs.fat -C -F "$fat" -n BOOTINFO -h "$hidden" "${geometry[@]}" vol.img "$kib" > /dev/null || { echo "FAIL: mkfs.fat"; exit 1; }
cp "$examples/$boot" .
map_drive_a "$dir/vol.img"
run "$boot" a
expect_status 0

booted=$dir/vol.img entry=none
if [ -n "$mbr" ]; then
    need nasm nasm
    case $mbr in
    sample) cp "$examples/mbr.bin" mbr.bin ;;
    changing) nasm -f bin -DCHANGE_DRIVE_FIELD=0x$changed -DCHANGE_OFFSET=$changed_offset -o mbr.bin "$here/partition_mbr.asm" ||
        { echo "FAIL: nasm"; exit 1; } ;;
    esac
    partitioned_disk 2048 $(((2048 + kib * 2) * 512)) "$type"
    booted=$dir/disk.img entry=00000800
fi

# The six lines: what the volume's sector holds, as the BIOS and the MBR
# hand it over.
bpb_drive=$(printf '%02X' "$(number vol.img "$drive_field" 1)")
last="BPB as on disk"
if [ -n "$changed" ]; then
    last="BPB differs at $(printf '%02X' "$changed_offset")"
    if [ "$changed_offset" = "$drive_field" ]; then bpb_drive=$changed; fi
fi
heads=$(printf '%04X' "$(number vol.img 26 2)") sectors=$(printf '%04X' "$(number vol.img 24 2)")
printf '%s\n' TOLMARIX "DL=$drive EDD=$edd" "BIOS H/S=$heads/$sectors" \
    "BPB H/S=$heads/$sectors hidden=$(printf '%08X' "$hidden") drive=$bpb_drive" "entry=$entry" "$last" > expected-lines.txt

for emulator in "${emulators[@]}"; do
    # The title, and five lines after it.
    AND_LINES=5 "$here/../../scripts/boot-in-emulator" "$emulator" "$booted" "$kind" TOLMARIX > serial.txt ||
        { echo "FAIL: under $emulator the serial port did not say six lines in time"; failed=1; }
    sed -n '/^TOLMARIX$/,$p' serial.txt > lines.txt
    if [ "$kind" = usb ]; then
        # SeaBIOS makes up a USB stick's geometry: the line must have its
        # form, and the read back by it must agree. Without sectors per
        # track nothing can be read by CHS; bootinfo32 reads by the
        # extended read.
        bios=$(sed -n 3p lines.txt)
        [[ $bios =~ ^BIOS\ H/S=[0-9A-F]{4}/[0-9A-F]{4}$ ]] || { echo "FAIL: under $emulator: $bios"; failed=1; }
        sed -i "3s|.*|$bios|" expected-lines.txt
        if [[ $bios == */0000 ]] && [ "$fat" != 32 ]; then sed -i '6s/.*/read failed AH=00/' expected-lines.txt; fi
    fi
    if ! cmp -s lines.txt expected-lines.txt; then
        echo "FAIL: under $emulator bootinfo said what the medium does not hold:"
        diff expected-lines.txt lines.txt
        failed=1
    else
        echo "$emulator:"
        cat lines.txt
    fi
done

[ $failed = 0 ] && echo "PASS: $name"
exit $failed
