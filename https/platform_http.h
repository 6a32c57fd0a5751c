#pragma once

// The platform HTTP library path of the request engine (UseWinInet true): one action runs
// through libcurl on a worker thread while the calling thread waits for it in 10 ms steps,
// pumping its messages and raising the events the worker hands over. Properties, events,
// TransferredData, LocalFile and the error descriptions are those of the engine's own path;
// the codes of a failed transfer are the platform codes (12001 ...).

#include <functional>
#include <string>

#include "https/request_engine.h"

// What the path reads and fills of the request engine for one action.
struct TPlatformTransferContext {
    TipsHTTPS* Sender = nullptr;
    TipsHTTPSEvents* Events = nullptr;
    const TRequestSettings* Settings = nullptr;
    std::string* StatusLine = nullptr;
    std::string* HeaderText = nullptr;
    std::string* TransferredData = nullptr;
    // Raises EipsHTTPS 301 when the action was interrupted or its time is up.
    std::function<void()> CheckAbort;
    // Clears the busy flag (after a failed wait step).
    std::function<void()> ClearBusy;
};

// The largest body piece handed to TransferredData, LocalFile and OnTransfer.
inline constexpr size_t kPlatformBodyPiece = 2000;

// Runs one transfer action (httpGet, httpPost, httpHead, httpPut). Returns 0 when the whole
// response was read (the caller then judges StatusLine) or 301 when a wait step failed;
// raises EipsHTTPS for every other failure. The worker thread has ended when it returns.
int RunPlatformTransfer(TipshttpsActions action, const TPlatformTransferContext& context);
