// The 512-byte boot sector image and the rule that builds a new boot
// sector from a boot program and a volume's BIOS parameter block.
#ifndef TOLMARIX_BOOT_SECTOR_H
#define TOLMARIX_BOOT_SECTOR_H

#include <array>
#include <cstddef>

constexpr std::size_t SECTOR_SIZE = 512;

// A value-initialised BootSector is all zeros, so a short read leaves the
// unfilled tail zero.
using BootSector = std::array<unsigned char, SECTOR_SIZE>;

// Where the run keeps its images. An uncached raw volume moves data straight
// to and from the caller's buffer, and Windows then wants it aligned to the
// device's sector size; 4096 covers every sector size in use.
constexpr std::size_t SECTOR_ALIGNMENT = 4096;

// x86 short jump over the parameter block, then a NOP: EB 3C lands on
// offset 2 + 0x3C = 62, the first byte after the range taken from the volume.
constexpr std::array<unsigned char, 3> JUMP_BYTES = {0xEB, 0x3C, 0x90};

// The FAT12/FAT16 parameter block with its extended block, inclusive:
//   11 bytes per sector      13 sectors per cluster   14 reserved sectors
//   16 number of FATs        17 root entries          19 total sectors (16-bit)
//   21 media descriptor      22 sectors per FAT       24 sectors per track
//   26 number of heads       28 hidden sectors        32 total sectors (32-bit)
//   36 drive number          37 reserved              38 extended signature
//   39 volume serial         43 volume label (11)     54 file system type (8)
constexpr std::size_t BPB_FIRST = 11;
constexpr std::size_t BPB_LAST = 61;

// FAT32's parameter block is longer: the same fields up to 35, with 0 in
// the 16-bit sectors per FAT at 22, then
//   36 sectors per FAT (32-bit)  40 FAT flags          42 version
//   44 root directory cluster    48 FSInfo sector      50 backup boot sector
//   52 reserved (12)             64 drive number       65 reserved: Windows's
//   dirty bit                    66 extended signature 67 volume serial
//   71 volume label (11)         82 file system type (8)
// and its code starts at 90, where EB 58 (2 + 0x58) lands.
constexpr std::array<unsigned char, 3> FAT32_JUMP_BYTES = {0xEB, 0x58, 0x90};
constexpr std::size_t FAT32_BPB_LAST = 89;

// What a volume's first sector shows the volume to be, as far as that one
// sector can tell.
// Fat: a valid FAT parameter block, FAT12, FAT16 or FAT32. Unrecognized:
// nothing named here, such as zeros or bytes nobody can name. The others
// are volumes and disks whose first sector is a header of their own, which a
// new boot sector would destroy; PartitionTable is a whole disk's master boot
// record, a GPT disk's protective one included.
enum class VolumeKind { Fat, Unrecognized, Ntfs, ExFat, ReFs, BitLocker, Luks, Xfs, PartitionTable };

// Looks at `sector` alone. A valid FAT parameter block makes it Fat whatever
// its OEM name and code bytes hold; only a sector without one is matched
// against the others.
VolumeKind RecognizeVolume(const BootSector &sector);

// Turns `image` (the boot program) into the new sector in place: the jump at
// 0..2 and the volume's parameter block, BPB_FIRST..BPB_LAST, or on a FAT32
// volume FAT32_JUMP_BYTES and BPB_FIRST..FAT32_BPB_LAST; every other byte is
// left as the boot program has it. `volume` is only read.
void MergeBootSector(BootSector &image, const BootSector &volume);

#endif
