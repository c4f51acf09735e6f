#!/usr/bin/env bash
# Runs one command-line case against the built program, in a fresh temporary
# directory with drive A mapped to an image file, and compares standard output
# byte for byte, the exit status, and the image and boot program afterwards.
#
#   cli_test.sh CASE
#
# The environment is described in ../lib.sh.
set -u

name=${1:?usage: cli_test.sh CASE}
# shellcheck source=../lib.sh
. "$(dirname "$0")/../lib.sh"

# The fixture: a two-sector volume image and a whole boot program, random so
# that the two differ nearly everywhere.
head -c 1024 /dev/urandom > vol.img
head -c 512 /dev/urandom > boot.bin
map_drive_a "$dir/vol.img"
WRITING=$(writing boot.bin)

# name_boot_program NAME: the boot program goes by NAME in the row's run.
name_boot_program() {
    boot=$1
    cp boot.bin "$boot"
    args=("$boot" a)
}

# guard_drives LETTER...: each of these drives is mapped to an image of its
# own, which the run must leave as it was.
guarded=()
guard_drives() {
    local letter
    for letter in "$@"; do
        head -c 1024 /dev/urandom > "$letter.img"
        cp "$letter.img" "$letter.orig"
        map_drive "$letter" "$dir/$letter.img"
        guarded+=("$letter")
    done
}

# refused_drive ARGUMENT: a drive argument that is no drive. It is refused
# before anything is opened; C: and D:, which a file name or a path could be
# taken for, are mapped too.
refused_drive() {
    args=(boot.bin "$1")
    guard_drives c d
    expected=$BANNER$USAGE
}

# on_drive_e: drive E is the volume, and A: must not be written.
on_drive_e() {
    args=(boot.bin "$1")
    map_drive e "$dir/vol.img"
    guard_drives a
    expected=$(printf '%s' "$WRITING" | sed 's/A:/E:/g')'\n' expected_status=0 image=installed
}

# disk_with_a_partition: vol.img becomes a 2 MiB disk image whose partition
# table has one partition from sector 2048, attached to a loop device that
# the kernel has scanned for partitions.
disk_with_a_partition() {
    [ "$(id -u)" = 0 ] || skip "loop devices need root"
    need sfdisk fdisk
    need losetup util-linux
    need partx util-linux
    head -c $((4096 * 512)) /dev/urandom > vol.img
    echo '2048,,6' | sfdisk -q vol.img || { echo "FAIL: sfdisk"; exit 1; }
    loop_device=$(losetup -f --show -P vol.img) || skip "no loop device could be attached"
    # The kernel adds the partition a moment later; partx adds it at once,
    # unless it is there already.
    partx -a "$loop_device" 2> /dev/null
    for _ in $(seq 1 50); do
        [ -b "${loop_device}p1" ] && return 0
        sleep 0.1
    done
    echo "FAIL: ${loop_device}p1 did not appear"
    exit 1
}

# refused_volume WHAT: vol.img holds WHAT, which the write would destroy. The
# run stops once it has read the sector, naming it, and never opens the boot
# program: a FIFO, which would block the run until it timed out.
refused_volume() {
    rm boot.bin && mkfifo boot.bin
    expected=$READING_BPB'\nError: \\\\.\\A: holds '"$1"', not FAT; nothing was written\n'
}

# made_by PACKAGE TOOL COMMAND...: vol.img as COMMAND, which runs TOOL,
# makes it from an empty sparse image of $size, or the row fails.
size=4M
made_by() {
    need "$2" "$1"
    rm vol.img && truncate -s "$size" vol.img
    "${@:3}" > made.txt 2>&1 || { cat made.txt; echo "FAIL: $2 could not make the volume"; exit 1; }
}

# put_bytes OFFSET FORMAT: the printf FORMAT's bytes over vol.img at OFFSET.
put_bytes() {
    # shellcheck disable=SC2059
    printf "$2" | dd of=vol.img bs=1 seek="$1" conv=notrunc status=none
}

# One row per case: arguments, setup, expected output, status and volume.
args=(boot.bin a)
boot=boot.bin
image=unchanged
# The last byte of the volume's parameter block that the new sector keeps.
bpb_last=61
expected_status=1
inject=
inject_path='\\.\A:'
WRITE_FAILED=$WRITING'\nError writing \\\\.\\A:\n'
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
    expected=$WRITING'\n' expected_status=0 image=installed ;;
