#include "common/sysinfo.h"

#include <sys/utsname.h>

#include <fstream>
#include <sstream>

int ProcessorTypeFromMachine(const std::string& machine) {
    if (machine == "i386") return 386;
    if (machine == "i486") return 486;
    if (machine == "i586" || machine == "i686") return 586;
    if (machine == "x86_64" || machine == "amd64") return 8664;
    if (machine == "ia64") return 2200;
    if (machine.rfind("arm", 0) == 0 || machine == "aarch64") return 2577;
    return 0;
}

int ProcessorType() {
    utsname u{};
    return uname(&u) == 0 ? ProcessorTypeFromMachine(u.machine) : 0;
}

TMemoryStatus ParseMemInfo(const std::string& text) {
    uint64_t total = 0, available = 0, free = 0, buffers = 0, cached = 0;
    bool hasAvailable = false;
    std::istringstream in(text);
    std::string key;
    uint64_t kb = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        if (!(fields >> key >> kb)) continue;
        if (key == "MemTotal:")
            total = kb;
        else if (key == "MemAvailable:")
            available = kb, hasAvailable = true;
        else if (key == "MemFree:")
            free = kb;
        else if (key == "Buffers:")
            buffers = kb;
        else if (key == "Cached:")
            cached = kb;
    }
    if (!hasAvailable) available = free + buffers + cached;
    if (available > total) available = total;
    TMemoryStatus status;
    status.TotalPhys = total * 1024;
    if (total > 0)
        status.MemoryLoad = static_cast<uint32_t>(((total - available) * 100 + total / 2) / total);
    return status;
}

TMemoryStatus GlobalMemoryStatus() {
    std::ifstream in("/proc/meminfo");
    std::stringstream text;
    text << in.rdbuf();
    return ParseMemInfo(text.str());
}

std::string MemoryText(uint64_t totalPhys) {
    return std::to_string((totalPhys + 512) / 1024) + "KB";
}

std::string FreeResourcesText(uint32_t memoryLoad) {
    int free = 100 - static_cast<int>(memoryLoad);
    return std::to_string(free) + "% Free";
}

std::string SystemVersionText() {
    utsname u{};
    if (uname(&u) != 0) return "";
    return std::string(u.sysname) + " " + u.release;
}

TSystemCharacteristics ReadSystemCharacteristics() {
    TSystemCharacteristics facts;
    facts.ProcessorType = ProcessorType();
    facts.Memory = GlobalMemoryStatus();
    facts.Version = SystemVersionText();
    return facts;
}
