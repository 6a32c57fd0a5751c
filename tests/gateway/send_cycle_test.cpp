// Whole send cycles run by the controller against the stand-in web-mail service: what one
// file's trouble does to the others, and a pause that lands while an upload is on the wire.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "common/base/atomic_file.h"
#include "common/base/fileutil.h"
#include "common/base/message_pump.h"
#include "common/base/to_main_thread.h"
#include "common/settings.h"
#include "common/test_support.h"
#include "gateway/gateway_status.h"
#include "gateway/window_controller.h"
#include "transfer/webmail_standin.h"

namespace {

// Tells the test of each file the worker starts to send.
class TSendView : public TNullMainView {
  public:
    void SetText(TMainText text, const std::string& value) override {
        if (text == TMainText::SendFile && !value.empty() && OnSending) OnSending(value);
    }
    std::function<void(const std::string&)> OnSending;
};

class SendCycleTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        standin_ = new TWebMailStandin({{"self@x.example", "S1", "pw"}});
    }
    static void TearDownTestSuite() {
        delete standin_;
        standin_ = nullptr;
    }

    // Real time: the uploads go over real sockets with their real time-outs.
    void SetUp() override {
        standin_->Post("reset", "{}");
        const std::string programDir = dir_.Path() + "DVR/";
        ForceDirectories(programDir);
        WriteFile(
            programDir + "USER.INI",
            "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\n[IDENTIFICATION]\nEMAIL_ADDR=self@x.example\n"
            "LOGIN_ID=S1\n[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=30\n[SCHEDULE]\n"
            "CONNECT_OPTION=1\n[iFile]\nTXT=1\n");
        WriteFile(programDir + "DVR.INI",
                  "[SYSTEM]\nVERSION=2.4.1\n[IDX]\nA=ORDERS\n[ORDERS]\n"
                  "EMAIL=orders@x.example\nWebMailSender=" +
                      standin_->UrlFormat("send") + "\n");
        TMainWindowSetup setup;
        setup.ProgramDir = programDir;
        setup.ComputerName = "TESTPC";
        setup.MakeTimer = [] { return std::make_unique<TPumpTimer>(); };
        setup.InstallOperatorView = false;
        controller_ = std::make_unique<TMainController>(std::move(setup), view_);
        controller_->FormCreate();
        controller_->FormShow();
    }
    void TearDown() override {
        SetAtomicWriteFault({});
        standin_->Post("faults/clear", "{}");
        controller_->WaitForWorkers();
        controller_->FormClose();
        controller_.reset();
        PumpMessages(0);
    }

    // One tick of the send timer, and the cycle it starts, to its end.
    void SendNow(const std::vector<std::string>& names) {
        for (const std::string& name : names) WriteFile(ProgramInfo.OutboxPath + name, name);
        controller_->Timer_SendTimer();
        ASSERT_TRUE(controller_->WaitForWorkers(120000));
    }
    std::vector<std::string> Log() {
        std::vector<std::string> all;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path() + "LOG/"))
            if (entry.path().extension() == ".log")
                for (auto& line : LogMessages(entry.path().string())) all.push_back(line);
        return all;
    }
    TGatewayStatus Status() {
        TGatewayStatus status;
        std::string error;
        EXPECT_TRUE(StatusFromJson(ReadFile(ProgramInfo.LogPath + kStatusFileName), status, error));
        return status;
    }

    static TWebMailStandin* standin_;
    TTempDir dir_;
    TSendView view_;
    std::unique_ptr<TMainController> controller_;
};

TWebMailStandin* SendCycleTest::standin_ = nullptr;

