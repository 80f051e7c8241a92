#pragma once
// Shared pieces of the reader fuzz targets.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

#include "numeric/failure.h"

namespace orv::fuzz {

// Traps (a finding for libFuzzer) when a promise of the code under test is broken.
inline void require(bool condition) {
    if (!condition) __builtin_trap();
}

// The fuzzer's bytes as a text stream.
inline std::istringstream input_text(const std::uint8_t* data, std::size_t size) {
    return std::istringstream(std::string(reinterpret_cast<const char*>(data), size));
}

// Runs a reader; a refusal must carry a message and gives no value.
template <class Read>
auto read_or_refused(Read&& read) -> std::optional<decltype(read())> {
    try {
        return read();
    } catch (const Failure& failure) {
        require(!orv::failure_text(failure).empty());
        return std::nullopt;
    }
}

// Runs a step that returns nothing; true when it was refused (with a message).
template <class Step>
bool refused(Step&& step) {
    try {
        step();
        return false;
    } catch (const Failure& failure) {
        require(!orv::failure_text(failure).empty());
        return true;
    }
}

}  // namespace orv::fuzz
