// mail.cpp - the mail drop: mail into the host's import file under its
// lock, or into the held-mail file morvel\mail.prt while the host holds the
// lock; the flush of held mail; the header of every message.
//
// The lock is taken only by an exclusive create, so a lock the host took in
// the meantime is never written over, and the filter deletes only a lock it
// created itself. Held mail is deleted only after the import file has taken
// all of it and closed cleanly. A write or close that fails cuts the file
// back to the size it had when it was opened, so the host never imports half
// a message with the next one glued to it. Failures are reported by result.
// The drop reads host_info and never loads it: its callers load the
// start-up file first.
#include "report/mail.h"
#include "common/filter_dir.h"
#include "common/text_copy.h"
#include "common/records.h"
#include "platform/platform.h"

#include <cstdio>

static const char held_mail_path[] = FILTER_DIR "\\mail.prt";

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

// cut_back - a failed write may have left part of a message at the end:
// back to the size noted at the opening. Only the filter writes the file
// meanwhile: it holds the import file's lock, and mail.prt is its own.
static void cut_back(const char *path, long size)
{
    if (path && size >= 0)
        plat_truncate(path, size);
}

// note_mail - remember what open_mail hands out; returns the stream.
static FILE *note_mail(FILE *stream, const char *path)
{
    mail_path = path;
    mail_start = stream ? file_size(stream) : -1;
    return stream;
}

// take_mail_lock - create the lock; false when it exists (*busy) or cannot be made.
static bool take_mail_lock(bool *busy)
{
    FILE *lock = plat_fopen_exclusive(host_info.mail_lock_path, busy);
    if (!lock)
        return false;
    if (plat_fclose(lock) != 0) {
        plat_remove(host_info.mail_lock_path);
        return false;
    }
    return true;
}

// open_held_mail - the held-mail stream, used while the host has the lock.
static FILE *open_held_mail(void)
{
    mail_diverted = true;
    return note_mail(plat_fopen(held_mail_path, "at"), held_mail_path);
}

// open_mail - the import file under a lock the filter took itself, the
// held-mail file when the host has the lock, or null.
FILE *open_mail(void)
{
    mail_diverted = true;
    if (!host_info.host_info_loaded)
        return nullptr;
    if (plat_exists(host_info.mail_lock_path))
        return open_held_mail();
    bool busy = false;
    if (!take_mail_lock(&busy))
        return busy ? open_held_mail() : nullptr;
    FILE *import = plat_fopen(host_info.mail_import_path, "at");
    if (!import) {
        plat_remove(host_info.mail_lock_path);
        return nullptr;
    }
    mail_diverted = false;
    return note_mail(import, host_info.mail_import_path);
}

// close_mail - close, release the lock open_mail took; false when a write or the close failed.
bool close_mail(FILE *stream)
{
    if (!stream)
        return false;
    bool ok = !ferror(stream);
    if (plat_fclose(stream) != 0)
        ok = false;
    if (!ok)
        cut_back(mail_path, mail_start);
    if (!mail_diverted)
        plat_remove(host_info.mail_lock_path);
    mail_diverted = true;
    mail_path = nullptr;
    return ok;
}

// held_mail_waiting - morvel\mail.prt holds mail for the import file.
bool held_mail_waiting(void)
{
    return plat_exists(held_mail_path);
}

// append_held_mail - copy the held mail into the import file; true only when
// all of it was written and the import file closed without error.
static bool append_held_mail(PlatText *held)
{
    FILE *import = plat_fopen(host_info.mail_import_path, "at");
    if (!import)
        return false;
    long start = file_size(import);
    bool ok = copy_file_to_stream(held, import);
    if (ferror(import))
        ok = false;
    if (plat_fclose(import) != 0)
        ok = false;
    if (!ok)
        cut_back(host_info.mail_import_path, start);
    return ok;
}

// flush_held_mail - a copy that fails part-way is cut back and keeps
// mail.prt for a later call: no message is lost, torn or imported twice.
void flush_held_mail(void)
{
    if (!held_mail_waiting() || !host_info.host_info_loaded)
        return;
    if (plat_exists(host_info.mail_lock_path))
        return;
    bool busy = false;
    if (!take_mail_lock(&busy))
        return;
    PlatText held;
    bool opened = plat_open_text(held_mail_path, &held);
    bool moved = opened && append_held_mail(&held);
    if (opened)
        plat_close_text(&held);
    plat_remove(host_info.mail_lock_path);
    if (moved)
        plat_remove(held_mail_path);
}

// write_mail_header - the line that starts a message to to from from.
bool write_mail_header(FILE *mail, const char *to, const char *from)
{
    return fprintf(mail, "#\nSP %s < %s\n", to, from) >= 0;
}
