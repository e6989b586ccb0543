// challenges.cpp - the password challenges: six drawn from the password,
// and the two asking for a one-time code.
//
// A challenge draws what it needs, writes the expected answers into the
// station's state file (the only link to the answering call), appends the
// challenge line to the reply and sets verdict 1. Draws come from the
// system's cryptographic generator: a challenge that could be foreseen, or
// that repeated within a second, could be answered by replay. When the
// generator fails no challenge is put and the station is refused. A state
// file that cannot be written is error 10, and the verdict is the one its
// report leaves (refused); a station under TABLE without a password table is
// error 4, and then, as when its table has no row for today, its caller runs
// the port's method. Nothing is appended on any of these failures.
#include "auth/challenges.h"
#include "auth/port_method.h"
#include "auth/digests.h"
#include "auth/exposure_record.h"
#include "auth/one_time_check.h"
#include "auth/state_file.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/records.h"
#include "common/reply.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "common/wipe.h"
#include "config/filter_config.h"
#include "config/user_list.h"
#include "platform/platform.h"
#include "report/errors.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

enum { POSITIONS = 5, CHALLENGE_DIGITS = DIGEST_DIGITS, TABLE_PROMPT = 96, DRAW_TRIES = 16 };

// The placeholder that stands for the plain answer of a forward challenge,
// which is answered by digest only.
static const char forward_placeholder[] = "XXXXX";

// kind_state_path - the state file of the station, as a challenge of kind names it.
static void kind_state_path(char *out, size_t size, int kind)
{
    state_file_path(out, size, state_kind(kind)->lower_extension);
}

// reload_on_answer - the station's entry of this call, which the answer's
// check has read already; false when the user list failed and the call
// stopped on its report.
static bool reload_on_answer(char *reply)
{
    if (station_entry() >= 0)
        return true;
    stop_on_report(reply);
    return false;
}

// refused_without_password - true when there is no password to draw from
// and the station was refused: a challenge would divide by zero or be
// answerable by anyone. Any pending challenge ends too.
static bool refused_without_password(const char *password, const char *path)
{
    if (password[0])
        return false;
    remove_state_file(path);
    verdict = VERDICT_REFUSED;
    return true;
}

// refused_without_draws - true when the generator failed and the station
// was refused; any pending challenge ends too, as it would by a new one.
static bool refused_without_draws(bool drawn, const char *path)
{
    if (drawn)
        return false;
    remove_state_file(path);
    verdict = VERDICT_REFUSED;
    return true;
}

// draw_below - a draw from 0 to bound - 1, all equally likely; false when
// the generator failed. Draws at or above the largest multiple of bound
// below 2^32 are thrown away, since they would favour the low remainders;
// each is thrown away with a chance below 1 in 65,536, so the bounded
// tries run out only when the generator is broken.
static bool draw_below(uint32_t bound, uint32_t *out)
{
    const uint64_t span = (uint64_t)1 << 32;
    const uint64_t limit = span - span % bound;
    for (int i = 0; i < DRAW_TRIES; i++) {
        uint32_t value;
        if (!plat_random_bytes(&value, sizeof value))
            return false;
        if (value < limit) {
            *out = value % bound;
            return true;
        }
    }
    return false;
}

// draw_positions - five 0-based positions into password (which is not
// empty); false when the generator failed. Every position is asked once
// before any is asked again: a challenge that repeated one position would
// be answered by a row of one letter, and a row of each letter fits in one
// answer. So a password of five or more characters gets five distinct ones.
static bool draw_positions(const char *password, int positions[POSITIONS])
{
    uint16_t length = (uint16_t)strlen(password);
    uint16_t pool[PASSWORD_MAX];
    uint16_t left = 0;
    for (int i = 0; i < POSITIONS; i++) {
        if (left == 0) {
            for (uint16_t p = 0; p < length; p++)
                pool[p] = p;
            left = length;
        }
        uint32_t pick;
        if (!draw_below(left, &pick))
            return false;
        positions[i] = pool[pick];
        pool[pick] = pool[--left];
    }
    return true;
}

// draw_digits - count decimal digits as characters, NUL-terminated; false when the generator failed.
static bool draw_digits(char *digits, int count)
{
    for (int i = 0; i < count; i++) {
        uint32_t digit;
        if (!draw_below(10, &digit))
            return false;
        digits[i] = (char)('0' + digit);
    }
    digits[count] = '\0';
    return true;
}

