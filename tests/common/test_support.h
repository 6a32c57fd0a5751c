#pragma once

#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/base/datetime.h"
#include "common/view.h"
#include "support/temp_dir.h"

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Sets the last-modified time of path to the local date-time value.
inline void SetModified(const std::string& path, TDateTime value) {
    int y, m, d, h, n, s, ms;
    DecodeDateTime(value, y, m, d, h, n, s, ms);
    timeval times[2];
    times[0].tv_sec = times[1].tv_sec = TimeTFromDateTime(value);
    times[0].tv_usec = times[1].tv_usec = ms * 1000;
    utimes(path.c_str(), times);
}

// The user and group "nobody", whom the tests become when they run as root.
constexpr uid_t kNobody = 65534;

// Runs check in a child process where permission bits count: as nobody when the tests run as
// root (who may read and write anything), as the test user otherwise. True when check returned
// true. The child leaves by _exit, so the parent's temporary folders are not removed twice.
inline bool RunUnprivileged(const std::function<bool()>& check) {
    const pid_t child = fork();
    if (child == 0) {
        bool ok = false;
        try {
            if (geteuid() != 0 ||
                (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0))
                ok = check();
        } catch (...) {
        }
        _exit(ok ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The operator view of the tests: records every box and answers from a script (the first
// button once the script is used up).
class TScriptedView : public IOperatorView {
  public:
    struct TBox {
        TMsgKind kind;
        std::string text;
        TMsgButtons buttons;
    };
    std::vector<TBox> boxes;
    std::vector<TMsgAnswer> answers;

    TMsgAnswer MessageBox(TMsgKind kind, const std::string& text, const std::string&,
                          TMsgButtons buttons) override {
        boxes.push_back({kind, text, buttons});
        if (answers.empty()) return FirstButton(buttons);
        TMsgAnswer answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
};

// The lines of a log file without their CR LF ends, with the time stamps cut off.
inline std::vector<std::string> LogMessages(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = ReadFile(path);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        lines.push_back(line.size() >= 22 ? line.substr(22) : line);
        pos = end + 2;
    }
    return lines;
}
