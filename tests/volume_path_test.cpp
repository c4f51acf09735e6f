#include "sector_io.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct PathCase {
    const char *name;
    std::string driveArgument;
    bool accepted;
    std::string path; // for an accepted argument
};

const std::string REFUSED;

const PathCase PATH_CASES[] = {
    {"LowerCaseLetter", "a", true, "\\\\.\\A:"},
    {"UpperCaseLetter", "A", true, "\\\\.\\A:"},
    {"LetterWithColon", "a:", true, "\\\\.\\A:"},
    {"LetterColonBackslashAsExplorerShowsIt", "E:\\", true, "\\\\.\\E:"},
    {"LetterColonSlash", "e:/", true, "\\\\.\\E:"},
    {"LastLetter", "z", true, "\\\\.\\Z:"},
    {"DigitIsKept", "1", true, "\\\\.\\1:"},
    {"PunctuationJustBeforeLowerCaseIsKept", "`", true, "\\\\.\\`:"},
    {"PunctuationJustAfterLowerCaseIsKept", "{", true, "\\\\.\\{:"},
    {"NonAsciiByteIsKeptWhateverTheLocale", "\xE4", true, "\\\\.\\\xE4:"},
    {"EmptyArgumentLeavesThePrefixAlone", "", true, "\\\\.\\"},
    // Names and paths given by mistake would each name another drive.
    {"ThreeLettersAreNoDrive", "abc", false, REFUSED},
    {"ImageNameIsNoDrive", "disk.img", false, REFUSED},
    {"PathToAnImageIsNoDrive", "c:\\images\\floppy.img", false, REFUSED},
    {"TwoColonsAreNoDrive", "a::", false, REFUSED},
    {"PathBelowTheRootIsNoDrive", "a:\\b", false, REFUSED},
    {"LetterAndSlashWithoutColonIsNoDrive", "a/", false, REFUSED},
    {"NonAsciiLetterOfTwoBytesIsNoDrive", "\xC3\xA4", false, REFUSED},
};

void PrintTo(const PathCase &row, std::ostream *out)
{
    *out << row.name;
}

class VolumePath : public testing::TestWithParam<PathCase> {};

TEST_P(VolumePath, Text)
{
    EXPECT_EQ(IsDriveArgument(GetParam().driveArgument.c_str()), GetParam().accepted);
    if (!GetParam().accepted)
        return;
    // Like the run, take the first character, which is the terminator of an
    // empty argument.
    const ::VolumePath path = MakeVolumePath(GetParam().driveArgument.c_str()[0]);
    EXPECT_EQ(path.back(), '\0') << "the path is not terminated";
    EXPECT_STREQ(path.data(), GetParam().path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Drives, VolumePath, testing::ValuesIn(PATH_CASES),
                         [](const testing::TestParamInfo<PathCase> &row) { return row.param.name; });

} // namespace