// heard_note - the note of what a right answer to a challenge of kind lets
// a listener hear: the tag of the password it was drawn from, and the
// positions (with the password's length) or the digits it shows. The
// answering call records it; the password may have changed by then, or
// for TABLE the day, and the note still names the one that was asked.
static void heard_note(int kind, const char *password, const int *positions, const char *digits,
                       char note[HEARD_NOTE_TEXT])
{
    HeardAnswer h;
    memset(&h, 0, sizeof h);
    h.kind = state_kind(kind)->heard;
    exposure_tag(password, h.tag);
    h.length = (int)strlen(password);
    for (int i = 0; positions && i < POSITIONS; i++)
        h.positions[i] = positions[i];
    copy_text(h.digits, sizeof h.digits, digits ? digits : "");
    format_heard_note(&h, note);
}

// put_state_file - write the state file of a challenge that method puts,
// readable by its owner only: it holds expected answers, for FIXED the whole
// password. False after error 10, also when the name is a link or a file
// with other names: writing through it would put the answers in another file.
static bool put_state_file(char *reply, const char *path, int kind, int method, const char *plain,
                           const char *heard, const char *md2 = nullptr, const char *md5 = nullptr)
{
    if (write_state_file(path, kind, method, plain, md2, md5, heard))
        return true;
    report_error(ERR_STATE_FILE, 0);
    stop_on_report(reply);
    return false;
}

// chosen_characters - the characters of password at the five positions.
static void chosen_characters(const char *password, const int p[POSITIONS], char out[POSITIONS + 1])
{
    for (int i = 0; i < POSITIONS; i++)
        out[i] = password[p[i]];
    out[POSITIONS] = '\0';
}

// challenge_put - the last step of every challenge that was written; the
// challenges nobody answered in time end here too.
static void challenge_put(int kind, const char *path)
{
    remove_expired_state_files();
    trace(TRACE_CHALLENGE, 0, kind, path);
    clear_error_marker(ERR_STATE_FILE);
    verdict = VERDICT_CHALLENGE;
}

// write_positions_file - the five characters at the drawn positions; false after error 10.
static bool write_positions_file(char *reply, const char *path, const char *password, const int positions[POSITIONS],
                                 int kind)
{
    char chosen[POSITIONS + 1], note[HEARD_NOTE_TEXT];
    chosen_characters(password, positions, chosen);
    heard_note(kind, password, positions, nullptr, note);
    bool written = put_state_file(reply, path, kind, kind == KIND_TABLE ? METHOD_TABLE : METHOD_NORMAL, chosen, note);
    wipe(chosen, sizeof chosen);
    return written;
}

// append_positions - the prompt and the positions, 1-based.
static void append_positions(char *reply, const char *prompt, const int p[POSITIONS])
{
    reply_appendf(reply, "\n%s %d %d %d %d %d\n", prompt, p[0] + 1, p[1] + 1, p[2] + 1, p[3] + 1, p[4] + 1);
}

// challenge_fixed - ask for the whole password.
void challenge_fixed(char *reply)
{
    char path[FILTER_PATH_MAX];
    kind_state_path(path, sizeof path, KIND_FIXED);
    if (refused_without_password(user_entry.password, path))
        return;
    char note[HEARD_NOTE_TEXT];
    heard_note(KIND_FIXED, user_entry.password, nullptr, nullptr, note);
    if (!put_state_file(reply, path, KIND_FIXED, METHOD_FIXED, user_entry.password, note))
        return;
    reply_appendf(reply, "\n%s ", filter_config.password_prompt);
    challenge_put(KIND_FIXED, path);
}

// positions_challenge - NORMAL and TABLE: five characters of password.
static void positions_challenge(char *reply, const char *password, const char *prompt, bool table)
{
    char path[FILTER_PATH_MAX];
    int positions[POSITIONS];
    int kind = table ? KIND_TABLE : KIND_NORMAL;
    kind_state_path(path, sizeof path, kind);
    if (refused_without_password(password, path))
        return;
    if (refused_without_draws(draw_positions(password, positions), path))
        return;
    if (!write_positions_file(reply, path, password, positions, kind))
        return;
    append_positions(reply, prompt, positions);
    if (table)
        clear_error_marker(ERR_NO_TABLE);
    challenge_put(kind, path);
}

// challenge_normal - ask for five characters of the password.
void challenge_normal(char *reply)
{
    if (!reload_on_answer(reply))
        return;
    positions_challenge(reply, user_entry.password, filter_config.password_prompt, false);
}

// table_prompt - the configured prompt up to its first ">", "_", the day,
// ">": PASSWORD_17> on the 17th. A prompt that starts with ">" keeps nothing
// before it and gives _17>.
static void table_prompt(char *out, size_t size)
{
    const char *prompt = filter_config.password_prompt;
    int kept = (int)strcspn(prompt, ">");
    snprintf(out, size, "%.*s_%d>", kept, prompt, call_clock.day);
}

