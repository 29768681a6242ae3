#include "console/run.h"

#include "add_instance.h"
#include "console/banner.h"
#include "console/leak_check.h"
#include "console/line_input.h"
#include "console/log.h"
#include "platform/environment.h"
#include "platform/fd_stream.h"
#include "platform/interrupt_cleanup.h"
#include "platform/signals.h"

#include <cstdint>
#include <new>
#include <unistd.h>

namespace tarnvex {

namespace {

enum class Ending : std::uint8_t { Done, Quit };

Result<Ending> runSteps(const InstallerSettings& settings, BufferedReader& in,
                        BufferedWriter& out) {
    try {
        if (auto shown = writeBanner(out); !shown) {
            return std::unexpected(shown.error());
        }
        if (auto flushed = out.flush(); !flushed) {
            return std::unexpected(flushed.error());
        }
        auto added = addInstance(settings, in, out);
        if (!added) {
            return std::unexpected(added.error());
        }
        if (*added == InstanceOutcome::Quit) {
            return Ending::Quit;
        }
        logInfo("Done!\nPress Enter to exit...");
        if (auto line = input(in, out, ""); !line) {
            return std::unexpected(line.error());
        }
        return Ending::Done;
    } catch (const std::bad_alloc&) {
        return std::unexpected(Error::OutOfMemory);
    } catch (...) {
        return std::unexpected(Error::Unexpected);
    }
}

} // namespace

int runInstaller(const InstallerSettings& settings) {
    keepOnlyEnvironmentVariable("HOME");
    installCrashReporter();
    installBrokenPipeHandler();
    installInterruptCleanup();

    FdSource standardInput(STDIN_FILENO, Error::ReadFailed);
    FdSink standardOutput(STDOUT_FILENO, Error::WriteFailed);
    BufferedReader in(standardInput, 128);
    BufferedWriter out(standardOutput, 1024);

    const auto ending = runSteps(settings, in, out);
    if (ending && *ending == Ending::Quit) {
        return 0;
    }
    (void)out.flush();
    checkForLeaks();
    if (!ending) {
        logError(errorName(ending.error()));
        return 1;
    }
    return 0;
}

} // namespace tarnvex
