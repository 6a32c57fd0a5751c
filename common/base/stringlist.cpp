#include "common/base/stringlist.h"

#include "common/base/fileutil.h"

int TStringList::IndexOf(const std::string& text) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (SameText(lines_[i], text)) return static_cast<int>(i);
    return -1;
}

std::string TStringList::Names(std::size_t i) const {
    const std::string& line = lines_[i];
    return line.substr(0, line.find('='));
}

std::string TStringList::ValueFromIndex(std::size_t i) const {
    const std::string& line = lines_[i];
    std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int TStringList::IndexOfName(const std::string& name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::size_t eq = lines_[i].find('=');
        if (eq != std::string::npos && SameText(lines_[i].substr(0, eq), name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string TStringList::Values(const std::string& name) const {
    int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(static_cast<std::size_t>(i));
}
