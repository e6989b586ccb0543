// platform_posix.cpp - the platform layer on POSIX systems.
//
// Filter paths use "\" and the host's file system ignores case: every path is
// found through resolve_path (lookup_posix.cpp), and every entry that adds or
// removes a name tells the listings kept there. A name that a listing of this
// call lacks is not there: the entries that only read or remove it return at
// once, without a system call. Every call of the system is counted (COUNTED).
#include "platform/lookup_posix.h"
#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/platform_ops.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__) || defined(__APPLE__)
#include <sys/random.h>
#endif

#if defined(__APPLE__)
#define MODIFIED_AT st_mtimespec
#else
#define MODIFIED_AT st_mtim
#endif

void plat_native_path(const char *path, char *out, size_t size)
{
    static Resolved r;   // large for a stack
    if (size == 0)
        return;
    resolve_path(path, &r);
    out[0] = '\0';
    if (strlen(r.native) < size)
        strcpy(out, r.native);
}

// missing - r names nothing the system could act on: not found, or not made.
static bool missing(const Resolved *r)
{
    if (r->native[0] && r->state != NAME_MISSING)
        return false;
    errno = ENOENT;
    return true;
}

// native_mode - fopen modes without the "t" that Windows wants for text.
static void native_mode(const char *mode, char *out)
{
    size_t n = 0;
    for (; *mode && n < 7; mode++)
        if (*mode != 't')
            out[n++] = *mode;
    out[n] = '\0';
}

// open_replacing - a descriptor for writing a new file put in place of an
// existing one, instead of truncating it; -1 when that cannot be done. File
// systems that allocate blocks late (ext4, XFS) take the truncation of a
// file with data, followed by a write, for a program replacing its data, and
// write it to the disk at its close: the call waits for the disk (several
// milliseconds) on every rewrite of a challenge's state file. A file created
// new stays in memory, and one that is removed soon after never reaches the
// disk. The new file gets perms, or with keep_old_perms the old file's. A
// symbolic link, a file with other names, one that the filter may not write,
// or one that cannot be removed is left to the caller's plain open.
static int open_replacing(const char *native, mode_t perms, bool keep_old_perms)
{
    int fd = COUNTED(open(native, O_WRONLY | O_CREAT | O_EXCL, perms));
    struct stat st;
    if (fd < 0 && errno == EEXIST && COUNTED(lstat(native, &st)) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
        COUNTED(access(native, W_OK)) == 0 && COUNTED(unlink(native)) == 0)
        fd = COUNTED(open(native, O_WRONLY | O_CREAT | O_EXCL, keep_old_perms ? (st.st_mode & 0777) : perms));
    return fd;
}

// stream_of - a stream over a descriptor just opened; null (and the descriptor closed) on failure.
static FILE *stream_of(int fd, const char *mode)
{
    FILE *f = COUNTED(fdopen(fd, mode));
    if (!f)
        COUNTED(close(fd));
    return f;
}

// fopen_replacing - fopen "w" through open_replacing, the new file keeping
// the old one's permissions; as fopen where it cannot replace.
static FILE *fopen_replacing(const char *native, const char *mode)
{
    int fd = open_replacing(native, 0666, true);
    if (fd < 0)
        return COUNTED(fopen(native, mode));
    return stream_of(fd, mode);
}

// note_written - after an open for writing: the name is there when it
// opened; a failure may have removed an old file (open_replacing).
static void note_written(const Resolved *r, bool opened)
{
    if (opened)
        note_made(r);
    else
        note_unsure();
}

static FILE *system_open_stream(const char *path, const char *mode)
{
    static Resolved r;   // large for a stack
    char m[8];
    native_mode(mode, m);
    resolve_path(path, &r);
    bool reads = m[0] == 'r';
    if (reads ? missing(&r) : !r.native[0])
        return nullptr;
    if (reads && !strchr(m, '+'))
        return COUNTED(fopen(r.native, m));
    FILE *f = m[0] == 'w' && !strchr(m, '+') ? fopen_replacing(r.native, m) : COUNTED(fopen(r.native, m));
    note_written(&r, f != nullptr);
    return f;
}

