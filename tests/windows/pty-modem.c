/* Preloaded into Wine by com1.sh; never shipped. Wine asks for the modem
 * lines each time a WaitCommEvent wakes, and a pty has none (ENOTTY), which
 * makes Wine cancel the wait. A pty answers here as a line with CTS, DSR and
 * CD up; every other call, and a hung-up pty's, goes through unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <unistd.h>

int ioctl(int fd, unsigned long request, ...)
{
    static int (*next)(int, unsigned long, ...);
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    if (!next)
        next = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    const int result = next(fd, request, arg);
    const int error = errno;
    if (result < 0 && request == TIOCMGET && error == ENOTTY && isatty(fd)) {
        *(int *)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
        return 0;
    }
    errno = error;
    return result;
}
