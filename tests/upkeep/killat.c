/* Preloaded into lumaro-admin to kill it, as a power cut or `kill -9` would,
 * just before its Nth change of a folder (a name made by link or rename, or
 * removed), N read from LUMARO_KILL_AT. Every point between two such changes
 * is one state the folder can be left in. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

static void step(void)
{
    static int done;
    const char* at = getenv("LUMARO_KILL_AT");
    if (at && ++done == atoi(at))
        raise(SIGKILL);
}

#define PASS(name, params, args) \
    int name params \
    { \
        static int(*real) params; \
        if (!real) \
            real = (int(*) params)dlsym(RTLD_NEXT, #name); \
        step(); \
        return real args; \
    }

PASS(rename, (const char* a, const char* b), (a, b))
PASS(renameat, (int fa, const char* a, int fb, const char* b), (fa, a, fb, b))
PASS(renameat2, (int fa, const char* a, int fb, const char* b, unsigned flags), (fa, a, fb, b, flags))
PASS(link, (const char* a, const char* b), (a, b))
PASS(linkat, (int fa, const char* a, int fb, const char* b, int flags), (fa, a, fb, b, flags))
PASS(unlink, (const char* a), (a))
PASS(unlinkat, (int fd, const char* a, int flags), (fd, a, flags))