bool open_station_table(const char *callsign, int ssid, PlatText *table)
{
    char specific[FILTER_PATH_MAX], general[FILTER_PATH_MAX];
    snprintf(general, sizeof general, "%s.TBL", callsign);
    if (ssid < 0)
        return open_filter_file(general, nullptr, false, table);
    snprintf(specific, sizeof specific, "%s%d.TBL", callsign, ssid);
    return open_specific_else_general(specific, general, nullptr, false, table);
}

// open_password_table - the table of the connection's station; false when none opens.
static bool open_password_table(PlatText *table)
{
    return open_station_table(connection_info.callsign, connection_info.ssid, table);
}

// table_row - a row of a password table: its day and its password
// (PASSWORD_MAX + 1 bytes); false for a row without both.
bool table_row(const char *line, short *day, char *password)
{
    return sscanf(line, "%hd %300s", day, password) == 2;
}

// read_todays_password - the password of the first row for today into
// todays (PASSWORD_MAX + 1 bytes); false when no row has today's day and a
// password. A row for today without a password is no row for today: the
// password of an earlier row (another day's) must never be asked for.
static bool read_todays_password(PlatText *table, char *todays)
{
    char line[TABLE_LINE_SIZE];
    char password[PASSWORD_MAX + 1];
    short day;
    bool found = false;
    while (!found && read_significant_line(table, line, sizeof line, nullptr)) {
        if (table_row(line, &day, password) && day == call_clock.day) {
            copy_text(todays, PASSWORD_MAX + 1, password);
            found = true;
        }
    }
    wipe(line, sizeof line);
    wipe(password, sizeof password);
    return found;
}

bool todays_table_password(char *todays)
{
    PlatText table;
    todays[0] = '\0';
    if (!open_password_table(&table))
        return false;
    bool found = read_todays_password(&table, todays);
    plat_close_text(&table);
    return found;
}

// challenge_table - five characters of today's password from the station's
// table; false when the table has no row for today and the port's method is
// to decide. No table at all is error 4, which stops the challenge, and the
// port's method decides through stop_on_report.
bool challenge_table(char *reply)
{
    char prompt[TABLE_PROMPT];
    char todays[PASSWORD_MAX + 1] = "";
    table_prompt(prompt, sizeof prompt);
    PlatText table;
    if (!open_password_table(&table)) {
        report_error(ERR_NO_TABLE, 0);
        stop_on_report(reply);
        return true;
    }
    bool found = read_todays_password(&table, todays);
    plat_close_text(&table);
    if (found)
        positions_challenge(reply, todays, prompt, true);
    wipe(todays, sizeof todays);
    return found;
}

// flexnet_sum - the sum of each drawn digit times the key digit at its
// place. users.prt admits only keys of five digits; anything else adds
// nothing, which a key of another form would turn into a sum of 0.
static int flexnet_sum(const char *key, const int digits[POSITIONS])
{
    int sum = 0;
    for (int i = 0; i < POSITIONS && key[i]; i++)
        if (key[i] >= '0' && key[i] <= '9')
            sum += digits[i] * (key[i] - '0');
    return sum;
}

// challenge_flexnet - five digits; the answer is their sum weighted by the
// key. The digits shown follow the sum on line 1, so that an answer may
// echo them: the answer's other digits are then its one number.
void challenge_flexnet(char *reply)
{
    char path[FILTER_PATH_MAX];
    char digits[POSITIONS + 1], sum[20];
    int d[POSITIONS];
    kind_state_path(path, sizeof path, KIND_FLEXNET);
    if (!reload_on_answer(reply))
        return;
    if (refused_without_password(user_entry.password, path))
        return;
    if (refused_without_draws(draw_digits(digits, POSITIONS), path))
        return;
    for (int i = 0; i < POSITIONS; i++)
        d[i] = digits[i] - '0';
    snprintf(sum, sizeof sum, "%d %s", flexnet_sum(user_entry.password, d), digits);
    char note[HEARD_NOTE_TEXT];
    heard_note(KIND_FLEXNET, user_entry.password, nullptr, digits, note);
    bool written = put_state_file(reply, path, KIND_FLEXNET, METHOD_FLEXNET, sum, note);
    wipe(sum, sizeof sum);
    if (!written)
        return;
    reply_appendf(reply, "\n%s %d%d%d%d%d\n", filter_config.password_prompt, d[0], d[1], d[2], d[3], d[4]);
    challenge_put(KIND_FLEXNET, path);
}

// digest_texts - MD2 and MD5 texts of the challenge digits followed by the password.
static void digest_texts(const char *digits, const char *password, char md2[DIGEST_TEXT], char md5[DIGEST_TEXT])
{
    digest_answer(digits, password, DIGEST_MD2, md2);
    digest_answer(digits, password, DIGEST_MD5, md5);
}

