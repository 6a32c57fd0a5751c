#pragma once

#include <stdexcept>
#include <string>

// The error every failing action or property assignment of the HTTPS component raises.
// Its message is the code in decimal, ": " and the description ("151: 404 Not Found").
// A layer may throw it with an empty description; the engine then fills the description
// from its rule (socket error table or "[%d] (no description available)").
class EipsHTTPS : public std::runtime_error {
  public:
    EipsHTTPS(int code, const std::string& description)
        : std::runtime_error(std::to_string(code) + ": " + description),
          Code(code),
          Description(description) {}

    int Code;
    std::string Description;
};
