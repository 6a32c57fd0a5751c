#include "dialup/dial_info.h"

#include <algorithm>

#include "common/base/text.h"
#include "common/view.h"
#include "dialup/error_str.h"
#include "dialup/ras.h"

unsigned DialInfoEntries(std::vector<std::string>& names) {
    names.clear();
    const unsigned code = RasEnumEntries(nullptr, names);
    if (code != ERROR_SUCCESS) {
        names.clear();
        return code;
    }
    if (names.size() > kDialInfoMaxEntries) {
        names.clear();
        return ERROR_BUFFER_TOO_SMALL;
    }
    return ERROR_SUCCESS;
}

void TDialInfoLogic::FormCreate() {
    std::vector<std::string> names;
    if (DialInfoEntries(names) != ERROR_SUCCESS) return;
    for (const std::string& name : names) controls_.AddEntry(name);
}

void TDialInfoLogic::ConnectClicked() {
    const auto refuse = [this](const char* text, TDialInfoField field) {
        OperatorView().MessageBox(TMsgKind::Information, text, "", TMsgButtons::OK);
        controls_.Focus(field);
    };
    if (controls_.EntryText().empty())
        refuse("Please select dialup profile.", TDialInfoField::Entries);
    else if (controls_.UserName().empty())
        refuse("Please input User name.", TDialInfoField::UserName);
    else if (controls_.Password().empty())
        refuse("Please input password.", TDialInfoField::Password);
    else
        controls_.CloseWithOk();
}

void TDialInfoLogic::LoadEntryCredentials() {
    const std::vector<std::string> entries = controls_.Entries();
    const int index = controls_.SelectedEntry();
    RASDIALPARAMS params;
    if (index >= 0 && index < static_cast<int>(entries.size()))
        params.szEntryName = entries[static_cast<std::size_t>(index)];
    bool passwordSaved = false;
    if (params.szEntryName.empty() ||
        RasGetEntryDialParams(nullptr, params, passwordSaved) != ERROR_SUCCESS) {
        controls_.SetUserName("");
        controls_.SetPassword("");
        controls_.SetSavePassword(false);
        return;
    }
    controls_.SetUserName(params.szUserName);
    controls_.SetEntryLabel(params.szEntryName);
    controls_.SetPassword(passwordSaved ? params.szPassword : std::string());
    controls_.SetSavePassword(passwordSaved);
}

void TDialInfoLogic::CreateClicked() {
    const unsigned created = RasCreatePhonebookEntryA(controls_.OwnerWindow(), nullptr);
    if (created != ERROR_SUCCESS) {
        ShowRasError("Cannot create connection entry: ", static_cast<int>(created), TMsgButtons::OK,
                     TMsgKind::Error);
        return;
    }
    std::vector<std::string> names;
    if (const unsigned listed = DialInfoEntries(names); listed != ERROR_SUCCESS) {
        ShowRasError("Cannot get RAS entries: ", static_cast<int>(listed), TMsgButtons::OK,
                     TMsgKind::Error);
        return;
    }
    for (const std::string& name : names) {
        const std::vector<std::string> listed = controls_.Entries();
        if (std::find(listed.begin(), listed.end(), name) != listed.end()) continue;
        controls_.AddEntry(name);
        if (listed.empty()) {
            controls_.SelectEntry(0);
            LoadEntryCredentials();
        }
    }
}

void TDialInfoLogic::SettingClicked() {
    const std::vector<std::string> entries = controls_.Entries();
    const int index = controls_.SelectedEntry();
    if (index < 0 || index >= static_cast<int>(entries.size())) return;
    const unsigned edited = RasEditPhonebookEntryA(
        controls_.OwnerWindow(), nullptr, entries[static_cast<std::size_t>(index)].c_str());
    if (edited != ERROR_SUCCESS)
        ShowRasError("Cannot change connection settings: ", static_cast<int>(edited),
                     TMsgButtons::OK, TMsgKind::Error);
    else
        LoadEntryCredentials();
}

void TDialInfoLogic::SelectByName(const std::string& name) {
    const std::vector<std::string> entries = controls_.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!name.empty() && SameText(entries[i], name)) {
            controls_.SelectEntry(static_cast<int>(i));
            return;
        }
    controls_.SelectEntry(-1);
}
