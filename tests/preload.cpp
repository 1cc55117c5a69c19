// Preloaded into the program by start_and_end.sh, never shipped. It plays
// what the program cannot be made to do on cue: a library whose initialiser
// raises a signal (QUARLIN_TEST_RAISE_AT_LOAD=1 raises SIGTERM), and a main
// thread held for good, as by a display that stopped answering (once the
// file QUARLIN_TEST_STALL_FLAG names exists, the event loop's next wait
// never returns, and the flag's name with ".stalled" added says so).
#include <cstdio>
#include <cstdlib>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace {

[[gnu::constructor]] void raiseAtLoad()
{
    if (std::getenv("QUARLIN_TEST_RAISE_AT_LOAD"))
        ::raise(SIGTERM);
}

void stallWhenFlagged()
{
    const char *flag = std::getenv("QUARLIN_TEST_STALL_FLAG");
    if (flag && ::getpid() == ::gettid() && ::access(flag, F_OK) == 0) {
        char stalled[4096];
        if (std::snprintf(stalled, sizeof stalled, "%s.stalled", flag) < int(sizeof stalled))
            ::close(::open(stalled, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        for (;;)
            ::pause();
    }
}

template <typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int poll(pollfd *fds, nfds_t count, int timeout)
{
    stallWhenFlagged();
    static const auto real = next<int (*)(pollfd *, nfds_t, int)>("poll");
    return real(fds, count, timeout);
}

extern "C" int ppoll(pollfd *fds, nfds_t count, const timespec *timeout, const sigset_t *mask)
{
    stallWhenFlagged();
    static const auto real = next<int (*)(pollfd *, nfds_t, const timespec *, const sigset_t *)>("ppoll");
    return real(fds, count, timeout, mask);
}
