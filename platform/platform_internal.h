// platform_internal.h - what the system-specific sources share with platform_common.cpp.
#ifndef FILTER_PLATFORM_INTERNAL_H
#define FILTER_PLATFORM_INTERNAL_H

#include <cstddef>
#include <cstdio>
#include <ctime>

// plat_system_local_time - the real local time and hundredths of a second.
void plat_system_local_time(struct tm *out, int *hundredths);

// plat_system_random - bytes from the system's cryptographic generator; false on failure.
bool plat_system_random(void *buffer, size_t size);


// Raw files for the text reader, by system: a descriptor, or -1.
int plat_raw_open(const char *path);
long plat_raw_read(int fd, char *buffer, size_t size);   // bytes read, 0 at the end, -1 on failure
bool plat_raw_seek(int fd, long long offset);
void plat_raw_close(int fd);

// plat_forget_text_block - nothing read before this moment is served from the block.
void plat_forget_text_block(void);

// Where the test variant of the library fixes the clock and makes operations
// fail (platform/test_hooks.cpp). In the shipped module these are constants,
// and nothing of the hooks is compiled in.
#if defined(FILTER_TEST_HOOKS)
#include "platform/test_hooks.h"

bool plat_test_fault_due(PlatFault kind, const char *path);
FILE *plat_test_written_stream(FILE *opened, const char *path, const char *native);
bool plat_test_close_fault_due(FILE *stream);
bool plat_test_fixed_clock(struct tm *local, int *hundredths, time_t *seconds);
bool plat_test_random_fails(void);
void plat_test_lock_waits(void);
int plat_test_lock_wait_limit(int usual);

// open_fault - a test made this open fail.
inline bool open_fault(const char *path) { return plat_test_fault_due(PLAT_FAULT_OPEN, path); }
// remove_fault - a test made this removal fail.
inline bool remove_fault(const char *path) { return plat_test_fault_due(PLAT_FAULT_REMOVE, path); }
// written_stream - the stream of a file just opened for writing (native: its
// system path), or one that takes no byte when a test made its writes fail.
inline FILE *written_stream(FILE *opened, const char *path, const char *native)
{
    return plat_test_written_stream(opened, path, native);
}
// close_fault - a test made the close of this stream fail; asked once, before the close.
inline bool close_fault(FILE *stream) { return plat_test_close_fault_due(stream); }
// fixed_clock - the time a test fixed, if it did.
inline bool fixed_clock(struct tm *local, int *hundredths, time_t *seconds)
{
    return plat_test_fixed_clock(local, hundredths, seconds);
}
// random_fault - a test made the generator fail.
inline bool random_fault(void) { return plat_test_random_fails(); }
// truncate_fault / rename_fault - a test made this cut or this renaming fail.
inline bool truncate_fault(const char *path) { return plat_test_fault_due(PLAT_FAULT_TRUNCATE, path); }
inline bool rename_fault(const char *path) { return plat_test_fault_due(PLAT_FAULT_RENAME, path); }
// lock_waits - the lock is held elsewhere; a test may act before the wait.
inline void lock_waits(void) { plat_test_lock_waits(); }
// lock_wait_limit - the longest wait for a lock, which a test may shorten.
inline int lock_wait_limit(int usual) { return plat_test_lock_wait_limit(usual); }
#else
inline bool open_fault(const char *) { return false; }
inline bool remove_fault(const char *) { return false; }
inline FILE *written_stream(FILE *opened, const char *, const char *) { return opened; }
inline bool close_fault(FILE *) { return false; }
inline bool fixed_clock(struct tm *, int *, time_t *) { return false; }
inline bool random_fault(void) { return false; }
inline bool truncate_fault(const char *) { return false; }
inline bool rename_fault(const char *) { return false; }
inline void lock_waits(void) {}
inline int lock_wait_limit(int usual) { return usual; }
#endif

#endif