drive_in_upper_case_with_colon)
    args=(boot.bin A:)
    expected=$WRITING'\n' expected_status=0 image=installed ;;
drive_as_explorer_shows_it) on_drive_e 'E:\' ;;
drive_with_a_slash_after_the_colon) on_drive_e e:/ ;;
# A name or a path given as the drive would name the drive of its first
# letter: disk.img is D:, c:\images\floppy.img is C:.
drive_is_three_letters) refused_drive abc ;;
drive_is_an_image_name) refused_drive disk.img ;;
drive_is_a_path_to_an_image) refused_drive 'c:\images\floppy.img' ;;
drive_has_two_colons) refused_drive a:: ;;
drive_has_a_path_below_its_root) refused_drive 'a:\b' ;;
arguments_swapped)
    # The drive would be B:, and the boot program the file a.
    refused_drive boot.bin
    guard_drives b
    cp boot.bin a
    args=(a boot.bin) ;;
boot_program_path_with_spaces_and_percent_signs)
    name_boot_program 'my boot %s %d%%.bin'
    expected=$(writing "$boot")'\n' expected_status=0 image=installed ;;
boot_program_named_in_cyrillic)
    # No ANSI code page but UTF-8 holds this name: on Windows it opens only
    # because the program runs in UTF-8, and it is echoed as typed.
    name_boot_program 'загрузка.bin'
    expected=$(writing "$boot")'\n' expected_status=0 image=installed ;;
boot_program_named_in_chinese_on_a_console)
    # On a Windows console the name must go out as UTF-16 to read right;
    # the C run-time's narrow output would garble it.
    name_boot_program '引导.bin'
    console=1
    expected=$(writing "$boot")'\n' expected_status=0 image=installed ;;
boot_program_named_with_a_tab_on_a_console)
    # A name that printf %q quotes as $'...', which only bash reads: the
    # terminal's command must run in bash whatever SHELL the caller has.
    name_boot_program "$(printf 'tab\tname.bin')"
    console=1
    expected=$(writing "$boot")'\n' expected_status=0 image=installed ;;
boot_program_of_100_bytes_is_padded)
    head -c 100 /dev/urandom > boot.bin
    expected=$WRITING'\n' expected_status=0 image=installed ;;
boot_program_of_2000_bytes_gives_its_first_sector)
    head -c 2000 /dev/urandom > boot.bin
    expected=$WRITING'\n' expected_status=0 image=installed ;;
volume_cannot_be_opened)
    # A FIFO: were the boot program opened, the run would block and time out.
    rm boot.bin && mkfifo boot.bin
    unmap_drive_a
    expected=$READING_BPB'\nError opening \\\\.\\A:\n' ;;
volume_link_dangles)
    rm boot.bin && mkfifo boot.bin
    map_drive_a "$dir/unplugged.img"
    expected=$READING_BPB'\nError opening \\\\.\\A:\n' ;;
empty_drive_argument)
    rm boot.bin && mkfifo boot.bin
    args=(boot.bin '')
    expected=$BANNER'Reading BPB from \\\\.\\...\nError opening \\\\.\\\n' ;;
volume_shorter_than_a_sector)
    head -c 511 /dev/urandom > vol.img
    rm boot.bin && mkfifo boot.bin
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
# Another Windows program holds a file open, so opening it without sharing
# fails: cmd keeps what it redirects into ping open until ping ends.
boot_program_held_open_by_another_program)
    held=boot.bin held_as=boot.bin
    expected=$(reading_boot boot.bin)'\nError opening boot.bin\n' ;;
volume_held_open_by_another_program)
    rm boot.bin && mkfifo boot.bin
    held=vol.img held_as='\\.\A:'
    expected=$READING_BPB'\nError opening \\\\.\\A:\n' ;;
progress_shows_while_the_volume_is_slow)
    # A FIFO stands in for a slow drive: the run waits in each open until we
    # answer, and each progress line must be out before it waits.
    mkfifo slow.vol
    map_drive_a "$dir/slow.vol"
    head -c 512 vol.img > vol.512
    expected=$WRITING'\n' expected_status=0 image=none ;;
