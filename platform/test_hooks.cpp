// test_hooks.cpp - the fault layer of the tests' library: counted faults put
// in the table of operations on top of whatever entries are there, so that a
// test can fail an open, a write, a close or a removal on every system. The
// fixed clock of the tests is the tools' clock layer.
#include "platform/fixed_clock.h"
#include "platform/platform_ops.h"
#include "platform/test_hooks.h"
#if !defined(_WIN32)
#include "platform/lookup_posix.h"
#endif

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#if defined(_WIN32)
static const char NULL_DEVICE[] = "NUL";
#else
static const char NULL_DEVICE[] = "/dev/null";
#endif

enum { HOOK_PATH_MAX = 260, STREAMS_KEPT = 16, DENIALS = 8 };

// Fault - one kind's countdown: the operation that brings it from 1 to 0 fails.
struct Fault {
    int countdown;          // 0: not set
    bool persist;
    int hits;
    char path[HOOK_PATH_MAX];   // "": every file counts
};

// WrittenStream - a stream opened for writing and the file behind it, so that
// a close fault can be aimed at one file.
struct WrittenStream {
    FILE *stream;
    char path[HOOK_PATH_MAX];
};

// Interleave - an action run at one operation, as a second process would act then.
struct Interleave {
    PlatFault kind;
    int countdown;          // 0: not set
    char path[HOOK_PATH_MAX];
    void (*action)(void);
};

// Denial - permissions the account lacks on one name.
struct Denial {
    char path[HOOK_PATH_MAX];
    int what;               // 0: unused
};

static Fault faults[PLAT_FAULT_KINDS];
static Denial denials[DENIALS];
static Interleave interleave;
static void (*lock_wait_action)(void);
static char held_lock[HOOK_PATH_MAX];   // "": no lock held by another process
static WrittenStream written[STREAMS_KEPT];
static unsigned next_written;
static bool random_fails;
static PlatOps below;   // the entries the layer replaced

// The crash: a countdown of the operations that change the disk, and whether it came.
static int crash_countdown;
static bool crashed;

// The test's clock of the waits, the least a pause takes on it, and the
// entries it replaced while on.
static long long wait_clock_ms;
static int wait_tick_ms;
static long long (*system_clock_ms)(void);
static void (*system_sleep_ms)(int ms);

// copy_path - a bounded copy of a filter path; "" for null.
static void copy_path(char *to, const char *from)
{
    to[0] = '\0';
    if (from) {
        strncpy(to, from, HOOK_PATH_MAX - 1);
        to[HOOK_PATH_MAX - 1] = '\0';
    }
}

// same_name - filter paths equal without regard to case or separator style.
static bool same_name(const char *a, const char *b)
{
    for (; *a && *b; a++, b++) {
        char ca = *a == '/' ? '\\' : *a, cb = *b == '/' ? '\\' : *b;
        if (ca >= 'a' && ca <= 'z') ca = (char)(ca - 32);
        if (cb >= 'a' && cb <= 'z') cb = (char)(cb - 32);
        if (ca != cb)
            return false;
    }
    return *a == *b;
}

static void install_fault_layer(void);

void plat_test_fail(PlatFault kind, int nth, const char *path, bool persist)
{
    install_fault_layer();
    Fault &f = faults[kind];
    f.countdown = nth > 0 ? nth : 0;
    f.persist = persist;
    f.hits = 0;
    copy_path(f.path, f.countdown ? path : nullptr);
}

int plat_test_faults_hit(PlatFault kind)
{
    return faults[kind].hits;
}

void plat_test_clear_faults(void)
{
    for (int kind = 0; kind < PLAT_FAULT_KINDS; kind++)
        plat_test_fail((PlatFault)kind, 0, nullptr, false);
    random_fails = false;
    crash_countdown = 0;
    crashed = false;
    plat_test_wait_clock(0);
    held_lock[0] = '\0';
    for (Denial &d : denials)
        d.what = 0;
    plat_test_interleave(PLAT_FAULT_OPEN, 0, nullptr, nullptr);
    lock_wait_action = nullptr;
}

void plat_test_interleave(PlatFault kind, int nth, const char *path, void (*action)(void))
{
    if (action)
        install_fault_layer();
    interleave.kind = kind;
    interleave.countdown = action && nth > 0 ? nth : 0;
    interleave.action = action;
    copy_path(interleave.path, interleave.countdown ? path : nullptr);
}

void plat_test_on_lock_wait(void (*action)(void))
{
    if (action)
        install_fault_layer();
    lock_wait_action = action;
}

