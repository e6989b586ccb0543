// pending_digests.h - the index of the state files that may hold a digest
// challenge, kept so that the forward-login check reads those files only,
// not every file of the filter directory.
#ifndef FILTER_PENDING_DIGESTS_H
#define FILTER_PENDING_DIGESTS_H

#include "platform/platform.h"

#include <cstddef>

// MayHoldDigest - the file at path (any name of the filter directory) is a
// state file that holds, or may hold, a digest challenge.
typedef bool (*MayHoldDigest)(const char *path);

// note_pending_digest - list the state file at path before its digest
// challenge is written; false when the index cannot be written, and then
// the challenge must not be written either. Run under the lock of the
// filter's files, which the caller holds until the state file is written.
// A missing index is first built from the state files that holds tells.
bool note_pending_digest(const char *path, MayHoldDigest holds);

// forget_pending_digest - take the state file at path out of the index once
// holds says it no longer holds a digest challenge (removed, or replaced by
// another kind). A missing index is built instead, as note_pending_digest does.
void forget_pending_digest(const char *path, MayHoldDigest holds);

// open_pending_digests - the index, open for next_pending_digest: 1; 0 when
// there is none (the directory must be searched instead); -1 when it exists
// and cannot be read, so that nothing is ruled out.
int open_pending_digests(PlatText *index);

// next_pending_digest - the path of the next listed state file; false at the
// end, with *failed set when the index could not be read to its end.
bool next_pending_digest(PlatText *index, char *path, size_t size, bool *failed);

#endif
