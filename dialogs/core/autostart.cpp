// Writing and removing the autostart entry.

#include "dialogs/core/autostart.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/base/text.h"

namespace {

constexpr const char* kEntryName = "quillbern-dovrant.desktop";

std::string Absolute(const char* value) {
    return value && value[0] == '/' ? std::string(value) : std::string();
}

}  // namespace

std::string AutostartEntryPath() {
    std::string config = Absolute(std::getenv("XDG_CONFIG_HOME"));
    if (config.empty()) {
        const std::string home = Absolute(std::getenv("HOME"));
        if (home.empty()) return {};
        config = home + "/.config";
    }
    while (config.size() > 1 && config.back() == '/') config.pop_back();
    return config + "/autostart/" + kEntryName;
}

bool AutostartEnabled() {
    const std::string path = AutostartEntryPath();
    std::ifstream in(path);
    if (path.empty() || !in) return false;
    // A session manager skips an entry marked hidden: such an entry starts nothing.
    std::string line;
    while (std::getline(in, line))
        if (Trim(line) == "Hidden=true") return false;
    return true;
}

std::string DesktopExecArgument(const std::string& argument) {
    if (argument.find_first_of("\r\n") != std::string::npos)
        throw std::invalid_argument("a line end cannot be part of a command of the entry");
    // Characters that make an argument need quotes; inside the quotes ", `, $ and \ take a
    // backslash. The value itself is unescaped once more when read, so every backslash is
    // doubled again, and % is the start of a field code unless doubled.
    const bool quote =
        argument.empty() || argument.find_first_of(" \t\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string out;
    if (quote) out += '"';
    for (char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += "\\\\";
        if (c == '\\')
            out += "\\\\";
        else if (c == '%')
            out += "%%";
        else
            out += c;
    }
    if (quote) out += '"';
    return out;
}

std::string AutostartEntryText(const std::string& program, const std::vector<std::string>& args) {
    std::string exec = DesktopExecArgument(program);
    for (const auto& arg : args) exec += " " + DesktopExecArgument(arg);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillbern Dovrant\n"
           "Comment=Start the message-exchange gateway with the desktop session\n"
           "Exec=" +
           exec +
           "\n"
           "Icon=quillbern-dovrant\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::string SetAutostart(bool enabled, const std::string& program,
                         const std::vector<std::string>& args) {
    const std::string path = AutostartEntryPath();
    if (path.empty()) return "neither XDG_CONFIG_HOME nor HOME names a folder";
    if (!enabled) {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
        return "cannot remove " + path + ": " + std::strerror(errno);
    }
    if (program.empty()) return "the program's own file is not known";
    try {
        const std::string text = AutostartEntryText(program, args);
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        if (!ForceDirectories(folder)) return "cannot make the folder " + folder;
        WriteFileAtomic(path, text);
    } catch (const std::exception& e) {
        return "cannot write " + path + ": " + e.what();
    }
    return {};
}

std::string RunningProgramPath() {
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    return std::string(buffer, static_cast<size_t>(length));
}
