// The run against a fake platform: every failure a transfer can meet, what
// the user is told, the exit status, and what became of the volume.
#include "fake_platform.h"
#include "installer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

const std::string VOLUME = "\\\\.\\A:";
const std::string BANNER = "TOLMARIX - Writes a boot sector from a file (Win32 version).\n";
const std::string READING_BPB = BANNER + "Reading BPB from \\\\.\\A:...";
const std::string READING_BOOT = READING_BPB + "\nReading bootprogram boot.bin...";
const std::string WRITING = READING_BOOT + "\nWriting new boot sector on \\\\.\\A:...";

enum class After { Unchanged, Installed, Any };

// Bytes put over the volume's own at an offset of its first sector.
struct Patch {
    std::size_t offset;
    Bytes bytes;
};

Bytes Text(std::string_view text)
{
    return {text.begin(), text.end()};
}

// A parameter block with these bytes per sector (little-endian), sectors per
// cluster, reserved sectors and FATs.
Patch Bpb(unsigned bytesPerSector, unsigned char sectorsPerCluster, unsigned char reserved, unsigned char fats)
{
    return {11,
            {static_cast<unsigned char>(bytesPerSector & 0xFFU), static_cast<unsigned char>(bytesPerSector >> 8U),
             sectorsPerCluster, reserved, 0, fats}};
}

// A master boot record's four boot indicators and its first entry's type.
std::vector<Patch> Mbr(unsigned char active, unsigned char type)
{
    return {{446, {active, 0, 0, 0, type}}, {462, {0}}, {478, {0}}, {494, {0}}, {510, {0x55, 0xAA}}};
}

std::vector<Patch> With(std::vector<Patch> patches, const Patch &patch)
{
    patches.push_back(patch);
    return patches;
}

const Patch NTFS_NAME = {3, Text("NTFS    ")};

struct RunCase {
    const char *name;
    FakeFault fault;
    std::size_t bootProgramSize;
    std::string output;
    int status;
    std::size_t opens;
    After volume;
    const char *drive = "a";        // the drive argument
    std::vector<Patch> sector = {}; // over the volume's first sector
    // What is asked of the write's handle, in order, where a row looks.
    std::optional<std::vector<std::string>> writeHandleCalls = std::nullopt;
};

// The volume as it should be after an install, worked out region by region.
Bytes Installed(const Bytes &volume, const Bytes &bootProgram)
{
    Bytes expected = volume;
    for (std::size_t i = 0; i < 512; ++i) {
        if (i < 3)
            expected[i] = Bytes{0xEB, 0x3C, 0x90}[i];
        else if (i < 11 || i > 61)
            expected[i] = i < bootProgram.size() ? bootProgram[i] : 0;
    }
    return expected;
}

FakeFault Fault(FakeCall call, const std::string &path, DWORD access, BOOL result, DWORD bytes)
{
    return {call, path, access, result, bytes};
}

FakeFault NoFault()
{
    return Fault(FakeCall::None, "", 0, 0, 0);
}

// A volume whose first sector holds `what`: read, named, and left alone,
// the boot program never opened.
RunCase Refused(const char *name, const std::string &what, std::vector<Patch> sector)
{
    const std::string output = READING_BPB + "\nError: \\\\.\\A: holds " + what + ", not FAT; nothing was written\n";
    return {name, NoFault(), 512, output, 1, 1, After::Unchanged, "a", std::move(sector)};
}

// A volume that is installed as any other.
RunCase Written(const char *name, std::vector<Patch> sector)
{
    return {name, NoFault(), 512, WRITING + "\n", 0, 3, After::Installed, "a", std::move(sector)};
}

// A run whose write's handle is asked for these calls, in order, when the
// volume answers `fault`; the volume is installed all the same.
RunCase Locking(const char *name, const FakeFault &fault, std::vector<std::string> calls)
{
    return {name, fault, 512, WRITING + "\n", 0, 3, After::Installed, "a", {}, std::move(calls)};
}

