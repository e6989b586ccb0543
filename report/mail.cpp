// mail.cpp - the mail drop: mail into the host's import file under its
// lock, or into the held-mail file morvel\mail.prt while the host holds the
// lock; the flush of held mail; the header of every message.
//
// Two processes of the filter may share the directory (the BBS and a sysop's
// tool), so every step that reads or changes mail.prt, the import file or the
// lock runs under the lock of the filter's files (common/files_lock.h); the
// host's own lock on the import file is taken and released as the host knows
// it. A call may end at any instant (the host killed), and what it leaves
// must never cost the host a lock, a message, or a message twice:
//
// - The filter's lock is made under a name of its own beside the lock, named
//   by its identity in maillock.own, and only then given the lock's name, in
//   one step that fails when the name is taken. So the marker names the lock
//   before the lock exists, never names the host's lock, and a lock the
//   filter left behind is removed at a later call while one it did not make
//   never is.
// - Before the first byte of a mail goes into the import file or mail.prt,
//   the file's size and what the mail is made of are noted (mailcut.own,
//   heldcut.own). A mail made of a file (mail.prt in a flush, a log for
//   "-log") takes that file away only once it is written whole; the note
//   goes last. A later call that finds the note cuts the file back to the
//   size noted, unless the mail's file is gone (the mail was finished), and
//   the mail is sent again from its file: once, and whole.
// - The import file's lock is released only after its note is gone, so the
//   host never imports what a later call may still cut; a cut that fails
//   keeps the lock for the next call.
// - Without the lock of the filter's files (another process holds it, stuck
//   or slow) nothing shared is touched: a mail goes into a file of its own,
//   named only once whole, which the next flush under the lock gathers.
//
// Failures are reported by result, and what the sysop must hear is kept for
// the caller (take_mail_trouble, take_lost_mail). The drop reads host_info
// and never loads it: its callers load the start-up file first.
#include "report/mail.h"
#include "common/files_lock.h"
#include "common/filter_dir.h"
#include "common/text_copy.h"
#include "common/records.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

static const char held_mail_path[] = FILTER_DIR "\\mail.prt";

// The identity of the lock the filter made, written before the lock has its name.
static const char own_lock_marker[] = FILTER_DIR "\\maillock.own";
// A mail into the import file, or into mail.prt, not yet finished: "I size
// source" or "H size source", the source "-" for a mail made in memory.
static const char import_cut_marker[] = FILTER_DIR "\\mailcut.own";
static const char held_cut_marker[] = FILTER_DIR "\\heldcut.own";
// The sysop has been told that mail is held.
static const char told_marker[] = FILTER_DIR "\\mailtold.own";
// Mail written without the lock of the filter's files waits in files of its
// own ("morvel\mail1a2b3c4d.spl"), and this marker tells the next flush.
static const char spill_marker[] = FILTER_DIR "\\mailspil.own";

// A host's lock older than this is stale: the host is not importing. Postfix
// breaks its stale dot-locks after the same time; the filter only reports it.
enum { MAIL_LOCK_STALE_SECONDS = 500 };

// mail.prt takes mail up to this size: past it a message is counted as lost
// and reported, rather than the host's disk filled while the drop is stuck.
enum { MAIL_HELD_LIMIT = 10 * 1024 * 1024 };

// A callsign or a BBS name in a header line; a longer word is no header of ours.
enum { MAIL_ADDRESS_FIELD = 41 };

// A line of a marker: a kind, a size or an identity, and a filter path.
enum { MARKER_LINE = FILTER_PATH_MAX + 64 };
#define MARKER_PATH_SCAN "%399s"
static_assert(FILTER_PATH_MAX == 400, "MARKER_PATH_SCAN's width follows FILTER_PATH_MAX");

// The mail handed out by open_mail: whether it is the held-mail file (or
// none of the filter's locks is held), the file it goes into, its size at
// the opening and the file it is made of (null: made in memory).
static bool mail_diverted;
static const char *mail_path;
static long mail_start;
static const char *mail_source;

