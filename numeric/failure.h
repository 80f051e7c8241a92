#pragma once
// Errors that travel from the library code up to the command that started the work.
// The GUI shows `message` in a message box; the batch tool prints it and exits non-zero.

#include <string>

namespace orv {

struct Failure {
    std::string message;
};

[[noreturn]] inline void raise_failure(std::string message) { throw Failure{std::move(message)}; }

}  // namespace orv
