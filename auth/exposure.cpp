// exposure.cpp - the exposure meter's side of a call: a right plain answer
// is added to its password's record, and the sysops are told once when the
// password's chance reaches guard.prt's EXPOSURE; and the look-up the tools
// use.
//
// The record only ever grows: positions, equations, a whole password
// heard. It is read first without the lock of the filter's files, and in
// the common case, an answer that tells a listener nothing new, that read is
// all a call costs. Something new is a line added under the lock: the lines
// of a password add up, so one added by a second process at the same time
// is kept beside ours. A rewrite of the file, and the mail, which must go
// once, read the record again under the lock first. A record that cannot be
// read or written is left alone: it is an addition, and the answer was
// right all the same.
#include "auth/exposure.h"
#include "auth/state_file.h"
#include "common/files_lock.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/wipe.h"
#include "config/host_files.h"
#include "report/notices.h"

#include <cstdio>
#include <cstring>

enum { MAIL_FIGURE_TEXT = 160 };

const char *exposure_advice(short kind)
{
    if (kind == KIND_TABLE)
        return "change that day's password in the station's table, or move the station to TOTP or HOTP";
    return "change the station's password, or move the station to TOTP or HOTP";
}

void exposure_figure_text(const ExposureFigure *f, char *out, size_t size)
{
    char chance[32], heard[64];
    chance_text(f->chance, chance, sizeof chance);
    heard_text(f, heard, sizeof heard);
    snprintf(out, size, "%s (%s)", chance, heard);
}

// is_key_of - password is the one the note was drawn from.
static bool is_key_of(const char *password, const HeardAnswer *h)
{
    char tag[EXPOSURE_TAG_TEXT];
    exposure_tag(password, tag);
    return strcmp(tag, h->tag) == 0;
}

// narrows_keys - the equation heard leaves fewer keys than those heard
// before it; an equation every remaining key answers alike tells nothing.
// Without the key it is taken as news.
static bool narrows_keys(const ExposureRecord *r, const HeardAnswer *h, const char *key)
{
    if (!key || !is_key_of(key, h) || r->kind != EXPOSURE_EQUATIONS)
        return true;
    char equations[EXPOSURE_EQUATIONS_MAX + 1][EXPOSURE_DRAWN + 1];
    int count = r->equation_count;
    memcpy(equations, r->equations, sizeof r->equations);
    copy_text(equations[count], sizeof equations[count], h->digits);
    return flexnet_keys_left(key, equations, count + 1) < flexnet_keys_left(key, equations, count);
}

// learn - add what h heard to r; true when r learnt something.
static bool learn(ExposureRecord *r, const HeardAnswer *h, const char *key)
{
    if (h->kind == EXPOSURE_EQUATIONS && !narrows_keys(r, h, key))
        return false;
    return add_heard(r, h);
}

// record_figure - the figure of r, heard of a password of h's length (positions) or of key.
static void record_figure(const ExposureRecord *r, const HeardAnswer *h, const char *key, ExposureFigure *f)
{
    memset(f, 0, sizeof *f);
    f->kind = r->kind;
    if (r->kind == EXPOSURE_POSITIONS) {
        f->heard = positions_heard_count(r);
        f->of = h->length;
        f->chance = positions_chance(f->heard, f->of);
    } else if (r->kind == EXPOSURE_EQUATIONS && key && is_key_of(key, h)) {
        exposure_figure(EXPOSURE_EQUATIONS, r, key, f);
    } else if (r->kind == EXPOSURE_WHOLE) {
        exposure_figure(EXPOSURE_WHOLE, r, "", f);
    }
}

// call_date - the date of the call, as the records keep it.
static void call_date(char out[EXPOSURE_DATE_TEXT])
{
    char date[32];
    snprintf(date, sizeof date, "%02d-%02d-%04d", call_clock.day, call_clock.month, (int)call_clock.year);
    copy_text(out, EXPOSURE_DATE_TEXT, date);
}

// mail_exposure - tell the sysops that r passed the threshold.
static void mail_exposure(const ExposureRecord *r, const ExposureFigure *f, short kind)
{
    char figure[MAIL_FIGURE_TEXT];
    exposure_figure_text(f, figure, sizeof figure);
    if (host_info_ready())
        mail_exposure_notice(r->station, figure, r->since, exposure_advice(kind));
}

// passes_threshold - what r heard reaches guard.prt's EXPOSURE, and the
// sysops have not been told yet.
static bool passes_threshold(const ExposureRecord *r, const HeardAnswer *h, const char *key, ExposureFigure *f)
{
    if (guard_config.exposure_one_in == 0 || r->mailed)
        return false;
    record_figure(r, h, key, f);
    return chance_passes(f->chance, guard_config.exposure_one_in);
}

// stamp - the date the record began, when new, and the station heard.
static void stamp(ExposureRecord *r)
{
    if (!r->since[0] || strcmp(r->since, "-") == 0)
        call_date(r->since);
    state_station_name(r->station, sizeof r->station);
}

// add_under_lock - read the record again under the lock, add h, and write
// it; mail when told to and it was not mailed meanwhile.
static void add_under_lock(const HeardAnswer *h, const char *key, bool mail, const ExposureFigure *f, short kind)
{
    static ExposureRecord r;   // a record is large for a stack; one is added at a time
    int lines;
    lock_filter_files();
    bool readable = find_exposure_lines(h->tag, &r, &lines) >= 0;
    if (readable) {
        bool learnt = learn(&r, h, key);
        bool tell = mail && !r.mailed;
        stamp(&r);
        r.mailed = r.mailed || tell;
        if (tell)
            mail_exposure(&r, f, kind);
        if ((learnt || tell) && !append_exposure_record(&r, lines))
            rewrite_exposure_record(&r);
    }
    unlock_filter_files();
}

// add_line - r, as read without the lock and with h learnt, added as a line
// under the lock; when the file must be rewritten instead, it is read again.
static void add_line(ExposureRecord *r, int lines, const HeardAnswer *h, const char *key, short kind)
{
    stamp(r);
    lock_filter_files();
    if (!append_exposure_record(r, lines))
        add_under_lock(h, key, false, nullptr, kind);
    unlock_filter_files();
}

void note_heard_answer(short kind, const char *note, const char *password)
{
    static ExposureRecord r;
    HeardAnswer h;
    int lines;
    if (!note || !parse_heard_note(note, &h))
        return;
    if (find_exposure_lines(h.tag, &r, &lines) < 0 || !learn(&r, &h, password))
        return;
    ExposureFigure f = {};
    if (passes_threshold(&r, &h, password, &f))
        add_under_lock(&h, password, true, &f, kind);
    else
        add_line(&r, lines, &h, password, kind);
}

int password_exposure(const char *password, unsigned method, ExposureRecord *r, ExposureFigure *f)
{
    ExposureKind kind = exposure_kind_of_method(method);
    char tag[EXPOSURE_TAG_TEXT];
    memset(r, 0, sizeof *r);
    int found = 0;
    if (kind != EXPOSURE_NONE && password[0]) {
        exposure_tag(password, tag);
        found = find_exposure_record(tag, r);
    }
    exposure_figure(kind, found == 1 ? r : nullptr, password, f);
    return found;
}
