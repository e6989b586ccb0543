// files_lock.h - the lock that keeps two processes of the filter (the BBS's
// and a sysop's tool beside it) from writing the filter's shared files at once.
#ifndef FILTER_FILES_LOCK_H
#define FILTER_FILES_LOCK_H

// The longest one call waits for the lock, in all its takes together. The
// filter's own holders keep it for a few file operations; one that has not
// let go by then is stuck (a tool stopped at a prompt), and the host must
// not stall behind it.
enum { FILES_LOCK_WAIT_MS = 1000 };

// lock_filter_files - take the lock of the filter's shared files (the held
// mail and the mail drop, the logs), waiting for the other process within
// the call's allowance; nested takes only count. False when it could not be
// had (and then nested takes give false too): the caller goes on
// unserialised, as a filter without the lock would, rather than hang the
// host. A lock found stuck is remembered in morvel\lockstuck.own, and
// until it is free again no call waits for it.
bool lock_filter_files(void);

// unlock_filter_files - undo one lock_filter_files; the last one releases.
void unlock_filter_files(void);

// files_lock_new_call - the host called again: a new allowance for the waits.
void files_lock_new_call(void);

enum FilesLockNews { FILES_LOCK_NO_NEWS, FILES_LOCK_FOUND_STUCK, FILES_LOCK_FREED };

// take_files_lock_news - what the sysop must hear of the lock since the last
// asking: it was found stuck (once while it stays), or it is free again.
FilesLockNews take_files_lock_news(void);

// files_lock_name - the lock's file name, as a report names it.
extern const char files_lock_name[];

// files_lock_reset - at load the filter holds no lock.
void files_lock_reset(void);

#endif
