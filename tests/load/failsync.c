/* Preloaded into a terminal to make the sync of a shop's write-ahead log fail
 * with EIO, as a failing disk does. The terminal arms it by setting
 * LUMARO_FAIL_WAL_SYNC=once just before the commit it wants to fail; the next
 * sync of a file whose name ends in "-wal" fails and the variable is cleared. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int isWal(int fd)
{
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n < 4)
        return 0;
    path[n] = '\0';
    return strcmp(path + n - 4, "-wal") == 0;
}

static int shouldFail(int fd)
{
    const char* armed = getenv("LUMARO_FAIL_WAL_SYNC");
    if (!armed || strcmp(armed, "once") != 0 || !isWal(fd))
        return 0;
    setenv("LUMARO_FAIL_WAL_SYNC", "done", 1);
    return 1;
}

int fsync(int fd)
{
    static int (*real)(int);
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    if (shouldFail(fd)) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

int fdatasync(int fd)
{
    static int (*real)(int);
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
    if (shouldFail(fd)) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}
