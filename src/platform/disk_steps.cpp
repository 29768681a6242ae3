#include "platform/disk_steps.h"

#include <utility>

namespace tarnvex {

namespace {

DiskStepRecorder currentRecorder = nullptr;

} // namespace

DiskStepRecorder recordDiskStepsWith(DiskStepRecorder recorder) noexcept {
    return std::exchange(currentRecorder, recorder);
}

void recordDiskStep(DiskStep step, int fd, std::string_view name) noexcept {
    if (currentRecorder != nullptr) {
        currentRecorder(step, fd, name);
    }
}

} // namespace tarnvex
