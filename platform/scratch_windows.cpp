// scratch_windows.cpp - the scratch files of the layers above the system, on Windows.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/platform_internal.h"

#include <fcntl.h>
#include <io.h>

// A file of the user's temporary directory, deleted by the system at its last
// close (the C library's tmpfile would try the root of the drive, which a
// sysop's account may not write).
FILE *plat_scratch_stream(void)
{
    char dir[MAX_PATH], path[MAX_PATH];
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir || GetTempFileNameA(dir, "flt", 0, path) == 0)
        return nullptr;
    int fd = _open(path, _O_RDWR | _O_BINARY | _O_TEMPORARY | _O_NOINHERIT);
    if (fd < 0) {
        DeleteFileA(path);
        return nullptr;
    }
    FILE *f = _fdopen(fd, "w+b");
    if (!f)
        _close(fd);
    return f;
}
