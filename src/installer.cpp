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

// The message for a volume whose first sector holds what the new one would
// destroy, or null when it may be written: a FAT volume, and a sector that
// holds nothing anyone can name.
const char *Refusal(VolumeKind kind)
{
    switch (kind) {
    case VolumeKind::Ntfs:
        return "\nError: %s holds an NTFS file system, not FAT; nothing was written\n";
    case VolumeKind::ExFat:
        return "\nError: %s holds an exFAT file system, not FAT; nothing was written\n";
    case VolumeKind::ReFs:
        return "\nError: %s holds a ReFS file system, not FAT; nothing was written\n";
    case VolumeKind::BitLocker:
        return "\nError: %s holds a BitLocker volume, not FAT; nothing was written\n";
    case VolumeKind::Luks:
        return "\nError: %s holds a LUKS encryption header, not FAT; nothing was written\n";
    case VolumeKind::Xfs:
        return "\nError: %s holds an XFS file system, not FAT; nothing was written\n";
    case VolumeKind::PartitionTable:
        return "\nError: %s holds a partition table, not FAT; nothing was written\n";
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
    const char *const refusal = Refusal(RecognizeVolume(volumeSector));
    if (refusal != nullptr)
        return Fail(refusal, volumePath);

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
