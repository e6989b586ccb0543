// dry_run.h - the dry-run overlay of the platform layer, for the sysop's tools.
//
// While a dry run is on, reads see the real files, and creates, writes,
// appends, removes and directory creations go to an overlay in memory that
// later reads see; nothing reaches the disk. The overlay uses the heap, which
// is why only tools turn it on: the filter inside the host never does.
// Where the C library offers no custom streams (Windows) a dry run cannot start.
#ifndef FILTER_DRY_RUN_H
#define FILTER_DRY_RUN_H

#include <cstdio>
#include <string>
#include <vector>

// True while a dry run is on; the platform functions test it first.
extern bool dry_run_active;

// plat_dry_run_begin - start a dry run with an empty overlay; false where unsupported.
bool plat_dry_run_begin(void);

// plat_dry_run_end - stop the dry run and forget the overlay.
void plat_dry_run_end(void);

enum DryRunChangeKind { DRY_RUN_CREATED, DRY_RUN_APPENDED, DRY_RUN_REWRITTEN, DRY_RUN_REMOVED, DRY_RUN_DIRECTORY };

// DryRunChange - what the run would have left different on the disk.
struct DryRunChange {
    DryRunChangeKind kind;
    std::string path;          // as the filter named it, with "/" separators
    std::string text;          // new content, or what was appended
};

// plat_dry_run_changes - the net changes of the run so far, in the order first touched.
std::vector<DryRunChange> plat_dry_run_changes(void);

// The platform layer's side of the overlay; each returns what the plat_
// function of the same name would.
FILE *dry_run_fopen(const char *path, const char *mode);
FILE *dry_run_fopen_exclusive(const char *path, bool *existed);
int dry_run_raw_open(const char *path);
bool dry_run_exists(const char *path);
bool dry_run_remove(const char *path);
bool dry_run_make_directory(const char *path);
bool dry_run_rename(const char *from, const char *to);

#endif
