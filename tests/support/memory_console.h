#pragma once

#include "io/buffered_reader.h"
#include "io/buffered_writer.h"
#include "support/memory_stream.h"

#include <cstddef>
#include <string>
#include <utility>

namespace tarnvex::test {

/// The console as a test sees it: typed text in, everything shown collected.
struct MemoryConsole {
    explicit MemoryConsole(std::string typed, std::size_t pieceSize = 1 << 20)
        : source(std::move(typed), pieceSize) {}

    StringSource source;
    StringSink sink;
    BufferedReader in{source, 128};
    BufferedWriter out{sink, 1024};
};

} // namespace tarnvex::test
