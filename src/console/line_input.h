#pragma once

#include "error.h"
#include "io/buffered_reader.h"
#include "io/buffered_writer.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvex {

/// Shows `prompt` and "> ", flushes, and reads one line without its line feed (and without one
/// trailing carriage return). At the end of the input the line is empty.
Result<std::string> input(BufferedReader& in, BufferedWriter& out, std::string_view prompt);

/// Asks with "SELECT> " until a number from 1 to `upperBound` is typed, complaining about every
/// other answer. Fails with EndOfStream once the input has ended.
Result<std::uint8_t> inputNumberBetweenOneAnd(BufferedReader& in, BufferedWriter& out,
                                              std::uint8_t upperBound);

} // namespace tarnvex
