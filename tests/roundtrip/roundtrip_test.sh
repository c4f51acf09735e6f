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
#                                three pieces, the last across cluster 341,
#                                whose 12-bit entry straddles two FAT
#                                sectors, and KERNEL.TXT before it
#   roundtrip_test.sh loader_fat16_fragmented
#                                the FAT16 volume with 4-sector clusters, the
#                                kernel in three pieces with holes between
#   roundtrip_test.sh loader_no_kernel
#                                the floppy without KERNEL.BIN: it says so
#   roundtrip_test.sh loader_partition
#                                a FAT16 volume in the first partition of a
#                                disk image, reached through a loop device;
#                                a minimal MBR enters it at 07C0:0000
#   roundtrip_test.sh loader_both_total_fields
#                                the floppy with its total in the 32-bit
#                                field too: the 16-bit one counts
#   roundtrip_test.sh loader_kernel_after_the_end_marker
#                                KERNEL.BIN's entry follows one that starts
#                                with 0, which ends the directory
#   roundtrip_test.sh loader_fat12_of_4084_clusters
#   roundtrip_test.sh loader_fat16_of_4085_clusters
#                                the largest FAT12 and the smallest FAT16,
#                                their totals set after formatting: the
#                                FAT12 one's in the 32-bit field alone
#   roundtrip_test.sh loader_kernel_of_512_kib_in_the_last_root_sector
#                                the largest kernel, its entry in the last
#                                sector of the floppy's root directory
#   roundtrip_test.sh loader_kernel_of_512_kib_and_a_byte
#                                one byte too many: no kernel
#   roundtrip_test.sh loader_read_fails_once
#   roundtrip_test.sh loader_read_always_fails
#                                QEMU fails reads of the FAT16 volume's root
#                                directory: once, which a retry mends, or
#                                every time, which ends in a disk error
#   roundtrip_test.sh loader_sectors_of_1024_bytes
#                                a volume of 1024-byte sectors is refused
#   roundtrip_test.sh loader_vhd_as_diskpart_makes_it
#                                the partition row's disk as a fixed VHD, a
#                                512-byte footer at its end, booted as one
#                                (QEMU's vpc, Bochs's vpc mode), its
#                                partition 64 KiB in, where diskpart puts it
#                                on a disk under 4 GB
#   roundtrip_test.sh loader_disk_of_4_gib_as_diskpart_makes_it
#                                a sparse disk of 4 GiB, its partition 1 MiB
#                                in, where diskpart puts it on a larger disk
#   roundtrip_test.sh loader_usb_stick_partitioned
#   roundtrip_test.sh loader_usb_stick_one_volume
#                                a USB stick with the partition 64 KiB in,
#                                and one formatted as one FAT16 volume, on
#                                QEMU's EHCI controller: SeaBIOS boots it as
#                                hard disk 0x80
#   roundtrip_test.sh loader_usb_stick_with_the_sample_mbr
#   roundtrip_test.sh loader_disk_with_the_sample_mbr
#   roundtrip_test.sh loader_disk_with_the_sample_mbr_by_chs
#                                partitioned by sfdisk as docs/media.md's
#                                Linux steps do, with examples/mbr.bin over
#                                the first 440 bytes of the table's sector;
#                                the last assembled to read by CHS alone
#   roundtrip_test.sh loader_disk_with_the_sample_mbr_at_sector_128
#   roundtrip_test.sh loader_disk_with_the_sample_mbr_by_chs_past_cylinder_255
#   roundtrip_test.sh loader_disk_with_the_sample_mbr_past_8_gib
#                                the sample MBR reading a partition 64 KiB
#                                in, one past cylinder 255 by CHS, and one
#                                past 8 GiB by the extended read
#   roundtrip_test.sh sample_mbr_with_two_active_entries
#   roundtrip_test.sh sample_mbr_with_no_55_aa_in_the_boot_sector
#   roundtrip_test.sh sample_mbr_with_no_active_entry
#                                what it refuses: its message must be on
#                                the screen, and nothing booted
#
# And on FAT32, where TOLMARIX keeps the block to 89 and jumps to 90:
#
#   roundtrip_test.sh fat32      hello_boot, whose label comes from 71 there,
#                                on a 64 MiB FAT32 volume with no table
#   roundtrip_test.sh loader_fat32
#                                the FAT32 loader on it, 512-byte clusters,
#                                the kernel in three pieces
#   roundtrip_test.sh loader_fat32_no_kernel
#                                without KERNEL.BIN: it says so
#   roundtrip_test.sh loader_fat32_root_of_two_clusters
#                                KERNEL.BIN's entry in the root directory's
#                                second cluster, after 20 other files
#   roundtrip_test.sh loader_fat32_second_fat_in_use
#                                FAT flags with mirroring off and the second
#                                FAT in use; the first FAT ends the kernel's
#                                chain after one cluster
#   roundtrip_test.sh loader_fat32_chain_shorter_than_the_kernel
#                                that first FAT alone, in use: a disk error
#   roundtrip_test.sh loader_fat32_partition_with_the_sample_mbr
#   roundtrip_test.sh fat32_partition_with_the_sample_mbr
#                                a FAT32 partition (type 0C) 1 MiB in,
#                                through examples/mbr.bin
#   roundtrip_test.sh loader_fat32_usb_stick_with_the_sample_mbr
#   roundtrip_test.sh fat32_usb_stick_with_the_sample_mbr
#                                the same on a USB stick (QEMU)
#   roundtrip_test.sh loader_fat32_of_8_gib_as_windows_formats_it
#                                a sparse 8 GiB disk, its partition 1 MiB
#                                in and formatted with 4 KiB clusters, as
#                                Windows formats that size
#
# Every row that boots boots twice: in QEMU with SeaBIOS and in Bochs with
# its own BIOS, and both must print the same. The rows that inject read
# errors boot in QEMU alone, which can inject them, and so do the USB rows:
# Bochs's BIOS boots no USB stick.
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
export MTOOLS_SKIP_CHECK=1

