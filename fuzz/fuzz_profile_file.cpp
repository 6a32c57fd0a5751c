// The profile files the gateway reads: USER.INI and DVR.INI through the profile reader, and
// the phone book DIALUP.PBK through its entries. The first byte chooses which. A profile
// file is read, one entry written and read back (by this reader and by a fresh one); a phone
// book is listed and each entry read, its simulation scripts written back and read again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/base/profile.h"
#include "dialup/ras_phonebook.h"
#include "fuzz/fuzz_folder.h"

namespace {

// The next line of text from at on (without its line end).
std::string TakeLine(const std::string& text, std::size_t& at) {
    const std::size_t end = text.find('\n', at);
    const std::string line =
        text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    return line;
}

// A name or value the writer stores so that it reads back the same.
bool Plain(const std::string& text, bool name) {
    if (text.empty()) return !name;
    if (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t')
        return false;
    if (text.front() == '"' || text.front() == '\'') return false;
    for (const unsigned char c : text)
        if (c < ' ' || (name && (c == '[' || c == ']' || c == '='))) return false;
    return !name || text.front() != ';';
}

void ProfileFile(const std::string& input) {
    std::size_t at = 0;
    const std::string section = TakeLine(input, at);
    const std::string key = TakeLine(input, at);
    const std::string value = TakeLine(input, at);
    const std::string path = FuzzFolder() + "USER.INI";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << input.substr(at);
    TIniFile ini(path);
    TStringList values;
    ini.ReadSectionValues(section, values);
    (void)ini.SectionExists(section);
    (void)ini.ReadInteger(section, key, 7);
    (void)ini.ReadBool(section, key, true);
    if (!Plain(section, true) || !Plain(key, true) || !Plain(value, false)) return;
    ini.WriteString(section, key, value);
    if (ini.ReadString(section, key, "default") != value) std::abort();
    if (TIniFile(path).ReadString(section, key, "default") != value) std::abort();
}

void PhoneBook(const std::string& input) {
    const std::string path = FuzzFolder() + "DIALUP.PBK";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << input;
    SetRasPhonebookFile(path);
    std::vector<std::string> names;
    if (ListRasEntries(names) != 0) return;
    for (std::size_t i = 0; i < names.size() && i < 8; ++i) {
        TRasEntry entry;
        if (ReadRasEntry(names[i], entry) != 0) continue;
        std::vector<TSimStep> steps;
        if (!ParseSimStates(SimStatesText(entry.SimStates), steps) ||
            SimStatesText(steps) != SimStatesText(entry.SimStates))
            std::abort();
        std::vector<TSimOutcome> results;
        if (!ParseSimResults(SimResultsText(entry.SimResults), results) ||
            results != entry.SimResults)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        if (data[0] & 1)
            PhoneBook(input);
        else
            ProfileFile(input);
    } catch (const EIniFileError&) {
        // A file that cannot be read or written is reported so; the fuzzer's own are fine.
        std::abort();
    }
    return 0;
}
