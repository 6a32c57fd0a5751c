#include "common/sysinfo.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemCharacteristics, QuarterGigabyteAtLoad37) {
    // 262,144 KB with 37 % in use.
    TMemoryStatus status = ParseMemInfo(
        "MemTotal:         262144 kB\n"
        "MemFree:           50000 kB\n"
        "MemAvailable:     165151 kB\n"
        "Buffers:            1000 kB\n");
    EXPECT_EQ(status.TotalPhys, 262144ull * 1024);
    EXPECT_EQ(status.MemoryLoad, 37u);
    EXPECT_EQ(MemoryText(status.TotalPhys), "262144KB");
    EXPECT_EQ(FreeResourcesText(status.MemoryLoad), "63% Free");
}

TEST(SystemCharacteristics, OldKernelsWithoutMemAvailableAndOddInput) {
    TMemoryStatus status =
        ParseMemInfo("MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 100 kB\n");
    EXPECT_EQ(status.MemoryLoad, 75u);
    EXPECT_EQ(ParseMemInfo("").MemoryLoad, 0u);
    EXPECT_EQ(ParseMemInfo("MemTotal: 10 kB\nMemAvailable: 20 kB\n").MemoryLoad, 0u);
    EXPECT_EQ(MemoryText(1535), "1KB");
    EXPECT_EQ(MemoryText(1536), "2KB");
    EXPECT_EQ(FreeResourcesText(100), "0% Free");
}

TEST(SystemCharacteristics, ProcessorNumbersOfTheMachineNames) {
    EXPECT_EQ(ProcessorTypeFromMachine("i386"), 386);
    EXPECT_EQ(ProcessorTypeFromMachine("i686"), 586);
    EXPECT_EQ(ProcessorTypeFromMachine("x86_64"), 8664);
    EXPECT_EQ(ProcessorTypeFromMachine("aarch64"), 2577);
    EXPECT_EQ(ProcessorTypeFromMachine("armv7l"), 2577);
    EXPECT_EQ(ProcessorTypeFromMachine("riscv64"), 0);
    TSystemCharacteristics facts = ReadSystemCharacteristics();
    EXPECT_GT(facts.Memory.TotalPhys, 0u);
    EXPECT_EQ(facts.Version.rfind("Linux ", 0), 0u);
}

}  // namespace