// write_md_file - five characters and both digests; false after error 10.
static bool write_md_file(char *reply, const char *path, const char *password, const int p[POSITIONS],
                          const char *md2, const char *md5)
{
    char chosen[POSITIONS + 1], note[HEARD_NOTE_TEXT];
    chosen_characters(password, p, chosen);
    heard_note(KIND_MD, password, p, nullptr, note);
    bool written = put_state_file(reply, path, KIND_MD, METHOD_MD5, chosen, note, md2, md5);
    wipe(chosen, sizeof chosen);
    return written;
}

// challenge_md - five positions and ten digits: answered by the characters or a digest.
void challenge_md(char *reply)
{
    char path[FILTER_PATH_MAX];
    int p[POSITIONS];
    char digits[CHALLENGE_DIGITS + 1];
    char md2[DIGEST_TEXT], md5[DIGEST_TEXT];
    kind_state_path(path, sizeof path, KIND_MD);
    if (!reload_on_answer(reply))
        return;
    if (refused_without_password(user_entry.password, path))
        return;
    bool drawn = draw_positions(user_entry.password, p) && draw_digits(digits, CHALLENGE_DIGITS);
    if (refused_without_draws(drawn, path))
        return;
    digest_texts(digits, user_entry.password, md2, md5);
    bool written = write_md_file(reply, path, user_entry.password, p, md2, md5);
    wipe(md2, sizeof md2);
    wipe(md5, sizeof md5);
    if (!written)
        return;
    reply_appendf(reply, "\n%s %d %d %d %d %d [%s]\n", filter_config.password_prompt, p[0] + 1, p[1] + 1,
                  p[2] + 1, p[3] + 1, p[4] + 1, digits);
    challenge_put(KIND_MD, path);
}

// challenge_forward - ten digits for a partner BBS, answered by digest only.
// FORWARD and FORWARD5 write the same file; the answering side differs.
void challenge_forward(char *reply)
{
    char path[FILTER_PATH_MAX];
    char digits[CHALLENGE_DIGITS + 1];
    char md2[DIGEST_TEXT], md5[DIGEST_TEXT];
    kind_state_path(path, sizeof path, KIND_FORWARD);
    if (refused_without_password(user_entry.password, path))
        return;
    if (refused_without_draws(draw_digits(digits, CHALLENGE_DIGITS), path))
        return;
    digest_texts(digits, user_entry.password, md2, md5);
    bool written = put_state_file(reply, path, KIND_FORWARD, user_entry.method, forward_placeholder, nullptr, md2, md5);
    wipe(md2, sizeof md2);
    wipe(md5, sizeof md5);
    if (!written)
        return;
    reply_appendf(reply, "\n![%s]\n", digits);
    challenge_put(KIND_FORWARD, path);
}

// one_time_challenge - the prompt and the kind of code; HOTP adds the number
// of the next unused code, so a caller with a list knows which line to read.
// The state file holds no expected answer: the code is worked out from the
// secret when the answer comes. A record of used codes that cannot be read
// is error 10 naming it, with a marker of its own.
static void one_time_challenge(CodeKind code, int kind, char *reply)
{
    char path[FILTER_PATH_MAX];
    uint64_t next = 0;
    kind_state_path(path, sizeof path, kind);
    if (!reload_on_answer(reply))
        return;
    // On an answering call the entry was read again, and may name another
    // method by now: a password that is no secret gives no challenge.
    if (refused_without_password(entry_has_secret() ? user_entry.password : "", path))
        return;
    // Without the record a used code could pass again: refused, whatever
    // the report leaves.
    if (code == CODE_HOTP) {
        if (!next_code_number(&next)) {
            remove_state_file(path);
            report_error_in(ERR_STATE_FILE, 0, CODE_USE_FILE);
            verdict = VERDICT_REFUSED;
            return;
        }
        clear_error_marker_in(ERR_STATE_FILE, CODE_USE_FILE);
    }
    int method = code == CODE_HOTP ? METHOD_HOTP : METHOD_TOTP;
    if (!put_state_file(reply, path, kind, method, code_kind_name(code), nullptr))
        return;
    if (code == CODE_HOTP)
        reply_appendf(reply, "\n%s HOTP %llu\n", filter_config.password_prompt, (unsigned long long)next);
    else
        reply_appendf(reply, "\n%s TOTP\n", filter_config.password_prompt);
    challenge_put(kind, path);
}

void challenge_totp(char *reply)
{
    one_time_challenge(CODE_TOTP, KIND_TOTP, reply);
}

void challenge_hotp(char *reply)
{
    one_time_challenge(CODE_HOTP, KIND_HOTP, reply);
}
