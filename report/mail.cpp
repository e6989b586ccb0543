// mail.cpp - mail into the host's import file under its lock, or into the
// held-mail file morvel\mail.prt while the host holds the lock; the flush of
// held mail; the new-user notice and the new-user message.
//
// The lock is taken only by an exclusive create, so a lock the host took in
// the meantime is never written over, and the filter deletes only a lock it
// created itself. Held mail is deleted only after the import file has taken
// all of it and closed cleanly. Failures are reported by result; only the two
// notices turn a mail that cannot be opened into error 2.
#include "report/mail.h"
#include "common/filter_dir.h"
#include "common/reply.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "config/messages.h"
#include "filter/call_clock.h"
#include "filter/connection.h"
#include "platform/platform.h"
#include "report/errors.h"

#include <cstdio>

static const char held_mail_path[] = FILTER_DIR "\\mail.prt";

// True while the stream handed out by open_mail is the held-mail file, and
// whenever the filter holds no lock of its own: close_mail then leaves the lock alone.
static bool mail_diverted;

// Reply for the host-file reader where the caller has none; nothing appends to it.
static char scratch_reply[REPLY_CAPACITY];

// mail_reset - at load the filter holds no lock of its own.
void mail_reset(void)
{
    mail_diverted = true;
}

// host_info_ready - the start-up file has been read, now or before.
static bool host_info_ready(char *reply)
{
    return host_info.host_info_loaded || load_host_info(reply) > 0;
}

// take_mail_lock - create the lock; false when it exists (*busy) or cannot be made.
static bool take_mail_lock(bool *busy)
{
    FILE *lock = plat_fopen_exclusive(host_info.mail_lock_path, busy);
    if (!lock)
        return false;
    if (fclose(lock) != 0) {
        plat_remove(host_info.mail_lock_path);
        return false;
    }
    return true;
}

// open_held_mail - the held-mail stream, used while the host has the lock.
static FILE *open_held_mail(void)
{
    mail_diverted = true;
    return plat_fopen(held_mail_path, "at");
}

// open_mail - the import file under a lock the filter took itself, the
// held-mail file when the host has the lock, or null.
FILE *open_mail(void)
{
    mail_diverted = true;
    scratch_reply[0] = '\0';
    if (!host_info_ready(scratch_reply))
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
    return import;
}

// close_mail - close, release the lock open_mail took; false when a write or the close failed.
bool close_mail(FILE *stream)
{
    if (!stream)
        return false;
    bool ok = !ferror(stream);
    if (fclose(stream) != 0)
        ok = false;
    if (!mail_diverted)
        plat_remove(host_info.mail_lock_path);
    mail_diverted = true;
    return ok;
}

// append_held_mail - copy the held mail into the import file; true only when
// all of it was written and the import file closed without error.
static bool append_held_mail(FILE *held)
{
    FILE *import = plat_fopen(host_info.mail_import_path, "at");
    if (!import)
        return false;
    bool ok = copy_file_to_stream(held, import);
    if (ferror(import))
        ok = false;
    if (fclose(import) != 0)
        ok = false;
    return ok;
}

// flush_held_mail - a copy that fails part-way keeps mail.prt, so the next
// call may import some messages twice; none is ever lost.
void flush_held_mail(char *reply)
{
    if (!plat_exists(held_mail_path))
        return;
    if (!host_info_ready(reply))
        return;
    if (plat_exists(host_info.mail_lock_path))
        return;
    bool busy = false;
    if (!take_mail_lock(&busy))
        return;
    FILE *held = plat_fopen(held_mail_path, "rt");
    bool moved = held && append_held_mail(held);
    if (held)
        fclose(held);
    plat_remove(host_info.mail_lock_path);
    if (moved)
        plat_remove(held_mail_path);
}

// write_new_user_notice - one notice of the connecting station to one sysop.
static void write_new_user_notice(FILE *mail, const char *sysop)
{
    const ConnectionInfo &c = connection_info;
    trace(TRACE_MAIL, 0, 0, msg(MSG_NEW_USER), sysop);
    fprintf(mail, "#\nSP %s < MORVEL", sysop);
    fprintf(mail, "\n%s\n%s\n%s %s", msg(MSG_NEW_USER), call_banner, msg(MSG_CALLSIGN), c.callsign);
    if (c.ssid != 0)
        fprintf(mail, "-%d", c.ssid);
    fprintf(mail, " %s (%s %d).\n/EX\n", msg(MSG_FIRST_TIME), msg(MSG_PORT), c.port);
}

// mail_new_user_notice - a notice of this first connection to every sysop; -1 or 1.
int mail_new_user_notice(char *reply)
{
    if (load_filter_config(reply) < 0)
        return -1;
    if (!filter_config.mail_new_user)
        return 1;
    if (!host_info_ready(reply))
        return -1;
    FILE *mail = open_mail();
    if (!mail) {
        report_error(ERR_NO_MAIL, 0, reply);
        return -1;
    }
    int count = filter_config.sysop_count < (int)MAX_SYSOPS ? filter_config.sysop_count : (int)MAX_SYSOPS;
    for (int i = 0; i < count; i++)
        write_new_user_notice(mail, filter_config.sysop_calls[i]);
    close_mail(mail);
    return 1;
}

// open_new_message_text - newmsg<port>.prt, else newmsg.prt; null when neither opens.
static FILE *open_new_message_text(void)
{
    char path[FILTER_PATH_MAX];
    snprintf(path, sizeof path, "%s\\%s%d.%s", FILTER_DIR, "newmsg", connection_info.port, "prt");
    FILE *text = plat_fopen(path, "rt");
    if (text)
        return text;
    snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, "newmsg.prt");
    return plat_fopen(path, "rt");
}

// mail_new_message - the newmsg text of the port, or the general one, mailed to the station.
void mail_new_message(char *reply)
{
    FILE *text = open_new_message_text();
    if (!text)
        return;
    if (!host_info_ready(reply)) {
        fclose(text);
        return;
    }
    FILE *mail = open_mail();
    if (!mail) {
        fclose(text);
        report_error(ERR_NO_MAIL, 0, reply);
        return;
    }
    trace(TRACE_MAIL, 0, 0, msg(MSG_WELCOME), connection_info.callsign);
    fprintf(mail, "#\nSP %s < %s\n", connection_info.callsign, host_info.bbs_callsign);
    fprintf(mail, "%s\n", msg(MSG_WELCOME));
    copy_file_to_stream(text, mail);
    fprintf(mail, "\n/EX\n");
    fclose(text);
    close_mail(mail);
}
