// mail.cpp - the mail drop: mail into the host's import file under its
// lock, or into the held-mail file morvel\mail.prt while the host holds the
// lock; the flush of held mail; the header of every message.
//
// Two processes of the filter may share the directory (the BBS and a sysop's
// tool), so every step that reads or changes mail.prt, the import file or the
// lock runs under the lock of the filter's files (common/files_lock.h); the
// host's own lock on the import file is taken and released as the host knows
// it. That lock is taken only by an exclusive create, so a lock the host took
// in the meantime is never written over. The filter deletes only a lock it
// created itself, and remembers one it created in a hidden marker until it
// is gone again: a lock it failed to remove, or left by a crash, is removed
// before anything else at a later call, so the host is never shut out for
// good. A write or close that fails cuts the file back to the size it had at
// the opening, so the host never imports half a message with the next one
// glued to it; when even the cut fails, the filter keeps the import file's
// lock, so the host cannot import the torn tail, and cuts again at the next
// call. Held mail leaves mail.prt only once the import file has taken all of
// it. Failures are reported by result. The drop reads host_info and never
// loads it: its callers load the start-up file first.
#include "report/mail.h"
#include "common/files_lock.h"
#include "common/filter_dir.h"
#include "common/text_copy.h"
#include "common/records.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

static const char held_mail_path[] = FILTER_DIR "\\mail.prt";

// The mail lock is the filter's own: made before the lock, removed after it.
static const char own_lock_marker[] = FILTER_DIR "\\maillock.own";
// A cut-back that failed and is still due: "I size" for the import file, "H size" for mail.prt.
static const char cut_marker[] = FILTER_DIR "\\mailcut.own";
// The sysop has been told that the mail drop is stuck.
static const char told_marker[] = FILTER_DIR "\\mailtold.own";

// A host's lock older than this is stale: the host is not importing. Postfix
// breaks its stale dot-locks after the same time; the filter only reports it.
enum { MAIL_LOCK_STALE_SECONDS = 500 };

// A callsign or a BBS name in a header line; a longer word is no header of ours.
enum { MAIL_ADDRESS_FIELD = 41 };

// True while the stream handed out by open_mail is the held-mail file, and
// whenever the filter holds no lock of its own: close_mail then leaves the lock alone.
static bool mail_diverted;

// The file behind the stream open_mail handed out, and its size at the
// opening (-1 when it could not be taken): where a failed mail is cut back to.
static const char *mail_path;
static long mail_start;

// mail_reset - at load the filter holds no lock of its own.
void mail_reset(void)
{
    mail_diverted = true;
    mail_path = nullptr;
    mail_start = -1;
}

// file_size - the size of a file just opened for appending; -1 when unknown.
static long file_size(FILE *f)
{
    if (fseek(f, 0, SEEK_END) != 0)
        return -1;
    return ftell(f);
}

// write_cut_marker - note a cut-back still due; false when it cannot be noted.
static bool write_cut_marker(const char *path, long size)
{
    FILE *f = plat_fopen(cut_marker, "wt");
    if (!f)
        return false;
    fprintf(f, "%c %ld\n", path == held_mail_path ? 'H' : 'I', size);
    return plat_fclose(f) == 0;
}

// cut_back - a failed write may have left part of a message at the end:
// back to the size noted at the opening; false when the cut failed, and
// then it is noted for the next call. Only the filter writes the file
// meanwhile: it holds the import file's lock, and mail.prt is its own.
static bool cut_back(const char *path, long size)
{
    long now = 0;
    if (!path || size < 0 || (plat_file_size(path, &now) && now <= size))
        return true;
    if (plat_truncate(path, size))
        return true;
    write_cut_marker(path, size);
    return false;
}

// cut_due_on_held - a cut-back of mail.prt is still due: it ends in a torn message.
static bool cut_due_on_held(void)
{
    PlatText text;
    if (!plat_open_text(cut_marker, &text))
        return false;
    bool held = plat_peek_char(&text) == 'H';
    plat_close_text(&text);
    return held;
}

// due_cut_back - make the cut-back a failed call left due; false when it still fails.
static bool due_cut_back(void)
{
    PlatText text;
    if (!plat_open_text(cut_marker, &text))
        return true;
    char line[64] = "";
    plat_read_line(line, sizeof line, &text);
    plat_close_text(&text);
    char *end = nullptr;
    long size = strtol(line + (line[0] ? 1 : 0), &end, 10);
    const char *path = line[0] == 'H' ? held_mail_path : host_info.mail_import_path;
    bool sound = (line[0] == 'H' || line[0] == 'I') && end && end != line + 1 && size >= 0;
    if (sound && !plat_truncate(path, size))
        return false;
    return plat_remove(cut_marker);
}

