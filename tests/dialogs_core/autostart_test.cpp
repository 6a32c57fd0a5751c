// Where the autostart entry lives and how its command line is written.

#include "dialogs/core/autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace {

// Sets (or, with nullptr, removes) an environment variable for the life of the object.
class TEnvironment {
  public:
    TEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~TEnvironment() {
        if (saved_)
            setenv(name_, saved_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

}  // namespace

TEST(Autostart, TheEntryFollowsTheUsersConfigurationFolder) {
    const char* const entry = "/autostart/quillbern-dovrant.desktop";
    {
        TEnvironment config("XDG_CONFIG_HOME", "/srv/cfg/");
        TEnvironment home("HOME", "/home/op");
        EXPECT_EQ(AutostartEntryPath(), std::string("/srv/cfg") + entry);
    }
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
        TEnvironment config("XDG_CONFIG_HOME", ignored);
        TEnvironment home("HOME", "/home/op");
        EXPECT_EQ(AutostartEntryPath(), std::string("/home/op/.config") + entry);
    }
    TEnvironment config("XDG_CONFIG_HOME", nullptr);
    TEnvironment home("HOME", nullptr);
    EXPECT_EQ(AutostartEntryPath(), "");
    EXPECT_FALSE(AutostartEnabled());
    EXPECT_NE(SetAutostart(true, "/usr/bin/quillbern-dovrant", {}), "");
}

TEST(Autostart, ArgumentsSurviveTheQuotingAndEscapingOfTheExecKey) {
    struct TCase {
        std::string argument, written;
    };
    const TCase cases[] = {
        {"/usr/bin/quillbern-dovrant", "/usr/bin/quillbern-dovrant"},
        {"", "\"\""},
        {"/opt/Dovrant Gateway/DVR/", "\"/opt/Dovrant Gateway/DVR/\""},
        // inside quotes " ` $ \ take a backslash, and the key's value doubles every backslash
        {"/a\"b", "\"/a\\\\\"b\""},
        {"/a$HOME", "\"/a\\\\$HOME\""},
        {"/a`id`", "\"/a\\\\`id\\\\`\""},
        {"/a\\b", "\"/a\\\\\\\\b\""},
        // a percent sign would start a field code
        {"/100%/x", "/100%%/x"},
        {"/a;b&c|d", "\"/a;b&c|d\""},
        {"~/x", "\"~/x\""},
    };
    for (const auto& c : cases) EXPECT_EQ(DesktopExecArgument(c.argument), c.written) << c.argument;
    EXPECT_THROW(DesktopExecArgument("/a\nb"), std::invalid_argument);
    EXPECT_THROW(DesktopExecArgument("/a\rb"), std::invalid_argument);

    const std::string text =
        AutostartEntryText("/usr/bin/quillbern-dovrant", {"--dir", "/srv/d v/"});
    EXPECT_EQ(text.rfind("[Desktop Entry]\nType=Application\n", 0), 0u);
    EXPECT_NE(text.find("\nExec=/usr/bin/quillbern-dovrant --dir \"/srv/d v/\"\n"),
              std::string::npos);
}