// The identity of the lock this process made in the operation under way,
// so that releasing it needs no reading of its marker.
static bool own_lock_known;
static PlatFileId own_lock;

// What this call found: why mail is held, and whether mail reached the import file.
static MailTrouble trouble;
static bool drop_worked;

// Messages that no file took, since the last report.
static long lost_messages;

// mail_reset - at load the filter holds no lock of its own and knows of no trouble.
void mail_reset(void)
{
    mail_diverted = true;
    mail_path = nullptr;
    mail_start = -1;
    mail_source = nullptr;
    own_lock_known = false;
    trouble = MAIL_TROUBLE_NONE;
    drop_worked = false;
    lost_messages = 0;
}

// note_trouble - why this call holds mail; the first cause found stands.
static void note_trouble(MailTrouble cause)
{
    if (trouble == MAIL_TROUBLE_NONE)
        trouble = cause;
}

// read_marker_line - the first line of a marker: 1 whole (with its line
// end), 0 when there is no marker or its line was torn, -1 when it cannot be read.
static int read_marker_line(const char *marker, char *line, int size)
{
    if (!plat_exists(marker))
        return 0;
    PlatText text;
    if (!plat_open_text(marker, &text))
        return -1;
    line[0] = '\0';
    plat_read_line(line, size, &text);
    bool failed = plat_text_failed(&text);
    plat_close_text(&text);
    if (failed)
        return -1;
    return strchr(line, '\n') ? 1 : 0;
}

// --- the cut-backs ---

// cut_marker_of - the note of a mail into path.
static const char *cut_marker_of(const char *path)
{
    return path == held_mail_path ? held_cut_marker : import_cut_marker;
}

// Cut - a noted mail: the file it went into, that file's size before it,
// and the file the mail was made of ("" for one made in memory).
struct Cut {
    const char *path;
    long size;
    char source[FILTER_PATH_MAX];
};

// note_cut - before the first byte of a mail goes into path: its size then
// (*size) and the file the mail is made of; false when it cannot be noted,
// and then no byte may go.
static bool note_cut(const char *path, const char *source, long *size)
{
    *size = 0;
    if (plat_exists(path) && !plat_file_size(path, size))
        return false;
    FILE *f = plat_fopen(cut_marker_of(path), "wt");
    if (!f)
        return false;
    fprintf(f, "%c %ld %s\n", path == held_mail_path ? 'H' : 'I', *size, source ? source : "-");
    return plat_fclose(f) == 0;
}

// read_cut - the mail a marker notes: 1, 0 when none is due (no marker, or
// one torn while it was noted, before its mail's first byte), -1 when the
// marker cannot be read. A note of an earlier version ("I size") has no source.
static int read_cut(const char *marker, Cut *cut)
{
    char line[MARKER_LINE], source[FILTER_PATH_MAX] = "";
    int read = read_marker_line(marker, line, sizeof line);
    if (read <= 0)
        return read;
    char kind = 0;
    long size = -1;
    int fields = sscanf(line, "%c %ld " MARKER_PATH_SCAN, &kind, &size, source);
    if ((kind != 'I' && kind != 'H') || fields < 2 || size < 0)
        return 0;
    cut->path = kind == 'H' ? held_mail_path : host_info.mail_import_path;
    cut->size = size;
    copy_text(cut->source, sizeof cut->source, fields == 3 && strcmp(source, "-") != 0 ? source : "");
    return 1;
}

// cut_to - a file grown past size cut back to it; false when the cut fails.
// Only the filter writes the file meanwhile: it holds the import file's
// lock, and mail.prt is its own.
static bool cut_to(const char *path, long size)
{
    long now = 0;
    if (!plat_file_size(path, &now) || now <= size)
        return true;
    return plat_truncate(path, size);
}