// take_mail_lock - note the lock as the filter's, then create it; false
// when it exists (*busy) or cannot be made.
static bool take_mail_lock(bool *busy)
{
    *busy = false;
    if (!plat_create_hidden(own_lock_marker))
        return false;
    FILE *lock = plat_fopen_exclusive(host_info.mail_lock_path, busy);
    if (lock && plat_fclose(lock) == 0)
        return true;
    if (lock)
        plat_remove(host_info.mail_lock_path);
    plat_remove(own_lock_marker);
    return false;
}

// release_mail_lock - remove the filter's lock; its marker stays while the lock does.
static bool release_mail_lock(void)
{
    if (!plat_remove(host_info.mail_lock_path))
        return false;
    plat_remove(own_lock_marker);
    return true;
}

// settle_own_lock - a lock the filter left behind goes before anything
// else, after the cut-back it guarded; false while it stays. Under the lock
// of the filter's files no other process of the filter holds the mail lock,
// so a marked lock is a leftover, whatever its age.
static bool settle_own_lock(void)
{
    if (!plat_exists(own_lock_marker) && !plat_exists(cut_marker))
        return true;
    if (!due_cut_back())
        return false;
    if (!plat_exists(host_info.mail_lock_path)) {
        plat_remove(own_lock_marker);
        return true;
    }
    return !plat_exists(own_lock_marker) || release_mail_lock();
}

// note_mail - remember what open_mail hands out; returns the stream.
static FILE *note_mail(FILE *stream, const char *path)
{
    mail_path = path;
    mail_start = stream ? file_size(stream) : -1;
    if (!stream)
        unlock_filter_files();
    return stream;
}

// open_held_mail - the held-mail stream, used while the host has the lock.
static FILE *open_held_mail(void)
{
    mail_diverted = true;
    return note_mail(plat_fopen(held_mail_path, "at"), held_mail_path);
}

// open_import - the import file under a lock the filter takes; null when
// the lock cannot be had (*busy: the host has it) or the file not opened.
static FILE *open_import(bool *busy)
{
    if (plat_exists(host_info.mail_lock_path)) {
        *busy = true;
        return nullptr;
    }
    if (!take_mail_lock(busy))
        return nullptr;
    FILE *import = plat_fopen(host_info.mail_import_path, "at");
    if (!import)
        release_mail_lock();
    return import;
}

// open_mail - the import file under a lock the filter took itself; the
// held-mail file when the host has the lock or the import file cannot be
// opened; null when neither opens.
FILE *open_mail(void)
{
    mail_diverted = true;
    if (!host_info.host_info_loaded)
        return nullptr;
    lock_filter_files();
    // Nothing is appended after a torn message that could not be cut out.
    if (!settle_own_lock() && cut_due_on_held()) {
        unlock_filter_files();
        return nullptr;
    }
    bool busy = false;
    FILE *import = open_import(&busy);
    if (!import)
        return open_held_mail();
    mail_diverted = false;
    return note_mail(import, host_info.mail_import_path);
}

// close_mail - close, cut a failed mail back, release the lock open_mail
// took; false when a write or the close failed. A cut that fails keeps the
// import file's lock: the host must not import the torn tail.
bool close_mail(FILE *stream)
{
    if (!stream)
        return false;
    bool ok = !ferror(stream);
    if (plat_fclose(stream) != 0)
        ok = false;
    bool cut = ok || cut_back(mail_path, mail_start);
    if (!mail_diverted && cut)
        release_mail_lock();
    mail_diverted = true;
    mail_path = nullptr;
    unlock_filter_files();
    return ok;
}

// send_once - one try of a mail into an open stream; true when it arrived whole.
static bool send_once(FILE *mail, MailWriter write, void *context)
{
    if (!mail)
        return false;
    bool written = write(mail, context);
    return close_mail(mail) && written;
}

// send_mail - the import file, else the held mail: a message the import
// file did not take whole (cut back) waits in mail.prt as it would while
// the host holds the lock. False only when neither took it.
bool send_mail(MailWriter write, void *context)
{
    if (!host_info.host_info_loaded)
        return false;
    lock_filter_files();
    FILE *mail = open_mail();
    bool to_import = mail && !mail_diverted;
    bool sent = send_once(mail, write, context);
    if (!sent && to_import) {
        lock_filter_files();
        sent = send_once(open_held_mail(), write, context);
    }
    unlock_filter_files();
    return sent;
}

