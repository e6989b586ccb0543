// platform_posix.cpp - the platform layer on POSIX systems.
//
// Filter paths use "\" and the host's file system ignores case. Here each
// component is looked up as spelled first (no directory scan when it exists),
// else by a scan of its parent directory without regard to case; a component
// that does not exist keeps the spelling given, so new files are created as named.
#include "platform/platform.h"
#include "platform/dry_run.h"
#include "platform/platform_internal.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#if defined(__linux__) || defined(__APPLE__)
#include <sys/random.h>
#endif

enum { NATIVE_PATH_MAX = 4096 };

// The listing of the last directory scanned, kept for the rest of one call of
// the filter: a connection looks up many files that do not exist (markers,
// texts), all in the filter directory. Any change made through this layer, and
// the start of every call, drop it, so a listing is never older than the call
// that took it. A directory whose names do not fit is not kept.
enum { LISTING_SIZE = 64 * 1024 };
static char listing_dir[NATIVE_PATH_MAX];
static char listing_names[LISTING_SIZE];   // NUL-separated names
static size_t listing_used;
static bool listing_valid;
static dev_t listing_device;   // the directory itself, whatever path named it
static ino_t listing_inode;

void plat_begin_call(void)
{
    listing_valid = false;
    plat_forget_text_block();
}

// forget_listing - a file or directory was created or removed.
static void forget_listing(void)
{
    listing_valid = false;
}

// search_listing - the kept name that equals name without regard to case.
static bool search_listing(const char *name, char *found, size_t size)
{
    for (size_t at = 0; at < listing_used; at += strlen(listing_names + at) + 1) {
        const char *entry = listing_names + at;
        if (strcasecmp(entry, name) == 0 && strlen(entry) < size) {
            strcpy(found, entry);
            return true;
        }
    }
    return false;
}

