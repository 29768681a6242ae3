#pragma once

#include <string>

namespace tarnvex::test {

/// Sends this process's standard error to a temp file while it lives.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    /// What was written so far.
    std::string text() const;

private:
    int savedFd_ = -1;
    int captureFd_ = -1;
};

} // namespace tarnvex::test
