// user_list.cpp - the station's entry in users.prt.
//
// The station's entry header is searched by callsign with SSID, then bare
// callsign, then console entry, all in one reading; then the entry's lines
// are read up to the first one for the connection's port. Only the station's
// own entry is checked: a wrong line in it is error 7 with its physical line
// number. A missing users.prt is no error.
#include "config/user_list.h"
#include "common/error_hook.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/otp_secret.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "common/wipe.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { PATTERN_MAX = 11, ENTRY_TOKEN_MAX = 20, KEY_SIZE = 16 };

// How reading the entry ended.
enum EntryResult { ENTRY_NO_LINE, ENTRY_FOUND, ENTRY_BAD_LINE, ENTRY_ERROR };

bool match_call_pattern(const char *pattern, const char *key)
{
    size_t i = 0;
    for (; pattern[i] && key[i]; i++) {
        if (pattern[i] == '*' && i > 0 && pattern[i + 1] == '\0')
            return true;
        if (pattern[i] != '*' && pattern[i] != '?' && pattern[i] != key[i])
            return false;
    }
    return pattern[i] == '\0' && key[i] == '\0';
}

// first_token - the first token of a line in upper case, held in 11
// characters. No key is longer than 10 characters (callsign, "-", SSID), so
// a longer pattern cut to 11 never matches a station, while a long row of
// dashes still ends an entry and a long CONSOL... header still counts.
static bool first_token(const char *line, char *token)
{
    // Read by hand, as "%11s" would: this runs for every line of a large list.
    while (*line == ' ' || (*line >= '\t' && *line <= '\r'))
        line++;
    size_t n = 0;
    for (; n < PATTERN_MAX && line[n] && line[n] != ' ' && !(line[n] >= '\t' && line[n] <= '\r'); n++)
        token[n] = (line[n] >= 'a' && line[n] <= 'z') ? (char)(line[n] - 'a' + 'A') : line[n];
    token[n] = '\0';
    return n > 0;
}

// cannot_be_header - a line whose first token can neither match the station
// (its first character is not the key's, "?" or "*"), nor be a console header
// or an end line; most entry lines of a large list are passed over this way,
// looked at where they lie in the reader's block, never copied.
static bool cannot_be_header(const PlatPiece *piece, char key_first)
{
    const char *p = piece->text, *end = piece->text + piece->length;
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        p++;
    char c = p == end ? '\0' : (*p >= 'a' && *p <= 'z') ? (char)(*p - 'a' + 'A') : *p;
    return c != '\0' && c != key_first && c != '?' && c != '*' && c != '-' && c != 'C';
}

// HeaderMark - a header found by a later pass: its physical line number and
// the file position right after it (-1 when the position could not be taken).
struct HeaderMark {
    int line;
    long long position;
};

// mark_header - remember the first header of a pass.
static void mark_header(HeaderMark *mark, PlatText *in, int line)
{
    if (mark->line)
        return;
    mark->line = line;
    mark->position = plat_text_tell(in);
}

// return_to_header - put the file right after a marked header; false when it cannot.
static bool return_to_header(PlatText *in, const HeaderMark *mark)
{
    if (mark->position >= 0 && plat_text_seek(in, mark->position))
        return true;
    char line[USERS_LINE_SIZE];
    int physical = 0;
    if (!plat_text_seek(in, 0))
        return false;
    while (physical < mark->line && read_significant_line(in, line, sizeof line, &physical))
        ;
    wipe(line, sizeof line);
    return physical == mark->line;
}

// search_headers - the first header of the station with SSID (its physical
// line number, the file standing after it), else 0 with the first bare and
// console headers marked. Patterns are upper case, so the keys are too.
static int search_headers(PlatText *in, char *line, char *token, HeaderMark *bare, HeaderMark *console)
{
    char callsign[sizeof connection_info.callsign], key[KEY_SIZE];
    bool at_header = true;
    int physical = 0;
    PlatPiece piece;
    copy_text(callsign, sizeof callsign, connection_info.callsign);
    upper_case(callsign);
    snprintf(key, sizeof key, "%s-%u", callsign, (unsigned)connection_info.ssid);
    while (next_significant_piece(in, USERS_LINE_SIZE, &piece, &physical)) {
        if (cannot_be_header(&piece, key[0])) {
            at_header = false;
            continue;
        }
        plat_copy_piece(&piece, line);
        if (!first_token(line, token))
            continue;
        if (match_call_pattern(token, key))
            return physical;
        if (match_call_pattern(token, callsign))
            mark_header(bare, in, physical);
        if (connection_info.port == 0 && at_header && starts_with(token, "CONSOL"))
            mark_header(console, in, physical);
        at_header = token[0] == '-';
    }
    return 0;
}

