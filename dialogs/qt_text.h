#pragma once

// Texts are 8-bit bytes everywhere in the program; on screen every byte becomes the one
// Latin-1 character of the same value and back, so nothing is ever converted.

#include <QString>
#include <string>

inline QString QText(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string StdText(const QString& text) {
    QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