// scan_into_listing - read a directory's names into the listing; false when it cannot be read.
static bool scan_into_listing(const char *dir)
{
    DIR *d = opendir(dir[0] ? dir : ".");
    listing_valid = false;
    if (!d)
        return false;
    bool fits = strlen(dir) < sizeof listing_dir;
    listing_used = 0;
    struct dirent *e;
    while (fits && (e = readdir(d)) != nullptr) {
        size_t len = strlen(e->d_name) + 1;
        if (listing_used + len > sizeof listing_names) {
            fits = false;
            break;
        }
        memcpy(listing_names + listing_used, e->d_name, len);
        listing_used += len;
    }
    struct stat st;
    if (fits && fstat(dirfd(d), &st) == 0) {
        strcpy(listing_dir, dir);
        listing_device = st.st_dev;
        listing_inode = st.st_ino;
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

// find_in_directory - the entry of dir whose name equals name without regard to case.
static bool find_in_directory(const char *dir, const char *name, char *found, size_t size)
{
    struct stat st;
    if (listing_valid && strcmp(listing_dir, dir) == 0 && stat(dir[0] ? dir : ".", &st) == 0 &&
        st.st_dev == listing_device && st.st_ino == listing_inode)
        return search_listing(name, found, size);
    if (scan_into_listing(dir))
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

FILE *plat_fopen(const char *path, const char *mode)
{
    char native[NATIVE_PATH_MAX];
    char m[8];
    if (open_fault(path))
        return nullptr;
    if (dry_run_active)
        return dry_run_fopen(path, mode);
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return nullptr;
    native_mode(mode, m);
    if (m[0] == 'r' && !strchr(m, '+'))
        return fopen(native, m);
    forget_listing();
    FILE *f = m[0] == 'w' && !strchr(m, '+') ? fopen_replacing(native, m) : fopen(native, m);
    return written_stream(f, path, native);
}

int plat_raw_open(const char *path)
{
    char native[NATIVE_PATH_MAX];
    if (dry_run_active)
        return dry_run_raw_open(path);
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return -1;
    return open(native, O_RDONLY | O_CLOEXEC);
}

long plat_raw_read(int fd, char *buffer, size_t size)
{
    ssize_t n;
    do
        n = read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return (long)n;
}

bool plat_raw_seek(int fd, long long offset)
{
    return lseek(fd, (off_t)offset, SEEK_SET) == (off_t)offset;
}

void plat_raw_close(int fd)
{
    close(fd);
}

FILE *plat_fopen_private(const char *path)
{
    char native[NATIVE_PATH_MAX];
    if (open_fault(path))
        return nullptr;
    if (dry_run_active)
        return dry_run_fopen(path, "w");
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return nullptr;
    forget_listing();
    // A state file is rewritten at every fresh challenge: replaced, not
    // truncated, for the reason open_replacing gives.
    int fd = open_replacing(native, 0600, false);
    if (fd < 0)
        fd = open(native, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return nullptr;
    // The mode given to open only counts for a new file; an older file
    // written with a wider mode must not keep it.
    FILE *f = fchmod(fd, 0600) == 0 ? fdopen(fd, "w") : nullptr;
    if (!f)
        close(fd);
    return written_stream(f, path, native);
}

FILE *plat_fopen_exclusive(const char *path, bool *existed)
{
    char native[NATIVE_PATH_MAX];
    if (existed)
        *existed = false;
    if (open_fault(path))
        return nullptr;
    if (dry_run_active)
        return dry_run_fopen_exclusive(path, existed);
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
    return written_stream(f, path, native);
}

bool plat_exists(const char *path)
{
    char native[NATIVE_PATH_MAX];
    struct stat st;
    if (dry_run_active)
        return dry_run_exists(path);
    plat_native_path(path, native, sizeof native);
    return native[0] && stat(native, &st) == 0;
}

bool plat_remove(const char *path)
{
    char native[NATIVE_PATH_MAX];
    if (remove_fault(path))
        return false;
    if (dry_run_active)
        return dry_run_remove(path);
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return false;
    if (unlink(native) == 0) {
        forget_listing();
        return true;
    }
    return errno == ENOENT;
}

bool plat_truncate(const char *path, long size)
{
    char native[NATIVE_PATH_MAX];
    if (truncate_fault(path))
        return false;
    plat_native_path(path, native, sizeof native);
    return native[0] && size >= 0 && truncate(native, (off_t)size) == 0;
}

bool plat_file_age(const char *path, long *seconds)
{
    char native[NATIVE_PATH_MAX];
    struct stat st;
    plat_native_path(path, native, sizeof native);
    if (!native[0] || stat(native, &st) != 0)
        return false;
    *seconds = (long)(plat_now_seconds() - st.st_mtime);
    return true;
}

bool plat_file_size(const char *path, long *size)
{
    char native[NATIVE_PATH_MAX];
    struct stat st;
    plat_native_path(path, native, sizeof native);
    if (!native[0] || stat(native, &st) != 0)
        return false;
    *size = (long)st.st_size;
    return true;
}

bool plat_rename(const char *from, const char *to)
{
    char native_from[NATIVE_PATH_MAX], native_to[NATIVE_PATH_MAX];
    if (rename_fault(from))
        return false;
    if (dry_run_active)
        return dry_run_rename(from, to);
    plat_native_path(from, native_from, sizeof native_from);
    plat_native_path(to, native_to, sizeof native_to);
    if (!native_from[0] || !native_to[0])
        return false;
    forget_listing();
    return rename(native_from, native_to) == 0;
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

FILE *plat_open_replacement(const char *path, bool private_file, PlatReplacement *r)
{
    r->stream = nullptr;
    r->dry = false;
    r->temp[0] = '\0';
    if (open_fault(path) || strlen(path) >= sizeof r->path)
        return nullptr;
    strcpy(r->path, path);
    if (dry_run_active) {
        r->dry = true;
        r->stream = dry_run_fopen(path, "w");
        return r->stream;
    }
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
        return nullptr;
    }
    r->stream = written_stream(r->stream, path, r->temp);
    if (!r->stream)
        unlink(r->temp);
    return r->stream;
}

bool plat_commit_replacement(PlatReplacement *r)
{
    if (!r->stream)
        return false;
    bool ok = plat_fclose(r->stream) == 0;
    r->stream = nullptr;
    if (r->dry)
        return ok;
    if (ok && (rename_fault(r->path) || rename(r->temp, r->native) != 0))
        ok = false;
    if (!ok)
        unlink(r->temp);
    forget_listing();
    return ok;
}

void plat_discard_replacement(PlatReplacement *r)
{
    if (!r->stream)
        return;
    fclose(r->stream);
    r->stream = nullptr;
    if (!r->dry)
        unlink(r->temp);
    forget_listing();
}

// The lock is a write lock on the whole file, taken without waiting and
// tried again every few milliseconds up to the limit, so a stuck holder
// costs the host a bounded wait, never a hang.
bool plat_lock(const char *path, PlatLock *lock)
{
    char native[NATIVE_PATH_MAX];
    lock->handle = -1;
    if (dry_run_active)
        return true;
    plat_native_path(path, native, sizeof native);
    if (!native[0])
        return false;
    int fd = open(native, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    forget_listing();
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    int limit = lock_wait_limit(PLAT_LOCK_WAIT_MS);
    bool told = false;
    for (int waited = 0;; waited += 2) {
        if (fcntl(fd, F_SETLK, &fl) == 0) {
            lock->handle = fd;
            return true;
        }
        if ((errno != EACCES && errno != EAGAIN && errno != EINTR) || waited >= limit)
            break;
        if (!told)
            lock_waits();
        told = true;
        usleep(2000);
    }
    close(fd);
    return false;
}

// Closing the descriptor releases the lock with it.
void plat_unlock(PlatLock *lock)
{
    if (lock->handle >= 0)
        close((int)lock->handle);
    lock->handle = -1;
}

bool plat_make_directory(const char *path)
{
    char native[NATIVE_PATH_MAX];
    if (dry_run_active)
        return dry_run_make_directory(path);
    plat_native_path(path, native, sizeof native);
    forget_listing();
    return native[0] && mkdir(native, 0755) == 0;
}

// The hidden attribute has no meaning here; the marker only has to exist.
bool plat_create_hidden(const char *path)
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

bool plat_open_listing(const char *dir, PlatListing *listing)
{
    char native[NATIVE_PATH_MAX];
    plat_native_path(dir, native, sizeof native);
    listing->handle = native[0] ? opendir(native) : nullptr;
    return listing->handle != nullptr;
}

bool plat_next_name(PlatListing *listing, char *name, size_t size)
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

void plat_close_listing(PlatListing *listing)
{
    closedir((DIR *)listing->handle);
    listing->handle = nullptr;
}