// find_header - the station's entry header; the file stands after it. Its
// physical line number, or 0 when there is none. The three searches (callsign
// with SSID, bare callsign, console entry at a header position) are served by
// one reading: a match with SSID anywhere wins at once, else the first bare
// match, else, on the console port, the first console header. The lines read
// on the way belong to other stations' entries, passwords and all.
static int find_header(PlatText *in)
{
    char line[USERS_LINE_SIZE], token[PATTERN_MAX + 1];
    HeaderMark bare = {0, -1}, console = {0, -1};
    int physical = search_headers(in, line, token, &bare, &console);
    wipe(line, sizeof line);
    wipe(token, sizeof token);
    if (physical) {
        trace(TRACE_HEADER, physical, 1, "users.prt");
        return physical;
    }
    const HeaderMark *found = bare.line ? &bare : console.line ? &console : nullptr;
    if (!found || !return_to_header(in, found))
        return 0;
    trace(TRACE_HEADER, found->line, found == &bare ? 2 : 3, "users.prt");
    return found->line;
}

// needs_password - the method puts a challenge built on the password.
static bool needs_password(unsigned method)
{
    const AccessMethod *m = find_access_method(method);
    return m && m->needs_password;
}

// entry_port_matches - the port field against the connection's port; false
// with *reported set when an unknown port name was reported.
static bool entry_port_matches(const char *token, int line_number, bool *reported)
{
    if (strlen(token) <= 2) {
        if (token[0] == '*')
            return true;
        return (uint8_t)strtol(token, nullptr, 10) == (uint8_t)connection_info.port;
    }
    uint8_t port = port_from_name(token, line_number, true);
    *reported = port == PORT_UNRESOLVED;
    return port == PORT_ALL || (!*reported && port == (uint8_t)connection_info.port);
}

// entry_method - the method field, stored in user_entry; false after an unknown keyword was reported.
static bool entry_method(const char *token, int line_number)
{
    int method = strlen(token) <= 2 ? (uint8_t)strtol(token, nullptr, 10)
                                    : method_from_keyword(token, line_number, true);
    user_entry.method = method < 0 ? (uint16_t)METHOD_UNKNOWN : (uint16_t)method;
    return method >= 0;
}

// secret_is_valid - a shared secret in base32 of at least 128 bits.
static bool secret_is_valid(const char *password)
{
    unsigned char secret[OTP_SECRET_MAX];
    bool valid = otp_secret_decode(password, secret) >= 0;
    wipe(secret, sizeof secret);
    return valid;
}

// password_is_valid - present, and of the length and characters its method
// asks: FLEXNET's key is five digits, as any other character would weigh
// nothing and a key without digits would expect 0 from every challenge; a
// method that takes a secret needs a usable one.
static bool password_is_valid(int fields, const char *password)
{
    if (fields < 3 || !password[0])
        return false;
    const AccessMethod *m = find_access_method(user_entry.method);
    if (!m)
        return true;
    if (m->password_is_secret)
        return secret_is_valid(password);
    size_t length = strlen(password);
    return (!m->password_length || length == m->password_length) &&
           (!m->password_digits || strspn(password, "0123456789") == length);
}

EntryLineResult parse_entry_line(const char *line, int line_number, EntryLine *out)
{
    char port[ENTRY_TOKEN_MAX + 1], method[ENTRY_TOKEN_MAX + 1];
    int fields = sscanf(line, "%20s %20s %300s", port, method, out->password);
    out->matches = false;
    out->password_ok = false;
    if (fields >= 1 && port[0] == '-')
        return ENTRY_LINE_END;
    if (fields < 2)
        return ENTRY_LINE_BAD;
    bool reported = false;
    out->matches = entry_port_matches(upper_case(port), line_number, &reported);
    if (reported || !entry_method(upper_case(method), line_number))
        return ENTRY_LINE_REPORTED;
    out->method = user_entry.method;
    out->needs_password = needs_password(out->method);
    out->password_ok = password_is_valid(fields, out->password);
    return ENTRY_LINE_OK;
}

