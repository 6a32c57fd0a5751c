// Retry moves a failed file back into the Outbox whole and never over another file; a
// received message is stored again.

#include "operator/retry.h"

#include <sys/stat.h>

#include "operator_fixture.h"
#include "support/temp_dir.h"
#include "transfer/received_record.h"

namespace {

class Retry : public OperatorTest {};

TEST_F(Retry, TheFileLeavesErrorWholeAndNeverReplacesAnOutboxFile) {
    const std::string big(300000, 'x');
    WriteFile(errorDir + "A1.TXT", big);
    auto result = RetryToOutbox(errorDir, "A1.TXT", outboxDir);
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(result.Target, outboxDir + "A1.TXT");
    EXPECT_EQ(ReadFile(outboxDir + "A1.TXT"), big);
    EXPECT_TRUE(FolderNames(errorDir).empty());
    EXPECT_TRUE(Logged("Retry: A1.TXT moved from the Error folder to the Outbox"));

    // A file of the name waits in the Outbox (and its first free name is taken as well).
    WriteFile(errorDir + "A1.TXT", "second");
    WriteFile(outboxDir + "A1_1.TXT", "other writer");
    result = RetryToOutbox(errorDir, "A1.TXT", outboxDir);
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(result.Target, outboxDir + "A1_2.TXT");
    EXPECT_EQ(ReadFile(outboxDir + "A1.TXT"), big);
    EXPECT_EQ(ReadFile(outboxDir + "A1_1.TXT"), "other writer");
    EXPECT_EQ(ReadFile(outboxDir + "A1_2.TXT"), "second");
    EXPECT_TRUE(FolderNames(errorDir).empty());
    EXPECT_TRUE(
        Logged("Retry: A1.TXT moved from the Error folder to the Outbox as A1_2.TXT, "
               "since a file of that name is already there"));

    // A name without an extension keeps having none.
    WriteFile(errorDir + "README", "r");
    WriteFile(outboxDir + "README", "kept");
    EXPECT_EQ(RetryToOutbox(errorDir, "README", outboxDir).Target, outboxDir + "README_1");
}

TEST_F(Retry, NamesThatAreNotInTheErrorFolderAreRefusedAndLeaveEverythingInPlace) {
    WriteFile(dir.Path() + "SECRET.TXT", "s");
    ForceDirectories(errorDir + "SUB");
    for (const char* name : {"", "..", "../SECRET.TXT", "MISSING.TXT", "SUB"}) {
        auto result = RetryToOutbox(errorDir, name, outboxDir);
        EXPECT_FALSE(result.Ok) << name;
        EXPECT_FALSE(result.Error.empty()) << name;
    }
    // Unset folders would mean the current folder: refused, never moved there.
    WriteFile(errorDir + "E.TXT", "e");
    EXPECT_FALSE(RetryToOutbox(errorDir, "E.TXT", "").Ok);
    EXPECT_FALSE(RetryToOutbox("", "E.TXT", outboxDir).Ok);
    EXPECT_FALSE(RetryReceived("", "E.TXT").Ok);
    EXPECT_EQ(ReadFile(errorDir + "E.TXT"), "e");
    EXPECT_TRUE(FolderNames(outboxDir).empty());
    EXPECT_EQ(ReadFile(dir.Path() + "SECRET.TXT"), "s");
    std::string error;
    EXPECT_FALSE(DeleteFailedFile(errorDir, "../SECRET.TXT", error));
    EXPECT_TRUE(FileExists(dir.Path() + "SECRET.TXT"));
}

TEST_F(Retry, AnOutboxTheFileCannotEnterKeepsItInTheErrorFolder) {
    WriteFile(errorDir + "A.TXT", "a");
    auto result = RetryToOutbox(errorDir, "A.TXT", dir.Path() + "GONE/");
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(ReadFile(errorDir + "A.TXT"), "a");
    EXPECT_TRUE(Logged("Retry: A.TXT stays in the Error folder. Reason: " + result.Error));
    if (geteuid() == 0) return;  // permissions do not hold for root
    chmod(outboxDir.c_str(), 0555);
    result = RetryToOutbox(errorDir, "A.TXT", outboxDir);
    chmod(outboxDir.c_str(), 0755);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(ReadFile(errorDir + "A.TXT"), "a");
    EXPECT_TRUE(FolderNames(outboxDir).empty());
}

TEST_F(Retry, BetweenFileSystemsTheCopyIsWholeBeforeTheOriginalGoes) {
    // /dev/shm is a file system of its own on most machines; the rename there fails with
    // EXDEV and the move goes through a flushed copy.
    struct stat shm {
    }, tmp{};
    if (stat("/dev/shm", &shm) != 0 || stat(dir.Path().c_str(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev || access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second file system to move across";
    char pattern[] = "/dev/shm/dovrant-retry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string otherOutbox = std::string(pattern) + "/";
    WriteFile(errorDir + "X.TXT", std::string(100000, 'y'));
    chmod((errorDir + "X.TXT").c_str(), 0640);
    WriteFile(otherOutbox + "X.TXT", "taken");
    auto result = RetryToOutbox(errorDir, "X.TXT", otherOutbox);
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(ReadFile(otherOutbox + "X_1.TXT"), std::string(100000, 'y'));
    EXPECT_EQ(ReadFile(otherOutbox + "X.TXT"), "taken");
    EXPECT_FALSE(FileExists(errorDir + "X.TXT"));
    struct stat st {};
    stat((otherOutbox + "X_1.TXT").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No staging copy is left behind.
    EXPECT_EQ(FolderNames(otherOutbox), (std::vector<std::string>{"X.TXT", "X_1.TXT"}));
    std::filesystem::remove_all(otherOutbox);
}

TEST_F(Retry, AReceivedMessageIsStoredAgainAndLeavesTheErrorFolderOnlyOnceStored) {
    ProgramInfo.InboxPath = dir.Path() + "INBOX/";
    ProgramInfo.EmailContentType = "multipart/mixed";
    InboxLocations.Clear();
    const std::string mail =
        "From: Service <service@x.y>\r\nSubject: orders\r\nMessage-ID: <m1@x.y>\r\n"
        "Content-Type: multipart/mixed; boundary=\"BND\"\r\n\r\n"
        "--BND\r\nContent-Type: text/plain\r\n\r\nx\r\n"
        "--BND\r\nContent-Type: application/octet-stream\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment; filename=\"ORD-7.TXT\"\r\n\r\naGVsbG8=\r\n--BND--\r\n";
    const std::string name = "RECV_20261209100000_7.eml";
    WriteFile(errorDir + name, mail);
    WriteReceivedRecord(errorDir + name, "7", mail.size());
    // The Inbox cannot be made (a file stands in its place): the message stays.
    WriteFile(dir.Path() + "INBOX", "in the way");
    auto result = RetryReceived(errorDir, name);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(ReadFile(errorDir + name), mail);
    EXPECT_TRUE(Logged("Retry: " + name + " could not be stored and stays in the Error folder. " +
                       "Reason: " + result.Error));

    DeleteFile(dir.Path() + "INBOX");
    ForceDirectories(ProgramInfo.InboxPath);
    result = RetryReceived(errorDir, name);
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(ReadFile(ProgramInfo.InboxPath + "ORD-7.TXT"), "hello");
    EXPECT_FALSE(FileExists(errorDir + name));
    EXPECT_FALSE(FileExists(ReceivedRecordPath(errorDir + name)));
    EXPECT_TRUE(Logged("Retry: " + name + " was stored again and left the Error folder"));
    EXPECT_FALSE(RetryReceived(errorDir, name).Ok) << "gone already";
}

TEST_F(Retry, DeleteRemovesTheFileAndLogsIt) {
    WriteFile(errorDir + "D.TXT", "d");
    std::string error;
    EXPECT_TRUE(DeleteFailedFile(errorDir, "D.TXT", error));
    EXPECT_FALSE(FileExists(errorDir + "D.TXT"));
    EXPECT_TRUE(Logged("Delete file: D.TXT from the Error folder"));
    EXPECT_FALSE(DeleteFailedFile(errorDir, "D.TXT", error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
