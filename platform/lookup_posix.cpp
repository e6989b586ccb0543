// lookup_posix.cpp - filter paths on a POSIX file system.
//
// Filter paths use "\" and the host's file system ignores case. Here each
// name is looked up as spelled first, else without regard to case in a
// listing of its directory; a name that does not exist keeps the spelling
// given, so new files are created as named.
//
// A call looks for some fifteen names that usually do not exist (markers,
// held mail, texts), nearly all in the filter directory. The listings of the
// last few directories looked in are kept in fixed storage, hashed by name
// without regard to case, so that a look-up costs the same among 20,000
// names as among ten. Once a directory's listing has been read in a call, or
// found still true by one stat of the directory, it answers for the rest of
// the call without asking the system: a name it lacks does not exist, one it
// holds is taken with its spelling on the disk. The filter's own changes
// enter the listing as they are made, so they never make it stale.
//
// What other processes change:
// - Between calls: at its first use in a call, a listing is kept only when
//   its directory is the same (device, inode) and unchanged (modification
//   time to the nanosecond), and it was read LISTING_SETTLE_SECONDS after the
//   directory's last change. File systems stamp a directory's changes with a
//   coarse clock (a few milliseconds; two seconds on FAT), so a change made
//   in the same tick as the one before the reading would leave the time as
//   it was; a listing read that soon is read again at the next call.
// - Within a call: a name another process makes after the listing was read
//   is seen from the next call on, except while this process holds a lock
//   (plat_lock): processes of the filter hand over what they change under
//   the lock of the filter's files, so then a name the listing lacks is
//   asked of the system, as spelled. An exclusive create always asks the
//   system (platform_posix.cpp), so a lock the host took is never written over.
//
// A directory of more names, or of longer ones, than fit is not kept: it is
// read at each look-up instead.
#include "platform/lookup_posix.h"
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

// Listing a directory and stat fail (EOVERFLOW) where an inode number or a
// directory offset passes 32 bits, unless a 32-bit build asks for the 64-bit
// interfaces (CMakeLists.txt).
static_assert(sizeof(off_t) >= 8 && sizeof(ino_t) >= 8, "a 32-bit build needs _FILE_OFFSET_BITS=64");

#if defined(__APPLE__)
#define MODIFIED_AT st_mtimespec
#else
#define MODIFIED_AT st_mtim
#endif

unsigned long posix_system_calls;

enum {
    LISTINGS = 4,                  // the filter directory, the mail directory, a log directory and one more
    LISTING_BYTES = 1024 * 1024,   // 20,000 names of 8.3 need 280 KB
    LISTING_SLOTS = 64 * 1024,     // at most half of them used
    LISTING_ROOM = 64,             // slots left for the names the filter makes before the next reading
    LISTING_SETTLE_SECONDS = 3,
    PATH_PARTS = 128,
};
static const uint32_t FREE_SLOT = 0;
static const uint32_t REMOVED_SLOT = UINT32_MAX;

struct Listing {
    char key[NATIVE_PATH_MAX];     // the directory as the filter spells it, with "/"
    char dir[NATIVE_PATH_MAX];     // the directory as found on the disk
    dev_t device;
    ino_t inode;
    struct timespec changed;       // the directory's modification time at the reading
    bool valid;                    // holds the names read, and the filter's changes since
    bool settled;                  // may serve a later call while the directory is unchanged
    bool current;                  // read or found unchanged in this call: answers alone
    unsigned long reading;         // counts the readings of this place
    unsigned long last_use;
    size_t used;                   // bytes of names, NUL-separated
    size_t filled;                 // slots not free, removed names included
    uint32_t mask;                 // the slots in use, less one
    char names[LISTING_BYTES];
    uint32_t slots[LISTING_SLOTS]; // a name's offset + 1; FREE_SLOT, REMOVED_SLOT
};

static Listing listings[LISTINGS];
static unsigned long listing_uses;
static int locks_held;

// name_hash - FNV-1a over the name folded to lower case, as strcasecmp compares.
static uint32_t name_hash(const char *name)
{
    uint32_t h = 2166136261u;
    for (const unsigned char *p = (const unsigned char *)name; *p; p++)
        h = (h ^ (uint32_t)tolower(*p)) * 16777619u;
    return h;
}

