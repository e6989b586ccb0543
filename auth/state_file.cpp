// state_file.cpp - a challenge's state file, written and read back, and the
// challenges nobody answered ended.
//
// A state file holds the lines of its challenge (one to three) and, last,
// the line "CALL-SSID PORT METHOD TIME": two stations can share one file
// name (N0ABC-10 and N0ABC1-0 both give N0ABC10.TMP), and the last line
// tells whose challenge the file holds now, for which port and method it
// was put, and when. A challenge answered on another port, or for another
// method, would let one method's weak answer pass for a strong one's; one
// left waiting would keep a relay window open for ever. What each kind
// writes is one row of state_kinds, which the writer and the reader both
// follow. A name that is a link or a file with other names is never
// written or removed: the write would land in another file. Results only;
// nothing here reports an error.
#include "auth/state_file.h"
#include "auth/pending_digests.h"
#include "common/files_lock.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/wipe.h"
#include "config/filter_config.h"
#include "config/guard_config.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

enum { STATE_LINES_MAX = 4, DIGEST_CHARS = 32, FILE_NAME_MAX = 260, SWEEP_SECONDS = 60 };

// When expired state files were last looked for; 0 at load.
static long long last_sweep;

// The kinds' files. The blanks after some kind lines and after the forward
// challenge's MD5 digest are kept as they have always been written.
static const StateKind state_kinds[] = {
    // kind         kind line  digests  line 3  .tmp   plain  one answer  code
    {KIND_NORMAL,  nullptr,   false,   "",     false, true,  false,      false,
     "NORMAL: five positions of the password", EXPOSURE_POSITIONS},
    {KIND_FIXED,   " ",       false,   "",     false, true,  true,       false, "FIXED: the whole password",
     EXPOSURE_WHOLE},
    {KIND_MD,      " ",       true,    "",     true,  true,  false,      false,
     "MD5: five positions of the password, or the MD5 digest of the ten digits and the password",
     EXPOSURE_POSITIONS},
    {KIND_TABLE,   "",        false,   "",     false, true,  false,      false,
     "TABLE: five positions of today's password from the station's table", EXPOSURE_POSITIONS},
    {KIND_FLEXNET, " ",       false,   "",     false, true,  true,       false,
     "FLEXNET: the five digits weighted by the key", EXPOSURE_EQUATIONS},
    {KIND_FORWARD, "",        true,    " ",    true,  false, true,       false,
     "FORWARD: the MD5 digest of the ten digits and the password", EXPOSURE_NONE},
    // Line 1 names the kind of code: the file holds no expected answer.
    {KIND_TOTP,    "",        false,   "",     false, false, false,      true,
     "TOTP: the six-digit code of the current 30-second step, from the station's app", EXPOSURE_NONE},
    {KIND_HOTP,    "",        false,   "",     false, false, false,      true,
     "HOTP: the six-digit code of the number shown, from the station's printed list", EXPOSURE_NONE},
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
static void write_state_lines(FILE *f, const StateKind *k, int method, const char *plain, const char *md2,
                              const char *md5, const char *heard)
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
    fprintf(f, "%s %d %d %lld", station, (uint8_t)connection_info.port, method, (long long)plat_now_seconds());
    if (heard && heard[0])
        fprintf(f, " %s", heard);
    fprintf(f, "\n");
}

// write_whole - the state file under a temporary name, put in place once whole.
static bool write_whole(const char *path, int kind, int method, const char *plain, const char *md2, const char *md5,
                        const char *heard)
{
    static PlatReplacement replacement;   // large for a stack; one state file is written at a time
    FILE *f = plat_open_replacement(path, true, &replacement);
    if (!f)
        return false;
    write_state_lines(f, state_kind(kind), method, plain, md2, md5, heard);
    // The new file takes the old one's place only when written whole, so a
    // crash never loses a pending challenge; when it fails, the old one goes
    // too, so no challenge stays pending that this call's refusal did not show.
    bool ok = plat_commit_replacement(&replacement);
    if (!ok)
        plat_remove(path);
    return ok;
}

static bool may_hold_digest(const char *path);