const RunCase RUN_CASES[] = {
    {"EveryCallSucceeds", NoFault(), 512, WRITING + "\n", 0, 3, After::Installed},
    {"BootProgramOf100BytesIsPaddedWithZeros", NoFault(), 100, WRITING + "\n", 0, 3, After::Installed},
    {"BootProgramOf2000BytesGivesItsFirstSector", NoFault(), 2000, WRITING + "\n", 0, 3, After::Installed},
    {"VolumeCannotBeOpened", Fault(FakeCall::Open, VOLUME, 0, 0, 0), 512, READING_BPB + "\nError opening \\\\.\\A:\n",
     1, 1, After::Unchanged},
    {"VolumeReadFails", Fault(FakeCall::Read, VOLUME, 0, 0, 0), 512, READING_BPB + "\nError reading \\\\.\\A:\n", 1, 1,
     After::Unchanged},
    {"VolumeReadFailsYetReportsAWholeSector", Fault(FakeCall::Read, VOLUME, 0, 0, 512), 512,
     READING_BPB + "\nError reading \\\\.\\A:\n", 1, 1, After::Unchanged},
    {"VolumeReadStopsOneByteShort", Fault(FakeCall::Read, VOLUME, 0, 1, 511), 512,
     READING_BPB + "\nError reading \\\\.\\A:\n", 1, 1, After::Unchanged},
    {"VolumeReadFailsAfterPartOfTheSector", Fault(FakeCall::Read, VOLUME, 0, 0, 100), 512,
     READING_BPB + "\nError reading \\\\.\\A:\n", 1, 1, After::Unchanged},
    {"BootProgramCannotBeOpened", Fault(FakeCall::Open, "boot.bin", 0, 0, 0), 512,
     READING_BOOT + "\nError opening boot.bin\n", 1, 2, After::Unchanged},
    {"BootProgramReadFails", Fault(FakeCall::Read, "boot.bin", 0, 0, 0), 512,
     READING_BOOT + "\nError reading boot.bin\n", 1, 2, After::Unchanged},
    {"ClosingAReadHandleFailsHarmlessly", Fault(FakeCall::Close, "boot.bin", 0, 0, 0), 512, WRITING + "\n", 0, 3,
     After::Installed},
    {"VolumeReadableButNotWritable", Fault(FakeCall::Open, VOLUME, GENERIC_WRITE, 0, 0), 512,
     WRITING + "\nError opening \\\\.\\A:\n", 1, 3, After::Unchanged},
    {"WriteFails", Fault(FakeCall::Write, VOLUME, 0, 0, 0), 512, WRITING + "\nError writing \\\\.\\A:\n", 1, 3,
     After::Any},
    {"WriteStopsOneByteShort", Fault(FakeCall::Write, VOLUME, 0, 1, 511), 512, WRITING + "\nError writing \\\\.\\A:\n",
     1, 3, After::Any},
    {"WriteMovesNothingYetSucceeds", Fault(FakeCall::Write, VOLUME, 0, 1, 0), 512,
     WRITING + "\nError writing \\\\.\\A:\n", 1, 3, After::Any},
    {"FlushReportsALateDeviceError", Fault(FakeCall::Flush, VOLUME, 0, 0, 0), 512,
     WRITING + "\nError writing \\\\.\\A:\n", 1, 3, After::Any},
    {"CloseAfterTheWriteFails", Fault(FakeCall::Close, VOLUME, GENERIC_WRITE, 0, 0), 512,
     WRITING + "\nError writing \\\\.\\A:\n", 1, 3, After::Any},
    // A file name given as the drive is no drive, and nothing is opened.
    {"ImageNameGivenAsTheDrive", NoFault(), 512, BANNER + "Usage: tolmarix bootprogram drive\n\n", 1, 0,
     After::Unchanged, "a.img"},
    // What the first sector shows decides whether it may be replaced; a
    // refused volume is read and left alone, and the boot program is never
    // opened.
    Refused("NtfsVolume", "an NTFS file system", {NTFS_NAME}),
    Refused("ExFatVolume", "an exFAT file system", {{3, Text("EXFAT   ")}, {11, Bytes(53, 0)}}),
    Refused("ReFsVolume", "a ReFS file system", {{3, Text({"ReFS\0\0\0\0", 8})}}),
    Refused("BitLockerVolume", "a BitLocker volume", {{3, Text("-FVE-FS-")}}),
    Refused("Luks1Header", "a LUKS encryption header", {{0, Text({"LUKS\xBA\xBE\0\1", 8})}}),
    Refused("Luks2Header", "a LUKS encryption header", {{0, Text({"LUKS\xBA\xBE\0\2", 8})}}),
    Refused("XfsSuperblock", "an XFS file system", {{0, Text("XFSB")}}),
    Refused("DosPartitionTable", "a partition table", Mbr(0x80, 0x06)),
    Refused("GptProtectiveMbr", "a partition table", Mbr(0x00, 0xEE)),
    // The layout some USB-ZIP sticks have: the one partition in the fourth
    // entry.
    Refused("PartitionTableWhoseOnlyEntryInUseIsTheFourth", "a partition table",
            {{446, Bytes(48, 0)}, {494, {0x80, 0, 0, 0, 0x06}}, {510, {0x55, 0xAA}}}),
    // Another file system's name over a parameter block that falls short of
    // FAT by one field.
    Refused("BytesPerSectorNotAPowerOfTwo", "an NTFS file system", {NTFS_NAME, Bpb(513, 1, 1, 2)}),
    Refused("BytesPerSectorOf256", "an NTFS file system", {NTFS_NAME, Bpb(256, 1, 1, 2)}),
    Refused("SectorsPerClusterNotAPowerOfTwo", "an NTFS file system", {NTFS_NAME, Bpb(512, 3, 1, 2)}),
    Refused("NoSectorsPerCluster", "an NTFS file system", {NTFS_NAME, Bpb(512, 0, 1, 2)}),
    Refused("NoReservedSector", "an NTFS file system", {NTFS_NAME, Bpb(512, 1, 0, 2)}),
    Refused("NoFat", "an NTFS file system", {NTFS_NAME, Bpb(512, 1, 1, 0)}),
    // A valid parameter block is FAT whatever else the sector holds; and
    // what nobody can name is written as it is.
    Written("Fat12Or16Volume", {Bpb(512, 1, 1, 2)}),
    Written("Fat32Volume", {Bpb(512, 8, 32, 2)}),
    Written("FatOf1024ByteSectors", {NTFS_NAME, Bpb(1024, 2, 1, 1)}),
    Written("FatOf2048ByteSectors", {NTFS_NAME, Bpb(2048, 64, 1, 1)}),
    Written("FatOf4096ByteSectorsAnd128SectorClusters", {NTFS_NAME, Bpb(4096, 128, 1, 1)}),
    Written("FatNamedNtfs", {NTFS_NAME, Bpb(512, 1, 1, 2)}),
    Written("FatWhoseCodeLooksLikeAPartitionTable", With(Mbr(0x80, 0x06), Bpb(512, 1, 1, 2))),
    Written("FatWhoseJumpLooksLikeLuks", {{0, Text({"LUKS\xBA\xBE\0\1", 8})}, Bpb(512, 1, 1, 2)}),
    Written("AllZeros", {{0, Bytes(512, 0)}}),
    Written("PartitionTableWithNoEntryInUse", {{446, Bytes(64, 0)}, {510, {0x55, 0xAA}}}),
    Written("PartitionTableWithoutItsSignature", With(Mbr(0x80, 0x06), {510, {0x55, 0xAB}})),
    Written("FourthBootIndicatorNeither00Nor80", With(Mbr(0x80, 0x06), {494, {0x7F}})),
    Written("BootIndicatorNeither00Nor80", Mbr(0x81, 0x06)),
    // The volume is taken from its file system before the write when it
    // can be, so no cached copy of the old sector outlives the new one.
    Locking("VolumeLockedAndDismountedBeforeTheWrite", NoFault(), {"lock", "dismount", "write", "flush", "close"}),
    Locking("LockRefusedSoTheWriteGoesAsBefore", Fault(FakeCall::Lock, VOLUME, 0, 0, 0),
            {"lock", "write", "flush", "close"}),
    Locking("DismountRefusedSoTheLockIsGivenBack", Fault(FakeCall::Dismount, VOLUME, 0, 0, 0),
            {"lock", "dismount", "unlock", "write", "flush", "close"}),
};

