// pending_digests.cpp - morvel\pending.idx, the names of the state files
// that may hold a digest challenge, one a line.
//
// The forward-login answer is the digest our own FORWARD and MD challenges
// expect, so before giving it the filter must know that no pending one
// would take it. Reading every state file to know that costs a call as much
// as the directory holds; the index names the few that matter. It always
// holds at least every such file: a name goes in before its challenge is
// written and comes out only once its file holds none, and both are done
// under the lock of the filter's files, which the writer holds until its
// file is written. An index the filter cannot read rules nothing out; a
// missing one (a filter directory from before the index, or one a sysop
// cleaned) is rebuilt from the directory by the next challenge.
#include "auth/pending_digests.h"
#include "common/files_lock.h"
#include "common/filter_dir.h"
#include "common/text_copy.h"

#include <cstdio>
#include <cstring>

enum { INDEX_NAME_MAX = 260 };

static const char index_path[] = FILTER_DIR "\\pending.idx";

// file_name - the name of path within the filter directory.
static const char *file_name(const char *path)
{
    const char *slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// same_name - two names of the filter directory, which ignores case; no name is the same as none.
static bool same_name(const char *a, const char *b)
{
    if (!a || !b)
        return false;
    char x[INDEX_NAME_MAX], y[INDEX_NAME_MAX];
    copy_text(x, sizeof x, a);
    copy_text(y, sizeof y, b);
    return strcmp(upper_case(x), upper_case(y)) == 0;
}

// indexed_path - the path of a listed name; false when it does not fit.
static bool indexed_path(const char *name, char *path, size_t size)
{
    int n = snprintf(path, size, "%s\\%s", FILTER_DIR, name);
    return n > 0 && (size_t)n < size;
}

// read_name - the next name of the index without its line end; false at the
// end, with *failed set for a read that failed or a line too long.
static bool read_name(PlatText *index, char name[INDEX_NAME_MAX], bool *failed)
{
    while (plat_read_line(name, INDEX_NAME_MAX, index)) {
        size_t n = strcspn(name, "\r\n");
        if (name[n] == '\0' && plat_peek_char(index) != EOF) {
            *failed = true;
            return false;
        }
        name[n] = '\0';
        if (name[0])
            return true;
    }
    *failed = plat_text_failed(index);
    return false;
}

int open_pending_digests(PlatText *index)
{
    switch (plat_file_kind(index_path)) {
    case PLAT_NO_FILE:
        return 0;
    case PLAT_PLAIN_FILE:
        return plat_open_text(index_path, index) ? 1 : -1;
    default:
        return -1;
    }
}

bool next_pending_digest(PlatText *index, char *path, size_t size, bool *failed)
{
    char name[INDEX_NAME_MAX];
    while (read_name(index, name, failed))
        if (indexed_path(name, path, size))
            return true;
    return false;
}

// copy_listed - the names of the index but skip into out; false when it cannot be read whole.
static bool copy_listed(FILE *out, const char *skip)
{
    PlatText index;
    if (open_pending_digests(&index) <= 0)
        return false;
    char name[INDEX_NAME_MAX];
    bool failed = false;
    while (read_name(&index, name, &failed))
        if (!same_name(name, skip))
            fprintf(out, "%s\n", name);
    plat_close_text(&index);
    return !failed;
}

// copy_found - the names of the directory that holds tells, but skip, into
// out; false when the directory cannot be listed.
static bool copy_found(FILE *out, const char *skip, MayHoldDigest holds)
{
    PlatListing listing;
    if (!plat_open_listing(FILTER_DIR, &listing))
        return false;
    char name[INDEX_NAME_MAX], path[FILTER_PATH_MAX];
    while (plat_next_name(&listing, name, sizeof name))
        if (!same_name(name, skip) && indexed_path(name, path, sizeof path) && holds(path))
            fprintf(out, "%s\n", name);
    plat_close_listing(&listing);
    return true;
}

// rewrite_index - the index without skip (and with add, when given); built
// from the directory when there is none. False when it could not be written.
static bool rewrite_index(const char *skip, const char *add, MayHoldDigest holds)
{
    static PlatReplacement replacement;   // large for a stack
    bool existed = plat_file_kind(index_path) != PLAT_NO_FILE;
    FILE *out = plat_open_replacement(index_path, false, &replacement);
    if (!out)
        return false;
    bool whole = existed ? copy_listed(out, skip) : copy_found(out, skip, holds);
    if (add)
        fprintf(out, "%s\n", add);
    if (!whole) {
        plat_discard_replacement(&replacement);
        return false;
    }
    return plat_commit_replacement(&replacement);
}

// is_listed - the index names name; also true when it cannot be read.
static bool is_listed(const char *name)
{
    PlatText index;
    int opened = open_pending_digests(&index);
    if (opened <= 0)
        return opened < 0;
    char listed[INDEX_NAME_MAX];
    bool failed = false, found = false;
    while (!found && read_name(&index, listed, &failed))
        found = same_name(listed, name);
    plat_close_text(&index);
    return found || failed;
}

bool note_pending_digest(const char *path, MayHoldDigest holds)
{
    const char *name = file_name(path);
    lock_filter_files();
    bool ok = rewrite_index(name, name, holds);
    unlock_filter_files();
    return ok;
}

void forget_pending_digest(const char *path, MayHoldDigest holds)
{
    const char *name = file_name(path);
    lock_filter_files();
    if (plat_file_kind(index_path) == PLAT_NO_FILE)
        rewrite_index(nullptr, nullptr, holds);
    else if (is_listed(name) && !holds(path))
        rewrite_index(name, nullptr, holds);
    unlock_filter_files();
}