# A label made up here, so no text in the program or this test can match it.
label=T$(head -c 5 /dev/urandom | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
loaded() { echo "All $1 bytes of KERNEL.BIN are in place."; }
LOADED=$(loaded "$(stat -c %s "$examples/kernel.bin")")

# One row per case: the volume, the boot program, and the last line it must
# print on the serial port. A row that names a BIOS drive gets KERNEL.BIN,
# which must say it was handed that drive.
losetup_options=()
mkfs_options=()
boot=hello_boot.bin
HELLO="Volume label: [$(printf '%-11s' "$label")]"
greeting=$HELLO
drive=
partition=0
vhd=0
emulators=(qemu bochs)
rules=
kernel=$examples/kernel.bin
kernel_size=
clusters=
totals=
end_marker=0
root_files=0
# A text the boot must show on the screen, in place of what the serial port
# says; a second active entry in the table; a boot program without 55 AA.
screen=
second_active=0
second_fat=0
no_active=0
no_signature=0
straddle=0
# A partition's first sector, the disk's size (0: the partition's end) and
# the MBR code before it: the test's own, which enters the boot sector as
# 07C0:0000, the sample in examples/, or the sample reading by CHS alone.
start=2048
disk_bytes=0
mbr=test
partition_type=6
# on_a_partition KIND: the loader on a 35 MiB FAT16 partition of a disk of
# KIND, booted as hard disk 0x80.
on_a_partition() {
    fat=16 kib=35840 kind=$1 boot=fat_loader.bin greeting=$LOADED drive=80 partition=1
}
# on_fat32 KIND: a 64 MiB FAT32 volume of one-sector clusters on a disk of
# KIND, with the geometry the emulators' IDE disks take; the FAT32 loader.
on_fat32() {
    fat=32 kib=65536 kind=$1 boot=fat32_loader.bin greeting=$LOADED drive=80 mkfs_options=(-s 1 -g 16/63)
}
# fat32_partition: that volume in a FAT32 partition (type 0C) through the
# sample MBR.
fat32_partition() { partition=1 mbr=sample partition_type=c; }
case $name in
floppy | loop) fat=12 kib=1440 kind=floppy ;;
fat16) fat=16 kib=16384 kind=disk ;;
loop_4096) fat=12 kib=1440 kind=floppy losetup_options=(--sector-size 4096) ;;
loop_read_only) fat=12 kib=1440 kind=floppy losetup_options=(--read-only) ;;
loader_floppy) fat=12 kib=1440 kind=floppy boot=fat_loader.bin greeting=$LOADED drive=00 straddle=1 ;;
loader_fat16_fragmented)
    fat=16 kib=16384 kind=disk boot=fat_loader.bin greeting=$LOADED drive=80 mkfs_options=(-s 4) ;;
