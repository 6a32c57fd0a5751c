// The program's command line: the input split at NUL bytes into arguments. Every command line
// is either one of the modes or an error of exactly one line, and the folder it names is
// resolved without a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "service/command_line.h"
#include "service/installation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args = {"quillbern-dovrant"};
    std::string arg;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += static_cast<char>(data[i]);
        }
    }
    if (size > 0) args.push_back(arg);
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);

    const TCommandLine line = ParseCommandLine(static_cast<int>(args.size()), argv.data());
    if (line.Mode == TRunMode::Error) {
        if (line.Error.empty() || line.Error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    if (!line.Error.empty()) std::abort();
    // --init and --status always name their folder.
    if ((line.Mode == TRunMode::Init || line.Mode == TRunMode::Status) && line.Dir.empty())
        std::abort();
    if (!line.Dir.empty()) (void)LogFolderOf(ResolveProgramDir(line.Dir));
    return 0;
}