// find_slot - the slot of the name that equals name as spelled, else of the
// first equal without regard to case; -1 when none.
static long find_slot(const Listing *l, const char *name, bool exact_only)
{
    long match = -1;
    for (uint32_t i = name_hash(name) & l->mask; l->slots[i] != FREE_SLOT; i = (i + 1) & l->mask) {
        if (l->slots[i] == REMOVED_SLOT)
            continue;
        const char *entry = l->names + l->slots[i] - 1;
        if (strcmp(entry, name) == 0)
            return (long)i;
        if (match < 0 && !exact_only && strcasecmp(entry, name) == 0)
            match = (long)i;
    }
    return match;
}

// find_name - the listed spelling of name (as given when listed so); false when absent or too long for found.
static bool find_name(const Listing *l, const char *name, char *found, size_t size)
{
    long slot = find_slot(l, name, false);
    if (slot < 0)
        return false;
    const char *entry = l->names + l->slots[slot] - 1;
    if (strlen(entry) >= size)
        return false;
    strcpy(found, entry);
    return true;
}

// hash_at - enter the name stored at offset into the slots.
static void hash_at(Listing *l, size_t offset)
{
    uint32_t i = name_hash(l->names + offset) & l->mask;
    while (l->slots[i] != FREE_SLOT)
        i = (i + 1) & l->mask;
    l->slots[i] = (uint32_t)offset + 1;
    l->filled++;
}

// store_name - append a name to the stored names; false when it does not fit.
static bool store_name(Listing *l, const char *name)
{
    size_t len = strlen(name) + 1;
    if (l->used + len > sizeof l->names)
        return false;
    memcpy(l->names + l->used, name, len);
    l->used += len;
    return true;
}

// add_name - name exists now as spelled; false when the listing cannot hold it.
static bool add_name(Listing *l, const char *name)
{
    if (find_slot(l, name, true) >= 0)
        return true;
    size_t at = l->used;
    if (2 * (l->filled + 1) > (size_t)l->mask + 1 || !store_name(l, name))
        return false;
    hash_at(l, at);
    return true;
}

// drop_name - name, as spelled, exists no more.
static void drop_name(Listing *l, const char *name)
{
    long slot = find_slot(l, name, true);
    if (slot >= 0)
        l->slots[slot] = REMOVED_SLOT;
}

