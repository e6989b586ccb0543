// platform_posix.cpp - the platform layer on POSIX systems.
//
// Filter paths use "\" and the host's file system ignores case. Here each
// component is looked up as spelled first (no directory scan when it exists),
// else by a scan of its parent directory without regard to case; a component
// that does not exist keeps the spelling given, so new files are created as named.
#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/platform_ops.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__) || defined(__APPLE__)
#include <sys/random.h>
#endif

enum { NATIVE_PATH_MAX = 4096 };

// Listing a directory and stat fail (EOVERFLOW) where an inode number or a
// directory offset passes 32 bits, unless a 32-bit build asks for the 64-bit
// interfaces (CMakeLists.txt).
static_assert(sizeof(off_t) >= 8 && sizeof(ino_t) >= 8, "a 32-bit build needs _FILE_OFFSET_BITS=64");

#if defined(__APPLE__)
#define MODIFIED_AT st_mtimespec
#else
#define MODIFIED_AT st_mtim
#endif

// The listing of the last directory scanned: a connection looks up many
// files that do not exist (markers, texts), all in the filter directory, and
// each would otherwise cost a scan of it. The listing is hashed by name
// without regard to case, so a look-up costs the same in a directory of
// 20,000 names as in one of ten. It is kept while the directory is the same
// (device and inode, whatever path named it) and unchanged (its modification
// time to the nanosecond); any change made through this layer drops it.
//
// File systems stamp a directory's changes with a coarse clock (a few
// milliseconds; two seconds on FAT), so a change made in the same tick as
// the one before the scan would leave the time as it was. A listing is
// therefore kept across calls only when the directory's last change was
// LISTING_SETTLE_SECONDS before the scan; otherwise the start of the next
// call drops it, as it always used to.
//
// A directory of more names, or of longer ones, than fit is not kept: it is
// scanned at each look-up instead.
enum {
    LISTING_BYTES = 1024 * 1024,   // 20,000 names of 8.3 need 280 KB
    LISTING_SLOTS = 64 * 1024,     // at most half of them used
    LISTING_SETTLE_SECONDS = 3,
};
static char listing_dir[NATIVE_PATH_MAX];
static char listing_names[LISTING_BYTES];       // NUL-separated names
static uint32_t listing_slots[LISTING_SLOTS];   // a name's offset + 1; 0: free
static uint32_t listing_mask;                   // the slots in use, less one
static bool listing_valid;
static bool listing_settled;
static dev_t listing_device;
static ino_t listing_inode;
static struct timespec listing_changed;         // the directory's modification time at the scan

void plat_begin_call(void)
{
    if (!listing_settled)
        listing_valid = false;
    plat_forget_text_block();
}

// forget_listing - a file or directory was created or removed.
static void forget_listing(void)
{
    listing_valid = false;
}

// name_hash - FNV-1a over the name folded to lower case, as strcasecmp compares.
static uint32_t name_hash(const char *name)
{
    uint32_t h = 2166136261u;
    for (const unsigned char *p = (const unsigned char *)name; *p; p++)
        h = (h ^ (uint32_t)tolower(*p)) * 16777619u;
    return h;
}

// search_listing - the kept name that equals name without regard to case.
static bool search_listing(const char *name, char *found, size_t size)
{
    for (uint32_t i = name_hash(name) & listing_mask; listing_slots[i] != 0; i = (i + 1) & listing_mask) {
        const char *entry = listing_names + listing_slots[i] - 1;
        if (strcasecmp(entry, name) == 0 && strlen(entry) < size) {
            strcpy(found, entry);
            return true;
        }
    }
    return false;
}

// hash_listing - the slots of the count names read, at most half of them used.
static void hash_listing(size_t used, size_t count)
{
    size_t slots = 16;
    while (slots < 2 * count)
        slots *= 2;
    listing_mask = (uint32_t)slots - 1;
    memset(listing_slots, 0, slots * sizeof listing_slots[0]);
    for (size_t at = 0; at < used; at += strlen(listing_names + at) + 1) {
        uint32_t i = name_hash(listing_names + at) & listing_mask;
        while (listing_slots[i] != 0)
            i = (i + 1) & listing_mask;
        listing_slots[i] = (uint32_t)at + 1;
    }
}