boot_program_arrives_through_a_pipe_in_two_pieces | boot_program_of_2000_bytes_arrives_through_a_pipe)
    # A read of a pipe gives what has arrived so far; the rest must be
    # waited for, or the sector is installed cut short. Of a longer file
    # only what is left of the sector may be asked for, or the read runs
    # past it.
    if [ "$name" = boot_program_of_2000_bytes_arrives_through_a_pipe ]; then head -c 2000 /dev/urandom > boot.bin; fi
    mkfifo pipe.bin
    timeout 20 sh -c '{ head -c 200 boot.bin; sleep 0.5; tail -c +201 boot.bin; } > pipe.bin' > /dev/null 2>&1 &
    args=(pipe.bin a)
    expected=$(writing pipe.bin)'\n' expected_status=0 image=installed ;;
standard_input_output_and_error_closed)
    # The opens then take descriptors 0 to 2, so a message printed while
    # the volume is open would land in it; the whole image is checked.
    closed=1
    expected='' expected_status=0 image=installed ;;
volume_readable_but_not_writable)
    volume_mode=444
    as_nobody=1
    expected=$WRITING'\nError opening \\\\.\\A:\n' ;;
boot_program_not_readable)
    boot_mode=200
    as_nobody=1
    expected=$(reading_boot boot.bin)'\nError opening boot.bin\n' ;;
volume_not_readable)
    volume_mode=222
    rm boot.bin && mkfifo boot.bin
    as_nobody=1
    expected=$READING_BPB'\nError opening \\\\.\\A:\n' ;;
# Faults injected by strace into the system calls made on the volume, which
# an image file never gives by itself.
volume_read_fails_with_an_io_error)
    inject=read:error=EIO
    rm boot.bin && mkfifo boot.bin
    expected=$READING_BPB'\nError reading \\\\.\\A:\n' ;;
boot_program_read_fails_with_an_io_error)
    inject=read:error=EIO inject_path=boot.bin
    expected=$(reading_boot boot.bin)'\nError reading boot.bin\n' ;;
volume_write_fails_with_an_io_error)
    inject=write:error=EIO expected=$WRITE_FAILED ;;
write_moves_nothing)
    inject=write:retval=0:when=1 expected=$WRITE_FAILED ;;
flush_fails_with_an_io_error)
    # The sector went out; only the flush after it failed.
    inject=fsync:error=EIO expected=$WRITE_FAILED image=installed ;;
close_after_the_write_fails_with_an_io_error)
    # The first close on the volume ends its read and may fail harmlessly.
    inject=close:error=EIO:when=2 expected=$WRITE_FAILED image=installed ;;
# A call interrupted once is made again, and the run succeeds.
open_interrupted_once)
    inject=openat:error=EINTR:when=1 expected=$WRITING'\n' expected_status=0 image=installed ;;
read_interrupted_once)
    inject=read:error=EINTR:when=1 expected=$WRITING'\n' expected_status=0 image=installed ;;
write_interrupted_once)
    inject=write:error=EINTR:when=1 expected=$WRITING'\n' expected_status=0 image=installed ;;
# Nothing to sync is not a failure: the write itself went through.
flush_says_the_device_is_read_only)
    inject=fsync:error=EROFS expected=$WRITING'\n' expected_status=0 image=installed ;;
flush_says_the_device_cannot_sync)
    inject=fsync:error=EINVAL expected=$WRITING'\n' expected_status=0 image=installed ;;
# A drive names one volume: never a whole disk that holds partitions, whose
# first sector is its partition table.
whole_disk_holding_partitions)
    disk_with_a_partition
    map_drive_a "$loop_device"
    rm boot.bin && mkfifo boot.bin
    expected=$READING_BPB'\nError opening \\\\.\\A:\n' ;;
partition_of_a_disk)
    disk_with_a_partition
    map_drive_a "${loop_device}p1"
    expected=$WRITING'\n' expected_status=0 image=partition ;;
# A Windows user's first run, as the Windows guide gives it:
# the .zip unpacked into C:\Tools, drive E: a FAT12 floppy, and the
# guide's Command Prompt lines typed into Wine's cmd in a terminal.
windows_guide_steps_under_wine_cmd)
    readme_steps=1 expected_status=0 image=none ;;
# What the volume's first sector holds decides whether it may be replaced.
# The volumes come from the tools that make them; ReFS and BitLocker, which
# Debian can't make, as their headers are laid out.
ntfs_volume)
    made_by ntfs-3g mkntfs mkntfs -F -Q vol.img
    refused_volume 'an NTFS file system' ;;
