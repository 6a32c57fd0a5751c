// Starting other programs through /bin/sh.

#include "common/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "common/base/fileutil.h"
#include "common/settings.h"

extern char** environ;

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Words of text split at blanks; "..." groups blanks into one word.
std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

// A command line split into the program and its arguments. An unquoted program path may hold
// blanks (an upgrade folder named after a release): the shortest blank-ended prefix that names
// an existing file is the program, as the original platform resolves it.
std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::size_t b = commandLine.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const std::string line = commandLine.substr(b);
    if (line[0] != '"' && line.find('/') != std::string::npos) {
        for (std::size_t end = line.find(' '); end != std::string::npos;
             end = line.find(' ', end + 1)) {
            if (IsFile(line.substr(0, end))) {
                std::vector<std::string> words = SplitWords(line.substr(end + 1));
                words.insert(words.begin(), line.substr(0, end));
                return words;
            }
        }
    }
    return SplitWords(line);
}

// The start result the system would give for program: 33 when it can be started, else 2 (no
// such file), 3 (no such folder) or 11 (not an executable).
int CheckProgram(const std::string& program) {
    if (program.empty()) return 2;
    if (program.find('/') == std::string::npos) {
        const char* pathEnv = std::getenv("PATH");
        std::string path = pathEnv ? pathEnv : "/usr/bin:/bin";
        std::size_t start = 0;
        while (start <= path.size()) {
            std::size_t colon = path.find(':', start);
            std::string dir =
                path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (IsExecutableFile(IncludeTrailingPathDelimiter(dir.empty() ? "." : dir) + program))
                return 33;
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
        return 2;
    }
    struct stat st {};
    if (stat(program.c_str(), &st) != 0) return DirectoryExists(ExtractFilePath(program)) ? 2 : 3;
    return IsExecutableFile(program) ? 33 : 11;
}

std::string StartErrorText(int result) {
    switch (result) {
        case 0:
            return "The system is out of memory or resources.";
        case 2:
            return "The specified file was not found.";
        case 3:
            return "The specified path was not found.";
        case 11:
            return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
        default:
            return "Error Code: (" + std::to_string(result) + ")";
    }
}

}  // namespace

int RunProgram(const std::string& commandLine, int /*showMode*/, std::string& errorText) {
    const std::vector<std::string> words = SplitCommandLine(commandLine);
    int result = CheckProgram(words.empty() ? std::string() : words[0]);
    if (result == 33) {
        // The shell starts the program in the background and ends at once, so the program runs
        // on its own and leaves no unreaped child behind. Program and arguments reach the shell
        // as its parameters, never as script text, so no character in them is interpreted.
        std::vector<const char*> argv = {"sh", "-c", "\"$0\" \"$@\" </dev/null &"};
        for (const std::string& word : words) argv.push_back(word.c_str());
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv.data()),
                        environ) != 0) {
            result = 0;
        } else {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    if (result < 32) errorText = StartErrorText(result);
    return result;
}
