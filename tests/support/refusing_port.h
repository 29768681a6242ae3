#pragma once

#include <cstdint>

namespace tarnvex::test {

/// A loopback TCP port that refuses every connection for as long as this lives: bound, so that
/// nothing else can take it, but never listening.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    std::uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace tarnvex::test