exfat_volume)
    made_by exfatprogs mkfs.exfat mkfs.exfat vol.img
    refused_volume 'an exFAT file system' ;;
refs_volume)
    put_bytes 0 '\0\0\0ReFS\0\0\0\0\0\0\0\0\0FSRS'
    refused_volume 'a ReFS file system' ;;
bitlocker_volume)
    # NTFS's parameter block: 512-byte sectors, no reserved sectors, no FAT.
    put_bytes 0 '\353\130\220-FVE-FS-\0\2\10\0\0\0'
    put_bytes 510 '\125\252'
    refused_volume 'a BitLocker volume' ;;
luks1_header | luks2_header)
    printf 'not a secret' > key.txt
    size=20M made_by cryptsetup-bin cryptsetup cryptsetup luksFormat -q --type "luks${name:4:1}" --pbkdf pbkdf2 \
        --pbkdf-force-iterations 1000 --key-file key.txt vol.img
    refused_volume 'a LUKS encryption header' ;;
xfs_volume)
    # The smallest volume mkfs.xfs makes; sparse, it costs what is written.
    size=300M made_by xfsprogs mkfs.xfs mkfs.xfs -q vol.img
    refused_volume 'an XFS file system' ;;
dos_partition_table)
    made_by fdisk sfdisk sh -c "echo 'start=2048, type=6, bootable' | sfdisk -q vol.img"
    refused_volume 'a partition table' ;;
gpt_partition_table)
    made_by fdisk sfdisk sh -c "printf 'label: gpt\nstart=2048\n' | sfdisk -q vol.img"
    refused_volume 'a partition table' ;;
fat12_volume | fat16_volume | fat32_volume | fat_volume_named_ntfs)
    case $name in
    fat16_volume) fat=16 kib=16384 ;;
    fat32_volume) fat=32 kib=40000 bpb_last=89 ;;
    *) fat=12 kib=1440 ;;
    esac
    need mkfs.fat dosfstools
    rm vol.img && mkfs.fat -C -F "$fat" -n CONTROL vol.img "$kib" > /dev/null || { echo "FAIL: mkfs.fat"; exit 1; }
    if [ "$name" = fat_volume_named_ntfs ]; then put_bytes 3 'NTFS    '; fi
    expected=$WRITING'\n' expected_status=0 image=installed ;;
fat32_volume_from_mformat)
    size=40M made_by mtools mformat env MTOOLS_SKIP_CHECK=1 mformat -i vol.img -F -v CONTROL ::
    bpb_last=89 expected=$WRITING'\n' expected_status=0 image=installed ;;
# The sector kept with dd before an install, installed again: it puts back
# every byte, as its jump is the one the install writes.
kept_fat12_sector_installed_again | kept_fat16_sector_installed_again | kept_fat32_sector_installed_again)
    need mkfs.fat dosfstools
    fat=${name:8:2} kib=1440
    if [ "$fat" = 16 ]; then kib=16384; elif [ "$fat" = 32 ]; then kib=40000; fi
    rm vol.img && mkfs.fat -C -F "$fat" -n CONTROL vol.img "$kib" > /dev/null || { echo "FAIL: mkfs.fat"; exit 1; }
    cp vol.img pristine.img
    dd if=vol.img of=sector0.bak bs=512 count=1 status=none
    run boot.bin a > /dev/null || { echo "FAIL: the first install ended with status $status"; exit 1; }
    cmp -s vol.img pristine.img && { echo "FAIL: the first install changed nothing"; exit 1; }
    boot=sector0.bak args=(sector0.bak a)
    expected=$(writing sector0.bak)'\n' expected_status=0 image=pristine ;;
volume_of_zeros)
    head -c 1024 /dev/zero > vol.img
    expected=$WRITING'\n' expected_status=0 image=installed ;;
# A whole disk on which the kernel has found no partitions opens, and its
# first sector, the partition table, is what stops the run.
whole_disk_the_kernel_has_not_scanned)
    [ "$(id -u)" = 0 ] || skip "loop devices need root"
    need losetup util-linux
    made_by fdisk sfdisk sh -c "echo 'start=2048, type=6' | sfdisk -q vol.img"
    loop_device=$(losetup -f --show vol.img) || skip "no loop device could be attached"
    [ ! -e "${loop_device}p1" ] || { echo "FAIL: the kernel found the partition of ${loop_device}"; exit 1; }
    map_drive_a "$loop_device"
    refused_volume 'a partition table' ;;
