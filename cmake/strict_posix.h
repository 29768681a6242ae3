// Included first into every file of the project's own in the strict POSIX build.
//
// On glibc, libc++ itself calls a few GNU functions that glibc declares only under _GNU_SOURCE,
// which this build leaves out to keep them from the project's code. They are declared here for
// libc++ alone, exactly as glibc has them.
#pragma once

#include <version>

#if defined(__GLIBC__) && defined(_LIBCPP_VERSION)
#include <locale.h>
#include <pthread.h>
#include <stdarg.h>
#include <time.h>

extern "C" {
int pthread_cond_clockwait(pthread_cond_t* condition, pthread_mutex_t* mutex, clockid_t clock,
                           const struct timespec* deadline);
int vasprintf(char** text, const char* format, va_list arguments);
long long strtoll_l(const char* text, char** end, int base, locale_t locale);
unsigned long long strtoull_l(const char* text, char** end, int base, locale_t locale);
float strtof_l(const char* text, char** end, locale_t locale);
double strtod_l(const char* text, char** end, locale_t locale);
long double strtold_l(const char* text, char** end, locale_t locale);
}
#endif
