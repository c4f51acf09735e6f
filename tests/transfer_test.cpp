// Sector transfers on real files, through the platform's own file calls.
#include "byte_pattern.h"
#include "sector_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool ON_WINDOWS = true;
#else
constexpr bool ON_WINDOWS = false;
#endif

enum class Op { Read, Write };
enum class Target { Missing, Directory, File, DevFull };

struct TransferCase {
    const char *name;
    Op op;
    Target target;
    std::size_t fileSize;
    TransferStatus status;
    TransferStatus windowsStatus;
    std::size_t bytes;
};

const TransferCase TRANSFER_CASES[] = {
    {"ReadingAMissingFileFailsToOpen", Op::Read, Target::Missing, 0, TransferStatus::OpenFailed,
     TransferStatus::OpenFailed, 0},
    {"WritingAMissingFileFailsToOpenAndCreatesNothing", Op::Write, Target::Missing, 0, TransferStatus::OpenFailed,
     TransferStatus::OpenFailed, 0},
    // Windows refuses to open a directory as a file; POSIX opens it and the read fails.
    {"ReadingADirectory", Op::Read, Target::Directory, 0, TransferStatus::Failed, TransferStatus::OpenFailed, 0},
    {"ReadingAnEmptyFileMovesNothing", Op::Read, Target::File, 0, TransferStatus::Done, TransferStatus::Done, 0},
    {"ReadingA100ByteFileLeavesTheRestOfTheSector", Op::Read, Target::File, 100, TransferStatus::Done,
     TransferStatus::Done, 100},
    {"ReadingA2000ByteFileTakesItsFirstSector", Op::Read, Target::File, 2000, TransferStatus::Done,
     TransferStatus::Done, 512},
    {"WritingKeepsEverythingAfterTheFirstSector", Op::Write, Target::File, 2000, TransferStatus::Done,
     TransferStatus::Done, 512},
    {"WritingADeviceThatIsFullFails", Op::Write, Target::DevFull, 0, TransferStatus::Failed, TransferStatus::Failed, 0},
};

void WriteFileBytes(const fs::path &path, const Bytes &bytes)
{
    std::ofstream(path, std::ios::binary) << std::string(bytes.begin(), bytes.end());
}

Bytes ReadFileBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A directory of its own, so that builds whose tests run side by side never
// share one.
fs::path MakeTemporaryDirectory(const std::string &name)
{
    std::random_device random;
    for (;;) {
        fs::path dir = fs::temp_directory_path() / ("tolmarix-" + name + "-" + std::to_string(random()));
        if (fs::create_directory(dir))
            return dir;
    }
}

void PrintTo(const TransferCase &row, std::ostream *out)
{
    *out << row.name;
}

class Transfer : public testing::TestWithParam<TransferCase> {};

TEST_P(Transfer, Result)
{
    const TransferCase &c = GetParam();

    const fs::path dir = MakeTemporaryDirectory(c.name);
    fs::path path = dir / "file";
    const Bytes original = Pattern(c.fileSize, 7);
    if (c.target == Target::Directory)
        fs::create_directory(path);
    if (c.target == Target::File)
        WriteFileBytes(path, original);
    if (c.target == Target::DevFull)
        path = "/dev/full";

    BootSector before{};
    before.fill(0xA5);
    BootSector sector = before;
    const std::string name = path.string();
    const TransferResult result =
        c.op == Op::Read ? ReadSector(name.c_str(), 0, sector) : WriteSector(name.c_str(), sector);

    EXPECT_EQ(result.status, ON_WINDOWS ? c.windowsStatus : c.status);
    EXPECT_EQ(result.bytes, c.bytes);
    if (result.status == TransferStatus::OpenFailed) {
        EXPECT_EQ(sector, before) << "a failed open changed the sector";
    }
    if (c.target == Target::Missing) {
        EXPECT_FALSE(fs::exists(path)) << "the open created the file";
    }
    if (c.target == Target::File && c.op == Op::Read) {
        for (std::size_t i = 0; i < SECTOR_SIZE; ++i) {
            EXPECT_EQ(sector[i], i < original.size() ? original[i] : before[i]) << "offset " << i;
        }
    }
    if (c.target == Target::File && c.op == Op::Write) {
        Bytes expected = original;
        std::copy(sector.begin(), sector.end(), expected.begin());
        EXPECT_EQ(ReadFileBytes(path), expected) << "the file was truncated, extended or written elsewhere";
    }
    fs::remove_all(dir);
}

// Windows has no /dev/full; there the command-line table maps a drive to it.
std::vector<TransferCase> CasesForThisPlatform()
{
    std::vector<TransferCase> cases;
    std::copy_if(std::begin(TRANSFER_CASES), std::end(TRANSFER_CASES), std::back_inserter(cases),
                 [](const TransferCase &c) { return !ON_WINDOWS || c.target != Target::DevFull; });
    return cases;
}

INSTANTIATE_TEST_SUITE_P(RealFiles, Transfer, testing::ValuesIn(CasesForThisPlatform()),
                         [](const testing::TestParamInfo<TransferCase> &row) { return row.param.name; });

} // namespace