# Before the write the volume is locked and dismounted, so Windows keeps no
# copy of the old sector to write back; a volume Wine won't dismount, an
# image, is unlocked again and written as before.
image_locked_then_unlocked_as_it_cannot_be_dismounted)
    traced_calls='lock dismount unlock write'
    expected=$WRITING'\n' expected_status=0 image=installed ;;
volume_on_a_device_locked_and_dismounted)
    [ "$(id -u)" = 0 ] || skip "loop devices need root"
    need losetup util-linux
    need mkfs.fat dosfstools
    rm vol.img && mkfs.fat -C -F 12 -n DEVICE vol.img 1440 > /dev/null || { echo "FAIL: mkfs.fat"; exit 1; }
    loop_device=$(losetup -f --show vol.img) || skip "no loop device could be attached"
    map_drive_a "$loop_device"
    traced_calls='lock dismount write'
    expected=$WRITING'\n' expected_status=0 image=installed ;;
device_refuses_the_write)
    [ -c /dev/full ] || skip "no /dev/full"
    map_drive_a /dev/full
    expected=$WRITE_FAILED image=none ;;
*)
    echo "unknown case: $name"
    exit 1 ;;
esac

cp vol.img vol.orig
if [ -f "$boot" ]; then cp "$boot" boot.orig; fi
# Set after the copies, which an ordinary user could not make of a file he
# may not read; and given back before the files are compared.
if [ -n "${volume_mode:-}" ]; then chmod "$volume_mode" vol.img; fi
if [ -n "${boot_mode:-}" ]; then chmod "$boot_mode" "$boot"; fi

if [ "${as_nobody:-0}" = 1 ] && [ "$(id -u)" = 0 ]; then
    # Root may read and write any file; run as nobody so the permission holds.
    [ "$platform" = posix ] || skip "needs privileges dropped, which wine can't do here"
    need setpriv util-linux
    cp "$bin" ./tolmarix-copy
    bin=$dir/tolmarix-copy
    runner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

if [ -n "$inject" ]; then
    # Only calls on the volume, the link or what it points to, are touched,
    # or on the file a row names.
    need strace strace
    strace -o /dev/null true 2> /dev/null || skip "strace can't trace here"
    # LeakSanitizer can't work under ptrace; the other rows look for leaks.
    export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
    runner=(strace -f -o /dev/null -P "$inject_path" -e inject="$inject")
fi

# wait_for_output FORMAT: waits up to ten seconds for out.txt to be exactly
# what FORMAT gives.
wait_for_output() {
    # shellcheck disable=SC2059
    printf "$1" > want.txt
    for _ in $(seq 1 100); do
        if cmp -s out.txt want.txt; then return 0; fi
        sleep 0.1
    done
    echo "FAIL: while the volume waits, standard output is not what it should be:"
    od -c out.txt
    failed=1
}

# is_open FILE: whether any process has FILE open. One find, not a readlink
# for each descriptor, which took a second and let the holder finish
# between two looks.
is_open() {
    find /proc/[0-9]*/fd -maxdepth 1 -lname "$dir/$1" -print -quit 2> /dev/null | grep -q .
}

# type_into_cmd LINE...: types each line into Wine's cmd in a terminal, once
# cmd shows its prompt, then exits; what the terminal showed goes to out.txt.
type_into_cmd() {
    local line size
    mkfifo keys
    timeout 120 script -qfec "${wine[*]} cmd 2> stderr.txt" /dev/null < keys > terminal.txt &
    local terminal=$!
    exec 3> keys
    for line in "$@" exit; do
        wait_for_prompt || { echo "FAIL: cmd showed no prompt before: $line"; cat terminal.txt; failed=1; break; }
        size=$(stat -c %s terminal.txt)
        printf '%s\r' "$line" >&3
        for _ in $(seq 1 100); do
            [ "$(stat -c %s terminal.txt)" != "$size" ] && break
            sleep 0.1
        done
    done
    exec 3>&-
    wait $terminal
    plain_terminal terminal.txt > out.txt
}

