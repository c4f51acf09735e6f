#include "boot_sector.h"

#include <cstring>
#include <string_view>

namespace {

using namespace std::string_view_literals;

// The OEM name field, bytes 3 to 10, names these file systems:
//  - NTFS: "NTFS    " (Microsoft, "How NTFS Works", Windows Server 2003
//    Technical Reference, "NTFS Boot Sector"; mkntfs writes it);
//  - exFAT: "EXFAT   ", its FileSystemName (Microsoft's exFAT file system
//    description, 3.1.2; mkfs.exfat writes it), whose bytes 11 to 63
//    must be zero (3.1.3), so it never has a FAT parameter block;
//  - ReFS: "ReFS" and four zero bytes (no Microsoft page gives ReFS's
//    layout, and no Debian tool makes one: this is its published
//    description, not tried on a real ReFS volume);
//  - BitLocker: "-FVE-FS-", the signature of its volume header (no
//    Microsoft page gives it and no Debian tool makes it; cryptsetup's
//    BITLK support reads it).
constexpr std::size_t OEM_NAME_FIRST = 3;
constexpr std::string_view NTFS_NAME = "NTFS    "sv;
constexpr std::string_view EXFAT_NAME = "EXFAT   "sv;
constexpr std::string_view REFS_NAME = "ReFS\0\0\0\0"sv;
constexpr std::string_view BITLOCKER_NAME = "-FVE-FS-"sv;

// Linux volumes whose first bytes are their own header:
//  - LUKS, versions 1 and 2: "LUKS" BA BE (the LUKS1 and LUKS2 on-disk
//    format documents; cryptsetup luksFormat writes it);
//  - XFS: the superblock's magic "XFSB" (XFS Algorithms & Data Structures,
//    "Superblocks"; mkfs.xfs writes it).
constexpr std::string_view LUKS_MAGIC = "LUKS\xBA\xBE"sv;
constexpr std::string_view XFS_MAGIC = "XFSB"sv;

// A master boot record: four 16-byte partition entries from offset 446,
// each starting with its boot indicator, 80 for the active partition and
// 00 for the others, with the partition's type at +4 (0 for an unused
// entry), and 55 AA at 510. A GPT disk's protective MBR is one, with one
// entry of type EE (UEFI 2.11, 5.2.1 "Legacy Master Boot
// Record" and 5.2.3 "Protective MBR"; Microsoft's "Windows and GPT FAQ").
constexpr std::size_t PARTITION_ENTRIES_FIRST = 446;
constexpr std::size_t PARTITION_ENTRY_SIZE = 16;
constexpr std::size_t PARTITION_TYPE = 4;
constexpr std::size_t SIGNATURE_FIRST = 510;

bool Holds(const BootSector &sector, std::size_t offset, std::string_view text)
{
    return std::memcmp(&sector[offset], text.data(), text.size()) == 0;
}

unsigned Little16(const BootSector &sector, std::size_t offset)
{
    return sector[offset] | (static_cast<unsigned>(sector[offset + 1]) << 8U);
}

// As Microsoft's FAT document ("FAT: General Overview of On-Disk
// Format", 1.03, "Boot Sector and BPB") states the fields: 512, 1024, 2048
// or 4096 bytes per sector; a power of two up to 128 sectors per cluster;
// at least one reserved sector, the boot sector itself; at least one FAT.
// Windows's FAT driver looks at these among others before it mounts a
// volume (FatIsBootSectorFat in Microsoft's fastfat sample).
bool HasFatParameterBlock(const BootSector &sector)
{
    const unsigned bytesPerSector = Little16(sector, 11);
    const unsigned sectorsPerCluster = sector[13];
    const unsigned reservedSectors = Little16(sector, 14);
    const unsigned fats = sector[16];
    const bool sectorSize =
        bytesPerSector == 512 || bytesPerSector == 1024 || bytesPerSector == 2048 || bytesPerSector == 4096;
    // One byte holds no power of two above 128.
    const bool clusterSize = sectorsPerCluster != 0 && (sectorsPerCluster & (sectorsPerCluster - 1)) == 0;
    return sectorSize && clusterSize && reservedSectors != 0 && fats != 0;
}

// FAT32 keeps 0 in the 16-bit sectors per FAT and its own count at 36; that
// 0 is what tells it from FAT12 and FAT16 (Windows's FAT driver, IsBpbFat32
// in the fastfat sample's fat.h). Zeros and bytes nobody can name have it
// too, but no parameter block, and keep the shorter layout.
bool HasFat32ParameterBlock(const BootSector &sector)
{
    return HasFatParameterBlock(sector) && Little16(sector, 22) == 0;
}

bool HoldsPartitionTable(const BootSector &sector)
{
    if (sector[SIGNATURE_FIRST] != 0x55 || sector[SIGNATURE_FIRST + 1] != 0xAA)
        return false;
    bool used = false;
    for (std::size_t entry = PARTITION_ENTRIES_FIRST; entry < SIGNATURE_FIRST; entry += PARTITION_ENTRY_SIZE) {
        if (sector[entry] != 0x00 && sector[entry] != 0x80)
            return false;
        used = used || sector[entry + PARTITION_TYPE] != 0;
    }
    return used;
}

} // namespace

// On FAT32 the whole of its longer block is kept: Windows's FAT driver keeps
// its dirty bit at 65 and takes the serial number from 67, and fsck.fat
// writes 66 to 89 back when they are not a parameter block's, over the code.
void MergeBootSector(BootSector &image, const BootSector &volume)
{
    const bool fat32 = HasFat32ParameterBlock(volume);
    const std::array<unsigned char, 3> &jump = fat32 ? FAT32_JUMP_BYTES : JUMP_BYTES;
    const std::size_t last = fat32 ? FAT32_BPB_LAST : BPB_LAST;
    for (std::size_t i = 0; i < jump.size(); ++i)
        image[i] = jump[i];
    for (std::size_t i = BPB_FIRST; i <= last; ++i)
        image[i] = volume[i];
}

VolumeKind RecognizeVolume(const BootSector &sector)
{
    if (HasFatParameterBlock(sector))
        return VolumeKind::Fat;
    if (Holds(sector, OEM_NAME_FIRST, NTFS_NAME))
        return VolumeKind::Ntfs;
    if (Holds(sector, OEM_NAME_FIRST, EXFAT_NAME))
        return VolumeKind::ExFat;
    if (Holds(sector, OEM_NAME_FIRST, REFS_NAME))
        return VolumeKind::ReFs;
    if (Holds(sector, OEM_NAME_FIRST, BITLOCKER_NAME))
        return VolumeKind::BitLocker;
    if (Holds(sector, 0, LUKS_MAGIC))
        return VolumeKind::Luks;
    if (Holds(sector, 0, XFS_MAGIC))
        return VolumeKind::Xfs;
    if (HoldsPartitionTable(sector))
        return VolumeKind::PartitionTable;
    return VolumeKind::Unrecognized;
}
