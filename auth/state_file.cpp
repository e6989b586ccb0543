// state_file.cpp - a challenge's state file, written and read back.
//
// A state file holds the lines of its challenge (one to three) and, last,
// the line "CALL-SSID" of the station it was put to: two stations can share
// one file name (N0ABC-10 and N0ABC1-0 both give N0ABC10.TMP), and the last
// line tells whose challenge the file holds now. What each kind writes is
// one row of state_kinds, which the writer and the reader both follow.
// Results only; nothing here reports an error.
#include "auth/state_file.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/wipe.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

enum { STATE_LINES_MAX = 4, DIGEST_CHARS = 32, FILE_NAME_MAX = 260 };

// The kinds' files. The blanks after some kind lines and after the forward
// challenge's MD5 digest are kept as they have always been written.
static const StateKind state_kinds[] = {
    // kind         kind line  digests  line 3  .tmp   plain  one answer  code
    {KIND_NORMAL,  nullptr,   false,   "",     false, true,  false,      false,
     "NORMAL: five positions of the password"},
    {KIND_FIXED,   " ",       false,   "",     false, true,  true,       false, "FIXED: the whole password"},
    {KIND_MD,      " ",       true,    "",     true,  true,  false,      false,
     "MD5: five positions of the password, or the MD5 digest of the ten digits and the password"},
    {KIND_TABLE,   "",        false,   "",     false, true,  false,      false,
     "TABLE: five positions of today's password from the station's table"},
    {KIND_FLEXNET, " ",       false,   "",     false, true,  true,       false,
     "FLEXNET: the five digits weighted by the key"},
    {KIND_FORWARD, "",        true,    " ",    true,  false, true,       false,
     "FORWARD: the MD5 digest of the ten digits and the password"},
    // Line 1 names the kind of code: the file holds no expected answer.
    {KIND_TOTP,    "",        false,   "",     false, false, false,      true,
     "TOTP: the six-digit code of the current 30-second step, from the station's app"},
    {KIND_HOTP,    "",        false,   "",     false, false, false,      true,
     "HOTP: the six-digit code of the number shown, from the station's printed list"},
};

const StateKind *state_kind(int kind)
{
    for (const StateKind &k : state_kinds)
        if (k.kind == kind)
            return &k;
    return &state_kinds[0];
}

void state_file_path(char *out, size_t size, bool lower_extension)
{
    snprintf(out, size, "%s\\%s%d.%s", FILTER_DIR, connection_info.callsign, connection_info.ssid,
             lower_extension ? "tmp" : "TMP");
}

void state_station_name(char *out, size_t size)
{
    snprintf(out, size, "%s-%d", connection_info.callsign, connection_info.ssid);
}

// write_state_lines - the lines of a kind's file, the station line last.
static void write_state_lines(FILE *f, const StateKind *k, const char *plain, const char *md2, const char *md5)
{
    char station[STATION_NAME];
    if (k->digests)
        fprintf(f, "%s %s\n", plain, md2);
    else
        fprintf(f, "%s\n", plain);
    if (k->kind_line_end)
        fprintf(f, "%d%s\n", k->kind, k->kind_line_end);
    if (k->digests)
        fprintf(f, "%s%s\n", md5, k->digest_line_end);
    state_station_name(station, sizeof station);
    fprintf(f, "%s\n", station);
}

// A half-written file is removed, so it never passes for a challenge that
// the caller was not shown.
bool write_state_file(const char *path, int kind, const char *plain, const char *md2, const char *md5)
{
    FILE *f = plat_fopen_private(path);
    if (!f)
        return false;
    write_state_lines(f, state_kind(kind), plain, md2, md5);
    bool ok = !ferror(f);
    if (plat_fclose(f) != 0)
        ok = false;
    if (!ok)
        plat_remove(path);
    return ok;
}