// read_names - every name of an open directory into the listing; false when they do not fit.
static bool read_names(DIR *d, size_t *used, size_t *count)
{
    struct dirent *e;
    *used = *count = 0;
    while ((e = readdir(d)) != nullptr) {
        size_t len = strlen(e->d_name) + 1;
        if (*used + len > sizeof listing_names || 2 * (*count + 1) > LISTING_SLOTS)
            return false;
        memcpy(listing_names + *used, e->d_name, len);
        *used += len;
        ++*count;
    }
    return true;
}

// is_settled - the directory's last change lies far enough before now that
// a later one cannot carry the same time.
static bool is_settled(const struct timespec *changed, const struct timespec *now)
{
    return now->tv_sec - changed->tv_sec > LISTING_SETTLE_SECONDS;
}

// scan_into_listing - read a directory's names into the listing; false when it cannot be read.
static bool scan_into_listing(const char *dir)
{
    listing_valid = listing_settled = false;
    if (strlen(dir) >= sizeof listing_dir)
        return false;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    DIR *d = opendir(dir[0] ? dir : ".");
    if (!d)
        return false;
    // The directory's time is taken before its names, so that a change made
    // while they are read gives a time this listing does not carry.
    struct stat st;
    size_t used = 0, count = 0;
    if (fstat(dirfd(d), &st) == 0 && read_names(d, &used, &count)) {
        hash_listing(used, count);
        strcpy(listing_dir, dir);
        listing_device = st.st_dev;
        listing_inode = st.st_ino;
        listing_changed = st.MODIFIED_AT;
        listing_settled = is_settled(&st.MODIFIED_AT, &now);
        listing_valid = true;
    }
    closedir(d);
    return listing_valid;
}

// scan_directory - one pass over a directory too large to keep.
static bool scan_directory(const char *dir, const char *name, char *found, size_t size)
{
    DIR *d = opendir(dir[0] ? dir : ".");
    if (!d)
        return false;
    bool ok = false;
    struct dirent *e;
    while ((e = readdir(d)) != nullptr) {
        if (strcasecmp(e->d_name, name) == 0 && strlen(e->d_name) < size) {
            strcpy(found, e->d_name);
            ok = true;
            break;
        }
    }
    closedir(d);
    return ok;
}

// listing_holds - the kept listing is of dir, as it is now.
static bool listing_holds(const char *dir)
{
    struct stat st;
    return listing_valid && strcmp(listing_dir, dir) == 0 && stat(dir[0] ? dir : ".", &st) == 0 &&
           st.st_dev == listing_device && st.st_ino == listing_inode && st.MODIFIED_AT.tv_sec == listing_changed.tv_sec &&
           st.MODIFIED_AT.tv_nsec == listing_changed.tv_nsec;
}

// find_in_directory - the entry of dir whose name equals name without regard to case.
static bool find_in_directory(const char *dir, const char *name, char *found, size_t size)
{
    if (listing_holds(dir) || scan_into_listing(dir))
        return search_listing(name, found, size);
    return scan_directory(dir, name, found, size);
}

// append_component - add "/" and a component to a native path; false when it does not fit.
static bool append_component(char *out, size_t size, const char *comp)
{
    size_t len = strlen(out);
    size_t need = len + (len && out[len - 1] != '/' ? 1 : 0) + strlen(comp) + 1;
    if (need > size)
        return false;
    if (len && out[len - 1] != '/')
        out[len++] = '/';
    strcpy(out + len, comp);
    return true;
}

// copy_native - the finished path, or an empty one when it does not fit.
static void copy_native(char *out, size_t size, const char *path)
{
    if (strlen(path) < size)
        strcpy(out, path);
}