// finish_cut - the mail into path is whole: its note goes, or is emptied
// when it cannot be removed (an empty note undoes nothing); false when it stays.
static bool finish_cut(const char *path)
{
    const char *marker = cut_marker_of(path);
    return plat_remove(marker) || plat_truncate(marker, 0);
}

// source_gone - the file a mail was made of has left the filter: the mail was finished.
static bool source_gone(const char *source)
{
    long size = 0;
    return !plat_file_size(source, &size) || size == 0;
}

// undo_cut - a mail that a call did not finish, cut back out, unless its
// source shows it finished; the note goes. The import file is cut only
// under the filter's own lock: without it the host may have imported
// since. False while the cut is still due.
static bool undo_cut(const char *marker, bool own_lock)
{
    Cut cut;
    int read = read_cut(marker, &cut);
    if (read < 0)
        return false;
    bool finished = read == 0 || (cut.source[0] && source_gone(cut.source));
    bool guarded = read == 1 && (cut.path == held_mail_path || own_lock);
    if (!finished && guarded && !cut_to(cut.path, cut.size))
        return false;
    return plat_remove(marker);
}

// --- the import file's lock ---

// Whose the mail lock is: the filter's when it is the very file maillock.own names.
enum Ownership { LOCK_OTHERS, LOCK_OWN, LOCK_UNKNOWN };

// read_own_lock - the identity maillock.own names: 1, 0 when it names none
// (no marker, or one torn while it was written, before its lock had its
// name), -1 when it cannot be read.
static int read_own_lock(PlatFileId *id)
{
    char line[MARKER_LINE];
    int read = read_marker_line(own_lock_marker, line, sizeof line);
    if (read <= 0)
        return read;
    return sscanf(line, "%llu %llu %lld", &id->volume, &id->index, &id->made) == 3 ? 1 : 0;
}

// lock_ownership - whose the mail lock is; LOCK_OTHERS also when there is
// none. The lock this process made is known without its marker.
static Ownership lock_ownership(void)
{
    PlatFileId named = own_lock, lock;
    int read = own_lock_known ? 1 : read_own_lock(&named);
    if (read <= 0)
        return read < 0 ? LOCK_UNKNOWN : LOCK_OTHERS;
    if (plat_file_identity(host_info.mail_lock_path, &lock))
        return plat_same_file(&named, &lock) ? LOCK_OWN : LOCK_OTHERS;
    return plat_exists(host_info.mail_lock_path) ? LOCK_UNKNOWN : LOCK_OTHERS;
}

// write_own_lock - name the file about to become the filter's lock; false
// when it cannot be named whole.
static bool write_own_lock(const PlatFileId *id)
{
    FILE *f = plat_fopen(own_lock_marker, "wt");
    if (!f)
        return false;
    fprintf(f, "%llu %llu %lld\n", id->volume, id->index, id->made);
    return plat_fclose(f) == 0;
}

// lock_temp_path - the name the filter makes its lock under, beside the lock ("mail\mail.lck.own").
static bool lock_temp_path(char *out)
{
    int n = snprintf(out, FILTER_PATH_MAX, "%s.own", host_info.mail_lock_path);
    return n > 0 && n < FILTER_PATH_MAX;
}

// take_mail_lock - make the mail lock the filter's: an empty file made
// under the filter's own name, named by its identity in maillock.own, then
// given the lock's name unless the name is taken. The marker is there,
// naming nothing yet, before that file is made, so that a later call finds
// it to remove. False when the lock is held (*busy) or cannot be made;
// nothing of the try is left then.
static bool take_mail_lock(bool *busy)
{
    char temp[FILTER_PATH_MAX];
    *busy = plat_exists(host_info.mail_lock_path);
    // A file of that name is what a call that ended early left.
    if (*busy || !lock_temp_path(temp) || !plat_remove(temp) || !plat_create_hidden(own_lock_marker))
        return false;
    FILE *made = plat_fopen_exclusive(temp, nullptr);
    if (!made) {
        plat_remove(own_lock_marker);
        return false;
    }
    PlatFileId id;
    bool named = plat_fclose(made) == 0 && plat_file_identity(temp, &id) && write_own_lock(&id);
    if (named && plat_rename_new(temp, host_info.mail_lock_path, busy)) {
        own_lock = id;
        own_lock_known = true;
        return true;
    }
    plat_remove(own_lock_marker);
    plat_remove(temp);
    return false;
}