// run_interleave - the action set for this operation, when it is due; cleared before it runs.
static void run_interleave(PlatFault kind, const char *path)
{
    Interleave &i = interleave;
    if (i.countdown == 0 || i.kind != kind || (i.path[0] && !(path && same_name(i.path, path))))
        return;
    if (--i.countdown > 0)
        return;
    void (*action)(void) = i.action;
    i.action = nullptr;
    action();
}

void plat_test_fail_open(const char *path)
{
    plat_test_fail(PLAT_FAULT_OPEN, path ? 1 : 0, path, true);
}

void plat_test_fail_close(int nth)
{
    plat_test_fail(PLAT_FAULT_CLOSE, nth, nullptr, false);
}

void plat_test_fail_random(bool fail)
{
    install_fault_layer();
    random_fails = fail;
}

void plat_test_deny(const char *path, int what)
{
    install_fault_layer();
    for (Denial &d : denials)
        if (d.what == 0) {
            copy_path(d.path, path);
            d.what = what;
            return;
        }
}

// denied - a permission of what is taken away on path; errno tells as the system would.
static bool denied(const char *path, int what)
{
    for (const Denial &d : denials)
        if ((d.what & what) && path && same_name(d.path, path)) {
            errno = EACCES;
            return true;
        }
    return false;
}

// place_denied - no name can be made or removed beside path: its directory lacks write.
static bool place_denied(const char *path)
{
    char parent[HOOK_PATH_MAX];
    copy_path(parent, path);
    char *cut = strrchr(parent, '\\'), *slash = strrchr(parent, '/');
    if (!cut || (slash && slash > cut))
        cut = slash;
    if (cut)
        *cut = '\0';
    return denied(cut ? parent : ".", PLAT_MAY_WRITE);
}

// any_denial - a permission is taken away somewhere. Without one the layer
// asks nothing of the entries below, so that a call makes the same system
// calls as in the module the host loads.
static bool any_denial(void)
{
    for (const Denial &d : denials)
        if (d.what)
            return true;
    return false;
}

// write_denied - the file cannot be written: its own permission, or its directory's for a new one.
static bool write_denied(const char *path)
{
    if (!any_denial())
        return false;
    return below.exists(path) ? denied(path, PLAT_MAY_WRITE) : place_denied(path);
}

void plat_test_crash_at(int nth)
{
    install_fault_layer();
    crash_countdown = nth > 0 ? nth : 0;
    crashed = false;
}

bool plat_test_crashed(void)
{
    return crashed;
}

// silence - what a stream holds and is yet to take goes nowhere: its
// descriptor now writes to the null device.
static void silence(FILE *stream)
{
#if defined(_WIN32)
    int null = _open(NULL_DEVICE, _O_WRONLY);
    if (null >= 0) {
        _dup2(null, _fileno(stream));
        _close(null);
    }
#else
    int null = open(NULL_DEVICE, O_WRONLY);
    if (null >= 0) {
        dup2(null, fileno(stream));
        close(null);
    }
#endif
}

// crash_due - the process ends at this operation, or ended before it. At
// the end, the buffers of the streams it was writing are lost with it.
static bool crash_due(void)
{
    if (crashed)
        return true;
    if (crash_countdown == 0 || --crash_countdown > 0)
        return false;
    crashed = true;
    for (WrittenStream &w : written)
        if (w.stream)
            silence(w.stream);
    return true;
}

// fault_due - the operation of this kind on path is the one to fail.
static bool fault_due(PlatFault kind, const char *path)
{
    run_interleave(kind, path);
    Fault &f = faults[kind];
    if (f.countdown == 0)
        return false;
    if (f.path[0] && !(path && same_name(f.path, path)))
        return false;
    if (f.countdown > 1) {
        f.countdown--;
        return false;
    }
    if (!f.persist)
        f.countdown = 0;
    f.hits++;
    return true;
}

// failing_stream - in place of a stream just opened for writing, the same
// file opened for reading (the null device if that fails), at its end as an
// appending stream stands: every write fails and sets the error flag, as the
// C library does for a stream not open for writing, and the size taken at the
// opening is the file's own.
static FILE *failing_stream(FILE *opened, const char *path)
{
    below.close_stream(opened);
    FILE *f = below.open_stream(path, "rb");
    if (!f)
        f = fopen(NULL_DEVICE, "r");
    if (f)
        fseek(f, 0, SEEK_END);
    return f;
}

// note_written - remember the file behind a stream. A stream at the address
// of one closed without plat_fclose takes its place; when all places are
// taken, the oldest noted goes.
static void note_written(FILE *stream, const char *path)
{
    WrittenStream *slot = nullptr;
    for (WrittenStream &w : written)
        if (w.stream == stream)
            slot = &w;
    for (WrittenStream &w : written)
        if (!slot && w.stream == nullptr)
            slot = &w;
    if (!slot) {
        slot = &written[next_written];
        next_written = (next_written + 1) % STREAMS_KEPT;
    }
    slot->stream = stream;
    copy_path(slot->path, path);
}