loader_no_kernel) fat=12 kib=1440 kind=floppy boot=fat_loader.bin greeting="No KERNEL.BIN" kernel= ;;
loader_partition)
    # 35 MiB from sector 2048, where sfdisk puts it; the parameter block
    # says so in its hidden sectors, which the loader adds to every read.
    on_a_partition disk ;;
loader_both_total_fields)
    fat=12 kib=1440 kind=floppy boot=fat_loader.bin greeting=$LOADED drive=00 totals=both ;;
loader_kernel_after_the_end_marker)
    fat=12 kib=1440 kind=floppy boot=fat_loader.bin greeting="No KERNEL.BIN" end_marker=1 ;;
loader_fat12_of_4084_clusters)
    fat=12 kib=2050 kind=disk boot=fat_loader.bin greeting=$LOADED drive=80 clusters=4084 mkfs_options=(-s 1)
    totals=32 ;;
loader_fat16_of_4085_clusters)
    fat=16 kib=2150 kind=disk boot=fat_loader.bin greeting=$LOADED drive=80 clusters=4085 mkfs_options=(-s 1)
    totals=16 ;;
loader_kernel_of_512_kib_in_the_last_root_sector)
    kernel_size=524288 root_files=208
    fat=12 kib=1440 kind=floppy boot=fat_loader.bin greeting=$(loaded $kernel_size) drive=00 ;;
loader_kernel_of_512_kib_and_a_byte)
    kernel_size=524289 fat=12 kib=1440 kind=floppy boot=fat_loader.bin greeting="No KERNEL.BIN" ;;
loader_read_fails_once | loader_read_always_fails)
    # The root directory's first sector: reserved 4, two FATs of 32.
    printf '[inject-error]\nevent = "read_aio"\nerrno = "5"\nsector = "68"\n' > rules.cfg
    fat=16 kib=16384 kind=disk boot=fat_loader.bin greeting=$LOADED drive=80 rules=$dir/rules.cfg emulators=(qemu)
    if [ "$name" = loader_read_fails_once ]; then
        echo 'once = "on"' >> rules.cfg
    else
        greeting="Disk error" drive=
    fi ;;
loader_sectors_of_1024_bytes)
    fat=12 kib=1440 kind=floppy boot=fat_loader.bin greeting="Disk error" mkfs_options=(-S 1024) ;;
# Where diskpart puts a disk's first partition: 64 KiB in on a disk under
# 4 GB, 1 MiB in on a larger one (Microsoft's IVdsDisk3::QueryFreeExtents
# page gives the alignment).
loader_vhd_as_diskpart_makes_it)
    on_a_partition vhd; vhd=1 start=128 ;;
loader_usb_stick_partitioned)
    on_a_partition usb; emulators=(qemu) start=128 ;;
loader_disk_of_4_gib_as_diskpart_makes_it)
    on_a_partition disk; disk_bytes=$((4 << 30)) ;;
# A stick or a disk partitioned as the README's Linux steps do it, with
# sfdisk, and given the sample MBR over the table's first 440 bytes.
loader_usb_stick_with_the_sample_mbr)
    on_a_partition usb; emulators=(qemu) mbr=sample ;;
loader_disk_with_the_sample_mbr)
    on_a_partition disk; mbr=sample ;;
loader_disk_with_the_sample_mbr_by_chs)
    # The sample as a BIOS without the extensions runs it: by cylinder,
    # head and sector, from the BIOS's own geometry.
    on_a_partition disk; mbr=chs ;;
loader_usb_stick_one_volume)
    fat=16 kib=16384 kind=usb boot=fat_loader.bin greeting=$LOADED drive=80 emulators=(qemu) ;;
# The sample MBR where its reads could go wrong: off the 8-byte grid of the
# table's entries, past cylinder 255 by CHS, and past 8 GiB, beyond CHS.
loader_disk_with_the_sample_mbr_at_sector_128)
    on_a_partition disk; mbr=sample start=128 ;;