// The close is counted; what the C library does for a stream on its own (an
// fstat before its first read or write, the write of its buffer) is not: it
// is the same however the stream's name was found.
static int system_close_stream(FILE *stream)
{
    posix_system_calls++;
    return plat_std_close_stream(stream);
}

static int system_open_raw(const char *path)
{
    static Resolved r;
    resolve_path(path, &r);
    if (missing(&r))
        return -1;
    return COUNTED(open(r.native, O_RDONLY | O_CLOEXEC));
}

static long system_read_raw(int fd, char *buffer, size_t size)
{
    ssize_t n;
    do
        n = COUNTED(read(fd, buffer, size));
    while (n < 0 && errno == EINTR);
    return (long)n;
}

static bool system_seek_raw(int fd, long long offset)
{
    return COUNTED(lseek(fd, (off_t)offset, SEEK_SET)) == (off_t)offset;
}

static void system_close_raw(int fd)
{
    COUNTED(close(fd));
}

// open_own_file - a descriptor of the file at native for rewriting, opened
// without following a symbolic link and cut to nothing only once it is known
// to be a regular file of one name; -1 otherwise.
static int open_own_file(const char *native)
{
    int fd = COUNTED(open(native, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd < 0)
        return -1;
    struct stat st;
    if (COUNTED(fstat(fd, &st)) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        COUNTED(ftruncate(fd, 0)) != 0) {
        COUNTED(close(fd));
        return -1;
    }
    return fd;
}

static FILE *system_open_private(const char *path)
{
    static Resolved r;
    resolve_path(path, &r);
    if (!r.native[0])
        return nullptr;
    // A state file is rewritten at every fresh challenge: replaced, not
    // truncated, for the reason open_replacing gives. A link is neither.
    int fd = open_replacing(r.native, 0600, false);
    if (fd < 0)
        fd = open_own_file(r.native);
    note_written(&r, fd >= 0);
    if (fd < 0)
        return nullptr;
    // The mode given to open only counts for a new file; an older file
    // written with a wider mode must not keep it.
    if (COUNTED(fchmod(fd, 0600)) != 0) {
        COUNTED(close(fd));
        return nullptr;
    }
    return stream_of(fd, "w");
}

// The create itself asks the system, whatever the listing says: it is how a
// lock is taken, and another process may have taken it a moment ago.
static FILE *system_open_exclusive(const char *path, bool *existed)
{
    static Resolved r;
    if (existed)
        *existed = false;
    resolve_path(path, &r);
    if (!r.native[0])
        return nullptr;
    int fd = COUNTED(open(r.native, O_WRONLY | O_CREAT | O_EXCL, 0644));
    if (fd < 0) {
        if (errno == EEXIST)
            note_seen(&r, true);
        if (existed)
            *existed = errno == EEXIST;
        return nullptr;
    }
    note_made(&r);
    return stream_of(fd, "w");
}

// stat_path - the stat of what path names; false when there is none. A
// link that leads nowhere is no file here, but its name stays listed.
static bool stat_path(const char *path, struct stat *st, Resolved *r)
{
    resolve_path(path, r);
    return !missing(r) && COUNTED(stat(r->native, st)) == 0;
}

static bool system_exists(const char *path)
{
    static Resolved r;
    struct stat st;
    return stat_path(path, &st, &r);
}

// A directory is written through its entries, which takes the search
// permission as well.
static bool system_may_access(const char *path, int what)
{
    static Resolved r;
    struct stat st;
    if (!stat_path(path, &st, &r))
        return false;
    int mode = (what & PLAT_MAY_READ ? R_OK : 0) | (what & PLAT_MAY_WRITE ? W_OK : 0);
    if (S_ISDIR(st.st_mode))
        mode |= X_OK;
    return COUNTED(access(r.native, mode)) == 0;
}

// Removing a name that is not there is no failure, and costs nothing when
// this call's listing shows it is not.
static bool system_remove(const char *path)
{
    static Resolved r;
    resolve_path(path, &r);
    if (!r.native[0])
        return false;
    if (r.state == NAME_MISSING)
        return true;
    if (COUNTED(unlink(r.native)) == 0) {
        note_removed(&r);
        return true;
    }
    if (errno != ENOENT)
        return false;
    note_seen(&r, false);
    return true;
}

static bool system_truncate(const char *path, long size)
{
    static Resolved r;
    resolve_path(path, &r);
    return !missing(&r) && size >= 0 && COUNTED(truncate(r.native, (off_t)size)) == 0;
}

static bool system_file_size(const char *path, long *size)
{
    static Resolved r;
    struct stat st;
    if (!stat_path(path, &st, &r))
        return false;
    *size = (long)st.st_size;
    return true;
}

static bool system_modified_time(const char *path, time_t *when)
{
    static Resolved r;
    struct stat st;
    if (!stat_path(path, &st, &r))
        return false;
    *when = st.st_mtime;
    return true;
}

static bool system_rename(const char *from, const char *to)
{
    static Resolved r_from, r_to;
    resolve_path(from, &r_from);
    resolve_path(to, &r_to);
    if (missing(&r_from) || !r_to.native[0])
        return false;
    if (COUNTED(rename(r_from.native, r_to.native)) != 0)
        return false;
    note_removed(&r_from);
    note_made(&r_to);
    return true;
}

// The name is given by a link and the old one removed where the system
// cannot rename without replacing: the file never goes without a name, and a
// crash in between leaves it with both, which its owner tidies.
static bool system_rename_new(const char *from, const char *to, bool *taken)
{
    static Resolved r_from, r_to;
    *taken = false;
    resolve_path(from, &r_from);
    resolve_path(to, &r_to);
    if (missing(&r_from) || !r_to.native[0])
        return false;
    bool ok = false;
    bool tried = false;
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (COUNTED(renameat2(AT_FDCWD, r_from.native, AT_FDCWD, r_to.native, RENAME_NOREPLACE)) == 0) {
        ok = tried = true;
    } else if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        *taken = errno == EEXIST;
        tried = true;
    }
#endif
    if (!tried) {
        if (COUNTED(link(r_from.native, r_to.native)) == 0) {
            COUNTED(unlink(r_from.native));
            ok = true;
        } else {
            *taken = errno == EEXIST;
        }
    }
    if (ok) {
        note_removed(&r_from);
        note_made(&r_to);
    } else {
        // Another process may hold the name the listing lacks.
        note_unsure();
    }
    return ok;
}