// release_mail_lock - the filter's lock goes, then the marker that names
// it; a lock that is not the one named stays where it is. False while the
// filter's lock stays (or whose it is cannot be told).
static bool release_mail_lock(void)
{
    Ownership owner = lock_ownership();
    if (owner == LOCK_UNKNOWN || (owner == LOCK_OWN && !plat_remove(host_info.mail_lock_path)))
        return false;
    own_lock_known = false;
    plat_remove(own_lock_marker);
    return true;
}

// lock_is_stale - the mail lock that someone holds is older than the limit.
static bool lock_is_stale(void)
{
    long age = 0;
    return plat_file_age(host_info.mail_lock_path, &age) && age > MAIL_LOCK_STALE_SECONDS;
}

// settle_mail_drop - what an earlier call left: the mail it did not finish,
// cut back, then its lock. Under the lock of the filter's files no other
// process of the filter is at work on the drop, so what the markers name
// is a leftover, whatever its age. False while something must stay: a cut
// that fails (the import file's keeps the lock), or the filter's lock that
// cannot be removed; *cause says which.
static bool settle_mail_drop(MailTrouble *cause)
{
    *cause = MAIL_TROUBLE_NONE;
    // Between two operations the markers tell whose the lock is: another
    // process of the filter may have settled this one's leftovers meanwhile.
    own_lock_known = false;
    if (!plat_exists(own_lock_marker) && !plat_exists(import_cut_marker) && !plat_exists(held_cut_marker))
        return true;
    bool held_cut = undo_cut(held_cut_marker, false);
    Ownership owner = lock_ownership();
    if (owner == LOCK_UNKNOWN || !undo_cut(import_cut_marker, owner == LOCK_OWN)) {
        *cause = owner == LOCK_UNKNOWN ? MAIL_TROUBLE_LOCK : MAIL_TROUBLE_IMPORT;
        return false;
    }
    if (!release_mail_lock()) {
        *cause = MAIL_TROUBLE_LOCK;
        return false;
    }
    char temp[FILTER_PATH_MAX];
    if (lock_temp_path(temp))
        plat_remove(temp);
    if (!held_cut)
        *cause = MAIL_TROUBLE_IMPORT;
    return held_cut;
}

// --- one mail ---

// begin_mail - note the cut-back, then open path for appending; null when either fails.
static FILE *begin_mail(const char *path, const char *source)
{
    long size = 0;
    FILE *mail = note_cut(path, source, &size) ? plat_fopen(path, "at") : nullptr;
    if (!mail) {
        plat_remove(cut_marker_of(path));
        return nullptr;
    }
    mail_path = path;
    mail_start = size;
    mail_source = source;
    return mail;
}

enum MailEnd { MAIL_WHOLE, MAIL_UNDONE, MAIL_TORN };

// end_mail - close the mail begun, written whole or not: a whole one takes
// its source away and its note goes (a note that stayed would cut a whole
// mail out later: lost, never torn or twice); any other is cut back out
// (MAIL_UNDONE), and when even the cut fails its note stays for the next
// call (MAIL_TORN).
static MailEnd end_mail(FILE *mail, bool written)
{
    bool whole = written && !ferror(mail);
    if (plat_fclose(mail) != 0)
        whole = false;
    if (whole && mail_source)
        whole = plat_remove(mail_source) || plat_truncate(mail_source, 0);
    if (whole) {
        finish_cut(mail_path);
        return MAIL_WHOLE;
    }
    if (!cut_to(mail_path, mail_start))
        return MAIL_TORN;
    finish_cut(mail_path);
    return MAIL_UNDONE;
}

