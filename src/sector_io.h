// The volume path, and one-sector transfers between a BootSector and the
// start of a file or raw volume. Nothing here prints: results go back to the
// caller, which decides what to tell the user.
#ifndef TOLMARIX_SECTOR_IO_H
#define TOLMARIX_SECTOR_IO_H

#include "boot_sector.h"

#include <array>
#include <cstddef>
#include <cstdint>

enum class TransferStatus {
    Done,       // opened, moved, and (for a write) flushed and closed
    OpenFailed, // nothing was read or written
    Failed,     // opened, but the read, write, flush or close failed
};

struct TransferResult {
    TransferStatus status;
    std::size_t bytes; // what the read or write call reports it moved
};

// "\\.\X:" and its terminator.
constexpr std::size_t VOLUME_PATH_SIZE = 7;
using VolumePath = std::array<char, VOLUME_PATH_SIZE>;

// Whether `argument` can be taken as a drive: empty, one byte, that byte and a
// colon, or those and a backslash or slash ("E:\" as Explorer shows a drive).
// Anything else is a file name or a path given by mistake, and must not be
// taken for whatever drive its first character happens to name.
bool IsDriveArgument(const char *argument);

// "\\.\X:" for the drive character X, with a-z mapped to A-Z and every other
// byte kept as it is. A NUL drive character ends the text there, leaving the
// bare prefix "\\.\".
VolumePath MakeVolumePath(char drive);

// One read of up to SECTOR_SIZE bytes from offset 0 of `path`; a short file
// leaves the rest of `sector` as it was. On OpenFailed `sector` is untouched.
TransferResult ReadSector(const char *path, std::uint32_t shareMode, BootSector &sector);

// One write of SECTOR_SIZE bytes to offset 0 of `path`, which must exist,
// flushed before the handle is closed so a late device error is not lost.
// A volume whose lock can be had is locked and dismounted before the write,
// through the same handle; whether it could be changes nothing else.
TransferResult WriteSector(const char *path, const BootSector &sector);

#endif