// The time of the last write stands for the time of making: the files whose
// identity counts (the mail lock) are empty and never written after.
static bool system_file_identity(const char *path, PlatFileId *id)
{
    static Resolved r;
    struct stat st;
    if (!stat_path(path, &st, &r))
        return false;
    id->volume = (unsigned long long)st.st_dev;
    id->index = (unsigned long long)st.st_ino;
    id->made = (long long)st.MODIFIED_AT.tv_sec * 1000000000LL + st.MODIFIED_AT.tv_nsec;
    return true;
}

// is_link - a symbolic link, or a file with more than one name: writing
// through either would change a file the filter never meant to.
static bool is_link(const struct stat *st)
{
    return S_ISLNK(st->st_mode) || (S_ISREG(st->st_mode) && st->st_nlink > 1);
}

// open_temporary - create the replacement's temporary, named after the file
// and this process so that two processes never share one; -1 on failure.
// One left by a crash of an earlier process of the same number goes first.
// The temporary's name is never looked up, and it is gone again by the end
// of the replacement: the listings do not hold it.
static int open_temporary(PlatReplacement *r, mode_t mode)
{
    int n = snprintf(r->temp, sizeof r->temp, "%s.%ld.new", r->native, (long)COUNTED(getpid()));
    if (n < 0 || n >= (int)sizeof r->temp)
        return -1;
    int fd = COUNTED(open(r->temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd < 0 && errno == EEXIST && COUNTED(unlink(r->temp)) == 0)
        fd = COUNTED(open(r->temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    return fd;
}

static FILE *system_open_replacement(const char *path, bool private_file, PlatReplacement *r)
{
    static Resolved target;
    r->stream = nullptr;
    r->temp[0] = '\0';
    r->native[0] = '\0';
    if (strlen(path) >= sizeof r->path)
        return nullptr;
    strcpy(r->path, path);
    resolve_path(path, &target);
    if (!target.native[0] || strlen(target.native) >= sizeof r->native)
        return nullptr;
    strcpy(r->native, target.native);
    struct stat old;
    bool existed = target.state != NAME_MISSING && COUNTED(lstat(r->native, &old)) == 0;
    if (existed && (is_link(&old) || !S_ISREG(old.st_mode)))
        return nullptr;
    int fd = open_temporary(r, private_file ? 0600 : 0666);
    if (fd < 0)
        return nullptr;
    // The mode given to open passes through the umask; an old file's own
    // permissions are given back exactly.
    bool moded = private_file ? COUNTED(fchmod(fd, 0600)) == 0
                              : !existed || COUNTED(fchmod(fd, old.st_mode & 07777)) == 0;
    r->stream = moded ? COUNTED(fdopen(fd, "w")) : nullptr;
    if (!r->stream) {
        COUNTED(close(fd));
        COUNTED(unlink(r->temp));
    }
    return r->stream;
}

// put_in_place - the temporary takes the file's name in one step; false on
// failure. A rename over an existing file makes ext4 write the new file's
// data to the disk there and then (its auto_da_alloc), which costs a
// challenge milliseconds on a busy disk; the two names are swapped instead,
// and the old content, now under the temporary's name, removed. Either way
// the name holds the old content or the new at every moment; a power
// failure was never provided for (nothing is written through to the disk).
static bool put_in_place(const char *temp, const char *native)
{
#if defined(__linux__)
    if (COUNTED(renameat2(AT_FDCWD, temp, AT_FDCWD, native, RENAME_EXCHANGE)) == 0) {
        COUNTED(unlink(temp));
        return true;
    }
    // No file to swap with, or a file system that cannot swap: a rename.
#endif
    return COUNTED(rename(temp, native)) == 0;
}

// ends_line - the file of fd is empty or its last byte ends a line.
static bool ends_line(int fd, off_t size)
{
    char last = '\n';
    return size == 0 || (COUNTED(pread(fd, &last, 1, size - 1)) == 1 && last == '\n');
}

// The file is opened without following a symbolic link and written only
// once it is known to be a regular file of one name; O_APPEND puts every
// write at the end, also when another process added a line meanwhile.
static FILE *system_open_append(const char *path)
{
    static Resolved r;
    resolve_path(path, &r);
    if (missing(&r))
        return nullptr;
    int fd = COUNTED(open(r.native, O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (COUNTED(fstat(fd, &st)) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        (!ends_line(fd, st.st_size) && COUNTED(write(fd, "\n", 1)) != 1)) {
        COUNTED(close(fd));
        return nullptr;
    }
    return stream_of(fd, "a");
}

// Mode 0600 is all POSIX needs: no other account can read the new file.
static FILE *system_open_secret(const char *path, PlatReplacement *r)
{
    return system_open_replacement(path, true, r);
}

// The file's name is entered once the new content holds it; the look-up
// again is answered by the listing the opening read.
static bool system_commit_replacement(PlatReplacement *r)
{
    static Resolved target;
    if (!r->stream)
        return false;
    bool ok = plat_fclose(r->stream) == 0;
    r->stream = nullptr;
    if (ok && !put_in_place(r->temp, r->native))
        ok = false;
    if (!ok) {
        COUNTED(unlink(r->temp));
        return false;
    }
    resolve_path(r->path, &target);
    if (strcmp(target.native, r->native) == 0)
        note_made(&target);
    else
        note_unsure();
    return true;
}

static void system_discard_replacement(PlatReplacement *r)
{
    if (!r->stream)
        return;
    plat_fclose(r->stream);
    r->stream = nullptr;
    COUNTED(unlink(r->temp));
}

// A write lock on the whole file; the descriptor stays open while it is held.
static int system_try_lock(const char *path, PlatLock *lock)
{
    static Resolved r;
    lock->handle = -1;
    resolve_path(path, &r);
    if (!r.native[0])
        return -1;
    int fd = COUNTED(open(r.native, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd < 0)
        return -1;
    note_made(&r);
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (COUNTED(fcntl(fd, F_SETLK, &fl)) == 0) {
        lock->handle = fd;
        note_lock_taken();
        return 1;
    }
    bool busy = errno == EACCES || errno == EAGAIN || errno == EINTR;
    COUNTED(close(fd));
    return busy ? 0 : -1;
}

// Closing the descriptor releases the lock with it.
static void system_unlock(PlatLock *lock)
{
    if (lock->handle >= 0) {
        COUNTED(close((int)lock->handle));
        note_lock_released();
    }
    lock->handle = -1;
}

// A pause of 0 gives the processor away and no more.
static void system_sleep_ms(int ms)
{
    if (ms <= 0)
        COUNTED(sched_yield());
    else
        COUNTED(usleep((useconds_t)ms * 1000));
}

static long long system_clock_ms(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static bool system_make_directory(const char *path)
{
    static Resolved r;
    resolve_path(path, &r);
    if (!r.native[0])
        return false;
    if (COUNTED(mkdir(r.native, 0755)) == 0) {
        note_made(&r);
        return true;
    }
    if (errno == EEXIST)
        note_seen(&r, true);
    return false;
}

// The hidden attribute has no meaning here; the marker only has to exist.
static bool system_create_hidden(const char *path)
{
    FILE *f = plat_fopen(path, "wt");
    if (!f)
        return false;
    return plat_fclose(f) == 0;
}

void plat_system_local_time(struct tm *out, int *hundredths)
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    time_t secs = tv.tv_sec;
    localtime_r(&secs, out);
    *hundredths = (int)(tv.tv_usec / 10000);
}

// getrandom is asked not to wait: only a system still starting up lacks
// the entropy, and then no challenge is better than a filter that hangs.
bool plat_system_random(void *buffer, size_t size)
{
    unsigned char *p = (unsigned char *)buffer;
    while (size > 0) {
#if defined(__linux__)
        ssize_t n = COUNTED(getrandom(p, size, GRND_NONBLOCK));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
#else
        size_t n = size < 256 ? size : 256;
        if (COUNTED(getentropy(p, n)) != 0)
            return false;
#endif
        p += n;
        size -= (size_t)n;
    }
    return true;
}

// A listing through the C library's directory stream: counted as its open,
// its fstat and its first read at the opening, and the read that finds the
// end; a large directory takes a read more for each 32 KiB of names.
static bool system_open_listing(const char *dir, PlatListing *listing)
{
    static Resolved r;
    listing->handle = nullptr;
    resolve_path(dir, &r);
    if (missing(&r))
        return false;
    listing->handle = COUNTED(opendir(r.native));
    if (listing->handle)
        posix_system_calls += 2;
    return listing->handle != nullptr;
}

static bool system_next_name(PlatListing *listing, char *name, size_t size)
{
    struct dirent *e;
    while ((e = readdir((DIR *)listing->handle)) != nullptr) {
        if (strlen(e->d_name) < size) {
            strcpy(name, e->d_name);
            return true;
        }
    }
    posix_system_calls++;
    return false;
}

static void system_close_listing(PlatListing *listing)
{
    COUNTED(closedir((DIR *)listing->handle));
    listing->handle = nullptr;
}

static PlatFileKind system_file_kind(const char *path)
{
    static Resolved r;
    struct stat st;
    resolve_path(path, &r);
    if (!r.native[0])
        return PLAT_OTHER_FILE;
    if (r.state == NAME_MISSING)
        return PLAT_NO_FILE;
    if (COUNTED(lstat(r.native, &st)) != 0) {
        if (errno != ENOENT)
            return PLAT_OTHER_FILE;
        note_seen(&r, false);
        return PLAT_NO_FILE;
    }
    return S_ISREG(st.st_mode) && st.st_nlink == 1 ? PLAT_PLAIN_FILE : PLAT_OTHER_FILE;
}

PlatOps plat_ops = {
    system_open_stream,
    system_open_private,
    system_open_exclusive,
    system_close_stream,
    system_open_raw,
    system_read_raw,
    system_seek_raw,
    system_close_raw,
    system_exists,
    system_may_access,
    system_remove,
    system_truncate,
    system_file_size,
    system_modified_time,
    system_rename,
    system_rename_new,
    system_file_identity,
    system_open_replacement,
    system_commit_replacement,
    system_discard_replacement,
    system_try_lock,
    system_unlock,
    system_sleep_ms,
    system_make_directory,
    system_create_hidden,
    system_file_kind,
    system_open_listing,
    system_next_name,
    system_close_listing,
    plat_system_local_time,
    plat_std_now_seconds,
    system_clock_ms,
    plat_system_random,
    plat_std_getenv,
    system_open_secret,
    system_open_append,
};
