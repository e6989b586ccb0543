// test_hooks.h - the platform layer's test hooks, linked only into the tests'
// library (filter_logic_hooks), never into the module the host loads or the tools.
//
// A fixed clock makes time stamps, log names and draws repeatable (the clock
// layer of platform/fixed_clock.h, under the tests' names). Faults make
// the layer's operations fail as a full or broken disk would, counted the way
// SQLite's test builds count them: the n-th operation of a kind from the moment
// the fault is set fails, and with persist every later one too. Run a scenario
// for n = 1, 2, ... until the fault is no longer hit, and every failure path of
// that kind has been taken once, on every system.
#ifndef FILTER_TEST_HOOKS_H
#define FILTER_TEST_HOOKS_H

#if !defined(FILTER_TEST_HOOKS)
#error "the test hooks exist only in filter_logic_hooks; link that library"
#endif

#include <ctime>

enum PlatFault {
    // Any open of a file, for reading or for writing: it gives no file.
    PLAT_FAULT_OPEN,
    // An open for writing or appending: the file is created, truncated or
    // kept as the open would leave it, but its stream takes no byte. The
    // first write sets the stream's error flag, and plat_fclose reports the
    // failure, as on a full disk.
    PLAT_FAULT_WRITE,
    // plat_fclose of a stream opened for writing: the stream is closed and
    // whatever was written stays, but the close reports failure.
    PLAT_FAULT_CLOSE,
    // plat_remove: the file stays where it is and the removal reports failure.
    PLAT_FAULT_REMOVE,
    // plat_truncate: the file keeps its size and the cut reports failure, as
    // on a file the system lets only grow.
    PLAT_FAULT_TRUNCATE,
    // plat_rename, plat_rename_new, and the last step of
    // plat_commit_replacement: the old name keeps what it had, and the step
    // reports failure.
    PLAT_FAULT_RENAME,
    PLAT_FAULT_KINDS
};

// plat_test_fail - the nth operation of a kind from now fails (1: the next);
// when path is not null only operations on that file count (a filter path,
// any case or separator); with persist every later one fails too. nth 0 clears.
void plat_test_fail(PlatFault kind, int nth, const char *path, bool persist);

// plat_test_faults_hit - how many operations the fault of a kind has failed since it was set.
int plat_test_faults_hit(PlatFault kind);

// plat_test_clear_faults - no operation fails any more; the generator works again.
void plat_test_clear_faults(void);

// plat_test_deny - the account running the filter lacks the permissions of
// what (PLAT_MAY_READ, PLAT_MAY_WRITE of platform.h) on one file or directory,
// as a file's mode or access list would take them away where the tests run
// as an account that every permission allows: plat_may_access reports it,
// reads of a file without read fail, and so do writes of a file without
// write and names made or removed in a directory without write. Each call
// adds a denial; plat_test_clear_faults clears them all.
void plat_test_deny(const char *path, int what);

// plat_test_fail_open - every open of path fails from now; null clears.
void plat_test_fail_open(const char *path);

// plat_test_fail_close - the n-th plat_fclose from now (1 the next) reports failure; 0 clears.
void plat_test_fail_close(int nth);

// plat_test_fail_random - the generator gives no random bytes while fail is set.
void plat_test_fail_random(bool fail);

// plat_test_interleave - at the nth operation of a kind from now on that
// file (any file for null), run action just before it, once: what a second
// process does at that moment. The operation then goes on, or fails when a
// fault of its kind is due. Null action clears.
void plat_test_interleave(PlatFault kind, int nth, const char *path, void (*action)(void));

// plat_test_on_lock_wait - action runs once, the next time a lock is found
// held by another process, before the wait; null clears.
void plat_test_on_lock_wait(void (*action)(void));

#if !defined(_WIN32)
// plat_test_system_calls - the calls of the system the platform's entries
// have made since the library was loaded: a call's cost is the difference
// across it. Counted on POSIX systems, where the cost is measured.
unsigned long plat_test_system_calls(void);
#endif

// plat_test_crash_at - the process ends at the nth operation from now that
// changes the disk (an open for writing, the close of a written stream, a
// removal, a cut-back, a renaming, a new directory or marker): that
// operation and every later one do nothing and fail, and what the open
// streams still hold in their buffers never reaches the disk, as when the
// host is killed at that moment. The call runs on to its end without
// touching the disk; then the test loads the library afresh
// (filter_reset_state, plat_test_clear_faults) and lets the next call
// recover. Run a scenario for n = 1, 2, ... until the crash no longer comes,
// and it has been stopped before every change it makes. 0 clears.
void plat_test_crash_at(int nth);

// plat_test_crashed - the crash set by plat_test_crash_at has come.
bool plat_test_crashed(void);

// plat_test_wait_clock - with tick_ms above 0, waits for a lock run on the
// test's clock: plat_clock_ms starts at 0 and moves only by the pauses of
// the waits, which take no real time, each at least tick_ms long (Windows
// makes a pause of 2 ms last its timer's tick, about 16 ms), so a lock held
// elsewhere costs a known number of tries and no time. 0 gives the waits the
// system's clock again.
void plat_test_wait_clock(int tick_ms);

// plat_test_hold_lock - another process holds the lock of path (plat_lock,
// plat_try_lock) from now, as a tool stopped at a prompt would; null frees it.
void plat_test_hold_lock(const char *path);

// plat_test_set_clock / plat_test_clear_clock - the clock of every call is
// fixed at this time until cleared.
void plat_test_set_clock(const struct tm *local, int hundredths, time_t seconds);
void plat_test_clear_clock(void);

#endif
