// platform_common.cpp - the functions of platform.h, each a call of its entry
// in the table of operations, and the system entries that standard C++
// covers on every system.
#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/platform_ops.h"

#include <cstdlib>
#include <cstring>

FILE *plat_fopen(const char *path, const char *mode) { return plat_ops.open_stream(path, mode); }
FILE *plat_fopen_private(const char *path) { return plat_ops.open_private(path); }
FILE *plat_fopen_exclusive(const char *path, bool *existed) { return plat_ops.open_exclusive(path, existed); }
int plat_fclose(FILE *stream) { return plat_ops.close_stream(stream); }
bool plat_exists(const char *path) { return plat_ops.exists(path); }
bool plat_may_access(const char *path, int what) { return plat_ops.may_access(path, what); }
bool plat_remove(const char *path) { return plat_ops.remove(path); }
bool plat_truncate(const char *path, long size) { return plat_ops.truncate(path, size); }
bool plat_file_size(const char *path, long *size) { return plat_ops.file_size(path, size); }
bool plat_rename(const char *from, const char *to) { return plat_ops.rename(from, to); }
bool plat_rename_new(const char *from, const char *to, bool *taken)
{
    bool ignored;
    return plat_ops.rename_new(from, to, taken ? taken : &ignored);
}
bool plat_file_identity(const char *path, PlatFileId *id) { return plat_ops.file_identity(path, id); }
FILE *plat_open_replacement(const char *path, bool private_file, PlatReplacement *r)
{
    return plat_ops.open_replacement(path, private_file, r);
}
FILE *plat_open_secret(const char *path, PlatReplacement *r) { return plat_ops.open_secret(path, r); }
FILE *plat_open_append(const char *path) { return plat_ops.open_append(path); }
bool plat_commit_replacement(PlatReplacement *r) { return plat_ops.commit_replacement(r); }
void plat_discard_replacement(PlatReplacement *r) { plat_ops.discard_replacement(r); }
int plat_try_lock(const char *path, PlatLock *lock) { return plat_ops.try_lock(path, lock); }
void plat_unlock(PlatLock *lock) { plat_ops.unlock(lock); }
bool plat_make_directory(const char *path) { return plat_ops.make_directory(path); }
bool plat_create_hidden(const char *path) { return plat_ops.create_hidden(path); }
PlatFileKind plat_file_kind(const char *path) { return plat_ops.file_kind(path); }
bool plat_open_listing(const char *dir, PlatListing *listing) { return plat_ops.open_listing(dir, listing); }
bool plat_next_name(PlatListing *listing, char *name, size_t size) { return plat_ops.next_name(listing, name, size); }
void plat_close_listing(PlatListing *listing) { plat_ops.close_listing(listing); }
void plat_local_time(struct tm *out, int *hundredths) { plat_ops.local_time(out, hundredths); }
time_t plat_now_seconds(void) { return plat_ops.now_seconds(); }
long long plat_clock_ms(void) { return plat_ops.clock_ms(); }
bool plat_random_bytes(void *buffer, size_t size) { return plat_ops.random_bytes(buffer, size); }
const char *plat_getenv(const char *name) { return plat_ops.getenv(name); }

size_t plat_format_time(char *out, size_t size, const char *format, const struct tm *tm)
{
    if (size == 0)
        return 0;
    size_t n = strftime(out, size, format, tm);
    if (n == 0)
        out[0] = '\0';
    return n;
}

bool plat_is_temporary_name(const char *name)
{
    static const char tail[] = ".new";
    size_t n = strlen(name), t = sizeof tail - 1;
    if (n <= t || strcmp(name + n - t, tail) != 0)
        return false;
    size_t digits = 0;
    while (n - t > digits + 1 && name[n - t - digits - 1] >= '0' && name[n - t - digits - 1] <= '9')
        digits++;
    return digits > 0 && n - t > digits + 1 && name[n - t - digits - 1] == '.';
}

// The host runs for years: every build's clock counts past 2038 (the 32-bit
// builds ask for a 64-bit time_t in CMakeLists.txt).
static_assert(sizeof(time_t) >= 8, "a 32-bit time_t stops the clock in 2038");

time_t plat_std_now_seconds(void)
{
    return time(nullptr);
}

const char *plat_std_getenv(const char *name)
{
    return getenv(name);
}

// A write that failed leaves the stream's error flag set, and fclose may
// still succeed (nothing was left in the buffer): the flag counts as a failed close.
int plat_std_close_stream(FILE *stream)
{
    bool failed = ferror(stream) != 0;
    if (fclose(stream) != 0)
        failed = true;
    return failed ? EOF : 0;
}

bool plat_file_age(const char *path, long *seconds)
{
    time_t written;
    if (!plat_ops.modified_time(path, &written))
        return false;
    *seconds = (long)(plat_now_seconds() - written);
    return true;
}

// The lock is tried without waiting and again until wait_ms have passed on
// the clock, so a stuck holder costs the host a bounded wait, never a hang,
// however long the system makes each pause. The filter's own holders keep
// it for well under a millisecond: the first tries only give the processor
// away, and only then does each pause last a few milliseconds.
bool plat_lock(const char *path, PlatLock *lock, long wait_ms)
{
    enum { QUICK_TRIES = 20, STEP_MS = 2 };
    long long start = plat_ops.clock_ms();
    for (int tries = 0;; tries++) {
        int taken = plat_ops.try_lock(path, lock);
        if (taken != 0)
            return taken > 0;
        if (plat_ops.clock_ms() - start >= wait_ms)
            return false;
        plat_ops.sleep_ms(tries < QUICK_TRIES ? 0 : STEP_MS);
    }
}
