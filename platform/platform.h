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
#include <cstring>
#include <ctime>

// plat_fopen - open a file by a filter path; mode as fopen ("wt", "at", "rb").
// The text files the filter reads are opened by plat_open_text instead.
FILE *plat_fopen(const char *path, const char *mode);

// Text files are read through one block buffer of the layer, in large reads,
// with line ends found by memchr, and read alike on every system as Windows
// reads text: "\r\n" is "\n", and a Ctrl-Z ends the text. A line longer than
// the caller's buffer comes in pieces, as fgets gives it. Readers may nest (a
// reader of users.prt may need config.prt): a reader whose bytes another one
// has replaced in the block reads them again from its own place, so nothing is
// read twice in the common case and nothing is kept after the file is closed.
struct PlatText {
    int fd;
    unsigned id;          // names this reader's bytes in the block
    long long offset;     // file position of the next byte not yet taken
    long long position;   // where the descriptor stands
    bool failed;          // a read or a positioning failed; the text ended there
};

// PlatPiece - a piece of a text, seen in place in the block: its characters
// without the line end, and whether a line end follows them. Valid until the
// next call of any text reader.
struct PlatPiece {
    const char *text;
    size_t length;
    bool line_end;
};

// plat_open_text - open a text file for reading; false when it does not open.
bool plat_open_text(const char *path, PlatText *text);

// plat_close_text - close a text opened by plat_open_text.
void plat_close_text(PlatText *text);

// PlatTextBlock - the reader's block. Its fields belong to the text reader;
// they are shown here only so that the common case of plat_next_piece, a whole
// line already in the block, costs no call, as getc does over a FILE.
enum { PLAT_TEXT_BLOCK = 64 * 1024 };
struct PlatTextBlock {
    char bytes[PLAT_TEXT_BLOCK];
    size_t at, end;       // the bytes not yet taken: bytes[at .. end)
    long long base;       // file position of bytes[0]
    unsigned owner;       // id of the reader whose bytes these are; 0: none
    bool last;            // the block reaches the end of that reader's text
};
extern PlatTextBlock plat_text_block;

// plat_next_piece_slow - plat_next_piece for every case.
bool plat_next_piece_slow(PlatText *text, int size, PlatPiece *piece);

// plat_next_piece - read the piece plat_read_line would give with a buffer of
// size bytes, seen in place instead of copied; false at the end of the text.
inline bool plat_next_piece(PlatText *text, int size, PlatPiece *piece)
{
    PlatTextBlock &b = plat_text_block;
    // A line end within size - 1 bytes is the end of a whole line that fits.
    if (b.owner == text->id && size >= 2 && size <= PLAT_TEXT_BLOCK / 2 && b.end - b.at >= (size_t)size) {
        const char *p = b.bytes + b.at;
        const char *nl = (const char *)memchr(p, '\n', (size_t)size - 1);
        if (nl) {
            size_t at = (size_t)(nl - p);
            piece->text = p;
            piece->length = at > 0 && p[at - 1] == '\r' ? at - 1 : at;
            piece->line_end = true;
            b.at += at + 1;
            text->offset = b.base + (long long)b.at;
            return true;
        }
    }
    return plat_next_piece_slow(text, size, piece);
}

// plat_copy_piece - the piece as a line, "\n" and NUL after its characters,
// into a buffer of the size it was read with; returns line.
char *plat_copy_piece(const PlatPiece *piece, char *line);

// plat_read_line - fgets over a text: the next piece of at most size - 1
// characters, up to and with its "\n"; null at the end of the text.
char *plat_read_line(char *line, int size, PlatText *text);

// plat_peek_char - the next character of the text, not taken; EOF at its end.
int plat_peek_char(PlatText *text);

// plat_text_tell / plat_text_seek - the place of the next piece, and a return
// to a place that plat_text_tell gave (0: the start); false when it fails.
long long plat_text_tell(const PlatText *text);
bool plat_text_seek(PlatText *text, long long offset);

// plat_text_failed - true when reading the text failed rather than ended.
bool plat_text_failed(const PlatText *text);

// plat_fopen_private - create or truncate a file for writing text that only
// its owner may read, where the system has owners (POSIX mode 0600, also for
// a file that existed with a wider mode); null on failure, and for a name
// that is a symbolic link, a reparse point or a file with other hard links:
// writing through it would rewrite another file.
FILE *plat_fopen_private(const char *path);

// PlatFileKind - what a name holds: nothing, a regular file known by this
// name only (no symbolic link, no other hard link, no reparse point), or
// anything else.
enum PlatFileKind { PLAT_NO_FILE, PLAT_PLAIN_FILE, PLAT_OTHER_FILE };

// plat_file_kind - what path holds; PLAT_OTHER_FILE also when it cannot be told.
PlatFileKind plat_file_kind(const char *path);

// plat_fopen_exclusive - create a file that must not exist yet, for writing;
// null when it exists or cannot be created. *existed tells which (may be null).
FILE *plat_fopen_exclusive(const char *path, bool *existed);

// plat_exists - true when a file or directory of that name exists.
bool plat_exists(const char *path);

// PlatAccess - what the account running this program may do with a name:
// read a file (or list a directory), write a file (or make and remove names
// in a directory).
enum PlatAccess { PLAT_MAY_READ = 1, PLAT_MAY_WRITE = 2 };

// plat_may_access - true when the account running this program has every
// permission of what (PLAT_MAY_READ | PLAT_MAY_WRITE) on an existing file or
// directory; false when one is missing or the name does not exist.
bool plat_may_access(const char *path, int what);

// plat_remove - delete a file; true when it is gone afterwards.
bool plat_remove(const char *path);

