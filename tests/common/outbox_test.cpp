#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>

#include "common/base/fileutil.h"
#include "common/file_in_use.h"
#include "common/outbox_scan.h"
#include "common/settings.h"
#include "tests/common/test_support.h"

extern char** environ;

namespace {

// A second process that holds file open for writing until it is stopped, as a program still
// writing into the Outbox does.
class THoldingWriter {
  public:
    explicit THoldingWriter(const std::string& file) {
        const std::string script = "exec 3>>\"$1\"; exec sleep 60";
        const char* argv[] = {"sh", "-c", script.c_str(), "sh", file.c_str(), nullptr};
        posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
        // Wait (bounded) until the writer's descriptor is open on the file.
        struct stat want {};
        for (int i = 0; i < 500; ++i) {
            struct stat got {};
            if (stat(file.c_str(), &want) == 0 &&
                stat(("/proc/" + std::to_string(pid_) + "/fd/3").c_str(), &got) == 0 &&
                got.st_ino == want.st_ino)
                return;
            usleep(10000);
        }
        ADD_FAILURE() << "the writer did not open " << file;
    }
    ~THoldingWriter() { Stop(); }
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

  private:
    pid_t pid_ = 0;
};

class Outbox : public ::testing::Test {
  protected:
    void SetUp() override {
        ProgramInfo.OutboxPath = dir.Path();
        ImportExtensions.Add("TXT=1");
        ImportExtensions.Add("xml=1");
        ImportExtensions.Add("edi=0");
    }
    void TearDown() override {
        ImportExtensions.Clear();
        OutboxQueue.Clear();
    }
    std::vector<std::string> Queue() { return {OutboxQueue.begin(), OutboxQueue.end()}; }
    void ScanOutbox() { OutboxQueue = ::ScanOutbox(LoadedSettings()); }
    TStringList OutboxQueue;
    TTempDir dir;
};

}  // namespace

TEST_F(Outbox, ListsOnlyFilesWithAnEnabledExtension) {
    for (const char* name : {"B200.xml", "A100.TXT", "C300.edi", "D400", "E500.pdf", "F.txt.bak"})
        WriteFile(dir.Path() + name, "data");
    ForceDirectories(dir.Path() + "G.txt");
    ScanOutbox();
    EXPECT_EQ(Queue(),
              (std::vector<std::string>{dir.Path() + "A100.TXT", dir.Path() + "B200.xml"}));
    ScanOutbox();  // rebuilt, not appended
    EXPECT_EQ(OutboxQueue.Count(), 2u);
}

TEST_F(Outbox, SkipsAFileAnotherProcessStillWrites) {
    const std::string busy = dir.Path() + "A100.TXT";
    const std::string done = dir.Path() + "A200.TXT";
    WriteFile(done, "complete");
    THoldingWriter writer(busy);
    ScanOutbox();
    EXPECT_EQ(Queue(), std::vector<std::string>{done});
    writer.Stop();
    ScanOutbox();
    EXPECT_EQ(Queue(), (std::vector<std::string>{busy, done}));
}

TEST_F(Outbox, TheDescriptorListingSeesTheWriterToo) {
    const std::string busy = dir.Path() + "A100.TXT";
    THoldingWriter writer(busy);
    int fd = open(busy.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct stat st {};
    fstat(fd, &st);
    EXPECT_TRUE(TFileUseProbe().HeldInProcFs(fd, st));
    EXPECT_TRUE(TFileUseProbe().InUseElsewhere(fd, st));
    writer.Stop();
    EXPECT_FALSE(TFileUseProbe().HeldInProcFs(fd, st));
    EXPECT_FALSE(TFileUseProbe().InUseElsewhere(fd, st));
    close(fd);
}