// written_stream - the stream of a file just opened for writing, or one that
// takes no byte when a write fault is due on it.
static FILE *written_stream(FILE *opened, const char *path)
{
    if (!opened)
        return nullptr;
    FILE *stream = fault_due(PLAT_FAULT_WRITE, path) ? failing_stream(opened, path) : opened;
    if (stream)
        note_written(stream, path);
    return stream;
}

// close_fault_due - the close of this stream is to fail; asked once, before the close.
static bool close_fault_due(FILE *stream)
{
    const char *path = nullptr;
    for (WrittenStream &w : written)
        if (w.stream == stream) {
            w.stream = nullptr;
            path = w.path;
        }
    if (!path)
        return false;
    return fault_due(PLAT_FAULT_CLOSE, path);
}

static FILE *fault_open_stream(const char *path, const char *mode)
{
    bool reads = mode[0] == 'r' || strchr(mode, '+');
    bool writes = mode[0] != 'r' || strchr(mode, '+');
    if ((reads && denied(path, PLAT_MAY_READ)) || (writes && write_denied(path)))
        return nullptr;
    if ((writes && crash_due()) || fault_due(PLAT_FAULT_OPEN, path))
        return nullptr;
    FILE *f = below.open_stream(path, mode);
    if (mode[0] == 'r' && !strchr(mode, '+'))
        return f;
    return written_stream(f, path);
}

static FILE *fault_open_private(const char *path)
{
    if (write_denied(path) || crash_due() || fault_due(PLAT_FAULT_OPEN, path))
        return nullptr;
    return written_stream(below.open_private(path), path);
}

static FILE *fault_open_append(const char *path)
{
    if (write_denied(path) || crash_due() || fault_due(PLAT_FAULT_OPEN, path))
        return nullptr;
    return written_stream(below.open_append(path), path);
}

static FILE *fault_open_exclusive(const char *path, bool *existed)
{
    if (existed)
        *existed = false;
    if ((any_denial() && !below.exists(path) && place_denied(path)) || crash_due() || fault_due(PLAT_FAULT_OPEN, path))
        return nullptr;
    return written_stream(below.open_exclusive(path, existed), path);
}

// A stream written when the process ends takes nothing more to the disk.
static int fault_close_stream(FILE *stream)
{
    bool was_written = false;
    for (const WrittenStream &w : written)
        was_written = was_written || w.stream == stream;
    bool ended = was_written && crash_due();
    bool failed = close_fault_due(stream) || ended;
    return below.close_stream(stream) != 0 || failed ? EOF : 0;
}

static int fault_open_raw(const char *path)
{
    return denied(path, PLAT_MAY_READ) || fault_due(PLAT_FAULT_OPEN, path) ? -1 : below.open_raw(path);
}

static bool fault_remove(const char *path)
{
    if (any_denial() && below.exists(path) && place_denied(path))
        return false;
    return !crash_due() && !fault_due(PLAT_FAULT_REMOVE, path) && below.remove(path);
}

static bool fault_truncate(const char *path, long size)
{
    return !denied(path, PLAT_MAY_WRITE) && !crash_due() && !fault_due(PLAT_FAULT_TRUNCATE, path) &&
           below.truncate(path, size);
}

static bool fault_rename(const char *from, const char *to)
{
    return !place_denied(from) && !place_denied(to) && !crash_due() && !fault_due(PLAT_FAULT_RENAME, from) &&
           below.rename(from, to);
}

static bool fault_rename_new(const char *from, const char *to, bool *taken)
{
    *taken = false;
    return !place_denied(from) && !place_denied(to) && !crash_due() && !fault_due(PLAT_FAULT_RENAME, from) &&
           below.rename_new(from, to, taken);
}

static FILE *fault_open_replacement(const char *path, bool private_file, PlatReplacement *r)
{
    r->stream = nullptr;
    if (place_denied(path) || crash_due() || fault_due(PLAT_FAULT_OPEN, path))
        return nullptr;
    FILE *opened = below.open_replacement(path, private_file, r);
    if (opened && fault_due(PLAT_FAULT_WRITE, path)) {
        // The temporary stays as it is; the stream that replaces it takes no byte.
        below.close_stream(opened);
        opened = fopen(NULL_DEVICE, "r");
    }
    if (opened)
        note_written(opened, path);
    r->stream = opened;
    return opened;
}

