#pragma once
// A refusal of the batch tool itself (unreadable input, existing output, mismatched pair):
// printed on standard error by the command boundary, exit status 1.

#include <string>
#include <utility>

namespace orv {

struct CommandError {
    std::string message;
};

[[noreturn]] inline void raise_command_error(std::string message) {
    throw CommandError{std::move(message)};
}

}  // namespace orv