void plat_native_path(const char *path, char *out, size_t size)
{
    char work[NATIVE_PATH_MAX];
    char built[NATIVE_PATH_MAX];
    char found[256];
    if (size == 0)
        return;
    out[0] = '\0';
    if (strlen(path) >= sizeof work)
        return;
    strcpy(work, path);
    for (char *p = work; *p; p++)
        if (*p == '\\')
            *p = '/';
    // The common case: the whole path exists as spelled, and one look settles it.
    struct stat whole;
    if (lstat(work, &whole) == 0) {
        copy_native(out, size, work);
        return;
    }
    built[0] = '\0';
    if (work[0] == '/')
        strcpy(built, "/");
    bool missing = false;   // once a component is missing, the rest cannot exist either
    char *save = nullptr;
    for (char *comp = strtok_r(work, "/", &save); comp; comp = strtok_r(nullptr, "/", &save)) {
        char trial[NATIVE_PATH_MAX];
        strcpy(trial, built);
        if (!append_component(trial, sizeof trial, comp))
            return;
        struct stat st;
        if (!missing && strcmp(comp, ".") != 0 && strcmp(comp, "..") != 0 && lstat(trial, &st) != 0) {
            if (find_in_directory(built, comp, found, sizeof found)) {
                strcpy(trial, built);
                if (!append_component(trial, sizeof trial, found))
                    return;
            } else {
                missing = true;
            }
        }
        strcpy(built, trial);
    }
    copy_native(out, size, built);
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
    int fd = open(native, O_WRONLY | O_CREAT | O_EXCL, perms);
    struct stat st;
    if (fd < 0 && errno == EEXIST && lstat(native, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
        access(native, W_OK) == 0 && unlink(native) == 0)
        fd = open(native, O_WRONLY | O_CREAT | O_EXCL, keep_old_perms ? (st.st_mode & 0777) : perms);
    return fd;
}

// fopen_replacing - fopen "w" through open_replacing, the new file keeping
// the old one's permissions; as fopen where it cannot replace.
static FILE *fopen_replacing(const char *native, const char *mode)
{
    int fd = open_replacing(native, 0666, true);
    if (fd < 0)
        return fopen(native, mode);
    FILE *f = fdopen(fd, mode);
    if (!f)
        close(fd);
    return f;
}

static FILE *system_open_stream(const char *path, const char *mode)
{
    char native[NATIVE_PATH_MAX];
    char m[8];
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return nullptr;
    native_mode(mode, m);
    if (m[0] == 'r' && !strchr(m, '+'))
        return fopen(native, m);
    forget_listing();
    return m[0] == 'w' && !strchr(m, '+') ? fopen_replacing(native, m) : fopen(native, m);
}

static int system_open_raw(const char *path)
{
    char native[NATIVE_PATH_MAX];
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return -1;
    return open(native, O_RDONLY | O_CLOEXEC);
}

static long system_read_raw(int fd, char *buffer, size_t size)
{
    ssize_t n;
    do
        n = read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return (long)n;
}

static bool system_seek_raw(int fd, long long offset)
{
    return lseek(fd, (off_t)offset, SEEK_SET) == (off_t)offset;
}

static void system_close_raw(int fd)
{
    close(fd);
}

// open_own_file - a descriptor of the file at native for rewriting, opened
// without following a symbolic link and cut to nothing only once it is known
// to be a regular file of one name; -1 otherwise.
static int open_own_file(const char *native)
{
    int fd = open(native, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || ftruncate(fd, 0) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

static FILE *system_open_private(const char *path)
{
    char native[NATIVE_PATH_MAX];
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return nullptr;
    forget_listing();
    // A state file is rewritten at every fresh challenge: replaced, not
    // truncated, for the reason open_replacing gives. A link is neither.
    int fd = open_replacing(native, 0600, false);
    if (fd < 0)
        fd = open_own_file(native);
    if (fd < 0)
        return nullptr;
    // The mode given to open only counts for a new file; an older file
    // written with a wider mode must not keep it.
    FILE *f = fchmod(fd, 0600) == 0 ? fdopen(fd, "w") : nullptr;
    if (!f)
        close(fd);
    return f;
}

static FILE *system_open_exclusive(const char *path, bool *existed)
{
    char native[NATIVE_PATH_MAX];
    if (existed)
        *existed = false;
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return nullptr;
    forget_listing();
    int fd = open(native, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        if (existed)
            *existed = errno == EEXIST;
        return nullptr;
    }
    FILE *f = fdopen(fd, "w");
    if (!f)
        close(fd);
    return f;
}

// stat_path - the stat of what path names; false when there is none.
static bool stat_path(const char *path, struct stat *st)
{
    char native[NATIVE_PATH_MAX];
    plat_native_path(path, native, sizeof native);
    return native[0] && stat(native, st) == 0;
}

static bool system_exists(const char *path)
{
    struct stat st;
    return stat_path(path, &st);
}

// A directory is written through its entries, which takes the search
// permission as well.
static bool system_may_access(const char *path, int what)
{
    char native[NATIVE_PATH_MAX];
    struct stat st;
    plat_native_path(path, native, sizeof native);
    if (!native[0] || stat(native, &st) != 0)
        return false;
    int mode = (what & PLAT_MAY_READ ? R_OK : 0) | (what & PLAT_MAY_WRITE ? W_OK : 0);
    if (S_ISDIR(st.st_mode))
        mode |= X_OK;
    return access(native, mode) == 0;
}

static bool system_remove(const char *path)
{
    char native[NATIVE_PATH_MAX];
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return false;
    if (unlink(native) == 0) {
        forget_listing();
        return true;
    }
    return errno == ENOENT;
}

static bool system_truncate(const char *path, long size)
{
    char native[NATIVE_PATH_MAX];
    plat_native_path(path, native, sizeof native);
    return native[0] && size >= 0 && truncate(native, (off_t)size) == 0;
}

static bool system_file_size(const char *path, long *size)
{
    struct stat st;
    if (!stat_path(path, &st))
        return false;
    *size = (long)st.st_size;
    return true;
}

static bool system_modified_time(const char *path, time_t *when)
{
    struct stat st;
    if (!stat_path(path, &st))
        return false;
    *when = st.st_mtime;
    return true;
}

static bool system_rename(const char *from, const char *to)
{
    char native_from[NATIVE_PATH_MAX], native_to[NATIVE_PATH_MAX];
    plat_native_path(from, native_from, sizeof native_from);
    plat_native_path(to, native_to, sizeof native_to);
    if (!native_from[0] || !native_to[0])
        return false;
    forget_listing();
    return rename(native_from, native_to) == 0;
}

// The name is given by a link and the old one removed where the system
// cannot rename without replacing: the file never goes without a name, and a
// crash in between leaves it with both, which its owner tidies.
static bool system_rename_new(const char *from, const char *to, bool *taken)
{
    char native_from[NATIVE_PATH_MAX], native_to[NATIVE_PATH_MAX];
    *taken = false;
    plat_native_path(from, native_from, sizeof native_from);
    plat_native_path(to, native_to, sizeof native_to);
    if (!native_from[0] || !native_to[0])
        return false;
    forget_listing();
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (renameat2(AT_FDCWD, native_from, AT_FDCWD, native_to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        *taken = errno == EEXIST;
        return false;
    }
#endif
    if (link(native_from, native_to) != 0) {
        *taken = errno == EEXIST;
        return false;
    }
    unlink(native_from);
    return true;
}

// The time of the last write stands for the time of making: the files whose
// identity counts (the mail lock) are empty and never written after.
static bool system_file_identity(const char *path, PlatFileId *id)
{
    struct stat st;
    if (!stat_path(path, &st))
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
static int open_temporary(PlatReplacement *r, mode_t mode)
{
    int n = snprintf(r->temp, sizeof r->temp, "%s.%ld.new", r->native, (long)getpid());
    if (n < 0 || n >= (int)sizeof r->temp)
        return -1;
    int fd = open(r->temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno == EEXIST && unlink(r->temp) == 0)
        fd = open(r->temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    return fd;
}

static FILE *system_open_replacement(const char *path, bool private_file, PlatReplacement *r)
{
    r->stream = nullptr;
    r->temp[0] = '\0';
    if (strlen(path) >= sizeof r->path)
        return nullptr;
    strcpy(r->path, path);
    plat_native_path(path, r->native, sizeof r->native);
    if (!r->native[0])
        return nullptr;
    struct stat old;
    bool existed = lstat(r->native, &old) == 0;
    if (existed && (is_link(&old) || !S_ISREG(old.st_mode)))
        return nullptr;
    forget_listing();
    int fd = open_temporary(r, private_file ? 0600 : 0666);
    if (fd < 0)
        return nullptr;
    // The mode given to open passes through the umask; an old file's own
    // permissions are given back exactly.
    bool moded = private_file ? fchmod(fd, 0600) == 0 : !existed || fchmod(fd, old.st_mode & 07777) == 0;
    r->stream = moded ? fdopen(fd, "w") : nullptr;
    if (!r->stream) {
        close(fd);
        unlink(r->temp);
    }
    return r->stream;
}

// Mode 0600 is all POSIX needs: no other account can read the new file.
static FILE *system_open_secret(const char *path, PlatReplacement *r)
{
    return system_open_replacement(path, true, r);
}

static bool system_commit_replacement(PlatReplacement *r)
{
    if (!r->stream)
        return false;
    bool ok = plat_fclose(r->stream) == 0;
    r->stream = nullptr;
    if (ok && rename(r->temp, r->native) != 0)
        ok = false;
    if (!ok)
        unlink(r->temp);
    forget_listing();
    return ok;
}

static void system_discard_replacement(PlatReplacement *r)
{
    if (!r->stream)
        return;
    plat_fclose(r->stream);
    r->stream = nullptr;
    unlink(r->temp);
    forget_listing();
}

// A write lock on the whole file; the descriptor stays open while it is held.
static int system_try_lock(const char *path, PlatLock *lock)
{
    char native[NATIVE_PATH_MAX];
    lock->handle = -1;
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return -1;
    struct stat st;
    bool existed = lstat(native, &st) == 0;
    int fd = open(native, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    if (!existed)
        forget_listing();
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &fl) == 0) {
        lock->handle = fd;
        return 1;
    }
    bool busy = errno == EACCES || errno == EAGAIN || errno == EINTR;
    close(fd);
    return busy ? 0 : -1;
}

// Closing the descriptor releases the lock with it.
static void system_unlock(PlatLock *lock)
{
    if (lock->handle >= 0)
        close((int)lock->handle);
    lock->handle = -1;
}

// A pause of 0 gives the processor away and no more.
static void system_sleep_ms(int ms)
{
    if (ms <= 0)
        sched_yield();
    else
        usleep((useconds_t)ms * 1000);
}

static long long system_clock_ms(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static bool system_make_directory(const char *path)
{
    char native[NATIVE_PATH_MAX];
    plat_native_path(path, native, sizeof native);
    forget_listing();
    return native[0] && mkdir(native, 0755) == 0;
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
        ssize_t n = getrandom(p, size, GRND_NONBLOCK);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
#else
        size_t n = size < 256 ? size : 256;
        if (getentropy(p, n) != 0)
            return false;
#endif
        p += n;
        size -= (size_t)n;
    }
    return true;
}

static bool system_open_listing(const char *dir, PlatListing *listing)
{
    char native[NATIVE_PATH_MAX];
    plat_native_path(dir, native, sizeof native);
    listing->handle = native[0] ? opendir(native) : nullptr;
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
    return false;
}

static void system_close_listing(PlatListing *listing)
{
    closedir((DIR *)listing->handle);
    listing->handle = nullptr;
}

static PlatFileKind system_file_kind(const char *path)
{
    char native[NATIVE_PATH_MAX];
    struct stat st;
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return PLAT_OTHER_FILE;
    if (lstat(native, &st) != 0)
        return errno == ENOENT ? PLAT_NO_FILE : PLAT_OTHER_FILE;
    return S_ISREG(st.st_mode) && st.st_nlink == 1 ? PLAT_PLAIN_FILE : PLAT_OTHER_FILE;
}

PlatOps plat_ops = {
    system_open_stream,
    system_open_private,
    system_open_exclusive,
    plat_std_close_stream,
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
};
