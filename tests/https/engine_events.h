#pragma once

// Records every event of a component as one line of text, in order.

#include <string>
#include <vector>

#include "https/ipshttps.h"

struct TEventLog {
    std::vector<std::string> Lines;
    std::string Body;  // the direction-1 transfer texts joined

    explicit TEventLog(TipsHTTPS& http) {
        http.OnConnected = [this](TipsHTTPS*, int code, const std::string& text) {
            Add("Connected " + std::to_string(code) + " " + text);
        };
        http.OnDisconnected = [this](TipsHTTPS*, int code, const std::string& text) {
            Add("Disconnected " + std::to_string(code) + " " + text);
        };
        http.OnStartTransfer = [this](TipsHTTPS*, int direction) {
            Add("StartTransfer " + std::to_string(direction));
        };
        http.OnEndTransfer = [this](TipsHTTPS*, int direction) {
            Add("EndTransfer " + std::to_string(direction));
        };
        http.OnError = [this](TipsHTTPS*, int code, const std::string& text) {
            Add("Error " + std::to_string(code) + " " + text);
        };
        http.OnHeader = [this](TipsHTTPS*, const std::string& field, const std::string& value) {
            Add("Header " + field + ": " + value);
        };
        http.OnSetCookie = [this](TipsHTTPS*, const std::string& name, const std::string& value,
                                  const std::string&, const std::string&, const std::string& path,
                                  bool secure) {
            Add("SetCookie " + name + "=" + value + " " + path + (secure ? " secure" : ""));
        };
        http.OnTransfer = [this](TipsHTTPS*, int direction, int64_t total,
                                 const std::string& text) {
            Add("Transfer " + std::to_string(direction) + " " + std::to_string(total) + " " +
                std::to_string(text.size()));
            if (direction == 1) Body += text;
        };
    }

    void Add(const std::string& line) { Lines.push_back(line); }

    // The lines that start with prefix.
    std::vector<std::string> With(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& line : Lines)
            if (line.starts_with(prefix)) found.push_back(line);
        return found;
    }
};

// Runs action; returns the error message, "" when the action succeeded.
inline std::string ActionError(TipsHTTPS& http, TipshttpsActions action) {
    try {
        http.SetAction(action);
        return {};
    } catch (const EipsHTTPS& error) {
        return error.what();
    }
}
