// files_lock.cpp - the lock of the filter's shared files, morvel\morvel.lck.
//
// An operating-system lock, not a file created and removed: the system
// releases it when its holder ends, however it ends, so it can never be left
// behind as a stale dot-lock can. The file itself stays, empty. The host's
// own lock on its import file is a different thing and stays as the host
// knows it. Takes nest (a log mailed by "-log" goes through the mail drop,
// which takes the lock too): only the outermost take and release reach the
// system, since the system's lock is one per process and file.
#include "common/files_lock.h"
#include "common/filter_dir.h"
#include "platform/platform.h"

static const char files_lock_path[] = FILTER_DIR "\\morvel.lck";

static PlatLock files_lock = {-1};
static int files_lock_depth;

bool lock_filter_files(void)
{
    if (files_lock_depth > 0) {
        files_lock_depth++;
        return true;
    }
    bool taken = plat_lock(files_lock_path, &files_lock);
    files_lock_depth = 1;
    return taken;
}

void unlock_filter_files(void)
{
    if (files_lock_depth == 0)
        return;
    if (--files_lock_depth == 0)
        plat_unlock(&files_lock);
}

void files_lock_reset(void)
{
    plat_unlock(&files_lock);
    files_lock_depth = 0;
}
