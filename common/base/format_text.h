#pragma once

// Fills a format text from the settings (a web-mail URL format, say) with string arguments,
// the way the program's format strings have always worked: "%s" takes the next argument,
// "%N:s" argument N (from 0), a width and precision may stand between ("%-10.3s"), and
// "%%" is one "%". Anything else after a "%", or too few arguments, raises EConvertError
// with the text "Format '<format>' invalid or incompatible with argument". Arguments left
// over are ignored.

#include <string>
#include <vector>

std::string FormatText(const std::string& format, const std::vector<std::string>& args);
