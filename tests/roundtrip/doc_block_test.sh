#!/usr/bin/env bash
# Runs a block that a document tells its reader to type, as written, on a
# medium standing in for the reader's, and checks or boots the result:
#
#   doc_block_test.sh media_usb_stick_block
#                         docs/media.md's USB-stick block, from a copy of
#                         the clone's layout, on a loop device in place of
#                         /dev/sdX, booted by QEMU as a USB stick
#   doc_block_test.sh media_stick_given_back
#                         its block that gives the stick back, on that
#                         stick: one FAT32 volume in a partition that is
#                         not active
#
# TOLMARIX_EXAMPLES is the directory of the samples, in the source tree;
# the rest of the environment is described in ../lib.sh.
set -u

name=${1:?usage: doc_block_test.sh CASE}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib.sh
. "$here/../lib.sh"
examples=${TOLMARIX_EXAMPLES:?TOLMARIX_EXAMPLES names the directory of the sample boot programs}
source_root=$(cd "$examples/.." && pwd)
# shellcheck source=../../.ci/readme-blocks
. "$source_root/.ci/readme-blocks"

case $name in
media_usb_stick_block | media_stick_given_back) ;;
*) echo "unknown case: $name"; exit 1 ;;
esac
[ "$(id -u)" = 0 ] || skip "loop devices need root"
need losetup util-linux
need partx util-linux
need sfdisk fdisk
need mkfs.fat dosfstools
need mcopy mtools
need_emulators qemu
export MTOOLS_SKIP_CHECK=1

truncate -s 128M stick.img
loop_device=$(losetup -f --show -P stick.img) || skip "no loop device could be attached"
# The reader's clone: its examples, and tolmarix on the PATH.
ln -s "$examples" examples
mkdir bin && ln -s "$bin" bin/tolmarix

# run_stick_block N: docs/media.md's Nth block under USB sticks, as
# written, with the loop device for /dev/sdX. The kernel adds the
# partition a moment after sfdisk; a reader's next line comes later than
# that.
run_stick_block() {
    (cd "$source_root" && doc_block docs/media.md '## USB sticks' "$1") > block.sh
    [ -s block.sh ] || { echo "FAIL: docs/media.md has no block $1 under USB sticks"; exit 1; }
    sed -i "s|/dev/sdX1|${loop_device}p1|g; s|/dev/sdX|$loop_device|g" block.sh
    local table
    table=$(grep -n sfdisk block.sh | head -1 | cut -d: -f1)
    head -n "$table" block.sh | PATH=$dir/bin:$PATH run_block "docs/media.md, USB sticks, block $1, to its table" ||
        { echo "FAIL: block $1 failed as written"; exit 1; }
    partx -a "$loop_device" 2> /dev/null
    for _ in $(seq 1 50); do [ -b "${loop_device}p1" ] && break; sleep 0.1; done
    tail -n +$((table + 1)) block.sh | PATH=$dir/bin:$PATH run_block "docs/media.md, USB sticks, block $1, the rest" ||
        { echo "FAIL: block $1 failed as written"; exit 1; }
    sync
}

run_stick_block 1
if [ "$name" = media_stick_given_back ]; then
    # The stick made for booting, given back: one FAT32 volume in a
    # partition that is not active, as a shop sells it.
    need blkid util-linux
    run_stick_block 2
    [ "$(blkid -p -s VERSION -o value "${loop_device}p1")" = FAT32 ] ||
        { echo "FAIL: the stick's partition is no FAT32 volume"; failed=1; }
    sfdisk -d "$loop_device" > table.txt
    grep -q 'type=c$' table.txt && ! grep -q bootable table.txt ||
        { cat table.txt; echo "FAIL: the table is not one FAT32 partition, inactive"; failed=1; }
    [ $failed = 0 ] && echo "PASS: $name"
    exit $failed
fi

greeting="All $(stat -c %s "$examples/kernel.bin") bytes of KERNEL.BIN are in place."
if "$here/../../scripts/boot-in-emulator" qemu stick.img usb "$greeting" > serial.txt; then
    cat serial.txt
else
    echo "FAIL: the stick did not boot the kernel; its serial port said:"
    cat serial.txt
    failed=1
fi
[ $failed = 0 ] && echo "PASS: $name"
exit $failed
