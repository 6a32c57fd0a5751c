#include "common/base/profile.h"

#include <gtest/gtest.h>

#include "tests/common/test_support.h"

namespace {

const char* const kSample =
    "; settings of the gateway\r\n"
    "[System]\r\n"
    "Log_Level = 2 \r\n"
    "  INBOX=\tD:/IN/  \r\n"
    "Hex=0x1F\r\n"
    "Bad=12abc\r\n"
    "\r\n"
    "[iFile]\r\n"
    "txt=1\r\n"
    "XML=0\r\n"
    "doc = 1\r\n"
    "\r\n"
    "[Empty]\r\n";

}  // namespace

TEST(Profile, ReadsWithoutRegardToCaseAndBlanks) {
    TTempDir dir;
    WriteFile(dir.Path() + "USER.INI", kSample);
    TIniFile ini(dir.Path() + "USER.INI");
    EXPECT_EQ(ini.ReadString("SYSTEM", "log_level", "?"), "2");
    EXPECT_EQ(ini.ReadString("system", "INBOX", "?"), "D:/IN/");
    EXPECT_EQ(ini.ReadString("system", "missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("nosection", "INBOX", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("SYSTEM", "LOG_LEVEL", 7), 2);
    EXPECT_EQ(ini.ReadInteger("SYSTEM", "HEX", 7), 31);
    EXPECT_EQ(ini.ReadInteger("SYSTEM", "BAD", 7), 7);
    EXPECT_EQ(ini.ReadInteger("SYSTEM", "INBOX", 7), 7);
    EXPECT_TRUE(ini.ReadBool("SYSTEM", "HEX", false));
    EXPECT_TRUE(ini.ReadBool("SYSTEM", "BAD", true));
    EXPECT_FALSE(ini.ReadBool("IFILE", "xml", true));
    EXPECT_TRUE(ini.SectionExists("empty"));
    EXPECT_FALSE(ini.SectionExists("none"));

    TStringList values;
    ini.ReadSectionValues("IFILE", values);
    ASSERT_EQ(values.Count(), 3u);
    EXPECT_EQ(values[0], "txt=1");
    EXPECT_EQ(values[2], "doc=1");
    EXPECT_EQ(values.Values("TXT"), "1");
    EXPECT_EQ(values.Values("pdf"), "");
    ini.ReadSectionValues("EMPTY", values);
    EXPECT_TRUE(values.Empty());
}

TEST(Profile, AMissingFileReadsAsDefaultsAndTheFirstWriteCreatesIt) {
    TTempDir dir;
    TIniFile ini(dir.Path() + "NEW.INI");
    EXPECT_EQ(ini.ReadInteger("HOUSEKEEP", "LAST_PURGE", 1), 1);
    ini.WriteInteger("HOUSEKEEP", "LAST_PURGE", 45306);
    ini.WriteBool("HOUSEKEEP", "AUTO_PURGE", true);
    EXPECT_EQ(ReadFile(dir.Path() + "NEW.INI"),
              "[HOUSEKEEP]\r\nLAST_PURGE=45306\r\nAUTO_PURGE=1\r\n");
}

TEST(Profile, AWriteChangesOnlyItsOwnValue) {
    TTempDir dir;
    const std::string file = dir.Path() + "USER.INI";
    WriteFile(file, kSample);
    TIniFile ini(file);

    // An existing key: only the bytes after "=" change.
    ini.WriteString("SYSTEM", "inbox", "E:/IN/");
    std::string expected = kSample;
    expected.replace(expected.find("\tD:/IN/  "), 9, "E:/IN/");
    EXPECT_EQ(ReadFile(file), expected);

    // A new key goes after the section's last entry, before the blank line.
    ini.WriteInteger("iFile", "csv", 1);
    expected.insert(expected.find("doc = 1\r\n") + 9, "csv=1\r\n");
    EXPECT_EQ(ReadFile(file), expected);

    // A new section goes at the end of the file.
    ini.WriteBool("HOUSEKEEP", "AUTO_PURGE", false);
    expected += "\r\n[HOUSEKEEP]\r\nAUTO_PURGE=0\r\n";
    EXPECT_EQ(ReadFile(file), expected);
    EXPECT_EQ(ini.ReadString("iFile", "CSV", ""), "1");
}

TEST(Profile, KeepsUnixLineEndsAndAMissingLastLineEnd) {
    TTempDir dir;
    const std::string file = dir.Path() + "DVR.INI";
    WriteFile(file, "[IDX]\nA=ORDERS");
    TIniFile ini(file);
    ini.WriteString("idx", "B", "BILLS");
    EXPECT_EQ(ReadFile(file), "[IDX]\nA=ORDERS\nB=BILLS\n");
    ini.WriteString("IDX", "a", "");
    EXPECT_EQ(ReadFile(file), "[IDX]\nA=\nB=BILLS\n");

    // A file reached through a link is changed where it lies; a byte-order mark is skipped.
    WriteFile(file, "\xEF\xBB\xBF[IDX]\nA=ORDERS\n");
    symlink(file.c_str(), (dir.Path() + "LINK.INI").c_str());
    TIniFile link(dir.Path() + "LINK.INI");
    EXPECT_EQ(link.ReadString("IDX", "A", ""), "ORDERS");
    link.WriteString("IDX", "A", "X");
    EXPECT_EQ(ReadFile(file), "\xEF\xBB\xBF[IDX]\nA=X\n");
}

TEST(Profile, RefusesValuesThatWouldBreakTheLine) {
    TTempDir dir;
    TIniFile ini(dir.Path() + "USER.INI");
    EXPECT_THROW(ini.WriteString("S", "K", "two\nlines"), EIniFileError);
    EXPECT_THROW(ini.WriteString("S", "K", std::string("nul\0byte", 8)), EIniFileError);
    EXPECT_FALSE(ini.SectionExists("S"));
}