void PrintTo(const RunCase &row, std::ostream *out)
{
    *out << row.name;
}

class RunWithFakePlatform : public testing::TestWithParam<RunCase> {};

TEST_P(RunWithFakePlatform, Run)
{
    const RunCase &c = GetParam();
    Bytes volume = Pattern(1024, 7);
    for (const Patch &patch : c.sector)
        std::copy(patch.bytes.begin(), patch.bytes.end(), volume.begin() + static_cast<std::ptrdiff_t>(patch.offset));
    const Bytes bootProgram = Pattern(c.bootProgramSize, 13);
    FakeReset();
    FakeAddFile(VOLUME, volume);
    FakeAddFile("boot.bin", bootProgram);
    FakePlanFault(c.fault);

    const char *argv[] = {"tolmarix", "boot.bin", c.drive, nullptr};
    testing::internal::CaptureStdout();
    const int status = RunInstaller(3, argv);
    const std::string output = testing::internal::GetCapturedStdout();

    EXPECT_EQ(output, c.output);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(FakeOpens().size(), c.opens);
    EXPECT_EQ(FakeOpenHandles(), 0) << "a handle outlived its transfer";
    if (c.volume == After::Unchanged) {
        EXPECT_EQ(FakeFileContents(VOLUME), volume);
    }
    if (c.volume == After::Installed) {
        EXPECT_EQ(FakeFileContents(VOLUME), Installed(volume, bootProgram));
    }
    EXPECT_EQ(FakeFileContents("boot.bin"), bootProgram);
    if (c.writeHandleCalls) {
        EXPECT_EQ(FakeWriteHandleCalls(), *c.writeHandleCalls);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, RunWithFakePlatform, testing::ValuesIn(RUN_CASES),
                         [](const testing::TestParamInfo<RunCase> &row) { return row.param.name; });

// The three opens of a run, in order, with the access and sharing each needs.
TEST(RunWithFakePlatform, OpensVolumeThenBootProgramThenVolumeForWriting)
{
    FakeReset();
    FakeAddFile(VOLUME, Pattern(512, 3));
    FakeAddFile("my boot.bin", Pattern(512, 5));
    const char *argv[] = {"tolmarix", "my boot.bin", "a:", nullptr};
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunInstaller(3, argv), 0);
    testing::internal::GetCapturedStdout();

    const std::vector<std::string> expected = {
        "\\\\.\\A: access=0x80000000 share=0x2 security=none disposition=0x3 flags=0 template=none",
        "my boot.bin access=0x80000000 share=0 security=none disposition=0x3 flags=0 template=none",
        "\\\\.\\A: access=0x40000000 share=0x2 security=none disposition=0x3 flags=0 template=none",
    };
    EXPECT_EQ(FakeOpens(), expected);
}

} // namespace
