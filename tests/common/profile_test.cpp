#include "common/base/profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "common/base/fileutil.h"
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
    // A file cut after the CR of its last line end: the new entry still gets a line of its own.
    WriteFile(file, "[IDX]\r\nA=ORDERS\r");
    ini.WriteString("IDX", "B", "BILLS");
    EXPECT_EQ(ini.ReadString("IDX", "B", ""), "BILLS");
    EXPECT_EQ(ReadFile(file), "[IDX]\r\nA=ORDERS\r\nB=BILLS\r\n");

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

TEST(Profile, OnePairOfMatchingQuotesAroundAValueIsNotPartOfIt) {
    TTempDir dir;
    WriteFile(dir.Path() + "USER.INI",
              "[SYSTEM]\r\nINBOX=\"/data/My Inbox\"\r\nOUTBOX= '/out' \r\nMIXED=\"/x'\r\n"
              "EMPTY=\"\"\r\nTWICE=\"\"a\"\"\r\n");
    TIniFile ini(dir.Path() + "USER.INI");
    EXPECT_EQ(ini.ReadString("SYSTEM", "INBOX", ""), "/data/My Inbox");
    EXPECT_EQ(ini.ReadString("SYSTEM", "OUTBOX", ""), "/out");
    EXPECT_EQ(ini.ReadString("SYSTEM", "MIXED", ""), "\"/x'");
    EXPECT_EQ(ini.ReadString("SYSTEM", "EMPTY", "?"), "");
    EXPECT_EQ(ini.ReadString("SYSTEM", "TWICE", ""), "\"a\"");
    TStringList values;
    ini.ReadSectionValues("SYSTEM", values);
    EXPECT_EQ(values.Values("INBOX"), "/data/My Inbox");
}

TEST(Profile, ConcurrentWritersOfOneFileLoseNoUpdate) {
    // Two copies of the gateway, each with threads that share one object or have their own.
    TTempDir dir;
    const std::string file = dir.Path() + "USER.INI";
    WriteFile(file, "[IDENTIFICATION]\r\nPASSWORD=/.&$Y[Y_\r\n");
    auto key = [](int p, int t) { return "K" + std::to_string(p) + std::to_string(t); };
    constexpr int kThreads = 3, kValues = 25;
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        if (const pid_t child = fork()) {
            children.push_back(child);
            continue;
        }
        TIniFile shared(file);
        std::atomic<bool> failed{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                TIniFile own(file);
                TIniFile& ini = t == 0 ? own : shared;
                try {
                    for (int v = 0; v < kValues; ++v)
                        ini.WriteInteger("S" + std::to_string(v), key(p, t), v);
                } catch (const EIniFileError&) {
                    failed = true;
                }
            });
        for (std::thread& thread : threads) thread.join();
        _exit(failed ? 1 : 0);
    }
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
    }
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("IDENTIFICATION", "PASSWORD", ""), "/.&$Y[Y_");
    for (int p = 0; p < 2; ++p)
        for (int t = 0; t < kThreads; ++t)
            for (int v = 0; v < kValues; ++v)
                ASSERT_EQ(ini.ReadInteger("S" + std::to_string(v), key(p, t), -1), v);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"USER.INI"});
}

TEST(Profile, AFileThatExistsButCannotBeReadIsAnErrorNotAnEmptyProfile) {
    TTempDir dir;
    const std::string file = dir.Path() + "USER.INI";
    WriteFile(file, "[IDENTIFICATION]\r\nPASSWORD=/.&$Y[Y_\r\n");
    chmod(file.c_str(), 0200);
    chmod(dir.Path().c_str(), 0777);  // the folder would take a replacement
    EXPECT_TRUE(RunUnprivileged([&] {
        TIniFile ini(file);
        int raised = 0;
        try {
            ini.ReadString("IDENTIFICATION", "PASSWORD", "");
        } catch (const EIniFileError&) {
            ++raised;
        }
        try {
            ini.WriteInteger("HOUSEKEEP", "LAST_PURGE", 45306);
        } catch (const EIniFileError&) {
            ++raised;
        }
        return raised == 2;
    }));
    chmod(file.c_str(), 0600);
    EXPECT_EQ(ReadFile(file), "[IDENTIFICATION]\r\nPASSWORD=/.&$Y[Y_\r\n");
}

TEST(Profile, TheFileKeepsOwnerAndModeAndIsRewrittenInPlaceWithoutAWritableFolder) {
    TTempDir dir;
    const std::string folder = dir.Path() + "DVR/", file = folder + "USER.INI";
    ForceDirectories(folder);
    WriteFile(file, "[SYSTEM]\r\nLOG_LEVEL=1\r\nINBOX=/a/long/folder/name/\r\n");
    chmod(file.c_str(), 0640);
    chmod(dir.Path().c_str(), 0755);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(file.c_str(), kNobody, kNobody), 0);
    }
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    TIniFile(file).WriteInteger("SYSTEM", "LOG_LEVEL", 2);  // replaced through a new file
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);

    chmod(folder.c_str(), 0555);
    EXPECT_TRUE(RunUnprivileged([&] {
        TIniFile ini(file);
        ini.WriteString("SYSTEM", "INBOX", "/b/");  // shorter: the old tail must go
        return ini.ReadString("SYSTEM", "INBOX", "") == "/b/";
    }));
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(ReadFile(file), "[SYSTEM]\r\nLOG_LEVEL=2\r\nINBOX=/b/\r\n");
    before = after;
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"USER.INI"});
}

TEST(Profile, TheFileIsParsedOnceAndReadAgainWhenItChanged) {
    TTempDir dir;
    const std::string file = dir.Path() + "USER.INI";
    WriteFile(file, "[SYSTEM]\r\nLOG_LEVEL=1\r\n");
    SetModified(file, EncodeDate(2024, 1, 1));
    TIniFile reader(file);
    EXPECT_EQ(reader.ReadInteger("SYSTEM", "LOG_LEVEL", 0), 1);
    // Same file, size and time stamp: the parsed copy answers.
    WriteFile(file, "[SYSTEM]\r\nLOG_LEVEL=7\r\n");
    SetModified(file, EncodeDate(2024, 1, 1));
    EXPECT_EQ(reader.ReadInteger("SYSTEM", "LOG_LEVEL", 0), 1);
    // Another copy's write of the same size, and a change in place, are seen at once.
    TIniFile(file).WriteInteger("SYSTEM", "LOG_LEVEL", 3);
    EXPECT_EQ(reader.ReadInteger("SYSTEM", "LOG_LEVEL", 0), 3);
    WriteFile(file, "[SYSTEM]\r\nLOG_LEVEL=4\r\n");
    SetModified(file, EncodeDate(2024, 1, 2));
    EXPECT_EQ(reader.ReadInteger("SYSTEM", "LOG_LEVEL", 0), 4);
}