# wait_for_prompt: waits up to 30 seconds for the terminal to end with cmd's
# prompt, a drive, a path and ">".
wait_for_prompt() {
    for _ in $(seq 1 300); do
        plain_terminal terminal.txt | perl -0777 -ne 'exit(!/[A-Z]:\\[^\n>]*>\z/)' && return 0
        sleep 0.1
    done
    return 1
}

# volume_calls TRACE: what was asked of the volume's write handle, in order,
# as Wine's file channel traced it: the thread and handle of the first lock,
# dismount or unlock, then each of those and each write by that thread on
# that handle. Wine's own processes trace their calls too, with handles of
# the same numbers.
volume_calls() {
    perl -ne '
        if (/^(\w+):trace:file:NtFsControlFile \((0x[0-9a-f]+),(?:[^,]*,){4}0x(0009001[8c]|00090020),/) {
            ($thread, $handle) = ($1, $2) unless defined $handle;
            print {"00090018" => "lock ", "0009001c" => "unlock ", "00090020" => "dismount "}->{$3}
                if $1 eq $thread && $2 eq $handle;
        } elsif (defined $handle && /^\Q$thread\E:trace:file:NtWriteFile \(\Q$handle\E,/) {
            print "write ";
        }' "$1" | sed 's/ $//'
}

if [ -n "${readme_steps:-}" ]; then
    need cpack cmake
    need unzip unzip
    need mkfs.fat dosfstools
    need fsck.fat dosfstools
    source_tree=${TOLMARIX_SOURCE:?TOLMARIX_SOURCE names the source tree}
    # The .zip as the package workflow makes it, from this build: win64 or
    # win32, whose folder the guide's lines then name.
    cpack_config=${TOLMARIX_CPACK_CONFIG:?TOLMARIX_CPACK_CONFIG names the CPack configuration of the build}
    system=$(sed -n 's/^set(CPACK_SYSTEM_NAME "\(.*\)")$/\1/p' "$cpack_config")
    cpack -G ZIP --config "$cpack_config" -B "$dir/package" > cpack.txt 2>&1 || { cat cpack.txt; echo "FAIL: cpack"; exit 1; }
    tools=$WINEPREFIX/drive_c/Tools
    rm -rf "$tools" && mkdir -p "$tools"
    trap 'rm -rf "$tools"; cleanup' EXIT
    unzip -q "$dir"/package/tolmarix-*-"$system".zip -d "$tools" || { echo "FAIL: no $system .zip"; exit 1; }
    mkfs.fat -C -F 12 -n WINSTEPS e.img 1440 > /dev/null
    cp e.img e.orig
    map_drive e "$dir/e.img"
    # The lines of the Windows guide's step 4, which the README's quick
    # start repeats.
    # shellcheck source=../../.ci/readme-blocks
    (cd "$source_tree" && . .ci/readme-blocks && doc_block docs/windows.md '## 4. Run it') > guide-steps.txt
    (cd "$source_tree" && . .ci/readme-blocks && readme_block '## Quick start on Windows') | cmp -s - guide-steps.txt ||
        { echo "FAIL: the README's Command Prompt block is not the Windows guide's"; failed=1; }
    mapfile -t steps < <(sed "s/-win64/-$system/g" guide-steps.txt)
    echo "The Windows guide's Command Prompt lines:"
    printf '    %s\n' "${steps[@]}"
    [ ${#steps[@]} -gt 0 ] || { echo "FAIL: the Windows guide has no Command Prompt block"; exit 1; }
    type_into_cmd "${steps[@]}"
    cat out.txt
    examples=$(find "$tools" -type d -name examples)
    for line in 'TOLMARIX - Writes a boot sector from a file (Win32 version).' 'Reading BPB from \\.\E:...' \
        'Reading bootprogram hello_boot.bin...' 'Writing new boot sector on \\.\E:...'; do
        grep -qxF "$line" out.txt || { echo "FAIL: the terminal did not show: $line"; failed=1; }
    done
    [ "$(grep -A1 '>echo %errorlevel%$' out.txt | sed -n 2p)" = 0 ] ||
        { echo "FAIL: echo %errorlevel% did not print 0"; failed=1; }
    # Wine has no chkdsk; fsck.fat checks the volume in its place.
    installed_image e.orig "$examples/hello_boot.bin"
    cmp e.img expected.img || { echo "FAIL: drive E: is not the floppy with the sample installed"; failed=1; }
    fsck.fat -n e.img || { echo "FAIL: fsck.fat finds errors on drive E:"; failed=1; }
    [ $failed = 0 ] && echo "PASS: $name"
    exit $failed
elif [ -n "${held:-}" ]; then
    timeout 60 "${wine[@]}" cmd /c "ping -n 8 127.0.0.1 < $held_as > nul" > /dev/null 2>&1 &
    holder=$!
    for _ in $(seq 1 150); do
        if is_open "$held"; then break; fi
        sleep 0.2
    done
    is_open "$held" || { echo "FAIL: no other program came to hold $held open"; failed=1; }
    run "${args[@]}"
    wait $holder
elif [ "$name" = progress_shows_while_the_volume_is_slow ]; then
    run "${args[@]}" &
    pid=$!
    wait_for_output "$READING_BPB"
    timeout 10 dd if=vol.512 of=slow.vol status=none
    wait_for_output "$WRITING"
    timeout 10 cat slow.vol > written.img
    wait $pid
    status=$?
    installed_image vol.512 boot.bin
    cmp written.img expected.img || { echo "FAIL: the sector written is not the installed one"; failed=1; }
elif [ -n "${traced_calls:-}" ]; then
    WINEDEBUG=trace+file run "${args[@]}" 2> trace.txt
    calls=$(volume_calls trace.txt)
    [ "$calls" = "$traced_calls" ] ||
        { echo "FAIL: the volume's write handle was asked for \"$calls\", not \"$traced_calls\""; failed=1
          grep -E ':trace:file:(NtFsControlFile|NtWriteFile) \(' trace.txt; }
else
    run "${args[@]}"
fi

expect_output "$expected"
expect_status "$expected_status"
if [ -n "${volume_mode:-}" ]; then chmod u+rw vol.img; fi
if [ -n "${boot_mode:-}" ]; then chmod u+rw "$boot"; fi
case $image in
unchanged)
    cmp -s vol.img vol.orig || { echo "FAIL: the volume changed"; failed=1; } ;;
installed)
    installed_image vol.orig "$boot" "$bpb_last"
    cmp vol.img expected.img || { echo "FAIL: the volume is not the installed image"; failed=1; } ;;
pristine)
    cmp -s vol.img pristine.img || { echo "FAIL: the volume is not as it was before the first install"; failed=1; } ;;
partition)
    # Only the partition's first sector changes; the table before it stays.
    dd if=vol.orig of=partition.orig bs=512 skip=2048 status=none
    installed_image partition.orig "$boot"
    { head -c $((2048 * 512)) vol.orig; cat expected.img; } > expected-disk.img
    cmp vol.img expected-disk.img || { echo "FAIL: the disk is not the one with the partition installed"; failed=1; } ;;
