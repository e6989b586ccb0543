// platform.h - the only interface between the filter and the operating system.
//
// Every other file passes paths exactly as the filter builds them, with "\"
// separators ("morvel\N0CALL1.TMP"). On Windows they go to the system as they
// are; on POSIX systems "\" becomes "/" and each component is found without
// regard to case, as the host's file system would. Functions report failure
// by their result; none of them ends the process.
#ifndef FILTER_PLATFORM_H
#define FILTER_PLATFORM_H

#include <cstddef>
#include <cstdio>
#include <ctime>

// plat_fopen - open a file by a filter path; mode as fopen ("rt", "wt", "at", "rb").
FILE *plat_fopen(const char *path, const char *mode);

// plat_read_line - fgets for a stream that only this call uses, without the
// stream locking that fgets does on every line where the system offers that.
char *plat_read_line(char *line, int size, FILE *in);

// plat_fopen_private - create or truncate a file for writing text that only
// its owner may read, where the system has owners (POSIX mode 0600, also for
// a file that existed with a wider mode); null on failure.
FILE *plat_fopen_private(const char *path);

// plat_fopen_exclusive - create a file that must not exist yet, for writing;
// null when it exists or cannot be created. *existed tells which (may be null).
FILE *plat_fopen_exclusive(const char *path, bool *existed);

// plat_exists - true when a file or directory of that name exists.
bool plat_exists(const char *path);

// plat_remove - delete a file; true when it is gone afterwards.
bool plat_remove(const char *path);

// plat_truncate - cut a file back to size bytes; true on success.
bool plat_truncate(const char *path, long size);

// plat_fclose - fclose, for streams whose close failure must be tested: 0, or
// EOF when the close failed (the stream is closed either way).
int plat_fclose(FILE *stream);

// plat_make_directory - create one directory level; true on success.
bool plat_make_directory(const char *path);

// plat_create_hidden - create (or truncate) an empty file and give it the
// hidden attribute where the file system has one; true on success.
bool plat_create_hidden(const char *path);

// plat_begin_call - the host called the filter: what the layer knew of the
// directories may be out of date now.
void plat_begin_call(void);

// plat_native_path - the path the system sees for a filter path (for tools and tests).
void plat_native_path(const char *path, char *out, size_t size);

// plat_local_time - the current calendar time converted to local time, and
// the hundredths of a second of the current second.
void plat_local_time(struct tm *out, int *hundredths);

// plat_now_seconds - the current calendar time in whole seconds.
time_t plat_now_seconds(void);

// plat_format_time - strftime over a broken-down local time; 0 when it did not fit.
size_t plat_format_time(char *out, size_t size, const char *format, const struct tm *tm);

// plat_getenv - a variable of the process environment, or null.
const char *plat_getenv(const char *name);

// plat_random_bytes - fill buffer with bytes from the system's cryptographic
// generator; false when it cannot give them now (it never waits for them).
bool plat_random_bytes(void *buffer, size_t size);

// Directory listings: the names of one directory, "." and ".." included.
struct PlatListing {
    void *handle;
    bool first_pending;   // Windows: the first name came with the opening
    char first_name[260];
};

// plat_open_listing - start listing a directory given by a filter path; false when it cannot be read.
bool plat_open_listing(const char *dir, PlatListing *listing);

// plat_next_name - the next name of the listing that fits in name; false at its end.
bool plat_next_name(PlatListing *listing, char *name, size_t size);

// plat_close_listing - end a listing that was opened.
void plat_close_listing(PlatListing *listing);

// Test hooks. A fixed clock makes time stamps, log names and draws repeatable;
// a failing path makes every open of that file fail, as a full or broken disk would;
// a failing generator gives no random bytes.
void plat_test_set_clock(const struct tm *local, int hundredths, time_t seconds);
void plat_test_clear_clock(void);
void plat_test_fail_open(const char *path);   // null clears
// The n-th plat_fclose from now (1 the next) reports failure; 0 clears.
void plat_test_fail_close(int nth);
void plat_test_fail_random(bool fail);

#endif
