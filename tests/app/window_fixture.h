#pragma once

// A throw-away installation (program folder with its two settings files, data folders under
// its parent) and the main window created on it, with fake timers and a scripted view.

#include <dirent.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "app/so_main.h"
#include "common/base/fileutil.h"
#include "common/settings.h"
#include "common/single_instance.h"
#include "common/test_support.h"
#include "dialup/connect_mgr.h"

class TFakeTimer : public ITimer {
  public:
    void SetInterval(int ms) override { interval = ms; }
    int Interval() const override { return interval; }
    void SetEnabled(bool on) override { enabled = on; }
    bool Enabled() const override { return enabled; }
    void Fire() { OnTimer(); }

    int interval = 0;
    bool enabled = false;
};

inline std::string DefaultUserIni() {
    return "[SYSTEM]\nLOG_LEVEL=2\nAUTOIMPORT=1\n"
           "[CONNECTION]\nLEASE_LINE=1\nDIALUP_DELAY=5\n"
           "[SCHEDULE]\nCONNECT_OPTION=2\nCONNECT_EVERY_MIN=30\nCONNECT_AT_TIME=09:30AM\n"
           "[iFile]\nTXT=1\nEDI=0\n";
}

class WindowTest : public testing::Test {
  protected:
    void SetUp() override { SetOperatorView(&view); }

    // Writes the settings files, lays out data files, and creates the window.
    void Open(const std::string& userIni = DefaultUserIni()) {
        programDir = dir.Path() + "DVR/";
        mkdir(programDir.c_str(), 0755);
        WriteFile(programDir + "USER.INI", userIni);
        WriteFile(programDir + "DVR.INI", "[SYSTEM]\nVERSION=2.4.1\n");
        lockFile = std::make_unique<TLockFile>(programDir + "TESTPC.lck");
        ASSERT_TRUE(lockFile->Create());
        TMainWindowSetup setup;
        setup.ProgramDir = programDir;
        setup.ComputerName = "TESTPC";
        setup.LockFile = lockFile.get();
        setup.InstallOperatorView = false;
        setup.MakeTimer = [this] {
            auto timer = std::make_unique<TFakeTimer>();
            timers.push_back(timer.get());
            return timer;
        };
        window = std::make_unique<Tso_frmMain>(std::move(setup));
        window->FolderOpener = [this](const std::string& folder) { opened.push_back(folder); };
    }

    void Show() {
        window->show();
        QApplication::processEvents();
    }

    void TearDown() override {
        if (window && !window->ClosedDown()) {
            window->Controller().SendIdle = window->Controller().RecvIdle = DialIdle = true;
            window->Timer_Delay->SetEnabled(false);
            window->close();
        }
        window.reset();
        SetOperatorView(nullptr);
    }

    TFakeTimer& Fake(ITimer* timer) { return static_cast<TFakeTimer&>(*timer); }

    // The messages of this run's log (time stamps cut off).
    std::vector<std::string> Log() {
        std::string folder = dir.Path() + "LOG/";
        std::vector<std::string> all;
        if (DIR* d = opendir(folder.c_str())) {
            // The folder also holds the status file; only the .log files are the log.
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.' && ExtractFileExt(e->d_name) == ".log")
                    for (auto& line : LogMessages(folder + e->d_name)) all.push_back(line);
            closedir(d);
        }
        return all;
    }

    bool Logged(const std::string& message) {
        auto lines = Log();
        return std::find(lines.begin(), lines.end(), message) != lines.end();
    }

    TTempDir dir;
    std::string programDir;
    TScriptedView view;
    std::unique_ptr<TLockFile> lockFile;
    std::vector<TFakeTimer*> timers;
    std::vector<std::string> opened;
    std::unique_ptr<Tso_frmMain> window;
};