TEST_F(SendCycleTest, AFileWhoseWorkFileCannotBeWrittenStaysAndTheOthersAreSent) {
    // The message file of A2.TXT, in the upload's work folder in the Outbox.
    std::string broken;
    SetAtomicPathFault([&broken](TAtomicStep step, const std::string& path) {
        if (step != TAtomicStep::Create || !path.ends_with("/A2.msg")) return 0;
        broken = path;
        return ENOSPC;
    });
    SendNow({"A1.TXT", "A2.TXT", "A3.TXT"});

    EXPECT_EQ(FolderNames(ProgramInfo.SentboxPath), (std::vector<std::string>{"A1.TXT", "A3.TXT"}));
    EXPECT_EQ(FolderNames(ProgramInfo.OutboxPath), std::vector<std::string>{"A2.TXT"});
    EXPECT_EQ(ReadFile(ProgramInfo.OutboxPath + "A2.TXT"), "A2.TXT");
    EXPECT_EQ(JsonNumber(standin_->Get("status"), "uploads"), 2);
    // Said once with its name and why, though the run scanned the Outbox three times.
    const std::string line = "Send: A2.TXT stays in the Outbox. Reason: Unable to create " +
                             broken + ": No space left on device";
    const auto log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << "the log:\n"
                                                           << [&] {
                                                                  std::string all;
                                                                  for (const auto& l : log)
                                                                      all += l + "\n";
                                                                  return all;
                                                              }();
    EXPECT_NE(std::find(log.begin(), log.end(), "Send: 2 file(s) successfully sent"), log.end());

    const TGatewayStatus status = Status();
    EXPECT_TRUE(status.LastSend.Failed);
    EXPECT_EQ(status.LastSend.Count, 2);
    EXPECT_EQ(status.LastSend.FailedCount, 0);  // nothing went to the Error folder
    EXPECT_EQ(status.LastSend.Detail, line);
    EXPECT_EQ(status.OutboxWaiting, 1);

    // The next cycle, the disk free again, sends it.
    SetAtomicWriteFault({});
    SendNow({});
    EXPECT_EQ(FolderNames(ProgramInfo.SentboxPath),
              (std::vector<std::string>{"A1.TXT", "A2.TXT", "A3.TXT"}));
    EXPECT_FALSE(Status().LastSend.Failed);
    EXPECT_TRUE(controller_->SendIdle);
    EXPECT_TRUE(controller_->MessageSent);
}

TEST_F(SendCycleTest, ASentFileTheSentboxCouldNotTakeAsksForAttentionUntilItIsTakenCareOf) {
    const std::string sentbox = ProgramInfo.SentboxPath + "A1.TXT";
    SetAtomicPathFault([sentbox](TAtomicStep step, const std::string& path) {
        return step == TAtomicStep::Rename && path == sentbox ? ENOSPC : 0;
    });
    SendNow({"A1.TXT"});
    SetAtomicWriteFault({});
    EXPECT_EQ(FolderNames(ProgramInfo.OutboxPath), std::vector<std::string>{"A1.TXT.sent"});
    // A later cycle that goes well does not hide it.
    SendNow({"A2.TXT"});
    TGatewayStatus status = Status();
    EXPECT_FALSE(status.LastSend.Failed);
    EXPECT_EQ(status.KeptSent, std::vector<std::string>{"A1.TXT.sent"});
    EXPECT_EQ(StatusProblems(status, status.Updated),
              std::vector<std::string>{
                  "A1.TXT.sent in the Outbox was sent, but the Sentbox could not take it"});
    DeleteFile(ProgramInfo.OutboxPath + "A1.TXT.sent");
    controller_->WriteStatus();
    EXPECT_TRUE(StatusProblems(Status(), Status().Updated).empty());
}

TEST_F(SendCycleTest, APauseWhileAnUploadIsOnTheWireStopsTheRunBeforeTheNextFile) {
    // Each upload waits a moment at the service; the pause arrives on the main thread then,
    // while the worker is inside the request.
    standin_->Post("faults", "{\"kind\": \"delay\", \"seconds\": 0.3, \"target\": \"send\"}");
    bool paused = false;
    view_.OnSending = [&](const std::string&) {
        if (std::exchange(paused, true)) return;
        MainThread().Post([this] { controller_->PauseAutoImportExecute(); });
    };
    SendNow({"A1.TXT", "A2.TXT", "A3.TXT"});

    EXPECT_EQ(FolderNames(ProgramInfo.SentboxPath), std::vector<std::string>{"A1.TXT"});
    EXPECT_EQ(FolderNames(ProgramInfo.OutboxPath), (std::vector<std::string>{"A2.TXT", "A3.TXT"}));
    EXPECT_FALSE(controller_->AutoImport());
    EXPECT_FALSE(controller_->Timer_Send->Enabled());
    const auto log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Pause Auto Import"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Send: 1 file(s) successfully sent"), log.end());

    controller_->ResumeAutoImportExecute();
    SendNow({});
    EXPECT_EQ(FolderNames(ProgramInfo.SentboxPath),
              (std::vector<std::string>{"A1.TXT", "A2.TXT", "A3.TXT"}));
}

}  // namespace
