// caller_texts.cpp - the intro, new-user, guest and station texts of an
// admitted caller, and the information text of a CLOSED station.
//
// A text may exist per port and in general, each also in a sub-directory named
// after the caller's language. A missing text is silent; only a missing
// information text is reported (error 9).
#include "report/caller_texts.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "platform/platform.h"
#include "report/errors.h"

#include <cstdio>

struct TextKind {
    const char *stem;          // per-port file: stem + port + ".prt"
    const char *general;       // file for every port
};

static const TextKind text_kinds[3] = {
    {"intro", "intro.prt"},
    {"newtxt", "newtxt.prt"},
    {"guest", "guest.prt"},
};

static const TextKind information_text = {"info", "info.prt"};

enum { LANGUAGE_NAME_MAX = 12 };

// language_path - the name's path in the caller's language sub-directory, when
// texts go by language, the caller's language is known and that file exists.
static bool language_path(const char *name, char *path)
{
    char language[LANGUAGE_NAME_MAX] = "";
    if (!filter_config.texts_by_language || !caller_language(language))
        return false;
    int n = snprintf(path, FILTER_PATH_MAX, "%s\\%s\\%s", FILTER_DIR, language, name);
    return n > 0 && n < FILTER_PATH_MAX && plat_exists(path);
}

// open_candidate - the language version of a name if usable, else the name in
// the filter directory; only the chosen one is opened.
static bool open_candidate(const char *name, PlatText *text)
{
    char path[FILTER_PATH_MAX];
    if (!language_path(name, path)) {
        int n = snprintf(path, FILTER_PATH_MAX, "%s\\%s", FILTER_DIR, name);
        if (n < 0 || n >= FILTER_PATH_MAX)
            return false;
    }
    bool opened = plat_open_text(path, text);
    trace(TRACE_TEXT, 0, opened, path);
    return opened;
}

// open_kind_text - the per-port text (first pass), else the general one (second pass).
static bool open_kind_text(const TextKind *kind, PlatText *text)
{
    char per_port[FILTER_PATH_MAX];
    snprintf(per_port, sizeof per_port, "%s%d.%s", kind->stem, connection_info.port, "prt");
    return open_candidate(per_port, text) || open_candidate(kind->general, text);
}

// open_station_text - morvel\CALL<ssid>.ent, else morvel\CALL.ent.
static bool open_station_text(PlatText *text)
{
    char path[FILTER_PATH_MAX];
    snprintf(path, sizeof path, "%s\\%s%d.%s", FILTER_DIR, connection_info.callsign, connection_info.ssid, "ent");
    bool opened = plat_open_text(path, text);
    trace(TRACE_TEXT, 0, opened, path);
    if (opened)
        return true;
    snprintf(path, sizeof path, "%s\\%s.%s", FILTER_DIR, connection_info.callsign, "ent");
    opened = plat_open_text(path, text);
    trace(TRACE_TEXT, 0, opened, path);
    return opened;
}

// intro_held_back - the intro exceptions that apply to this caller.
static bool intro_held_back(void)
{
    uint16_t flags = connection_info.station_flags, except = filter_config.intro_exceptions;
    return ((flags & FLAG_INTRO_X) && (except & INTRO_EXCEPT_X)) ||
           ((flags & FLAG_BBS_PORT) && (except & INTRO_EXCEPT_S)) ||
           (connection_info.connection_count == 1 && (except & INTRO_EXCEPT_N));
}

// send_text_file - the first text of the kind that opens, appended; nothing when none does.
void send_text_file(int kind, char *reply)
{
    PlatText f;
    bool opened = false;
    if (kind == TEXT_INTRO && intro_held_back()) {
        trace(TRACE_TEXT_HELD_BACK, 0, kind);
        return;
    }
    if (kind == TEXT_STATION)
        opened = open_station_text(&f);
    else if (kind >= TEXT_INTRO && kind < TEXT_STATION)
        opened = open_kind_text(&text_kinds[kind], &f);
    if (!opened)
        return;
    copy_file_to_reply(&f, reply);
    plat_close_text(&f);
}

// send_information_text - the information text and verdict 2, or error 9 when it is missing.
void send_information_text(char *reply)
{
    PlatText f;
    if (!open_kind_text(&information_text, &f)) {
        report_error(ERR_NO_INFO_TEXT, 0, reply);
        return;
    }
    copy_file_to_reply(&f, reply);
    plat_close_text(&f);
    clear_error_marker(ERR_NO_INFO_TEXT);
    verdict = VERDICT_REFUSED;
}
