// test_hooks.cpp - the fixed clock and the injected faults of the test variant
// of the library. Compiled only with FILTER_TEST_HOOKS, beside the platform
// sources compiled with it; the module the host loads has none of this.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <cstring>

#if defined(_WIN32)
static const char NULL_DEVICE[] = "NUL";
#else
static const char NULL_DEVICE[] = "/dev/null";
#endif

enum { HOOK_PATH_MAX = 260, STREAMS_KEPT = 16 };

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

static Fault faults[PLAT_FAULT_KINDS];
static Interleave interleave;
static void (*lock_wait_action)(void);
static int lock_wait_ms = -1;
static WrittenStream written[STREAMS_KEPT];
static unsigned next_written;
static bool random_fails;

static bool clock_fixed;
static struct tm fixed_local;
static int fixed_hundredths;
static time_t fixed_seconds;

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

void plat_test_fail(PlatFault kind, int nth, const char *path, bool persist)
{
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
    plat_test_interleave(PLAT_FAULT_OPEN, 0, nullptr, nullptr);
    lock_wait_action = nullptr;
    lock_wait_ms = -1;
}

void plat_test_interleave(PlatFault kind, int nth, const char *path, void (*action)(void))
{
    interleave.kind = kind;
    interleave.countdown = action && nth > 0 ? nth : 0;
    interleave.action = action;
    copy_path(interleave.path, interleave.countdown ? path : nullptr);
}

void plat_test_on_lock_wait(void (*action)(void))
{
    lock_wait_action = action;
}

void plat_test_lock_wait_ms(int ms)
{
    lock_wait_ms = ms;
}

void plat_test_lock_waits(void)
{
    if (lock_wait_action)
        lock_wait_action();
}

int plat_test_lock_wait_limit(int usual)
{
    return lock_wait_ms >= 0 ? lock_wait_ms : usual;
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
    random_fails = fail;
}

bool plat_test_random_fails(void)
{
    return random_fails;
}

bool plat_test_fault_due(PlatFault kind, const char *path)
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
static FILE *failing_stream(FILE *opened, const char *native)
{
    fclose(opened);
    FILE *f = fopen(native, "r");
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

FILE *plat_test_written_stream(FILE *opened, const char *path, const char *native)
{
    if (!opened)
        return nullptr;
    FILE *stream = plat_test_fault_due(PLAT_FAULT_WRITE, path) ? failing_stream(opened, native) : opened;
    if (stream)
        note_written(stream, path);
    return stream;
}

bool plat_test_close_fault_due(FILE *stream)
{
    const char *path = nullptr;
    for (WrittenStream &w : written)
        if (w.stream == stream) {
            w.stream = nullptr;
            path = w.path;
        }
    if (!path)
        return false;
    return plat_test_fault_due(PLAT_FAULT_CLOSE, path);
}

void plat_test_set_clock(const struct tm *local, int hundredths, time_t seconds)
{
    clock_fixed = true;
    fixed_local = *local;
    fixed_hundredths = hundredths;
    fixed_seconds = seconds;
}

void plat_test_clear_clock(void)
{
    clock_fixed = false;
}

bool plat_test_fixed_clock(struct tm *local, int *hundredths, time_t *seconds)
{
    if (!clock_fixed)
        return false;
    *local = fixed_local;
    *hundredths = fixed_hundredths;
    *seconds = fixed_seconds;
    return true;
}
