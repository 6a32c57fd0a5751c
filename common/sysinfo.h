#pragma once

// Characteristics of this computer for the About box, computed from what Linux reports.

#include <cstdint>
#include <string>

struct TMemoryStatus {
    uint64_t TotalPhys = 0;   // bytes
    uint32_t MemoryLoad = 0;  // percent of physical memory in use, 0 to 100
};

// Processor type number in the system's numbering, from the machine name uname reports:
// i386 386, i486 486, i586/i686 586, x86_64 8664, ia64 2200, arm*/aarch64 (any ARM) 2577;
// 0 for anything else.
int ProcessorTypeFromMachine(const std::string& machine);
int ProcessorType();

// Total memory and load from the text of /proc/meminfo (MemTotal, and MemAvailable or, on
// old kernels, MemFree + Buffers + Cached).
TMemoryStatus ParseMemInfo(const std::string& text);
TMemoryStatus GlobalMemoryStatus();

// "262144KB": total bytes divided by 1024, rounded.
std::string MemoryText(uint64_t totalPhys);
// "63% Free" for a load of 37.
std::string FreeResourcesText(uint32_t memoryLoad);
// Kernel name and release, "Linux 6.1.0-13-amd64".
std::string SystemVersionText();

// Everything the About box shows about the computer, read once when it opens.
struct TSystemCharacteristics {
    int ProcessorType = 0;
    TMemoryStatus Memory;
    std::string Version;  // SystemVersionText
};
TSystemCharacteristics ReadSystemCharacteristics();
