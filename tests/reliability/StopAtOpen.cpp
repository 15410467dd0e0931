// Preloaded (LD_PRELOAD) into quillmerge-export by the interruption tests.
// The first time the program opens a path under $QM_STOP_UNDER (the folder
// itself, as for an unnamed file, or anything in it), the process stops
// itself (SIGSTOP) right before that open. The test, seeing it stopped,
// sends its signal and lets it go on (SIGCONT); the open then waits until the
// program has taken the signal (SIGINT, SIGTERM and SIGHUP are no longer
// pending) and goes ahead. So the signal arrives at one exact point of the
// run, however fast or slow the machine is.

#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>
#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<bool> gStopped{false};

bool isUnderStopFolder(const char* path) {
    const char* folder = std::getenv("QM_STOP_UNDER");
    if (!folder || !*folder || !path)
        return false;
    const std::size_t length = std::strlen(folder);
    return std::strncmp(path, folder, length) == 0 && (path[length] == '\0' || path[length] == '/');
}

void stopBeforeOpening(const char* path) {
    if (!isUnderStopFolder(path) || gStopped.exchange(true))
        return;
    ::kill(::getpid(), SIGSTOP);
    for (;;) {
        sigset_t pending;
        sigpending(&pending);
        if (!sigismember(&pending, SIGINT) && !sigismember(&pending, SIGTERM) &&
            !sigismember(&pending, SIGHUP))
            return;
        sched_yield();
    }
}

bool needsMode(int flags) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

template <class Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using OpenFunction = int (*)(const char*, int, ...);
using OpenAtFunction = int (*)(int, const char*, int, ...);
using CheckedOpenFunction = int (*)(const char*, int);
using CheckedOpenAtFunction = int (*)(int, const char*, int);

}  // namespace

// The plain, large-file and fortified (_FORTIFY_SOURCE) entry points.
#define QM_OPEN(name)                                       \
    extern "C" int name(const char* path, int flags, ...) { \
        mode_t mode = 0;                                    \
        if (needsMode(flags)) {                             \
            va_list arguments;                              \
            va_start(arguments, flags);                     \
            mode = va_arg(arguments, mode_t);               \
            va_end(arguments);                              \
        }                                                   \
        static const auto real = next<OpenFunction>(#name); \
        stopBeforeOpening(path);                            \
        return real(path, flags, mode);                     \
    }
#define QM_OPENAT(name)                                                    \
    extern "C" int name(int directory, const char* path, int flags, ...) { \
        mode_t mode = 0;                                                   \
        if (needsMode(flags)) {                                            \
            va_list arguments;                                             \
            va_start(arguments, flags);                                    \
            mode = va_arg(arguments, mode_t);                              \
            va_end(arguments);                                             \
        }                                                                  \
        static const auto real = next<OpenAtFunction>(#name);              \
        stopBeforeOpening(path);                                           \
        return real(directory, path, flags, mode);                         \
    }
#define QM_CHECKED_OPEN(name)                                      \
    extern "C" int name(const char* path, int flags) {             \
        static const auto real = next<CheckedOpenFunction>(#name); \
        stopBeforeOpening(path);                                   \
        return real(path, flags);                                  \
    }
#define QM_CHECKED_OPENAT(name)                                       \
    extern "C" int name(int directory, const char* path, int flags) { \
        static const auto real = next<CheckedOpenAtFunction>(#name);  \
        stopBeforeOpening(path);                                      \
        return real(directory, path, flags);                          \
    }

QM_OPEN(open)
QM_OPEN(open64)
QM_OPENAT(openat)
QM_OPENAT(openat64)
QM_CHECKED_OPEN(__open_2)
QM_CHECKED_OPEN(__open64_2)
QM_CHECKED_OPENAT(__openat_2)
QM_CHECKED_OPENAT(__openat64_2)
