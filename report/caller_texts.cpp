// caller_texts.cpp - the intro, new-user, guest and station texts of an
// admitted caller, and the information text of a CLOSED station.
//
// A text may exist per port and in general, each also in a sub-directory named
// after the caller's language, which the caller gives. A missing text is
// silent here; the caller decides what a missing information text means.
#include "report/caller_texts.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "platform/platform.h"

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

// open_kind_text - the per-port text, else the general one.
static bool open_kind_text(const TextKind *kind, const char *language, PlatText *text)
{
    char per_port[FILTER_PATH_MAX];
    snprintf(per_port, sizeof per_port, "%s%d.%s", kind->stem, connection_info.port, "prt");
    return open_specific_else_general(per_port, kind->general, language, true, text);
}

// open_station_text - morvel\CALL<ssid>.ent, else morvel\CALL.ent.
static bool open_station_text(PlatText *text)
{
    char specific[FILTER_PATH_MAX], general[FILTER_PATH_MAX];
    snprintf(specific, sizeof specific, "%s%d.%s", connection_info.callsign, connection_info.ssid, "ent");
    snprintf(general, sizeof general, "%s.%s", connection_info.callsign, "ent");
    return open_specific_else_general(specific, general, nullptr, true, text);
}

// intro_held_back - the intro exceptions that apply to this caller.
bool intro_held_back(void)
{
    uint16_t flags = connection_info.station_flags, except = filter_config.intro_exceptions;
    return ((flags & FLAG_INTRO_X) && (except & INTRO_EXCEPT_X)) ||
           ((flags & FLAG_BBS_PORT) && (except & INTRO_EXCEPT_S)) ||
           (connection_info.connection_count == 1 && (except & INTRO_EXCEPT_N));
}

// send_text_file - the first text of the kind that opens, appended; nothing when none does.
void send_text_file(int kind, const char *language, char *reply)
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
        opened = open_kind_text(&text_kinds[kind], language, &f);
    if (!opened)
        return;
    copy_file_to_reply(&f, reply);
    plat_close_text(&f);
}

// send_information_text - the information text; false when it is missing.
bool send_information_text(const char *language, char *reply)
{
    PlatText f;
    if (!open_kind_text(&information_text, language, &f))
        return false;
    copy_file_to_reply(&f, reply);
    plat_close_text(&f);
    return true;
}