// is_dot - "." or "..": taken as spelled, never listed.
static bool is_dot(const char *name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// keep_read_name - one name of a reading; false when the names no longer fit.
static bool keep_read_name(Listing *l, const char *name, size_t *count)
{
    if (is_dot(name))
        return true;
    if (2 * (*count + 1 + LISTING_ROOM) > LISTING_SLOTS || !store_name(l, name))
        return false;
    ++*count;
    return true;
}

#if defined(__linux__)
// read_names - every name of the open directory into the listing; false
// when they do not fit or cannot be read. Read in large blocks, without the
// C library's directory stream: the open, the reads and the close are all.
static bool read_names(int fd, Listing *l, size_t *count)
{
    alignas(8) static char block[32 * 1024];
    for (;;) {
        long got = (long)COUNTED(getdents64(fd, block, sizeof block));
        if (got <= 0)
            return got == 0;
        for (long at = 0; at < got;) {
            const struct dirent64 *e = (const struct dirent64 *)(block + at);
            at += e->d_reclen;
            if (!keep_read_name(l, e->d_name, count))
                return false;
        }
    }
}
#else
// read_names - as above, through a directory stream of a copy of the
// descriptor (counted as its open and one read; a large directory takes more).
static bool read_names(int fd, Listing *l, size_t *count)
{
    int copy = COUNTED(dup(fd));
    DIR *d = copy >= 0 ? fdopendir(copy) : nullptr;
    if (!d) {
        if (copy >= 0)
            close(copy);
        return false;
    }
    posix_system_calls++;
    bool ok = true;
    struct dirent *e;
    while (ok && (e = readdir(d)) != nullptr)
        ok = keep_read_name(l, e->d_name, count);
    COUNTED(closedir(d));
    return ok;
}
#endif

// hash_listing - the slots of the count names read, at most half of them
// used once the room for the filter's own new names is taken.
static void hash_listing(Listing *l, size_t count)
{
    size_t slots = 16;
    while (slots < 2 * (count + LISTING_ROOM) && slots < LISTING_SLOTS)
        slots *= 2;
    l->mask = (uint32_t)slots - 1;
    l->filled = 0;
    memset(l->slots, 0, slots * sizeof l->slots[0]);
    for (size_t at = 0; at < l->used; at += strlen(l->names + at) + 1)
        hash_at(l, at);
}

// is_settled - the directory's last change lies far enough before now that
// a later one cannot carry the same time.
static bool is_settled(const struct timespec *changed, const struct timespec *now)
{
    return now->tv_sec - changed->tv_sec > LISTING_SETTLE_SECONDS;
}

// directory_name - the name to give the system for a directory: "." for the working one.
static const char *directory_name(const char *dir)
{
    return dir[0] ? dir : ".";
}

// read_listing - read the names of the directory dir, spelled key, into l;
// false when it cannot be read or its names do not fit.
static bool read_listing(Listing *l, const char *key, const char *dir)
{
    l->valid = l->current = false;
    l->reading++;
    if (strlen(key) >= sizeof l->key || strlen(dir) >= sizeof l->dir)
        return false;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    int fd = COUNTED(open(directory_name(dir), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (fd < 0)
        return false;
    // The directory's time is taken before its names, so that a change made
    // while they are read gives a time this listing does not carry.
    struct stat st;
    size_t count = 0;
    l->used = 0;
    bool ok = COUNTED(fstat(fd, &st)) == 0 && read_names(fd, l, &count);
    COUNTED(close(fd));
    if (!ok)
        return false;
    hash_listing(l, count);
    strcpy(l->key, key);
    strcpy(l->dir, dir);
    l->device = st.st_dev;
    l->inode = st.st_ino;
    l->changed = st.MODIFIED_AT;
    l->settled = is_settled(&st.MODIFIED_AT, &now);
    l->valid = l->current = true;
    l->last_use = ++listing_uses;
    return true;
}

// unchanged - the directory of a kept listing is the same and unchanged since it was read.
static bool unchanged(const Listing *l)
{
    struct stat st;
    return COUNTED(stat(directory_name(l->dir), &st)) == 0 && st.st_dev == l->device && st.st_ino == l->inode &&
           st.MODIFIED_AT.tv_sec == l->changed.tv_sec && st.MODIFIED_AT.tv_nsec == l->changed.tv_nsec;
}

// listing_named - the valid listing of the directory spelled key; null when none.
static Listing *listing_named(const char *key)
{
    for (Listing &l : listings)
        if (l.valid && strcmp(l.key, key) == 0)
            return &l;
    return nullptr;
}

// current_listing - the listing of key, found on the disk as dir, that answers in this call; null when none.
static Listing *current_listing(const char *key, const char *dir)
{
    Listing *l = listing_named(key);
    return l && l->current && strcmp(l->dir, dir) == 0 ? l : nullptr;
}

// spare_listing - a place for a new listing: an empty one, else the one longest unused.
static Listing *spare_listing(void)
{
    Listing *spare = &listings[0];
    for (Listing &l : listings) {
        if (!l.valid)
            return &l;
        if (l.last_use < spare->last_use)
            spare = &l;
    }
    return spare;
}

// listing_for - the listing of the directory spelled key, found on the disk
// as dir, made to answer for this call: the kept one when its directory is
// unchanged, else one read now; null when it cannot be read or kept.
static Listing *listing_for(const char *key, const char *dir)
{
    Listing *l = listing_named(key);
    if (l && strcmp(l->dir, dir) == 0 && (l->current || (l->settled && unchanged(l)))) {
        l->current = true;
        l->last_use = ++listing_uses;
        return l;
    }
    if (!l)
        l = spare_listing();
    return read_listing(l, key, dir) ? l : nullptr;
}

// scan_directory - one pass over a directory that cannot be kept.
static bool scan_directory(const char *dir, const char *name, char *found, size_t size)
{
    DIR *d = COUNTED(opendir(directory_name(dir)));
    if (!d)
        return false;
    posix_system_calls += 2;   // opendir's fstat, and the read of the names
    bool ok = false;
    struct dirent *e;
    while ((e = readdir(d)) != nullptr) {
        if (strcasecmp(e->d_name, name) == 0 && strlen(e->d_name) < size) {
            strcpy(found, e->d_name);
            ok = true;
            break;
        }
    }
    COUNTED(closedir(d));
    return ok;
}

// append_component - add "/" and a component to a native path; false when it does not fit.
static bool append_component(char *out, const char *comp)
{
    size_t len = strlen(out);
    bool slash = len && out[len - 1] != '/';
    if (len + (slash ? 1 : 0) + strlen(comp) + 1 > NATIVE_PATH_MAX)
        return false;
    if (slash)
        out[len++] = '/';
    strcpy(out + len, comp);
    return true;
}

// join - base, then the parts from..to-1; false when it does not fit.
static bool join(char *out, const char *base, char *const *parts, int from, int to)
{
    if (strlen(base) >= NATIVE_PATH_MAX)
        return false;
    memmove(out, base, strlen(base) + 1);
    for (int i = from; i < to; i++)
        if (!append_component(out, parts[i]))
            return false;
    return true;
}

// PathWalk - a path taken apart, and the native path built so far.
struct PathWalk {
    char *parts[PATH_PARTS];
    int count;
    bool absolute;
    bool trailing;       // the path ends with a separator, which the native path keeps
    char built[NATIVE_PATH_MAX];
    bool rest_missing;   // built and the parts still to come, as spelled, are not on the disk
    Listing *where;      // the listing the last part was found in
};

// Step - how a walk goes on after one part.
enum Step { STEP_NEXT, STEP_DONE, STEP_FAILED };

// prefix_key - the directory of part i as the filter spells it; false when it does not fit.
static bool prefix_key(const PathWalk *w, int i, char *key)
{
    return join(key, w->absolute ? "/" : "", w->parts, 0, i);
}

// same_directory - listings of one directory, perhaps under two spellings.
static bool same_directory(const Listing *a, const Listing *b)
{
    return a->device == b->device && a->inode == b->inode;
}

// learn - name exists as spelled in l's directory, and so in every current listing of it.
static void learn(const Listing *l, const char *name)
{
    if (is_dot(name))
        return;
    for (Listing &m : listings)
        if (m.valid && m.current && same_directory(&m, l) && !add_name(&m, name))
            m.valid = m.current = false;
}

// forget - name, as spelled, exists no more in l's directory.
static void forget(const Listing *l, const char *name)
{
    for (Listing &m : listings)
        if (m.valid && m.current && same_directory(&m, l))
            drop_name(&m, name);
}

// finish - r is built, then the parts from `from` on as spelled.
static Step finish(const PathWalk *w, int from, NameState state, Listing *where, Resolved *r)
{
    if (!join(r->native, w->built, w->parts, from, w->count))
        return STEP_FAILED;
    const char *slash = strrchr(r->native, '/');
    r->name_at = slash ? (size_t)(slash - r->native) + 1 : 0;
    if (w->trailing) {
        where = nullptr;   // a directory named with its separator is never entered by this path
        if (!append_component(r->native, ""))
            return STEP_FAILED;
    }
    r->state = state;
    r->where = where;
    r->where_reading = where ? where->reading : 0;
    return STEP_DONE;
}

// take - part i is on the disk as found (in listing l, when one answered).
static Step take(PathWalk *w, int i, const char *found, Listing *l)
{
    if (strcmp(found, w->parts[i]) != 0)
        w->rest_missing = false;
    if (i == w->count - 1)
        w->where = l;
    return append_component(w->built, found) ? STEP_NEXT : STEP_FAILED;
}

// start_of_walk - the deepest directory of the path with a listing that
// answers in this call: its spelling on the disk stands for the parts before it.
static int start_of_walk(PathWalk *w)
{
    char key[NATIVE_PATH_MAX];
    for (int i = w->count - 1; i > 0; i--) {
        Listing *l = prefix_key(w, i, key) ? listing_named(key) : nullptr;
        if (l && l->current) {
            strcpy(w->built, l->dir);
            return i;
        }
    }
    strcpy(w->built, w->absolute ? "/" : "");
    return 0;
}

// on_disk - the native path names something (a link is not followed).
static bool on_disk(const char *native)
{
    struct stat st;
    return COUNTED(lstat(native, &st)) == 0;
}

// walk_part - part i of the path: found, and the walk goes on, or the end of it.
static Step walk_part(PathWalk *w, int i, Resolved *r)
{
    const char *part = w->parts[i];
    bool last = i == w->count - 1;
    char key[NATIVE_PATH_MAX], trial[NATIVE_PATH_MAX], found[256];
    if (is_dot(part))
        return append_component(w->built, part) ? STEP_NEXT : STEP_FAILED;
    if (!prefix_key(w, i, key))
        return STEP_FAILED;
    Listing *l = current_listing(key, w->built);
    if (l && find_name(l, part, found, sizeof found))
        return take(w, i, found, l);
    if (l && locks_held == 0)
        return finish(w, i, NAME_MISSING, last ? l : nullptr, r);
    // No listing answers yet, or a lock is held: the disk is asked for the
    // name as spelled first, with the rest of the path at once.
    if (!w->rest_missing) {
        if (!join(trial, w->built, w->parts, i, w->count))
            return STEP_FAILED;
        if (on_disk(trial)) {
            if (l)
                learn(l, part);
            strcpy(w->built, trial);
            return finish(w, w->count, NAME_FOUND, last ? l : nullptr, r);
        }
        w->rest_missing = true;
    }
    if (!last) {
        char inner_key[NATIVE_PATH_MAX];
        if (!join(trial, w->built, w->parts, i, i + 1) || !prefix_key(w, i + 1, inner_key))
            return STEP_FAILED;
        // A directory whose listing is kept is shown to be there by the
        // stat or the reading that makes its listing answer for this call.
        Listing *inner = listing_named(inner_key);
        if (inner && strcmp(inner->dir, trial) == 0 && listing_for(inner_key, trial)) {
            strcpy(w->built, trial);
            return STEP_NEXT;
        }
        if (on_disk(trial)) {
            if (l)
                learn(l, part);
            strcpy(w->built, trial);
            return STEP_NEXT;
        }
    }
    if (l)   // this call's listing lacks it, and so does the disk
        return finish(w, i, NAME_MISSING, last ? l : nullptr, r);
    l = listing_for(key, w->built);
    if (l)
        return find_name(l, part, found, sizeof found) ? take(w, i, found, l)
                                                         : finish(w, i, NAME_MISSING, last ? l : nullptr, r);
    if (scan_directory(w->built, part, found, sizeof found))
        return take(w, i, found, nullptr);
    return finish(w, i, NAME_MISSING, nullptr, r);
}

// split_path - the parts of a filter path into w; false when there are too many.
static bool split_path(char *work, PathWalk *w)
{
    for (char *p = work; *p; p++)
        if (*p == '\\')
            *p = '/';
    size_t len = strlen(work);
    w->absolute = work[0] == '/';
    w->trailing = len > 1 && work[len - 1] == '/';
    w->count = 0;
    w->rest_missing = false;
    w->where = nullptr;
    char *save = nullptr;
    for (char *part = strtok_r(work, "/", &save); part; part = strtok_r(nullptr, "/", &save)) {
        if (w->count == PATH_PARTS)
            return false;
        w->parts[w->count++] = part;
    }
    return true;
}

void resolve_path(const char *path, Resolved *r)
{
    static char work[NATIVE_PATH_MAX];
    static PathWalk w;   // large for a stack
    r->native[0] = '\0';
    r->state = NAME_UNKNOWN;
    r->where = nullptr;
    r->where_reading = 0;
    r->name_at = 0;
    if (strlen(path) >= sizeof work)
        return;
    strcpy(work, path);
    if (!split_path(work, &w))
        return;
    if (w.count == 0) {
        strcpy(r->native, w.absolute ? "/" : "");
        return;
    }
    for (int i = start_of_walk(&w); i < w.count; i++) {
        Step step = walk_part(&w, i, r);
        if (step == STEP_DONE)
            return;
        if (step == STEP_FAILED) {
            r->native[0] = '\0';
            r->state = NAME_UNKNOWN;
            r->where = nullptr;
            return;
        }
    }
    finish(&w, w.count, NAME_FOUND, w.where, r);
}

// listing_of_name - the listing r's last name was looked up in, when it still
// answers for this call as it did then; null otherwise.
static Listing *listing_of_name(const Resolved *r)
{
    Listing *l = r->where;
    return l && l->valid && l->current && l->reading == r->where_reading ? l : nullptr;
}

// doubt_listings - no listing answers alone until it is found unchanged or read again.
static void doubt_listings(void)
{
    for (Listing &l : listings)
        l.current = false;
}

void note_made(const Resolved *r)
{
    if (r->state == NAME_FOUND)
        return;   // the name was there: the names of the directory are as they were
    Listing *l = listing_of_name(r);
    if (l)
        learn(l, r->native + r->name_at);
    else
        doubt_listings();
}

void note_removed(const Resolved *r)
{
    if (r->state == NAME_MISSING)
        return;
    Listing *l = listing_of_name(r);
    if (l)
        forget(l, r->native + r->name_at);
    else
        doubt_listings();
}

void note_seen(const Resolved *r, bool present)
{
    Listing *l = listing_of_name(r);
    if (!l)
        return;
    if (present)
        learn(l, r->native + r->name_at);
    else
        forget(l, r->native + r->name_at);
}

void note_unsure(void)
{
    doubt_listings();
}

void note_lock_taken(void)
{
    locks_held++;
}

void note_lock_released(void)
{
    if (locks_held > 0)
        locks_held--;
}

// A new call: what other processes changed since the last one must be seen.
void plat_begin_call(void)
{
    doubt_listings();
    plat_forget_text_block();
}
