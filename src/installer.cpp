#include "installer.h"

#include "boot_sector.h"
#include "console.h"
#include "sector_io.h"
#include "win32_api.h"

#include <cstdio>

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;

// Each progress line is left open for the next message to end, and is pushed
// out at once so it shows before a slow drive starts to move.
void Progress(const char *format, const char *text)
{
    WriteOutput(format, text);
    // Output is best effort: the exit status is the run's answer.
    (void)std::fflush(stdout);
}

int Fail(const char *format, const char *path)
{
    WriteOutput(format, path);
    return EXIT_FAILED;
}

// What a volume's first sector holds that the new one would destroy, or
// null when it may be written: a FAT volume, and a sector that holds nothing
// anyone can name.
const char *Refused(VolumeKind kind)
{
    switch (kind) {
    case VolumeKind::Ntfs:
        return "an NTFS file system";
    case VolumeKind::ExFat:
        return "an exFAT file system";
    case VolumeKind::ReFs:
        return "a ReFS file system";
    case VolumeKind::BitLocker:
        return "a BitLocker volume";
    case VolumeKind::Luks:
        return "a LUKS encryption header";
    case VolumeKind::Xfs:
        return "an XFS file system";
    case VolumeKind::PartitionTable:
        return "a partition table";
    case VolumeKind::Fat:
    case VolumeKind::Unrecognized:
        break;
    }
    return nullptr;
}

} // namespace

int RunInstaller(int argc, const char *const *argv)
{
    StartOutput();
    WriteOutput("TOLMARIX - Writes a boot sector from a file (Win32 version).\n", "");
    // A file name given as the drive would otherwise name the drive of its
    // first letter, and that volume would be written.
    if (argc != 3 || !IsDriveArgument(argv[2])) {
        WriteOutput("Usage: tolmarix bootprogram drive\n\n", "");
        return EXIT_FAILED;
    }

    const char *const bootProgramPath = argv[1];
    const VolumePath volumeName = MakeVolumePath(argv[2][0]);
    const char *const volumePath = volumeName.data();
    alignas(SECTOR_ALIGNMENT) BootSector volumeSector{};
    alignas(SECTOR_ALIGNMENT) BootSector bootProgram{};

    Progress("Reading BPB from %s...", volumePath);
    TransferResult result = ReadSector(volumePath, FILE_SHARE_WRITE, volumeSector);
    if (result.status == TransferStatus::OpenFailed)
        return Fail("\nError opening %s\n", volumePath);
    // Going on without the whole sector would write a parameter block of
    // zeros, and the volume would no longer be readable.
    if (result.status != TransferStatus::Done || result.bytes != SECTOR_SIZE)
        return Fail("\nError reading %s\n", volumePath);
    // A drive can name another file system, an encrypted volume or a whole
    // disk as easily as a FAT volume, and its first sector would be lost.
    const char *const refused = Refused(RecognizeVolume(volumeSector));
    if (refused != nullptr) {
        WriteOutput("\nError: %s holds ", volumePath);
        return Fail("%s, not FAT; nothing was written\n", refused);
    }

    Progress("\nReading bootprogram %s...", bootProgramPath);
    result = ReadSector(bootProgramPath, 0, bootProgram);
    if (result.status == TransferStatus::OpenFailed)
        return Fail("\nError opening %s\n", bootProgramPath);
    // A short boot program is fine: the zeroed image pads it.
    if (result.status != TransferStatus::Done)
        return Fail("\nError reading %s\n", bootProgramPath);

    MergeBootSector(bootProgram, volumeSector);

    Progress("\nWriting new boot sector on %s...", volumePath);
    result = WriteSector(volumePath, bootProgram);
    if (result.status == TransferStatus::OpenFailed)
        return Fail("\nError opening %s\n", volumePath);
    if (result.status != TransferStatus::Done || result.bytes != SECTOR_SIZE)
        return Fail("\nError writing %s\n", volumePath);

    WriteOutput("\n", "");
    return EXIT_OK;
}
