#include "sector_io.h"

#include "win32_api.h"

namespace {

constexpr std::size_t DRIVE_INDEX = 4;

char UpperAscii(char c)
{
    // Not toupper(): its result depends on the locale, and a byte of 128 or
    // above must reach the path unchanged.
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    return c;
}

bool Control(HANDLE volume, DWORD code)
{
    DWORD returned = 0;
    return DeviceIoControl(volume, code, nullptr, 0, nullptr, 0, &returned, nullptr) != 0;
}

// Windows's FAT driver keeps sector 0 of a mounted volume in its cache and
// writes that copy back whenever it marks the volume dirty or clean. It
// purges the cache once for our handle, before its first write, and a copy
// cached again in between would later be written over the new sector. Locked, then dismounted,
// the volume has no cache and no one else's handles left, and it is mounted
// anew, from what is on the disk, when it is next used. When the lock can't
// be had (a file on the volume is open) the write goes as it always has. A
// lock without the dismount would be worse than none, since the driver
// skips that purge for a locked volume, so it is given back. Whether the
// unlock answers or not, the write comes next.
void TakeFromItsFileSystem(HANDLE volume)
{
    if (Control(volume, FSCTL_LOCK_VOLUME) && !Control(volume, FSCTL_DISMOUNT_VOLUME))
        Control(volume, FSCTL_UNLOCK_VOLUME);
}

} // namespace

bool IsDriveArgument(const char *argument)
{
    if (argument[0] == '\0' || argument[1] == '\0')
        return true;
    if (argument[1] != ':')
        return false;
    const char separator = argument[2];
    return separator == '\0' || ((separator == '\\' || separator == '/') && argument[3] == '\0');
}

VolumePath MakeVolumePath(char drive)
{
    // The drive character of an empty argument is its terminator, so the
    // text then ends after the prefix.
    VolumePath path = {'\\', '\\', '.', '\\', 'x', ':', '\0'};
    path[DRIVE_INDEX] = UpperAscii(drive);
    return path;
}

TransferResult ReadSector(const char *path, std::uint32_t shareMode, BootSector &sector)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, shareMode, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {TransferStatus::OpenFailed, 0};

    DWORD count = 0;
    const BOOL read = ReadFile(file, sector.data(), static_cast<DWORD>(sector.size()), &count, nullptr);
    // Closing a handle that was only read from cannot lose data.
    CloseHandle(file);
    return {read != 0 ? TransferStatus::Done : TransferStatus::Failed, count};
}

TransferResult WriteSector(const char *path, const BootSector &sector)
{
    HANDLE volume = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return {TransferStatus::OpenFailed, 0};

    TakeFromItsFileSystem(volume);
    DWORD count = 0;
    bool ok = WriteFile(volume, sector.data(), static_cast<DWORD>(sector.size()), &count, nullptr) != 0;
    // A device may report a write error only when its cache is flushed.
    ok = ok && FlushFileBuffers(volume) != 0;
    // The handle is closed whatever happened before, and its failure counts.
    ok = CloseHandle(volume) != 0 && ok;
    return {ok ? TransferStatus::Done : TransferStatus::Failed, count};
}
