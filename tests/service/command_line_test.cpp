// The command line as the program entry reads it, before any window exists.

#include "service/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TCommandLine Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "quillbern-dovrant");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, ModesAndTheirFolders) {
    EXPECT_EQ(Parse({}).Mode, TRunMode::Window);
    EXPECT_EQ(Parse({}).Dir, "");

    TCommandLine line = Parse({"--headless", "--dir", "/srv/dvr"});
    EXPECT_EQ(line.Mode, TRunMode::Headless);
    EXPECT_EQ(line.Dir, "/srv/dvr");
    line = Parse({"--dir=/srv/dvr", "--headless"});
    EXPECT_EQ(line.Mode, TRunMode::Headless);
    EXPECT_EQ(line.Dir, "/srv/dvr");
    line = Parse({"--dir", "/srv/dvr"});
    EXPECT_EQ(line.Mode, TRunMode::Window);
    EXPECT_EQ(line.Dir, "/srv/dvr");

    line = Parse({"--init", "new"});
    EXPECT_EQ(line.Mode, TRunMode::Init);
    EXPECT_EQ(line.Dir, "new");
    line = Parse({"--status=/srv/dvr"});
    EXPECT_EQ(line.Mode, TRunMode::Status);
    EXPECT_EQ(line.Dir, "/srv/dvr");
    // A folder whose name starts with a dash is still the option's value.
    EXPECT_EQ(Parse({"--init", "-odd"}).Dir, "-odd");

    // Help and version answer whatever else is asked, even an incomplete line.
    EXPECT_EQ(Parse({"--headless", "--help"}).Mode, TRunMode::Help);
    EXPECT_EQ(Parse({"-h"}).Mode, TRunMode::Help);
    EXPECT_EQ(Parse({"--version", "--dir", "x"}).Mode, TRunMode::Version);
    EXPECT_EQ(Parse({"--version", "--dir", "x"}).Dir, "x");
}

TEST(CommandLine, AnythingElseIsOneLineOfComplaint) {
    const std::vector<std::vector<const char*>> wrong = {
        {"--bogus"},
        {"-x"},
        {"stray"},
        {"--init"},
        {"--status", ""},
        {"--dir="},
        {"--headless=yes"},
        {"--headless", "--init", "x"},
        {"--status", "a", "--headless"},
        {"--headless", "--headless"},
        {"--init", "a", "--dir", "b"},
        {"--help", "--bogus"},
        {"a\nb"},
        {"--dir", "x", "--\x1b[2Jx"},
    };
    for (const auto& args : wrong) {
        const TCommandLine line = Parse(args);
        std::string joined;
        for (const char* a : args) joined += std::string(a) + " ";
        EXPECT_EQ(line.Mode, TRunMode::Error) << joined;
        EXPECT_EQ(line.Error.rfind("quillbern-dovrant: ", 0), 0u) << joined;
        EXPECT_EQ(line.Error.find('\n'), std::string::npos) << joined;
    }
    EXPECT_NE(Parse({"--bogus"}).Error.find("'--bogus'"), std::string::npos);
    // Control characters of an argument are shown, not passed on to the terminal.
    EXPECT_EQ(Parse({"a\r\n\x7f\xc3\xa9"}).Error,
              "quillbern-dovrant: unexpected argument 'a\\x0d\\x0a\\x7f\xc3\xa9' (see --help)");
    EXPECT_EQ(kUsageExitCode, 2);
}

TEST(CommandLine, HelpAndVersionTexts) {
    const std::string help = HelpText();
    for (const char* option : {"--headless", "--dir", "--init", "--status", "--version", "--help"})
        EXPECT_NE(help.find(option), std::string::npos) << option;

    const std::string version = VersionText("/srv/dvr/DVR/", "0.9.7");
    EXPECT_NE(version.find(std::string("quillbern-dovrant ") + kBuildVersion + "\n"),
              std::string::npos);
    EXPECT_NE(version.find("0.9.7 (/srv/dvr/DVR/DVR.INI)"), std::string::npos);
    EXPECT_NE(VersionText("/srv/dvr/DVR/", "").find("unknown"), std::string::npos);
    EXPECT_STRNE(kBuildVersion, "");
}

}  // namespace