loader_disk_with_the_sample_mbr_by_chs_past_cylinder_255)
    # mkfs.fat gives this volume 8 heads of 32 sectors, which both BIOSes
    # are given: a cylinder is 256 sectors, and the partition starts in
    # cylinder 264.
    on_a_partition disk; mbr=chs start=67584 ;;
loader_disk_with_the_sample_mbr_past_8_gib)
    on_a_partition disk; mbr=sample start=$(((8 << 30) / 512 + 2048)) mkfs_options=(-g 16/63) ;;
# What the sample MBR refuses, with its message on the screen.
sample_mbr_with_two_active_entries)
    on_a_partition disk; mbr=sample second_active=1 screen="Invalid partition table" ;;
sample_mbr_with_no_55_aa_in_the_boot_sector)
    on_a_partition disk; mbr=sample no_signature=1 screen="No 55 AA in the boot sector" ;;
sample_mbr_with_no_active_entry)
    on_a_partition disk; mbr=sample no_active=1 screen="No active partition" ;;
fat32) on_fat32 disk; boot=hello_boot.bin greeting=$HELLO drive= ;;
loader_fat32) on_fat32 disk ;;
loader_fat32_no_kernel) on_fat32 disk; greeting="No KERNEL.BIN" kernel= drive= ;;
loader_fat32_root_of_two_clusters) on_fat32 disk; root_files=20 ;;
loader_fat32_second_fat_in_use) on_fat32 disk; second_fat=1 ;;
loader_fat32_chain_shorter_than_the_kernel) on_fat32 disk; second_fat=2 greeting="Disk error" drive= ;;
loader_fat32_partition_with_the_sample_mbr)
    on_fat32 disk; fat32_partition ;;
fat32_partition_with_the_sample_mbr)
    on_fat32 disk; fat32_partition; boot=hello_boot.bin greeting=$HELLO drive= ;;
loader_fat32_usb_stick_with_the_sample_mbr)
    on_fat32 usb; fat32_partition; emulators=(qemu) ;;
fat32_usb_stick_with_the_sample_mbr)
    on_fat32 usb; fat32_partition; emulators=(qemu) boot=hello_boot.bin greeting=$HELLO drive= ;;
loader_fat32_of_8_gib_as_windows_formats_it)
    on_fat32 disk; fat32_partition; kib=$(((8 << 20) - 1024)) mkfs_options=(-s 8 -g 16/63) ;;
*) echo "unknown volume: $name"; exit 1 ;;
esac
if [[ $name == loop* ]] || [ $partition = 1 ]; then
    [ "$(id -u)" = 0 ] || skip "loop devices need root"
    need losetup util-linux
fi
if [ $partition = 1 ] || [ -n "$kernel_size" ]; then need nasm nasm; fi
if [ $partition = 1 ]; then
    need sfdisk fdisk
    # The parameter block gives the partition's start in its hidden sectors,
    # which the loader adds to every read.
    if [ "$fat" != 32 ]; then mkfs_options+=(-s 2); fi
    mkfs_options+=(-h "$start")
fi
need_emulators "${emulators[@]}"

# vhd_footer SIZE: the 512-byte footer of a fixed VHD of SIZE bytes of data,
# as Microsoft's VHD format gives it: the disk geometry from the size, the
# creator Windows ("win ", which QEMU takes to mean that the size field
# counts, not the geometry), and the checksum, the ones' complement of the
# sum of its bytes.
vhd_footer() {
    perl -e '
        my $size = shift;
        my $total = $size / 512;
        my ($spt, $heads, $cylinder_heads);
        $total = 65535 * 16 * 255 if $total > 65535 * 16 * 255;
        if ($total >= 65535 * 16 * 63) {
            ($spt, $heads) = (255, 16);
            $cylinder_heads = int($total / $spt);
        } else {
            $spt = 17;
            $cylinder_heads = int($total / $spt);
            $heads = int(($cylinder_heads + 1023) / 1024);
            $heads = 4 if $heads < 4;
            if ($cylinder_heads >= $heads * 1024 || $heads > 16) {
                ($spt, $heads) = (31, 16);
                $cylinder_heads = int($total / $spt);
            }
            if ($cylinder_heads >= $heads * 1024) {
                ($spt, $heads) = (63, 16);
                $cylinder_heads = int($total / $spt);
            }
        }
        my $cylinders = int($cylinder_heads / $heads);
        my @footer = ("conectix", 2, 0x00010000, 0xFFFFFFFF, 0xFFFFFFFF, 0, "win ", 0x000A0000, "Wi2k",
            0, $size, 0, $size, $cylinders, $heads, $spt, 2);
        my $id = pack("C16", map { int(rand(256)) } 1 .. 16);
        my $bytes = pack("a8 N N N N N a4 N a4 N N N N n C C N N a16 C x427", @footer, 0, $id, 0);
        my $sum = 0;
        $sum += $_ for unpack("C*", $bytes);
        substr($bytes, 64, 4) = pack("N", ~$sum & 0xFFFFFFFF);
        print $bytes;' "$1"
}

