#!/usr/bin/env bash
# Runs a block that a document tells its reader to type, as written, on a
# medium standing in for the reader's, and boots the result:
#
#   doc_block_test.sh media_usb_stick_block
#                         docs/media.md's USB-stick block, from a copy of
#                         the clone's layout, on a loop device in place of
#                         /dev/sdX, booted by QEMU as a USB stick
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
media_usb_stick_block) ;;
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

(cd "$source_root" && doc_block docs/media.md '## USB sticks') > block.sh
[ -s block.sh ] || { echo "FAIL: docs/media.md has no block under USB sticks"; exit 1; }
truncate -s 128M stick.img
loop_device=$(losetup -f --show -P stick.img) || skip "no loop device could be attached"
sed -i "s|/dev/sdX1|${loop_device}p1|g; s|/dev/sdX|$loop_device|g" block.sh
# The reader's clone: its examples, and tolmarix on the PATH.
ln -s "$examples" examples
mkdir bin && ln -s "$bin" bin/tolmarix
# The kernel adds the partition a moment after sfdisk; a reader's next
# line comes later than that.
head -2 block.sh | PATH=$dir/bin:$PATH run_block "docs/media.md, USB sticks: the table and the MBR" ||
    { echo "FAIL: the block's first lines failed"; exit 1; }
partx -a "$loop_device" 2> /dev/null
for _ in $(seq 1 50); do [ -b "${loop_device}p1" ] && break; sleep 0.1; done
tail -n +3 block.sh | PATH=$dir/bin:$PATH run_block "docs/media.md, USB sticks: the volume and the install" ||
    { echo "FAIL: the block failed as written"; exit 1; }
sync

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
