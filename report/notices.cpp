// notices.cpp - the new-user notice to the sysops and the welcome message to
// the new station, written into the mail drop, and the reports of mail that
// waits or was lost. A mail that neither the import file nor the held mail
// takes is counted as lost, and reported as error 2 once a report can be
// written; what they need loaded, their callers have loaded.
#include "report/notices.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "report/errors.h"
#include "report/logs.h"
#include "report/mail.h"

#include <cstdio>

// write_new_user_notice - one notice of the connecting station to one sysop.
static void write_new_user_notice(FILE *mail, const char *sysop)
{
    const ConnectionInfo &c = connection_info;
    trace(TRACE_MAIL, 0, 0, msg(MSG_NEW_USER), sysop);
    write_mail_header(mail, sysop, "MORVEL");
    fprintf(mail, "%s\n%s\n%s %s", msg(MSG_NEW_USER), call_banner, msg(MSG_CALLSIGN), c.callsign);
    if (c.ssid != 0)
        fprintf(mail, "-%d", c.ssid);
    fprintf(mail, " %s (%s %d).\n/EX\n", msg(MSG_FIRST_TIME), msg(MSG_PORT), c.port);
}

// write_new_user_notices - the notice to every sysop; false when a write failed.
static bool write_new_user_notices(FILE *mail, void *)
{
    for (int i = 0; i < sysops_to_mail(); i++)
        write_new_user_notice(mail, filter_config.sysop_calls[i]);
    return !ferror(mail);
}

// mail_new_user_notice - a notice of this first connection to every sysop; -1 or 1.
int mail_new_user_notice(void)
{
    if (!send_mail(write_new_user_notices, nullptr)) {
        count_lost_mail(sysops_to_mail());
        return -1;
    }
    return 1;
}

// write_guard_notices - the lockout to every sysop; false when a write failed.
struct GuardNotice {
    const char *callsign;
    int failures;
    const char *until;
};
static bool write_guard_notices(FILE *mail, void *context)
{
    const GuardNotice *g = (const GuardNotice *)context;
    for (int i = 0; i < sysops_to_mail(); i++) {
        trace(TRACE_MAIL, 0, 0, "GUARD", filter_config.sysop_calls[i]);
        write_mail_header(mail, filter_config.sysop_calls[i], "MORVEL");
        fprintf(mail, "GUARD\n%s\n%s: %d failures, refused until %s.\n/EX\n", call_banner, g->callsign, g->failures,
                g->until);
    }
    return !ferror(mail);
}

int mail_guard_notice(const char *owed, const char *callsign, int failures, const char *until)
{
    GuardNotice g = {callsign, failures, until};
    return send_mail_from(owed, write_guard_notices, &g) ? 1 : -1;
}

// ExposureNotice - what the exposure mail says.
struct ExposureNotice {
    const char *station;
    const char *figure;
    const char *since;
    const char *advice;
};

// write_exposure_notices - the exposed password to every sysop; false when a write failed.
static bool write_exposure_notices(FILE *mail, void *context)
{
    const ExposureNotice *x = (const ExposureNotice *)context;
    for (int i = 0; i < sysops_to_mail(); i++) {
        trace(TRACE_MAIL, 0, 0, "EXPOSED", filter_config.sysop_calls[i]);
        write_mail_header(mail, filter_config.sysop_calls[i], "MORVEL");
        fprintf(mail, "EXPOSED\n%s\n%s: a listener who heard every answer since %s answers the next challenge "
                      "%s.\nTo do: %s.\n/EX\n",
                call_banner, x->station, x->since, x->figure, x->advice);
    }
    return !ferror(mail);
}

int mail_exposure_notice(const char *station, const char *figure, const char *since, const char *advice)
{
    ExposureNotice x = {station, figure, since, advice};
    if (!send_mail(write_exposure_notices, &x)) {
        report_error(ERR_NO_MAIL, 0);
        return -1;
    }
    return 1;
}

// write_new_message - the welcome and the text, read from its start.
static bool write_new_message(FILE *mail, void *context)
{
    PlatText *text = (PlatText *)context;
    trace(TRACE_MAIL, 0, 0, msg(MSG_WELCOME), connection_info.callsign);
    plat_text_seek(text, 0);
    write_mail_header(mail, connection_info.callsign, host_info.bbs_callsign);
    fprintf(mail, "%s\n", msg(MSG_WELCOME));
    copy_file_to_stream(text, mail);
    fprintf(mail, "\n/EX\n");
    return !ferror(mail);
}

// mail_new_message - the welcome and the text, from the BBS to the station.
bool mail_new_message(PlatText *text)
{
    if (!send_mail(write_new_message, text)) {
        count_lost_mail(1);
        return false;
    }
    return true;
}

bool mail_news_waiting(void)
{
    return lost_mail_count() > 0 || lost_log_entries() > 0 || mail_trouble_untold();
}

// report_mail_news - the trouble first: its own mail may be among the lost.
// The mail of the report of losses, lost too, is not news of its own: it
// would be reported again at every call while mail.prt takes nothing.
void report_mail_news(void)
{
    MailTrouble trouble = take_mail_trouble();
    if (trouble != MAIL_TROUBLE_NONE)
        report_mail_error(trouble == MAIL_TROUBLE_LOCK ? MAIL_ERROR_LOCK : MAIL_ERROR_IMPORT, 0, 0);
    long mail = lost_mail_count(), entries = lost_log_entries();
    if (mail == 0 && entries == 0)
        return;
    bool recorded = report_mail_error(MAIL_ERROR_LOST, mail, entries);
    forget_lost_mail(recorded ? lost_mail_count() : lost_mail_count() - mail);
    if (recorded)
        forget_lost_log_entries(entries);
}
