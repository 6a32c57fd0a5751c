// --history and --verify: the command line that asks, and the answers on known files.

#include "service/history_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "common/base/datetime.h"
#include "common/base/fileutil.h"
#include "common/file_digest.h"
#include "service/command_line.h"
#include "service/installation.h"
#include "support/temp_dir.h"

namespace {

TCommandLine ParseHistoryArgs(std::vector<const char*> args) {
    args.insert(args.begin(), "quillbern-dovrantd");
    return ParseCommandLine(static_cast<int>(args.size()), args.data(), TProgram::Daemon);
}

TEST(HistoryCommand, TheCommandLineAsksForTheRightRows) {
    const TCommandLine line = ParseHistoryArgs(
        {"--history", "/srv/dvr", "--since", "2024-03-01", "--until=2024-03-02 12:30", "--name",
         "A*.TXT", "--partner", "acme", "--direction", "receive", "--failed", "--json"});
    EXPECT_EQ(line.Mode, TRunMode::History) << line.Error;
    EXPECT_EQ(line.Dir, "/srv/dvr");
    EXPECT_EQ(line.Filter.Since, EncodeDate(2024, 3, 1));
    EXPECT_EQ(line.Filter.Until, EncodeDate(2024, 3, 2) + EncodeTime(12, 30, 0, 0));
    EXPECT_EQ(line.Filter.Name, "A*.TXT");
    EXPECT_EQ(line.Filter.Partner, "acme");
    EXPECT_EQ(line.Filter.Direction, THistoryDirection::Receive);
    EXPECT_TRUE(line.Filter.FailedOnly);
    EXPECT_TRUE(line.Json);
    // A date alone as the end takes in the whole of that day.
    EXPECT_EQ(ParseHistoryArgs({"--history", "x", "--until", "2024-03-02"}).Filter.Until,
              EncodeDate(2024, 3, 3));

    TCommandLine verify = ParseHistoryArgs({"--verify", "/tmp/a.txt", "--dir", "/srv/dvr"});
    EXPECT_EQ(verify.Mode, TRunMode::Verify);
    EXPECT_EQ(verify.VerifyFile, "/tmp/a.txt");
    EXPECT_EQ(verify.Dir, "/srv/dvr");
    EXPECT_EQ(ParseHistoryArgs({"--history", "/srv/dvr", "--verify", "a"}).Mode, TRunMode::Verify);

    for (const auto& wrong : std::vector<std::vector<const char*>>{
             {"--history", "x", "--since", "yesterday"},
             {"--history", "x", "--until", "2024-02-30"},
             {"--history", "x", "--direction", "sideways"},
             {"--history", "x", "--name"},
             {"--failed"},
             {"--name", "A*"},
             {"--status", "x", "--verify", "a"},
             {"--history", "x", "--status", "y"},
         })
        EXPECT_EQ(ParseHistoryArgs(wrong).Mode, TRunMode::Error) << wrong[0] << " " << wrong[1];
}

TEST(HistoryCommand, FindsKnownFilesAndTellsTheirBytesApart) {
    TTempDir dir;
    const std::string programDir = dir.Path() + "DVR/";
    ForceDirectories(programDir);
    const std::string sentFile = dir.Path() + "order.txt";
    std::ofstream(sentFile) << "ORDER 4711\n";
    const std::string changed = dir.Path() + "order-changed.txt";
    std::ofstream(changed) << "ORDER 4712\n";
    std::ostringstream out, err;
    EXPECT_EQ(PrintHistory(programDir, {}, false, out, err), 1) << "no history yet";
    EXPECT_NE(err.str().find("No transfer history"), std::string::npos);

    const TFileDigest digest = FileDigest(sentFile);
    ForceDirectories(LogFolderOf(programDir));
    THistoryRow sent;
    sent.Time = EncodeDate(2024, 3, 1) + EncodeTime(9, 15, 0, 0);
    sent.Name = sent.FinalName = "A4711.TXT";
    sent.Folder = "/srv/SENTBOX/";
    sent.Partner = "orders@acme.example";
    sent.Size = digest.Size;
    sent.Sha256 = digest.Sha256;
    THistoryRow failed = sent;
    failed.Time += 1;
    failed.Name = failed.FinalName = "A4712.TXT";
    failed.Sha256 = FileDigest(changed).Sha256;
    failed.Outcome = THistoryOutcome::ToError;
    failed.Reason = "Receiver E-mail or WebMailSender not found";
    THistoryStore(LogFolderOf(programDir) + kHistoryFileName).Add({sent, failed});

    out.str("");
    EXPECT_EQ(PrintHistory(programDir, {}, false, out, err), 0);
    const std::string table = out.str();
    EXPECT_LT(table.find("A4712.TXT"), table.find("A4711.TXT")) << "newest first\n" << table;
    EXPECT_NE(table.find("2024-03-01 09:15:00"), std::string::npos) << table;
    EXPECT_NE(table.find("2 row(s)"), std::string::npos) << table;

    THistoryFilter onlyFailed;
    onlyFailed.FailedOnly = true;
    out.str("");
    EXPECT_EQ(PrintHistory(programDir, onlyFailed, true, out, err), 0);
    EXPECT_EQ(out.str(), HistoryRowJson(failed) + "\n");
    EXPECT_NE(out.str().find("\"outcome\": \"to Error\", \"failed\": true"), std::string::npos)
        << out.str();

    out.str("");
    EXPECT_EQ(VerifyFile(programDir, sentFile, out, err), 0);
    EXPECT_NE(out.str().find("2024-03-01 09:15:00  sent as A4711.TXT: sent, to "
                             "orders@acme.example, in /srv/SENTBOX/A4711.TXT"),
              std::string::npos)
        << out.str();
    // The same name with other bytes, or bytes only ever given up, were never sent.
    out.str("");
    EXPECT_EQ(VerifyFile(programDir, changed, out, err), 1) << out.str();
    EXPECT_NE(out.str().find("was never sent or received"), std::string::npos);
    EXPECT_EQ(VerifyFile(programDir, dir.Path() + "missing", out, err), 2);
}

}  // namespace