# put FILE OFFSET BYTES VALUE: writes VALUE there, little-endian.
put() {
    local i bytes=
    for i in $(seq 0 $(($3 - 1))); do bytes+=$(printf '\\%03o' $((($4 >> (8 * i)) & 255))); done
    printf "$bytes" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

mkfs.fat -C "${mkfs_options[@]}" -F "$fat" -n "$label" vol.img "$kib" > /dev/null || { echo "FAIL: mkfs.fat"; exit 1; }
# The last byte of the parameter block that the install keeps.
bpb_last=61
if [ "$fat" = 32 ]; then bpb_last=89; fi
root_start=$(($(number vol.img 14 2) + $(number vol.img 16 1) * $(number vol.img 22 2)))
total=$(number vol.img 19 2)
if [ -n "$clusters" ]; then
    # mkfs.fat makes neither of these, so the total is set afterwards: the
    # data area is then exactly that many one-sector clusters.
    data_start=$((root_start + ($(number vol.img 17 2) * 32 + 511) / 512))
    total=$((data_start + clusters))
    truncate -s $((total * 512)) vol.img
fi
# Where the total goes: the 16-bit field, the 32-bit one with 0 in the
# 16-bit one (allowed for any total), or both.
case $totals in
16) put vol.img 19 2 $total ;;
32) put vol.img 19 2 0 && put vol.img 32 4 $total ;;
both) put vol.img 32 4 $total ;;
esac

printf 'Hello, volume.\r\n' > hello.txt
head -c 70000 /dev/urandom > data.bin
mcopy -i vol.img hello.txt data.bin :: && mmd -i vol.img ::/SUB && mcopy -i vol.img hello.txt ::/SUB/NESTED.TXT ||
    { echo "FAIL: mtools could not fill the volume"; exit 1; }
if [ -n "$kernel_size" ]; then
    kernel=$dir/kernel.bin
    nasm -f bin -DKERNEL_SIZE=$((kernel_size < 524288 ? kernel_size : 524288)) -o "$kernel" "$examples/kernel.asm" ||
        { echo "FAIL: nasm"; exit 1; }
    if [ "$kernel_size" -gt 524288 ]; then head -c $((kernel_size - 524288)) /dev/zero >> "$kernel"; fi