// plat_truncate - cut a file back to size bytes; true on success.
bool plat_truncate(const char *path, long size);

// plat_file_age - seconds since the file was last written, by the layer's
// clock; false when it does not exist.
bool plat_file_age(const char *path, long *seconds);

// plat_file_size - the size of a file in bytes; false when it does not exist.
bool plat_file_size(const char *path, long *size);

// plat_rename - give a file a new name in the same directory, replacing a
// file of that name; true on success, and the old name is gone then.
bool plat_rename(const char *from, const char *to);

// plat_rename_new - give a file a name that no file holds yet, in the same
// directory, in one step: the file keeps its identity, and no moment sees
// the name half given. False when the name is taken (*taken, which may be
// null) or the renaming fails; the file then keeps its old name.
bool plat_rename_new(const char *from, const char *to, bool *taken);

// PlatFileId - what tells one file from every other: its volume, its number
// there, and when it was made (the system's finest unit). A file made later
// under the same name, even with the number of one removed before, differs.
struct PlatFileId {
    unsigned long long volume;
    unsigned long long index;
    long long made;
};

// plat_file_identity - the identity of the file path names; false when there is none.
bool plat_file_identity(const char *path, PlatFileId *id);

// plat_same_file - the two identities are those of one file.
inline bool plat_same_file(const PlatFileId *a, const PlatFileId *b)
{
    return a->volume == b->volume && a->index == b->index && a->made == b->made;
}

// PlatReplacement - a file being rewritten: the new content goes to a
// temporary name beside it, and takes the file's place in one step at the
// end, so a crash or a full disk leaves the old content or the new, never
// none or half. Fields belong to the layer.
enum { PLAT_PATH_MAX = 1024 };
struct PlatReplacement {
    FILE *stream;
    char path[PLAT_PATH_MAX];     // the filter path being replaced
    char native[PLAT_PATH_MAX];   // its system path
    char temp[PLAT_PATH_MAX];     // the temporary's system path
};

// plat_open_replacement - a stream for the whole new content of path; null
// when it cannot be created, or when path is a link (a symbolic link, a
// reparse point, a file with more than one name), which is never written
// through. The new file keeps the old one's permissions (a new one gets the
// usual), or with private_file only its owner may read it.
FILE *plat_open_replacement(const char *path, bool private_file, PlatReplacement *r);

// plat_open_secret - plat_open_replacement for a file that holds a secret:
// the new file is readable by its owner only, on every system (POSIX mode
// 0600; on Windows an access list of the owner alone, not inherited from
// the directory, where the file system keeps access lists). Null when path
// is a link or no plain file, or the file cannot be created.
FILE *plat_open_secret(const char *path, PlatReplacement *r);

// plat_open_append - a stream that adds lines at the end of an existing
// file, the first at the start of a line: a last line left without its end
// (a process ended in its write) gets one first, so a line added is never
// joined to a torn one. Null when the file is missing, or is a link (a
// symbolic link, a reparse point, a file with more than one name) or no
// plain file, which is never written through. Close it with plat_fclose.
FILE *plat_open_append(const char *path);

// plat_commit_replacement - close the stream and put the new content in the
// file's place; false when a write, the close or the replacing failed, and
// then the old file is as it was and the temporary is gone.
bool plat_commit_replacement(PlatReplacement *r);

// plat_discard_replacement - close the stream and drop the new content.
void plat_discard_replacement(PlatReplacement *r);

// plat_is_temporary_name - name is one the layer gives a replacement's
// temporary ("error.prt.4711.new": the file's name, the number of the
// process, "new"), which a process that ended while writing leaves behind.
bool plat_is_temporary_name(const char *name);

// PlatLock - an operating-system lock on a file (fcntl, LockFileEx), held
// by this process: the system releases it when the process ends, however it
// ends, so it never outlives its holder.
struct PlatLock {
    long long handle;             // -1: not held
};

// plat_lock - take the lock of path (created when missing), waiting while
// another process holds it, at most wait_ms by plat_clock_ms; false when it
// could not be had. Not counted: a process takes a file's lock once.
bool plat_lock(const char *path, PlatLock *lock, long wait_ms);

// plat_try_lock - take the lock of path without waiting: 1 taken, 0 held
// by another process, -1 when it cannot be taken at all.
int plat_try_lock(const char *path, PlatLock *lock);

// plat_unlock - release a lock that plat_lock took.
void plat_unlock(PlatLock *lock);

// plat_fclose - close a stream the filter wrote: 0, or EOF when a write to it
// or the close itself failed (the stream is closed either way).
int plat_fclose(FILE *stream);

// plat_make_directory - create one directory level; true on success.
bool plat_make_directory(const char *path);

// plat_create_hidden - create (or truncate) an empty file and give it the
// hidden attribute where the file system has one; true on success.
bool plat_create_hidden(const char *path);

// plat_begin_call - the host called the filter: what the layer knew of the
// directories may be out of date now. Every listing kept from an earlier
// call is confirmed (or read again) before it answers in this one.
void plat_begin_call(void);

// plat_native_path - the path the system sees for a filter path (for tools and tests).
void plat_native_path(const char *path, char *out, size_t size);

// plat_local_time - the current calendar time converted to local time, and
// the hundredths of a second of the current second.
void plat_local_time(struct tm *out, int *hundredths);

// plat_now_seconds - the current calendar time in whole seconds.
time_t plat_now_seconds(void);

// plat_clock_ms - milliseconds of a clock that only goes forward, whatever
// the time of day does: what a wait is measured on, never a count of pauses,
// whose length the system rounds up to its timer's tick.
long long plat_clock_ms(void);

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

#endif