// judge_entry_line - one line of the station's entry: ENTRY_FOUND when it is
// the line for the connection's port, ENTRY_BAD_LINE when it is wrong and
// still to be reported, ENTRY_ERROR after a lookup reported it, ENTRY_NO_LINE
// to read on. *ended is set by an end line. parsed is scratch room.
static EntryResult judge_entry_line(const char *line, int line_number, bool *ended, EntryLine *parsed)
{
    switch (parse_entry_line(line, line_number, parsed)) {
    case ENTRY_LINE_END: *ended = true; return ENTRY_NO_LINE;
    case ENTRY_LINE_BAD: return ENTRY_BAD_LINE;
    case ENTRY_LINE_REPORTED: return ENTRY_ERROR;
    default: break;
    }
    if (!parsed->matches)
        return ENTRY_NO_LINE;
    if (!parsed->needs_password)
        return ENTRY_FOUND;
    if (!parsed->password_ok)
        return ENTRY_BAD_LINE;
    copy_text(user_entry.password, sizeof user_entry.password, parsed->password);
    return ENTRY_FOUND;
}

// read_entry - the lines after the header, up to the line for the
// connection's port, the end line or the end of the file. *line_number is
// the physical number of the last line read.
static EntryResult read_entry(PlatText *in, int *line_number)
{
    char line[USERS_LINE_SIZE];
    EntryLine parsed;
    EntryResult result = ENTRY_NO_LINE;
    bool ended = false;
    int header = *line_number;
    while (result == ENTRY_NO_LINE && !ended && read_significant_line(in, line, sizeof line, line_number))
        result = judge_entry_line(line, *line_number, &ended, &parsed);
    wipe(line, sizeof line);
    wipe(&parsed, sizeof parsed);
    if (result == ENTRY_FOUND)
        trace(TRACE_ENTRY_LINE, *line_number, user_entry.method, "users.prt");
    else if (result == ENTRY_NO_LINE)
        trace(TRACE_NO_ENTRY_LINE, header, 0, "users.prt");
    return result;
}

// What this call's lookup gave, or NOT_LOOKED_UP before it; a new call
// forgets it, since users.prt may have been edited between calls.
enum { NOT_LOOKED_UP = -2 };
static int8_t call_lookup = NOT_LOOKED_UP;

// search_user_entry - one reading of users.prt for the station's entry.
static int8_t search_user_entry(void)
{
    char path[FILTER_PATH_MAX];
    // The entry of the station looked up before, perhaps in another call,
    // must never stand in for this one's: a challenge would be drawn from
    // another station's password.
    wipe(&user_entry, sizeof user_entry);
    config_file_path("users.prt", path, sizeof path);
    PlatText f;
    if (!plat_open_text(path, &f)) {
        trace(TRACE_USERS_MISSING, 0, 0, path);
        return 0;
    }
    int line_number = find_header(&f);
    if (!line_number)
        trace(TRACE_NO_HEADER, 0, 0, path);
    EntryResult result = line_number ? read_entry(&f, &line_number) : ENTRY_NO_LINE;
    plat_close_text(&f);
    if (result == ENTRY_BAD_LINE)
        raise_error(ERR_USERS_LINE, (uint16_t)line_number);
    if (result == ENTRY_BAD_LINE || result == ENTRY_ERROR)
        return -1;
    resolve_error(ERR_USERS_LINE);
    return result == ENTRY_FOUND ? 1 : 0;
}

int8_t find_user_entry(void)
{
    call_lookup = search_user_entry();
    return call_lookup;
}

int8_t station_entry(void)
{
    if (call_lookup == NOT_LOOKED_UP)
        return find_user_entry();
    return call_lookup;
}

void user_list_new_call(void)
{
    call_lookup = NOT_LOOKED_UP;
}

void user_list_reset(void)
{
    memset(&user_entry, 0, sizeof user_entry);
    call_lookup = NOT_LOOKED_UP;
}