// open_import - the import file under a lock the filter takes; null when
// the lock cannot be had (*busy: someone holds it) or the mail not begun.
static FILE *open_import(const char *source, bool *busy)
{
    if (!take_mail_lock(busy))
        return nullptr;
    FILE *import = begin_mail(host_info.mail_import_path, source);
    if (!import)
        release_mail_lock();
    return import;
}

// held_may_take - mail.prt takes a new mail: no cut of it is due, and it is under its limit.
static bool held_may_take(void)
{
    long size = 0;
    return !plat_exists(held_cut_marker) && (!plat_file_size(held_mail_path, &size) || size < MAIL_HELD_LIMIT);
}

// open_held_mail - the held-mail stream, for mail the import file does not
// take now; null (and the files unlocked) when mail.prt takes none.
static FILE *open_held_mail(const char *source)
{
    mail_diverted = true;
    FILE *held = held_may_take() ? begin_mail(held_mail_path, source) : nullptr;
    if (!held)
        unlock_filter_files();
    return held;
}

// open_mail_from - the import file under a lock the filter took itself;
// mail.prt when someone holds the lock or the import file cannot take it;
// null when neither opens, or without the lock of the filter's files.
static FILE *open_mail_from(const char *source)
{
    mail_diverted = true;
    if (!host_info.host_info_loaded)
        return nullptr;
    if (!lock_filter_files()) {
        unlock_filter_files();
        return nullptr;
    }
    MailTrouble cause = MAIL_TROUBLE_NONE;
    bool busy = false;
    FILE *import = settle_mail_drop(&cause) ? open_import(source, &busy) : nullptr;
    if (!import) {
        bool someones_lock = busy && lock_is_stale();
        note_trouble(cause != MAIL_TROUBLE_NONE ? cause
                     : !busy                    ? MAIL_TROUBLE_IMPORT
                     : someones_lock            ? MAIL_TROUBLE_LOCK
                                                : MAIL_TROUBLE_NONE);
        return open_held_mail(source);
    }
    mail_diverted = false;
    return import;
}

FILE *open_mail(void)
{
    return open_mail_from(nullptr);
}

// finish_mail - end the mail handed out, release the lock open_mail took,
// unlock; true when it arrived whole. A torn mail that could not be cut
// out keeps the import file's lock: the host must not import the torn tail.
static bool finish_mail(FILE *stream, bool written)
{
    MailEnd end = end_mail(stream, written);
    if (!mail_diverted) {
        if (end != MAIL_TORN && !release_mail_lock())
            note_trouble(MAIL_TROUBLE_LOCK);
        if (end == MAIL_WHOLE)
            drop_worked = true;
        else
            note_trouble(MAIL_TROUBLE_IMPORT);
    }
    mail_diverted = true;
    mail_path = nullptr;
    mail_start = -1;
    mail_source = nullptr;
    unlock_filter_files();
    return end == MAIL_WHOLE;
}

// close_mail - close, cut a failed mail back, release the lock open_mail took.
bool close_mail(FILE *stream)
{
    return stream && finish_mail(stream, true);
}

