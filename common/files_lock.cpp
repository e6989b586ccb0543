// files_lock.cpp - the lock of the filter's shared files, morvel\morvel.lck.
//
// An operating-system lock, not a file created and removed: the system
// releases it when its holder ends, however it ends, so it can never be left
// behind as a stale dot-lock can. The file itself stays, empty. The host's
// own lock on its import file is a different thing and stays as the host
// knows it. Takes nest (a log mailed by "-log" goes through the mail drop,
// which takes the lock too): only the outermost take and release reach the
// system, since the system's lock is one per process and file.
//
// A holder that never lets go (a tool stopped at a prompt, a process held in
// a debugger) must cost the host one short wait, not one at every take of
// every call: the waits of a call share one allowance, measured on the
// platform's clock, and a lock found stuck is remembered in a marker, so the
// calls after it only try it once until it is free again. Failures are
// reported by result; what the sysop must hear is kept for the caller.
#include "common/files_lock.h"
#include "common/filter_dir.h"
#include "platform/platform.h"

const char files_lock_name[] = "morvel.lck";
static const char files_lock_path[] = FILTER_DIR "\\morvel.lck";
static const char stuck_marker[] = FILTER_DIR "\\lockstuck.own";

static PlatLock files_lock = {-1};
static int files_lock_depth;
static bool files_lock_held;      // the outermost take got the lock
static long wait_left_ms = FILES_LOCK_WAIT_MS;
static FilesLockNews news;

// take_stuck_lock - a lock known to be stuck is tried once; when it is
// free again the marker goes. True when taken.
static bool take_stuck_lock(void)
{
    if (plat_try_lock(files_lock_path, &files_lock) <= 0)
        return false;
    if (plat_remove(stuck_marker))
        news = FILES_LOCK_FREED;
    return true;
}

// wait_for_lock - the lock, waited for within what is left of the call's
// allowance; a lock still held at its end is noted as stuck. True when taken.
static bool wait_for_lock(void)
{
    long long start = plat_clock_ms();
    if (plat_lock(files_lock_path, &files_lock, wait_left_ms > 0 ? wait_left_ms : 0))
        return true;
    long long waited = plat_clock_ms() - start;
    wait_left_ms -= waited < wait_left_ms ? (long)waited : wait_left_ms;
    if (wait_left_ms == 0 && plat_create_hidden(stuck_marker))
        news = FILES_LOCK_FOUND_STUCK;
    return false;
}

bool lock_filter_files(void)
{
    if (files_lock_depth > 0) {
        files_lock_depth++;
        return files_lock_held;
    }
    files_lock_depth = 1;
    files_lock_held = plat_exists(stuck_marker) ? take_stuck_lock() : wait_for_lock();
    return files_lock_held;
}

void unlock_filter_files(void)
{
    if (files_lock_depth == 0)
        return;
    if (--files_lock_depth == 0) {
        plat_unlock(&files_lock);
        files_lock_held = false;
    }
}

void files_lock_new_call(void)
{
    wait_left_ms = FILES_LOCK_WAIT_MS;
}

FilesLockNews take_files_lock_news(void)
{
    FilesLockNews n = news;
    news = FILES_LOCK_NO_NEWS;
    return n;
}

void files_lock_reset(void)
{
    plat_unlock(&files_lock);
    files_lock_depth = 0;
    files_lock_held = false;
    wait_left_ms = FILES_LOCK_WAIT_MS;
    news = FILES_LOCK_NO_NEWS;
}