// held_mail_waiting - morvel\mail.prt holds mail for the import file; an empty one holds none.
bool held_mail_waiting(void)
{
    PlatText held;
    if (!plat_exists(held_mail_path) || !plat_open_text(held_mail_path, &held))
        return false;
    bool waiting = plat_peek_char(&held) != EOF;
    plat_close_text(&held);
    return waiting;
}

// mail_drop_needs_care - held mail waits, or a call left the mail lock, a
// cut-back or a report of its own behind.
bool mail_drop_needs_care(void)
{
    return held_mail_waiting() || plat_exists(own_lock_marker) || plat_exists(cut_marker) ||
           plat_exists(told_marker);
}

// append_held_mail - copy the held mail into the import file; true only when
// all of it was written and the import file closed without error. *start:
// the import file's size before the copy.
static bool append_held_mail(PlatText *held, long *start)
{
    *start = -1;
    FILE *import = plat_fopen(host_info.mail_import_path, "at");
    if (!import)
        return false;
    *start = file_size(import);
    bool ok = copy_file_to_stream(held, import);
    if (ferror(import))
        ok = false;
    if (plat_fclose(import) != 0)
        ok = false;
    return ok;
}

// empty_held_mail - held mail that has reached the import file leaves
// mail.prt: removed, else emptied; false when neither works.
static bool empty_held_mail(void)
{
    return plat_remove(held_mail_path) || plat_truncate(held_mail_path, 0);
}

// move_held_mail - with the mail lock taken: the held mail into the import
// file and out of mail.prt, or neither; false when it did not move. A copy
// that fails part-way, or held mail that cannot leave mail.prt, is cut out
// of the import file again, so no message is lost, torn or imported twice.
static bool move_held_mail(void)
{
    PlatText held;
    if (!plat_open_text(held_mail_path, &held))
        return false;
    long start;
    bool moved = append_held_mail(&held, &start);
    plat_close_text(&held);
    if (moved && empty_held_mail())
        return true;
    cut_back(host_info.mail_import_path, start);
    return false;
}

// flush_locked - the flush, under the lock of the filter's files.
static FlushResult flush_locked(void)
{
    if (!settle_own_lock())
        return FLUSH_STUCK;
    if (!held_mail_waiting())
        return FLUSH_DONE;
    long age = 0;
    if (plat_exists(host_info.mail_lock_path))
        return plat_file_age(host_info.mail_lock_path, &age) && age > MAIL_LOCK_STALE_SECONDS ? FLUSH_STUCK
                                                                                              : FLUSH_WAITING;
    bool busy = false;
    if (!take_mail_lock(&busy))
        return busy ? FLUSH_WAITING : FLUSH_STUCK;
    bool moved = move_held_mail();
    // Released last: the host imports only what the flush finished. A cut
    // still due keeps the lock for the next call.
    if (!plat_exists(cut_marker) && !release_mail_lock())
        return FLUSH_STUCK;
    return moved ? FLUSH_DONE : FLUSH_STUCK;
}

// flush_held_mail - move morvel\mail.prt into the import file when the lock is free.
FlushResult flush_held_mail(void)
{
    if (!host_info.host_info_loaded)
        return FLUSH_WAITING;
    lock_filter_files();
    FlushResult result = flush_locked();
    unlock_filter_files();
    return result;
}

// tidy_mail_drop - the flush, and whether the sysop must now be told that
// the mail drop is stuck: once while it stays, again after it worked.
bool tidy_mail_drop(void)
{
    FlushResult result = flush_held_mail();
    if (result == FLUSH_DONE)
        plat_remove(told_marker);
    if (result != FLUSH_STUCK || plat_exists(told_marker))
        return false;
    plat_create_hidden(told_marker);
    return true;
}

// write_mail_header - the line that starts a message to to from from.
bool write_mail_header(FILE *mail, const char *to, const char *from)
{
    return fprintf(mail, "#\nSP %s < %s\n", to, from) >= 0;
}

// read_mail_header - the addressee of a message's "SP" line, as
// write_mail_header writes it after its "#" line.
bool read_mail_header(const char *line, char *to, size_t size)
{
    char addressee[MAIL_ADDRESS_FIELD], from[MAIL_ADDRESS_FIELD], tail;
    if (size == 0 || sscanf(line, "SP %40s < %40s %c", addressee, from, &tail) != 2)
        return false;
    copy_text(to, size, addressee);
    return true;
}
