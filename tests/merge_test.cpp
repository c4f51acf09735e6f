// The new sector compared whole, byte for byte, with one built region by
// region from the two images it is made of.
#include "boot_sector.h"

#include <gtest/gtest.h>

namespace {

// What the volume's sector holds besides its pattern: nothing more, a
// FAT16 parameter block, FAT32's, or FAT32's 0 at 22 without the rest of a
// parameter block.
enum class Volume { Pattern, Fat16, Fat32, ZeroAt22Only };

struct MergeCase {
    const char *name;
    unsigned bootSeed;      // 0: all zero; seeds 5 and 3 differ at 10, 11, 61, 62, 89 and 90
    std::size_t bootFilled; // bytes a short read put into the boot program image
    unsigned volumeSeed;    // 0: all zero
    Volume volume;
    std::size_t last; // the last byte the volume gives: 61, or 89 on FAT32
};

BootSector Pattern(unsigned seed, std::size_t filled)
{
    BootSector sector{};
    for (std::size_t i = 0; seed != 0 && i < filled; ++i)
        sector[i] = static_cast<unsigned char>((i * seed + seed) & 0xFFU);
    return sector;
}

BootSector VolumeSector(const MergeCase &c)
{
    BootSector sector = Pattern(c.volumeSeed, SECTOR_SIZE);
    if (c.volume == Volume::Pattern)
        return sector;
    // 512 bytes per sector, 8 per cluster, 32 reserved, 2 FATs.
    const unsigned char block[] = {0x00, 0x02, 8, 32, 0, 2};
    if (c.volume != Volume::ZeroAt22Only) {
        for (std::size_t i = 0; i < sizeof block; ++i)
            sector[11 + i] = block[i];
    }
    sector[22] = c.volume == Volume::Fat16 ? 0x20 : 0;
    sector[23] = 0;
    return sector;
}

const MergeCase MERGE_CASES[] = {
    {"WholeBootProgramOverWholeVolume", 5, 512, 3, Volume::Pattern, 61},
    {"BootProgramOf100BytesKeepsItsZeroTail", 5, 100, 3, Volume::Pattern, 61},
    {"BootProgramEndingInsideTheParameterBlock", 5, 40, 3, Volume::Pattern, 61},
    {"AllZeroVolumeGivesZeroParameterBlock", 5, 512, 0, Volume::Pattern, 61},
    {"AllZeroBootProgramGetsJumpAndParameterBlockOnly", 0, 0, 3, Volume::Pattern, 61},
    {"Fat16VolumeKeeps11To61", 5, 512, 3, Volume::Fat16, 61},
    {"Fat32VolumeKeeps11To89AndJumpsTo90", 5, 512, 3, Volume::Fat32, 89},
    {"Fat32VolumeUnderABootProgramOf70Bytes", 5, 70, 3, Volume::Fat32, 89},
    {"ZeroAt22WithoutAParameterBlockKeeps11To61", 5, 512, 3, Volume::ZeroAt22Only, 61},
};

void PrintTo(const MergeCase &row, std::ostream *out)
{
    *out << row.name;
}

class Merge : public testing::TestWithParam<MergeCase> {};

TEST_P(Merge, Sector)
{
    const MergeCase &c = GetParam();
    const BootSector bootProgram = Pattern(c.bootSeed, c.bootFilled);
    const BootSector volume = VolumeSector(c);

    // The jump lands on the first byte after the kept block.
    BootSector expected{};
    expected[0] = 0xEB;
    expected[1] = static_cast<unsigned char>(c.last + 1 - 2);
    expected[2] = 0x90;
    for (std::size_t i = 3; i <= 10; ++i)
        expected[i] = bootProgram[i];
    for (std::size_t i = 11; i <= c.last; ++i)
        expected[i] = volume[i];
    for (std::size_t i = c.last + 1; i < 512; ++i)
        expected[i] = bootProgram[i];

    BootSector image = bootProgram;
    MergeBootSector(image, volume);

    for (std::size_t i = 0; i < SECTOR_SIZE; ++i) {
        EXPECT_EQ(image[i], expected[i]) << "offset " << i;
    }
    EXPECT_EQ(volume, VolumeSector(c)) << "the volume's image was changed";
}

INSTANTIATE_TEST_SUITE_P(Regions, Merge, testing::ValuesIn(MERGE_CASES),
                         [](const testing::TestParamInfo<MergeCase> &row) { return row.param.name; });

} // namespace
