// dry_run.h - the dry run: the filter's own run with its writes held back.
//
// While a dry run is on, reads see the real files, and creates, writes,
// appends, truncations, removals and directory creations go to an overlay in
// memory that later reads, listings and tests of existence see; nothing
// reaches the disk. The overlay is a layer of the table of operations
// (platform/platform_ops.h), linked only into the tools' and the tests'
// libraries: it uses the heap, and the module the host loads has none of it.
#ifndef FILTER_DRY_RUN_H
#define FILTER_DRY_RUN_H

#if !defined(FILTER_TOOL_LAYERS)
#error "the dry run exists only in the tools' and the tests' libraries"
#endif

#include <string>
#include <vector>

// plat_dry_run_begin - start a dry run with an empty overlay; false when one is on already.
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

#endif
