#include "common/password.h"

#include <gtest/gtest.h>

#include "common/settings.h"
#include "tests/common/test_support.h"

TEST(Password, ScrambleIsItsOwnInverse) {
    const std::string stored = ScramblePassword("DEMO2024", PasswordKey);
    EXPECT_EQ(stored, "/.&$Y[Y_");
    EXPECT_EQ(ScramblePassword(stored, PasswordKey), "DEMO2024");
}

TEST(Password, EveryByteRoundTripsThroughAProfileFile) {
    TTempDir dir;
    TIniFile ini(dir.Path() + "USER.INI");
    std::vector<std::string> passwords;
    std::string all;
    for (int b = 1; b < 256; ++b) {
        const std::string c(1, static_cast<char>(b));
        passwords.push_back(c);
        passwords.push_back("x" + c + "y");
        all += c;
    }
    passwords.push_back(all);
    // "I" and "L" scramble to a double and a single quote: a stored value between a matching
    // pair would lose it to the reader.
    for (const char* p : {"Kpass", "passK", "bpassb", "K", "b", "KbK", " pass\t", "afk", "k0",
                          "kk5", "IpassI", "LpassL", "II", "LL", "I", "IpassL", "k6", "k7"})
        passwords.push_back(p);
    // Each password is written between two other entries, which must survive it; a second
    // object reads it back from the file on disk.
    WriteFile(dir.Path() + "USER.INI", "[IDENTIFICATION]\r\nPASSWORD=\r\nLOGIN_ID=ME\r\n");
    TIniFile again(dir.Path() + "USER.INI");
    for (const std::string& password : passwords) {
        WritePassword(ini, "IDENTIFICATION", "PASSWORD", password);
        ASSERT_EQ(ReadPassword(again, "IDENTIFICATION", "PASSWORD"), password);
        TStringList values;
        again.ReadSectionValues("IDENTIFICATION", values);
        ASSERT_EQ(values.Count(), 2u);
        ASSERT_EQ(values[1], "LOGIN_ID=ME");
    }
}

TEST(Password, StoredFormStaysTheOldOneWhereverTheOldOneWorked) {
    // Values written by plain scrambling hold no "k" (it would take a NUL in the password), so
    // they read back unchanged, and passwords the old form could hold are still stored that way.
    for (int b = 1; b < 256; ++b) {
        const char c = static_cast<char>(b);
        if (c == 'a' || c == 'f' || c == 'k') continue;
        const std::string password = std::string("p") + c + "q";
        const std::string old = ScramblePassword(password, PasswordKey);
        EXPECT_EQ(EncodeStoredPassword(password), old) << b;
        EXPECT_EQ(DecodeStoredPassword(old), password) << b;
    }
    EXPECT_EQ(DecodeStoredPassword(""), "");
}
