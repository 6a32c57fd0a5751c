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
    passwords.push_back(c + c);
    all += c;
  }
  passwords.push_back(all);
  for (const char* p : {"Kpass", "passK", "bpassb", "K", "b", "KbK", " pass\t", "afk", "k0", "kk5"})
    passwords.push_back(p);
  for (std::size_t i = 0; i < passwords.size(); ++i)
    WritePassword(ini, "IDENTIFICATION", "P" + std::to_string(i), passwords[i]);
  // Read back through a second object, from the file on disk.
  TIniFile again(dir.Path() + "USER.INI");
  for (std::size_t i = 0; i < passwords.size(); ++i)
    ASSERT_EQ(ReadPassword(again, "IDENTIFICATION", "P" + std::to_string(i)), passwords[i])
        << "password " << i;
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
