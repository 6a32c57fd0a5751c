// The Error folder's list and the log line that says why each file is there.

#include "operator/failed_files.h"

#include <sys/stat.h>

#include "operator_fixture.h"
#include "transfer/received_record.h"

namespace {

using FailedFiles = OperatorTest;

TEST(FailedFileReason, ANameCountsOnlyAsAWholeWord) {
    EXPECT_TRUE(NamesFile("Move file: A1.TXT to /d/ERROR/", "A1.TXT"));
    EXPECT_TRUE(NamesFile("Send: Unable to send /d/OUTBOX/A1.TXT.  Sender: x", "A1.TXT"));
    EXPECT_TRUE(NamesFile("A1.TXT", "A1.TXT"));
    EXPECT_FALSE(NamesFile("Move file: BA1.TXT to /d/ERROR/", "A1.TXT"));
    EXPECT_FALSE(NamesFile("Move file: X.A1.TXT to /d/ERROR/", "A1.TXT"));
    EXPECT_FALSE(NamesFile("kept in the Outbox as A1.TXT.sent", "A1.TXT"));
    EXPECT_FALSE(NamesFile("Move file: A1.TXT1 to /d/ERROR/", "A1.TXT"));
    // A later whole-word mention after a partial one still counts.
    EXPECT_TRUE(NamesFile("BA1.TXT and A1.TXT", "A1.TXT"));
    EXPECT_FALSE(NamesFile("anything", ""));
}

TEST(FailedFileReason, TheReasonIsTheLastLineNamingTheFileOrTheOneBeforeItsMove) {
    const std::vector<std::string> log = {
        "Send: Unable to send /d/OUTBOX/A1.TXT.  Sender: a@b. File does not exists",
        "Send: Unable to send /d/OUTBOX/A1.TXT.  Sender: a@b. Receiver E-mail or WebMailSender "
        "not found",
        "Move file: A1.TXT to /d/ERROR/",
        "Receive: Unable to create directory: '/d/INBOX/X/'",
        "  Attachment := 2",
        "Recv: The received message could not be stored and was moved to "
        "/d/ERROR/RECV_20261209100000_17.eml",
        "Move file: B.TXT to /d/ERROR/",
    };
    // The sending side names the file in its reason.
    EXPECT_EQ(ReasonFromLines(log, "A1.TXT"), log[1]);
    // The receiving side says why just before the move; detail lines are passed over.
    EXPECT_EQ(ReasonFromLines(log, "RECV_20261209100000_17.eml"), log[3]);
    // With nothing before it, the move is all there is to tell.
    EXPECT_EQ(ReasonFromLines({"Move file: B.TXT to /d/ERROR/"}, "B.TXT"),
              "Move file: B.TXT to /d/ERROR/");
    EXPECT_EQ(ReasonFromLines(log, "C.TXT"), "");
    // A retry that failed again: the newest reason wins.
    auto again = log;
    again.push_back("Retry: A1.TXT moved from the Error folder to the Outbox");
    again.push_back("Send: Unable to send /d/OUTBOX/A1.TXT.  Sender: a@b. NUL byte");
    again.push_back("Move file: A1.TXT to /d/ERROR/");
    EXPECT_EQ(ReasonFromLines(again, "A1.TXT"), again[8]);
}

TEST_F(FailedFiles, ListsTheRegularFilesWithSizeTimeAndReasonFromTheNewestLogs) {
    WriteFile(errorDir + "B.TXT", "12345");
    WriteFile(errorDir + "A.TXT", "1");
    WriteFile(errorDir + "RECV_20261209100000_9.eml", "raw");
    WriteFile(errorDir + ".hidden", "x");
    ForceDirectories(errorDir + "SUB");
    symlink((errorDir + "A.TXT").c_str(), (errorDir + "LINK.TXT").c_str());
    SetModified(errorDir + "B.TXT", EncodeDate(2026, 12, 8) + EncodeTime(9, 15, 0, 0));
    // An older run's log gave A its first reason; this run's log a newer one.
    WriteFile(logDir + "20261201080000000.log",
              "[2026/12/01 08:00:00] Send: Unable to send /d/OUTBOX/A.TXT. old reason\r\n"
              "[2026/12/01 08:00:00] Send: Unable to send /d/OUTBOX/B.TXT. B's reason\r\n");
    WriteLog("Send: Unable to send /d/OUTBOX/A.TXT. new reason", 1);
    WriteLog("Move file: A.TXT to " + errorDir, 1);
    WriteLog("Receive: Unable to save attachment", 1);
    WriteLog("Recv: The received message could not be stored and was moved to " + errorDir +
                 "RECV_20261209100000_9.eml",
             1);

    const auto files = ListFailedFiles(errorDir, logDir);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].Name, "A.TXT");
    EXPECT_EQ(files[0].Reason, "Send: Unable to send /d/OUTBOX/A.TXT. new reason");
    EXPECT_EQ(files[1].Name, "B.TXT");
    EXPECT_EQ(files[1].Size, 5u);
    EXPECT_EQ(FormatDateTime("yyyy/MM/dd hh:nn", files[1].Modified), "2026/12/08 09:15");
    EXPECT_EQ(files[1].Reason, "Send: Unable to send /d/OUTBOX/B.TXT. B's reason");
    EXPECT_FALSE(files[1].Received);
    EXPECT_EQ(files[2].Name, "RECV_20261209100000_9.eml");
    EXPECT_TRUE(files[2].Received);
    EXPECT_EQ(files[2].Reason, "Receive: Unable to save attachment");

    // Only the newest logs are read: with one file allowed, B's old reason is out of reach.
    EXPECT_EQ(ListFailedFiles(errorDir, logDir, 1)[1].Reason, "");
    EXPECT_TRUE(ListFailedFiles(dir.Path() + "MISSING/", logDir).empty());
}

TEST_F(FailedFiles, AReceivedMessageIsToldByItsRecordOrTheReceiveSidesLogLineNotByItsName) {
    const auto put = [&](const std::string& n, const std::string& bytes) {
        WriteFile(errorDir + "RECV_1_" + n + ".eml", bytes);
        return errorDir + "RECV_1_" + n + ".eml";
    };
    WriteReceivedRecord(put("1", "raw1"), "1", 4);          // kept, with its record
    WriteLog("Move file: RECV_1_2.eml to " + errorDir, 1);  // outgoing, by the send side
    put("2", "out");
    // Kept by an earlier version: no record, but the receive side's line; the send side filed
    // another file under its name.
    WriteLog("Recv: The received message could not be stored and was moved to " + put("3", "r"), 1);
    WriteLog("Move file: RECV_1_3.eml to " + errorDir + " as RECV_1_3_1.eml", 1);
    WriteReceivedRecord(put("4", "other bytes"), "4", 4);  // a record that no longer fits
    put("5", "x");                                         // nothing tells
    std::vector<bool> received;
    for (const TFailedFile& file : ListFailedFiles(errorDir, logDir))
        received.push_back(file.Received);
    EXPECT_EQ(received, (std::vector<bool>{true, false, true, false, false}));
}

}  // namespace
