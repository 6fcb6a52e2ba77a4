/* Preloaded into Wine by the Windows serial tests.
 *
 * Pseudo-terminals have no modem lines: the modem-line ioctls fail on them
 * with ENOTTY or EINVAL, and Wine's comm-event wait gives up when it cannot
 * read the lines. On a pty slave this shim answers those ioctls as a port
 * with all lines off and no line errors; on every other descriptor it passes
 * the call through unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <linux/serial.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int is_pty_slave(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    /* Unix98 pty slaves: majors 136 to 143. */
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...)
{
    static ioctl_fn real_ioctl;
    va_list ap;
    void* arg;
    int rc;

    va_start(ap, request);
    arg = va_arg(ap, void*);
    va_end(ap);

    if (!real_ioctl)
        real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");

    rc = real_ioctl(fd, request, arg);
    if (rc == 0 || (errno != ENOTTY && errno != EINVAL) || !is_pty_slave(fd))
        return rc;

    switch (request) {
    case TIOCMGET:
        if (arg)
            *(int*)arg = 0;
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        return 0;
    case TIOCGICOUNT:
        if (arg)
            memset(arg, 0, sizeof(struct serial_icounter_struct));
        return 0;
    case TIOCMIWAIT:
        /* No line ever changes: report "not supported" the way real
         * drivers without modem lines do. */
        errno = EINVAL;
        return -1;
    default:
        return rc;
    }
}
