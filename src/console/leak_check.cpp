#include "console/leak_check.h"

#if defined(TARNVEX_LEAK_CHECK)
#include <cstdlib>
#include <sanitizer/lsan_interface.h>
#include <unistd.h>
#endif

namespace tarnvex {

void checkForLeaks() {
#if defined(TARNVEX_LEAK_CHECK)
    if (__lsan_do_recoverable_leak_check() != 0) {
        static constexpr char message[] = "Leaked memory\n";
        (void)!::write(STDERR_FILENO, message, sizeof message - 1);
        std::abort();
    }
#endif
}

} // namespace tarnvex