// spill_mail - a mail made in memory, without the lock of the filter's
// files: another process of the filter holds it, stuck or only slow, and
// mail.prt, the import file and the markers may be its work in progress (a
// flush would remove mail.prt with a mail appended behind its back). So the
// mail goes into a file of its own, made under a temporary name and named
// only once whole, which the next flush under the lock gathers; a call
// ended halfway leaves a temporary that the sweep of leftovers takes. False
// when it could not be written whole, or mail.prt is at its limit.
static bool spill_mail(MailWriter write, void *context)
{
    unsigned char r[4];
    long size = 0;
    if ((plat_file_size(held_mail_path, &size) && size >= MAIL_HELD_LIMIT) || !plat_random_bytes(r, sizeof r))
        return false;
    unsigned long n = (unsigned long)r[0] << 24 | (unsigned long)r[1] << 16 | (unsigned long)r[2] << 8 | r[3];
    char temp[FILTER_PATH_MAX], path[FILTER_PATH_MAX];
    snprintf(temp, sizeof temp, "%s\\mail.spl.%lu.new", FILTER_DIR, n);
    snprintf(path, sizeof path, "%s\\mail%08lx.spl", FILTER_DIR, n);
    FILE *f = plat_fopen_exclusive(temp, nullptr);
    if (!f)
        return false;
    bool whole = write(f, context);
    if (plat_fclose(f) != 0)
        whole = false;
    if (whole && plat_rename_new(temp, path, nullptr)) {
        plat_create_hidden(spill_marker);
        return true;
    }
    plat_remove(temp);
    return false;
}

// send_once - one try of a mail into an open stream; true when it arrived whole.
static bool send_once(FILE *mail, MailWriter write, void *context)
{
    return mail && finish_mail(mail, write(mail, context));
}

// send_mail_from - the import file, else the held mail: a mail the import
// file did not take whole (cut back) waits in mail.prt as it would while
// the host holds the lock. False only when neither took it.
bool send_mail_from(const char *source, MailWriter write, void *context)
{
    if (!host_info.host_info_loaded)
        return false;
    if (!lock_filter_files()) {
        unlock_filter_files();
        return !source && spill_mail(write, context);
    }
    FILE *mail = open_mail_from(source);
    bool to_import = mail && !mail_diverted;
    bool sent = send_once(mail, write, context);
    // A mail the import file did not take is tried in mail.prt, under the
    // lock still held.
    if (!sent && to_import) {
        lock_filter_files();
        sent = send_once(open_held_mail(source), write, context);
    }
    unlock_filter_files();
    return sent;
}

bool send_mail(MailWriter write, void *context)
{
    return send_mail_from(nullptr, write, context);
}

// --- the flush ---

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

// mail_drop_needs_care - mail.prt is there, mail waits in files of its own,
// or a call left its lock or an unfinished mail behind.
bool mail_drop_needs_care(void)
{
    return plat_exists(held_mail_path) || plat_exists(own_lock_marker) || plat_exists(import_cut_marker) ||
           plat_exists(held_cut_marker) || plat_exists(spill_marker);
}

// copy_mail_file - a mail made of a file: the whole of it, closed again
// before the mail ends, so that it can be removed.
static bool copy_mail_file(FILE *mail, const char *path)
{
    PlatText text;
    if (!plat_open_text(path, &text))
        return false;
    bool copied = copy_file_to_stream(&text, mail);
    plat_close_text(&text);
    return copied;
}

// move_mail_file - the mail of a file appended to target, and the file
// gone, or neither; true when it moved.
static bool move_mail_file(const char *target, const char *source)
{
    FILE *mail = begin_mail(target, source);
    return mail && end_mail(mail, copy_mail_file(mail, source)) == MAIL_WHOLE;
}

// is_spill_name - "mail1a2b3c4d.spl": a mail written without the lock.
static bool is_spill_name(const char *name)
{
    if (strlen(name) != 16 || strncmp(name, "mail", 4) != 0 || strcmp(name + 12, ".spl") != 0)
        return false;
    for (int i = 4; i < 12; i++)
        if (!strchr("0123456789abcdef", name[i]))
            return false;
    return true;
}

// move_spilled_mail - every mail written without the lock into mail.prt,
// each once; *found when there was one. False when one stays.
static bool move_spilled_mail(bool *found)
{
    PlatListing listing;
    if (!plat_open_listing(FILTER_DIR, &listing))
        return false;
    char name[64], path[FILTER_PATH_MAX];
    bool moved = true;
    while (moved && plat_next_name(&listing, name, sizeof name)) {
        if (!is_spill_name(name))
            continue;
        *found = true;
        snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, name);
        moved = held_may_take() && move_mail_file(held_mail_path, path);
    }
    plat_close_listing(&listing);
    return moved;
}

