// files_lock.h - the lock that keeps two processes of the filter (the BBS's
// and a sysop's tool beside it) from writing the filter's shared files at once.
#ifndef FILTER_FILES_LOCK_H
#define FILTER_FILES_LOCK_H

// lock_filter_files - take the lock of the filter's shared files (the held
// mail and the mail drop, the logs), waiting for the other process; nested
// takes only count. False when it could not be had in time: the caller goes
// on unserialised, as a filter without the lock would, rather than hang the host.
bool lock_filter_files(void);

// unlock_filter_files - undo one lock_filter_files; the last one releases.
void unlock_filter_files(void);

// files_lock_reset - at load the filter holds no lock.
void files_lock_reset(void);

#endif