fi
if [ "$root_files" -gt 0 ]; then
    mkdir many
    for i in $(seq 1 "$root_files"); do : > "many/F$i"; done
    mcopy -i vol.img many/* :: || { echo "FAIL: mtools could not fill the root directory"; exit 1; }
fi
if [ "$end_marker" = 1 ]; then
    # An empty file's entry, then the kernel's; the first becomes the end.
    : > end.txt
    mcopy -i vol.img end.txt ::/END.TXT && mcopy -i vol.img "$kernel" ::/KERNEL.BIN ||
        { echo "FAIL: mtools could not copy the kernel"; exit 1; }
    put vol.img "$(grep -obUa 'END     TXT' vol.img | head -1 | cut -d: -f1)" 1 0
    ! mdir -i vol.img ::/KERNEL.BIN > /dev/null 2>&1 || { echo "FAIL: mdir still lists KERNEL.BIN"; failed=1; }
elif [[ $boot == fat*_loader.bin ]] && [ -n "$kernel" ]; then
    # A name that shares KERNEL.BIN's first eight bytes comes first. Then
    # holes on purpose: two small files, deleted once the kernel is on its
    # way, leave it in three pieces with other files' clusters between. On
    # the floppy, a file before them takes the kernel's last piece across
    # cluster 341.
    if [ "$straddle" = 1 ]; then head -c $((170 * 512)) /dev/urandom > pad.bin && mcopy -i vol.img pad.bin ::/PAD.BIN; fi
    head -c 1000 /dev/urandom > gap.bin
    mcopy -i vol.img hello.txt ::/KERNEL.TXT && mcopy -i vol.img gap.bin ::/GAP1.BIN &&
        mcopy -i vol.img hello.txt ::/KEEP1.TXT && mcopy -i vol.img gap.bin ::/GAP2.BIN &&
        mcopy -i vol.img hello.txt ::/KEEP2.TXT && mdel -i vol.img ::/GAP1.BIN ::/GAP2.BIN ||
        { echo "FAIL: mtools could not make the holes"; exit 1; }
    # On FAT32 mtools takes up after the last cluster it gave, as FSInfo's
    # next-free hint says; an unknown hint sends it to the holes.
    if [ "$fat" = 32 ]; then put vol.img $(($(number vol.img 48 2) * 512 + 492)) 4 0xFFFFFFFF; fi
    mcopy -i vol.img "$kernel" ::/KERNEL.BIN || { echo "FAIL: mtools could not copy the kernel"; exit 1; }
    mshowfat -i vol.img ::/KERNEL.BIN > chain.txt
    if [ "$second_fat" != 0 ]; then
        # Only the second FAT holds the whole chain, and the flags at 40 say
        # it is the one in use (bit 7: no mirroring; bits 0-3: FAT 1), or
        # nothing says so and the first is read.
        first=$(grep -o '<[0-9]*' chain.txt | head -1 | tr -d '<')
        put vol.img $(($(number vol.img 14 2) * 512 + first * 4)) 4 0x0FFFFFFF
        if [ "$second_fat" = 1 ]; then put vol.img 40 1 0x81; fi
    fi
    pieces=$(grep -o '<[0-9-]*>' chain.txt | wc -l)
    echo "KERNEL.BIN's clusters: $(cat chain.txt)"
    [ "$pieces" -ge 3 ] || { echo "FAIL: the kernel is in $pieces pieces, not 3 or more"; failed=1; }
    if [ "$straddle" = 1 ] && ! grep -o '<[0-9-]*>' chain.txt | tr -d '<>' |
        awk -F- '$1 <= 341 && $2 > 341 { found = 1 } END { exit !found }'; then
        echo "FAIL: the kernel's chain does not go on from cluster 341"
        failed=1
    fi
    if [ "$fat" = 32 ]; then
        # The root directory is a chain of clusters from the one at 44; with
        # files enough, the kernel's entry is in a later one.
        data_start=$(($(number vol.img 14 2) + $(number vol.img 16 1) * $(number vol.img 36 4)))
        at=$(head -c $(((data_start + 256) * 512)) vol.img | grep -obUa 'KERNEL  BIN' | head -1 | cut -d: -f1)
        cluster=$(((at / 512 - data_start) / $(number vol.img 13 1) + 2))
        echo "KERNEL.BIN's entry is in cluster $cluster; the root directory starts at cluster $(number vol.img 44 4)"
        [ "$root_files" -gt 0 ] && [ "$cluster" = "$(number vol.img 44 4)" ] &&
            { echo "FAIL: KERNEL.BIN's entry is in the root directory's first cluster"; failed=1; }
    elif entry=$((($(grep -obUa 'KERNEL  BIN' vol.img | head -1 | cut -d: -f1) - root_start * 512) / 32))
        echo "KERNEL.BIN is entry $entry of the root directory"
        [ "$root_files" -gt 0 ] && [ "$entry" -lt $(($(number vol.img 17 2) - 16)) ]; then
        echo "FAIL: KERNEL.BIN's entry is not in the root directory's last sector"
        failed=1
    fi
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
    if [ $mbr = sample ]; then
        cp "$examples/mbr.bin" mbr.bin
    elif [ $mbr = chs ]; then
        nasm -f bin -DCHS_ONLY -o mbr.bin "$examples/mbr.asm" || { echo "FAIL: nasm"; exit 1; }
    else
        nasm -f bin -o mbr.bin "$here/partition_mbr.asm" || { echo "FAIL: nasm"; exit 1; }
    fi
    end=$(((start + kib * 2) * 512))
    partitioned_disk "$start" $((disk_bytes > end ? disk_bytes : end)) "$partition_type"
    if [ $vhd = 1 ]; then vhd_footer "$(stat -c %s disk.img)" >> disk.img || { echo "FAIL: making the VHD footer"; exit 1; }; fi
    if [ $second_active = 1 ]; then put disk.img 462 1 128; fi
    if [ $no_active = 1 ]; then put disk.img 446 1 0; fi
    cp disk.img disk.orig
    loop_device=$(losetup -f --show -o $((start * 512)) --sizelimit $((kib * 1024)) disk.img) ||
        skip "no loop device could be attached"
    volume=$loop_device
fi

cp "$examples/$boot" "$boot"
if [ $no_signature = 1 ]; then put "$boot" 510 2 0; fi
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
# (bytes 11..61 of the formatted volume, 11..89 on FAT32); the rest is
# compared in place.
installed_sector formatted.img "$boot" "$bpb_last"
# Read through a loop device, 8 GiB take half a minute: there the first
# 64 MiB, which hold all mkfs.fat and mtools wrote, are compared, and the
# disk image around it, below, is compared whole.
compared=()
if [ "$kib" -gt $((1 << 20)) ]; then compared=(-n $((64 << 20))); fi
if ! cmp -n 512 "$volume" expected.512 || ! cmp -i 512 "${compared[@]}" "$volume" formatted.img; then
    echo "FAIL: the volume is not the formatted one with the sample in sector 0"
    failed=1
fi

# fsck.fat reads the first FAT whatever the flags say, and would cut the
# kernel short where that FAT ends its chain.
if [ "$second_fat" = 0 ] && ! fsck.fat -n "$volume" > fsck.txt 2>&1; then
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

# The whole disk is as it was but for the partition's first sector: its
# table, the rest of the partition and, on a VHD, the footer. diff reads
# the gigabytes of a sparse disk's holes in seconds, where cmp takes half
# a minute.
if [ $partition = 1 ]; then
    cp disk.orig disk.expected &&
        dd if=expected.512 of=disk.expected bs=512 seek="$start" conv=notrunc status=none ||
        { echo "FAIL: making the expected disk"; exit 1; }
    diff -q disk.img disk.expected > /dev/null ||
        { echo "FAIL: the disk differs from the one it was outside the partition's first sector"; failed=1; }
fi

# Boot it in each emulator, and wait a bounded time for the last line the
# sample prints.
booted=$volume
if [ $partition = 1 ]; then booted=$dir/disk.img; fi
for emulator in "${emulators[@]}"; do
    if [ -n "$screen" ]; then
        SCREEN=$dir/screen.txt "$here/../../scripts/boot-in-emulator" "$emulator" "$booted" "$kind" "$screen" > serial.txt
        shown=$?
        if [ $shown = 3 ]; then
            [ $failed = 0 ] || exit 1
            skip "$emulator saved no text screen through its debugger (Debian 13's Bochs 3.0 does not)"
        elif [ $shown = 0 ]; then
            echo "$emulator showed on the screen: $screen"
        else
            echo "FAIL: under $emulator the screen did not show \"$screen\" in time; it showed:"
            cat screen.txt
            failed=1
        fi
        grep -q 'KERNEL.BIN' serial.txt && { echo "FAIL: under $emulator the kernel ran"; failed=1; }
        continue
    fi
    if "$here/../../scripts/boot-in-emulator" "$emulator" "$booted" "$kind" "$greeting" $rules > serial.txt; then
        echo "$emulator booted it and said:"
        cat serial.txt
    else
        echo "FAIL: under $emulator the serial port did not say \"$greeting\" in time; it said:"
        cat serial.txt
        failed=1
    fi
    if [ -n "$drive" ] && ! grep -qx "Booted from BIOS drive 0x$drive" serial.txt; then
        echo "FAIL: under $emulator the kernel was not handed BIOS drive 0x$drive"
        failed=1
    fi
done

[ $failed = 0 ] && echo "PASS: $name"
exit $failed
