// lookup_posix.h - filter paths found on a POSIX file system without regard
// to case, from listings of their directories kept between look-ups, and the
// count of the system calls the platform's entries make (lookup_posix.cpp).
// Shared by platform_posix.cpp only; the tests read the count through the
// fault layer (plat_test_system_calls).
#ifndef FILTER_LOOKUP_POSIX_H
#define FILTER_LOOKUP_POSIX_H

#include <cstddef>

enum { NATIVE_PATH_MAX = 4096 };

// Every call of the system made by the platform's entries: counted, so that
// a test can hold a call's cost to the figure written down for it.
extern unsigned long posix_system_calls;
#define COUNTED(call) (posix_system_calls++, (call))

// What the look-up learned of the path's last name.
enum NameState {
    NAME_UNKNOWN,   // the path could not be made (too long, too deep)
    NAME_FOUND,     // on the disk, or in a listing of its directory read or confirmed in this call
    NAME_MISSING,   // not there: the caller need not ask the system again
};

struct Listing;

// Resolved - a filter path as the system must be given it.
struct Resolved {
    char native[NATIVE_PATH_MAX];   // "" when the path cannot be made
    NameState state;
    Listing *where;                 // the listing its last name was looked up in, or null
    unsigned long where_reading;    // which reading of that listing
    size_t name_at;                 // where the last name starts in native
};

// resolve_path - the native path of a filter path: each name as spelled when
// it exists, else as its directory spells it without regard to case, else as
// given. A name that a listing read or confirmed in this call lacks costs no
// system call.
void resolve_path(const char *path, Resolved *r);

// The filter's own changes, entered in the listings as they are made, so that
// a listing read in this call stays true for the rest of it.
void note_made(const Resolved *r);           // this process created r's name
void note_removed(const Resolved *r);        // this process removed it
void note_seen(const Resolved *r, bool present);   // the system showed it there, or not there
void note_unsure(void);                      // a change failed part-way: listings are confirmed again

// A lock of the system is taken or released: while one is held, another
// process may have just handed over what it changed under it.
void note_lock_taken(void);
void note_lock_released(void);

#endif