// read_state_lines - the lines of an open state file without their line
// ends; their count, or 0 when there are more than a state file has.
static int read_state_lines(PlatText *f, char lines[STATE_LINES_MAX][STATE_LINE])
{
    char extra[STATE_LINE];
    int count = 0;
    while (count < STATE_LINES_MAX && plat_read_line(lines[count], STATE_LINE, f)) {
        lines[count][strcspn(lines[count], "\r\n")] = '\0';
        count++;
    }
    bool more = count == STATE_LINES_MAX && plat_read_line(extra, sizeof extra, f);
    wipe(extra, sizeof extra);
    return more ? 0 : count;
}

// parse_state_lines - the challenge lines before the station line. A first
// line without a word is as good as none: an empty expected answer would be
// found inside every answer. A missing or unreadable kind line is kind 0
// (NORMAL writes none); the kinds with digests need their third line.
static bool parse_state_lines(char lines[STATE_LINES_MAX][STATE_LINE], int count, ExpectedAnswer *e)
{
    int challenge_lines = count - 1;
    if (challenge_lines < 1 || sscanf(lines[0], "%299s %32s", e->plain, e->digest[0]) < 1)
        return false;
    copy_text(e->station, sizeof e->station, lines[challenge_lines]);
    e->kind = KIND_NORMAL;
    if (challenge_lines >= 2 && sscanf(lines[1], "%2hd", &e->kind) != 1)
        e->kind = KIND_NORMAL;
    if (state_kind(e->kind)->digests)
        return challenge_lines >= 3 && sscanf(lines[2], "%32s", e->digest[1]) == 1;
    return true;
}

bool load_state_file(const char *path, ExpectedAnswer *e)
{
    char lines[STATE_LINES_MAX][STATE_LINE];
    memset(e, 0, sizeof *e);
    PlatText f;
    if (!plat_open_text(path, &f))
        return false;
    int count = read_state_lines(&f, lines);
    plat_close_text(&f);
    bool ok = parse_state_lines(lines, count, e);
    wipe(lines, sizeof lines);
    return ok;
}

bool names_this_station(const ExpectedAnswer *e)
{
    char ours[STATION_NAME], theirs[STATE_LINE];
    state_station_name(ours, sizeof ours);
    copy_text(theirs, sizeof theirs, e->station);
    return strcmp(upper_case(ours), upper_case(theirs)) == 0;
}

bool accepts_digest(const char *answer, const ExpectedAnswer *e)
{
    if (strlen(answer) != DIGEST_CHARS)
        return false;
    char upper[DIGEST_TEXT];
    bool match = false;
    for (int i = 0; i < 2 && !match; i++)
        match = e->digest[i][0] && strcmp(answer, e->digest[i]) == 0;
    for (int i = 0; i < 2 && !match; i++) {
        copy_text(upper, sizeof upper, e->digest[i]);
        match = upper[0] && strcmp(answer, upper_case(upper)) == 0;
    }
    wipe(upper, sizeof upper);
    return match;
}

// has_state_extension - a name ending in ".TMP" in any case. The error
// markers end so too; being empty, they never load as a state file.
static bool has_state_extension(const char *name)
{
    size_t n = strlen(name);
    if (n < 4)
        return false;
    char extension[5];
    copy_text(extension, sizeof extension, name + n - 4);
    return strcmp(upper_case(extension), ".TMP") == 0;
}

// state_file_accepts - the file at path is a digest challenge that answer would pass.
static bool state_file_accepts(const char *path, const char *answer)
{
    ExpectedAnswer e;
    bool accepts = load_state_file(path, &e) && state_kind(e.kind)->digests && accepts_digest(answer, &e);
    wipe(&e, sizeof e);
    return accepts;
}

bool pending_challenge_accepts(const char *answer)
{
    PlatListing listing;
    if (!plat_open_listing(FILTER_DIR, &listing))
        return plat_exists(FILTER_DIR);
    char name[FILE_NAME_MAX], path[FILTER_PATH_MAX];
    bool accepts = false;
    while (!accepts && plat_next_name(&listing, name, sizeof name)) {
        if (!has_state_extension(name))
            continue;
        snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, name);
        accepts = state_file_accepts(path, answer);
    }
    plat_close_listing(&listing);
    return accepts;
}
