#pragma once

// Starts a transfer worker as the controller does: on a copy of the loaded settings, the
// send one on a fresh Outbox scan with automatic sending as USER.INI says. The caller holds
// the worker; it is joined when let go.

#include <atomic>
#include <memory>

#include "common/outbox_scan.h"
#include "common/settings.h"
#include "transfer/recv_thread.h"
#include "transfer/send_thread.h"

inline std::unique_ptr<TSendThread> StartSend(IMainView* view, TSendThread::TEndHandler end) {
    static std::atomic<bool> autoImport{true};
    autoImport = ProgramInfo.AutoImport;
    auto worker = std::make_unique<TSendThread>(
        TSendJob{SettingsSnapshot(), ScanOutbox(LoadedSettings()), &autoImport}, view,
        std::move(end));
    worker->Start();
    return worker;
}

inline std::unique_ptr<TRecvThread> StartReceive(IMainView* view, TRecvThread::TEndHandler end) {
    auto worker = std::make_unique<TRecvThread>(SettingsSnapshot(), view, std::move(end));
    worker->Start();
    return worker;
}