// A digest challenge is listed before it is written, and the lock is held
// until it is: a station's other connection that ends its old challenge
// meanwhile cannot take the name out of the index in between.
bool write_state_file(const char *path, int kind, int method, const char *plain, const char *md2, const char *md5,
                      const char *heard)
{
    bool digests = state_kind(kind)->digests;
    lock_filter_files();
    bool listed = !digests || note_pending_digest(path, may_hold_digest);
    bool ok = listed && write_whole(path, kind, method, plain, md2, md5, heard);
    if (!listed)
        plat_remove(path);
    unlock_filter_files();
    if (!digests || !ok)
        forget_pending_digest(path, may_hold_digest);
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

// parse_station_line - the station and, when given, the port, method and
// time, and the note of what a right answer lets a listener hear (files
// written before the note was kept have none).
static void parse_station_line(const char *line, ExpectedAnswer *e)
{
    char station[STATE_LINE], heard[HEARD_NOTE_TEXT];
    int n = sscanf(line, "%299s %d %d %lld %47s", station, &e->port, &e->method, &e->put_at, heard);
    copy_text(e->station, sizeof e->station, n >= 1 ? station : "");
    copy_text(e->heard, sizeof e->heard, n == 5 ? heard : "");
    e->bound = n >= 4;
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
    parse_station_line(lines[challenge_lines], e);
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

bool is_expired(const ExpectedAnswer *e)
{
    long long now = (long long)plat_now_seconds(), lifetime = challenge_lifetime_seconds();
    return !e->bound || now - e->put_at >= lifetime || e->put_at - now > lifetime;
}

bool plain_answer_allowed(int kind)
{
    const StateKind *k = state_kind(kind);
    if (!k->plain_answer)
        return false;
    return !(k->digests && (filter_config.challenge_policy & POLICY_DIGEST_ONLY));
}

bool answer_can_be_guessed(int kind)
{
    return state_kind(kind)->one_time_code || plain_answer_allowed(kind);
}

bool station_challenge_pending(short *kind)
{
    char path[FILTER_PATH_MAX];
    ExpectedAnswer e;
    state_file_path(path, sizeof path, false);
    bool pending = load_state_file(path, &e) && names_this_station(&e) && !is_expired(&e);
    *kind = e.kind;
    wipe(&e, sizeof e);
    return pending;
}

bool remove_state_file(const char *path)
{
    if (plat_file_kind(path) == PLAT_OTHER_FILE || !plat_remove(path))
        return false;
    forget_pending_digest(path, may_hold_digest);
    return true;
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

// has_state_extension - a name ending in ".TMP" in any case.
static bool has_state_extension(const char *name)
{
    size_t n = strlen(name);
    if (n < 4)
        return false;
    char extension[5];
    copy_text(extension, sizeof extension, name + n - 4);
    return strcmp(upper_case(extension), ".TMP") == 0;
}

// is_error_marker - ERROR<code>.TMP or ERROR<code>-<file>.TMP, in any case:
// empty files beside the state files, never a challenge.
static bool is_error_marker(const char *name)
{
    char head[6];
    copy_text(head, sizeof head, name);
    return strcmp(upper_case(head), "ERROR") == 0 && name[5] >= '0' && name[5] <= '9';
}

// is_state_file_name - a name of the filter directory that a challenge could have written.
static bool is_state_file_name(const char *name)
{
    return has_state_extension(name) && !is_error_marker(name);
}

// file_name_part - the name of path within the filter directory.
static const char *file_name_part(const char *path)
{
    const char *slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

enum Probe { PROBE_NOTHING, PROBE_UNREADABLE, PROBE_READ };

// probe_state_file - PROBE_READ with e filled for a state file read whole;
// PROBE_UNREADABLE for a name that cannot be read as a file of ours (a
// link, a directory, a file that does not open), which may hold anything;
// PROBE_NOTHING for a name that is gone or a file that is no state file.
static Probe probe_state_file(const char *path, ExpectedAnswer *e)
{
    PlatText probe;
    memset(e, 0, sizeof *e);
    PlatFileKind kind = plat_file_kind(path);
    if (kind == PLAT_NO_FILE)
        return PROBE_NOTHING;
    if (kind != PLAT_PLAIN_FILE || !plat_open_text(path, &probe))
        return PROBE_UNREADABLE;
    plat_close_text(&probe);
    return load_state_file(path, e) ? PROBE_READ : PROBE_NOTHING;
}

// may_hold_digest - the state file at path is a digest challenge, expired or
// not, or cannot be read and may hold one.
static bool may_hold_digest(const char *path)
{
    if (!is_state_file_name(file_name_part(path)))
        return false;
    ExpectedAnswer e;
    Probe p = probe_state_file(path, &e);
    bool holds = p == PROBE_UNREADABLE || (p == PROBE_READ && state_kind(e.kind)->digests);
    wipe(&e, sizeof e);
    return holds;
}

// state_file_accepts - the file at path is a digest challenge, not expired,
// that answer would pass, or cannot be read and may hold one.
static bool state_file_accepts(const char *path, const char *answer)
{
    ExpectedAnswer e;
    Probe p = probe_state_file(path, &e);
    bool accepts = p == PROBE_UNREADABLE ||
                   (p == PROBE_READ && state_kind(e.kind)->digests && !is_expired(&e) && accepts_digest(answer, &e));
    wipe(&e, sizeof e);
    return accepts;
}

// directory_accepts - pending_challenge_accepts by every state file of the
// directory, for a directory that has no index.
static bool directory_accepts(const char *answer)
{
    PlatListing listing;
    if (!plat_open_listing(FILTER_DIR, &listing))
        return plat_exists(FILTER_DIR);
    char name[FILE_NAME_MAX], path[FILTER_PATH_MAX];
    bool accepts = false;
    while (!accepts && plat_next_name(&listing, name, sizeof name)) {
        if (!is_state_file_name(name))
            continue;
        snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, name);
        accepts = state_file_accepts(path, answer);
    }
    plat_close_listing(&listing);
    return accepts;
}

// Only the files the index names can hold a digest challenge; the others
// are not read.
bool pending_challenge_accepts(const char *answer)
{
    PlatText index;
    int opened = open_pending_digests(&index);
    if (opened <= 0)
        return opened < 0 || directory_accepts(answer);
    char path[FILTER_PATH_MAX];
    bool accepts = false, failed = false;
    while (!accepts && next_pending_digest(&index, path, sizeof path, &failed))
        accepts = state_file_accepts(path, answer);
    plat_close_text(&index);
    return accepts || failed;
}

// remove_if_expired - the state file at path, when it is one of ours and its challenge has expired.
static void remove_if_expired(const char *path)
{
    ExpectedAnswer e;
    memset(&e, 0, sizeof e);
    if (plat_file_kind(path) == PLAT_PLAIN_FILE && load_state_file(path, &e) && is_expired(&e) && plat_remove(path))
        forget_pending_digest(path, may_hold_digest);
    wipe(&e, sizeof e);
}

// remove_if_left_behind - a temporary of a file rewritten whole that no
// process has written for a minute: one that ended while writing it left it.
static void remove_if_left_behind(const char *path)
{
    long age = 0;
    if (plat_file_age(path, &age) && age > SWEEP_SECONDS && plat_file_kind(path) == PLAT_PLAIN_FILE)
        plat_remove(path);
}

// The sweep reads every state file, so it runs at most once a minute: a
// challenge that expired meanwhile is refused at its answer and ignored by
// every reader all the same. It takes away the temporaries that processes
// which ended while rewriting a file left, whatever their number.
void remove_expired_state_files(void)
{
    long long now = (long long)plat_now_seconds();
    if (last_sweep != 0 && now - last_sweep < SWEEP_SECONDS && now >= last_sweep)
        return;
    last_sweep = now;
    PlatListing listing;
    if (!plat_open_listing(FILTER_DIR, &listing))
        return;
    char name[FILE_NAME_MAX], path[FILTER_PATH_MAX];
    while (plat_next_name(&listing, name, sizeof name)) {
        bool temporary = plat_is_temporary_name(name);
        if (!temporary && !is_state_file_name(name))
            continue;
        snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, name);
        if (temporary)
            remove_if_left_behind(path);
        else
            remove_if_expired(path);
    }
    plat_close_listing(&listing);
}

// upper_char - an ASCII letter in upper case; any other character as it is.
static char upper_char(char c)
{
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

// is_callsign_file_name - name is "<callsign><ssid>.TMP" (any case) for
// some SSID of the callsign: the name of one of its state files, or of a
// station whose callsign goes on in digits (N0ABC1-0 writes N0ABC10.TMP).
static bool is_callsign_file_name(const char *name, const char *callsign)
{
    size_t call = strlen(callsign), n = strlen(name);
    if (call == 0 || n <= call + 4 || !has_state_extension(name))
        return false;
    for (size_t i = 0; i < call; i++)
        if (upper_char(name[i]) != upper_char(callsign[i]))
            return false;
    return strspn(name + call, "0123456789") == n - call - 4;
}

// is_callsign_station - the station line "CALL-SSID" names callsign (case aside).
static bool is_callsign_station(const char *station, const char *callsign)
{
    const char *dash = strrchr(station, '-');
    size_t call = strlen(callsign);
    if (!dash || (size_t)(dash - station) != call)
        return false;
    for (size_t i = 0; i < call; i++)
        if (upper_char(station[i]) != upper_char(callsign[i]))
            return false;
    return true;
}

// end_if_guessable - the state file at path, when it is a challenge of the
// callsign on a port other than the console, that a guess could answer.
static void end_if_guessable(const char *path)
{
    ExpectedAnswer e;
    memset(&e, 0, sizeof e);
    if (plat_file_kind(path) == PLAT_PLAIN_FILE && load_state_file(path, &e) &&
        is_callsign_station(e.station, connection_info.callsign) && e.port != 0 && answer_can_be_guessed(e.kind))
        remove_state_file(path);
    wipe(&e, sizeof e);
}

// A telnet front end passes SSIDs far above 15, so the directory is
// listed rather than the sixteen names tried.
void end_callsign_challenges(void)
{
    PlatListing listing;
    if (!plat_open_listing(FILTER_DIR, &listing))
        return;
    char name[FILE_NAME_MAX], path[FILTER_PATH_MAX];
    while (plat_next_name(&listing, name, sizeof name)) {
        if (!is_callsign_file_name(name, connection_info.callsign))
            continue;
        snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, name);
        end_if_guessable(path);
    }
    plat_close_listing(&listing);
}

void state_files_reset(void)
{
    last_sweep = 0;
}