esac
for letter in "${guarded[@]}"; do
    cmp -s "$letter.img" "$letter.orig" || { echo "FAIL: drive ${letter^^}: changed"; failed=1; }
done
if [ -f boot.orig ] && ! cmp -s "$boot" boot.orig; then
    echo "FAIL: the boot program changed"
    failed=1
fi
if [ "$bpb_last" = 89 ]; then
    # The whole FAT32 block is kept: fsck.fat finds nothing to mend (that the
    # code differs from the backup's it calls harmless and leaves), its
    # automatic repair changes no byte, and blkid reads the serial number and
    # label it read before.
    need fsck.fat dosfstools
    need blkid util-linux
    fsck.fat -n vol.img > fsck.txt 2>&1 || { cat fsck.txt; echo "FAIL: fsck.fat -n finds errors"; failed=1; }
    ! grep -i label fsck.txt || { echo "FAIL: fsck.fat finds the label changed"; failed=1; }
    cp vol.img repaired.img
    fsck.fat -a repaired.img > fsck.txt 2>&1 || { cat fsck.txt; echo "FAIL: fsck.fat -a finds errors"; failed=1; }
    cmp -s repaired.img vol.img || { echo "FAIL: fsck.fat -a changed the installed volume"; failed=1; }
    for tag in UUID LABEL; do
        before=$(blkid -p -s "$tag" -o value vol.orig) after=$(blkid -p -s "$tag" -o value vol.img)
        [ -n "$before" ] && [ "$before" = "$after" ] || { echo "FAIL: blkid's $tag was $before and is $after"; failed=1; }
    done
fi
[ $failed = 0 ] && echo "PASS: $name"
exit $failed