static FILE *fault_open_secret(const char *path, PlatReplacement *r)
{
    r->stream = nullptr;
    if (place_denied(path) || crash_due() || fault_due(PLAT_FAULT_OPEN, path))
        return nullptr;
    r->stream = below.open_secret(path, r);
    if (r->stream)
        note_written(r->stream, path);
    return r->stream;
}

// A crash before the commit leaves the temporary as far as it was written.
static bool fault_commit_replacement(PlatReplacement *r)
{
    if (r->stream && crash_due()) {
        plat_fclose(r->stream);
        r->stream = nullptr;
        return false;
    }
    if (!fault_due(PLAT_FAULT_RENAME, r->path))
        return below.commit_replacement(r);
    below.discard_replacement(r);
    return false;
}

// A lock held elsewhere: a test may act then, once, before the wait.
static int fault_try_lock(const char *path, PlatLock *lock)
{
    // An ended process waits for nothing; the lock it held died with it.
    if (crashed) {
        lock->handle = -1;
        return 1;
    }
    int taken = held_lock[0] && same_name(held_lock, path) ? 0 : below.try_lock(path, lock);
    if (taken == 0 && lock_wait_action) {
        void (*action)(void) = lock_wait_action;
        lock_wait_action = nullptr;
        action();
    }
    return taken;
}

static bool fault_may_access(const char *path, int what)
{
    return !denied(path, what) && below.may_access(path, what);
}

static bool fault_make_directory(const char *path)
{
    return !place_denied(path) && !crash_due() && below.make_directory(path);
}

static bool fault_create_hidden(const char *path)
{
    return !write_denied(path) && !crash_due() && below.create_hidden(path);
}

static bool fault_open_listing(const char *dir, PlatListing *listing)
{
    return !denied(dir, PLAT_MAY_READ) && below.open_listing(dir, listing);
}

static bool fault_random_bytes(void *buffer, size_t size)
{
    return !random_fails && below.random_bytes(buffer, size);
}

// install_fault_layer - put the layer's entries in the table, once.
static void install_fault_layer(void)
{
    if (plat_ops.open_stream == fault_open_stream)
        return;
    below = plat_ops;
    plat_ops.open_stream = fault_open_stream;
    plat_ops.open_private = fault_open_private;
    plat_ops.open_exclusive = fault_open_exclusive;
    plat_ops.close_stream = fault_close_stream;
    plat_ops.open_raw = fault_open_raw;
    plat_ops.remove = fault_remove;
    plat_ops.truncate = fault_truncate;
    plat_ops.rename = fault_rename;
    plat_ops.rename_new = fault_rename_new;
    plat_ops.open_replacement = fault_open_replacement;
    plat_ops.open_secret = fault_open_secret;
    plat_ops.open_append = fault_open_append;
    plat_ops.commit_replacement = fault_commit_replacement;
    plat_ops.try_lock = fault_try_lock;
    plat_ops.random_bytes = fault_random_bytes;
    plat_ops.may_access = fault_may_access;
    plat_ops.make_directory = fault_make_directory;
    plat_ops.create_hidden = fault_create_hidden;
    plat_ops.open_listing = fault_open_listing;
}

#if !defined(_WIN32)
unsigned long plat_test_system_calls(void)
{
    return posix_system_calls;
}
#endif

// wait_clock_now - the test's clock of the waits.
static long long wait_clock_now(void)
{
    return wait_clock_ms;
}

// wait_clock_pause - a pause of a wait: the test's clock moves on at once, by a tick at least.
static void wait_clock_pause(int ms)
{
    wait_clock_ms += ms > wait_tick_ms ? ms : wait_tick_ms;
}

void plat_test_hold_lock(const char *path)
{
    if (path)
        install_fault_layer();
    copy_path(held_lock, path);
}

void plat_test_wait_clock(int tick_ms)
{
    bool on = tick_ms > 0;
    wait_tick_ms = tick_ms;
    bool is_on = plat_ops.clock_ms == wait_clock_now;
    if (on && !is_on) {
        system_clock_ms = plat_ops.clock_ms;
        system_sleep_ms = plat_ops.sleep_ms;
        plat_ops.clock_ms = wait_clock_now;
        plat_ops.sleep_ms = wait_clock_pause;
    } else if (!on && is_on) {
        plat_ops.clock_ms = system_clock_ms;
        plat_ops.sleep_ms = system_sleep_ms;
    }
    wait_clock_ms = 0;
}

void plat_test_set_clock(const struct tm *local, int hundredths, time_t seconds)
{
    plat_fix_clock(local, hundredths, seconds);
}

void plat_test_clear_clock(void)
{
    plat_free_clock();
}