// gather_spilled_mail - the mail written without the lock, into mail.prt.
// The marker goes only after all of it moved, and a look once more finds
// what was spilled while it went.
static void gather_spilled_mail(void)
{
    bool found = false;
    if (!plat_exists(spill_marker) || !move_spilled_mail(&found) || !plat_remove(spill_marker))
        return;
    found = false;
    if (!move_spilled_mail(&found) || found)
        plat_create_hidden(spill_marker);
}

// move_held_mail - with the mail lock taken: the held mail into the import
// file and out of mail.prt, or neither; the lock released last, so that the
// host imports only what the flush finished.
static FlushResult move_held_mail(void)
{
    FILE *import = begin_mail(host_info.mail_import_path, held_mail_path);
    MailEnd end = import ? end_mail(import, copy_mail_file(import, held_mail_path)) : MAIL_UNDONE;
    bool released = end == MAIL_TORN || release_mail_lock();
    if (end == MAIL_WHOLE && released) {
        drop_worked = true;
        return FLUSH_DONE;
    }
    note_trouble(end == MAIL_WHOLE ? MAIL_TROUBLE_LOCK : MAIL_TROUBLE_IMPORT);
    return FLUSH_STUCK;
}

// flush_locked - the flush, under the lock of the filter's files.
static FlushResult flush_locked(void)
{
    MailTrouble cause;
    if (!settle_mail_drop(&cause)) {
        note_trouble(cause);
        return FLUSH_STUCK;
    }
    gather_spilled_mail();
    long held_size = 0;
    if (!plat_file_size(held_mail_path, &held_size))
        return FLUSH_DONE;
    if (held_size == 0)
        return plat_remove(held_mail_path) ? FLUSH_DONE : FLUSH_STUCK;
    if (plat_exists(host_info.mail_lock_path)) {
        if (!lock_is_stale())
            return FLUSH_WAITING;
        note_trouble(MAIL_TROUBLE_LOCK);
        return FLUSH_STUCK;
    }
    bool busy = false;
    if (take_mail_lock(&busy))
        return move_held_mail();
    if (busy)
        return FLUSH_WAITING;
    note_trouble(MAIL_TROUBLE_IMPORT);
    return FLUSH_STUCK;
}

// flush_held_mail - move morvel\mail.prt into the import file when the
// lock is free; never without the lock of the filter's files.
FlushResult flush_held_mail(void)
{
    if (!host_info.host_info_loaded)
        return FLUSH_WAITING;
    FlushResult result = lock_filter_files() ? flush_locked() : FLUSH_WAITING;
    unlock_filter_files();
    return result;
}

// --- what the sysop hears ---

void mail_new_call(void)
{
    trouble = MAIL_TROUBLE_NONE;
    drop_worked = false;
}

bool mail_trouble_untold(void)
{
    return trouble != MAIL_TROUBLE_NONE && !plat_exists(told_marker);
}

// take_mail_trouble - the trouble of this call, once while it lasts: the
// told marker stays until mail reaches the import file again.
MailTrouble take_mail_trouble(void)
{
    MailTrouble found = trouble;
    bool worked = drop_worked;
    mail_new_call();
    if (found == MAIL_TROUBLE_NONE) {
        if (worked)
            plat_remove(told_marker);
        return MAIL_TROUBLE_NONE;
    }
    if (plat_exists(told_marker))
        return MAIL_TROUBLE_NONE;
    plat_create_hidden(told_marker);
    return found;
}

void count_lost_mail(long messages)
{
    lost_messages += messages;
}

long lost_mail_count(void)
{
    return lost_messages;
}

void forget_lost_mail(long n)
{
    lost_messages -= n < lost_messages ? n : lost_messages;
}

// --- the header of a message ---

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
