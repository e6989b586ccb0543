// platform_ops.h - the table of the platform's operations: every call of the
// filter that meets the operating system goes through one entry of plat_ops.
//
// The functions of platform.h call these entries and nothing else of the
// system. platform_posix.cpp or platform_windows.cpp fills the table with the
// system's own operations, and the module the host loads never changes it.
// The libraries of the tools and the tests link layers that put their own
// entries in the table while they are on, each keeping the entries it
// replaced and calling them for what it does not do itself:
//   platform/dry_run.cpp     writes, removals and new directories held in memory
//   platform/fixed_clock.cpp the clock a tool or a test names
//   platform/test_hooks.cpp  counted faults (the tests' library only)
// A layer never asks whether another one is on; the table says it all.
//
// Adding an operation: a field here, its system entry at the end of
// platform_posix.cpp (its path found with resolve_path, its system calls
// COUNTED, the names it makes or removes told to the listings) and of
// platform_windows.cpp, the plat_ function of
// platform.h that calls it (platform_common.cpp), and an entry in each layer
// that must see it: the dry run for anything that changes the disk, the
// faults for anything that can fail.
#ifndef FILTER_PLATFORM_OPS_H
#define FILTER_PLATFORM_OPS_H

#include "platform/platform.h"

struct PlatOps {
    // Streams, by filter path; each is closed through close_stream.
    FILE *(*open_stream)(const char *path, const char *mode);
    FILE *(*open_private)(const char *path);
    FILE *(*open_exclusive)(const char *path, bool *existed);
    int (*close_stream)(FILE *stream);
    // Files read by the text reader: a descriptor, or -1.
    int (*open_raw)(const char *path);
    long (*read_raw)(int fd, char *buffer, size_t size);   // bytes read, 0 at the end, -1 on failure
    bool (*seek_raw)(int fd, long long offset);
    void (*close_raw)(int fd);
    // Names in the file system.
    bool (*exists)(const char *path);
    bool (*may_access)(const char *path, int what);
    bool (*remove)(const char *path);
    bool (*truncate)(const char *path, long size);
    bool (*file_size)(const char *path, long *size);
    bool (*modified_time)(const char *path, time_t *when);
    bool (*rename)(const char *from, const char *to);
    bool (*rename_new)(const char *from, const char *to, bool *taken);
    bool (*file_identity)(const char *path, PlatFileId *id);
    // A file rewritten whole under a temporary name, put in place in one step.
    FILE *(*open_replacement)(const char *path, bool private_file, PlatReplacement *r);
    bool (*commit_replacement)(PlatReplacement *r);
    void (*discard_replacement)(PlatReplacement *r);
    // Locks of the operating system, and a pause while one is held elsewhere.
    int (*try_lock)(const char *path, PlatLock *lock);
    void (*unlock)(PlatLock *lock);
    void (*sleep_ms)(int ms);
    bool (*make_directory)(const char *path);
    bool (*create_hidden)(const char *path);
    PlatFileKind (*file_kind)(const char *path);
    bool (*open_listing)(const char *dir, PlatListing *listing);
    bool (*next_name)(PlatListing *listing, char *name, size_t size);
    void (*close_listing)(PlatListing *listing);
    // The clock, the generator and the environment.
    void (*local_time)(struct tm *out, int *hundredths);
    time_t (*now_seconds)(void);
    long long (*clock_ms)(void);
    bool (*random_bytes)(void *buffer, size_t size);
    const char *(*getenv)(const char *name);
    // A replacement whose new file only its owner may read (a tool's file
    // that holds a secret); committed and discarded as the others.
    FILE *(*open_secret)(const char *path, PlatReplacement *r);
    // Lines added at the end of an existing file, never through a link.
    FILE *(*open_append)(const char *path);
};

// The operations in force.
extern PlatOps plat_ops;

#endif
