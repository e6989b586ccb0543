// Whole sessions on one loaded library: a script of host calls and file edits.
//
// Each input is a text script, one operation a line; the letter at the start of
// a line names it and blank-separated fields follow (missing fields take their
// defaults, numbers are read leniently and folded into range):
//
//   C st [port [flags [count [m]]]]   new connection of station st ("m": no memory)
//   R st [p|2|5|u]                    right answer to st's last challenge: the
//                                     characters, the MD2 or MD5 digest, or MD5
//                                     in upper case (digest challenges take MD5)
//   W st [text]                       wrong answer (default "wrong")
//   A st attempt port text            any answer text with any attempt number
//   F st [text]                       forward login to partner st (default a
//                                     challenge line "![0123456789]")
//   S cmd [arg [d]]                   sysop command 0..5 (-log -on -off -pnormal
//                                     -pbbs, an unknown word) through svc_main,
//                                     or dll_main with "d"
//   T minutes                         the clock moves on (or back)
//   E file variant                    swap a file of the host directory for
//                                     one of its sound or faulty variants
//   X st variant                      write or remove st's challenge state file
//   L                                 the host reloads the library
//   D kind n file [p]                 the n-th removal, cut-back, close, write
//                                     or renaming (kind 0..4) of a mail file
//                                     (the import file, mail.prt, the lock,
//                                     any) fails, with "p" every later one too
//   K n                               the next call is ended (the host
//                                     killed) at its n-th change to the disk
//                                     (1..64); the library is loaded afresh
//                                     and a connection of N0CALL-1 recovers
//
// After every call the mail is checked: every message in the import file
// and in mail.prt is whole (from "#" to "/EX"), except in a file whose
// failed cut-back the filter still owes and guards, and there are never
// more messages than the filter has written (a flush that copies mail.prt
// twice would show). After a call that was ended and the call that
// recovers, every message is whole and none is there less often than before
// or more often than before and begun since, by recipient and subject: a
// message lost, torn or delivered twice would show.
// Every call runs on a small stack (fuzz_svc); the library's load-time state
// and the host directory are restored before each input. The target knows its
// stations' passwords and computes a right answer from the challenge in the
// reply. With FUZZ_SOUND set (seeds meant to be sound) a right answer must be
// accepted, a forward answer must be the right digest and no error may be
// reported; with FUZZ_TRACE set every call, verdict, reply and error is printed.
#include "auth/digests.h"
#include "common/trace.h"
#include "tools/shared/caller_answer.h"
#include "filter/filter_state.h"
#include "fuzz_host.h"
#include "platform/platform.h"
#include "platform/test_hooks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Station {
    const char *call;      // as the host passes it
    const char *password;  // null: none, or the password table's
    const char *table;     // the station's own password table, or null
};

const Station stations[] = {
    {"N0CALL-1", "Norm4lPass", nullptr},    // NORMAL
    {"N0CALL-2", "md5-Secret", nullptr},    // MD5
    {"N0CALL-3", nullptr, "N0CALL3.TBL"},   // TABLE
    {"N0CALL-4", "31415", nullptr},         // FLEXNET
    {"N0CALL-5", "Fix3dPhrase", nullptr},   // FIXED
    {"N0CALL-6", "fwd2pass", nullptr},      // FORWARD
    {"N0CALL-7", "fwd5pass", nullptr},      // FORWARD5
    {"N0CALL-8", nullptr, nullptr},         // EXCLUDED
    {"N0CALL-9", nullptr, nullptr},         // a method per port
    {"N0BBS-0", nullptr, nullptr},          // BBS
    {"N1NEW-0", "C0nsolePw", nullptr},      // no entry: the port's method, the console entry on port 0
    {"N2ABC-7", "wildPass", nullptr},       // found by a pattern, MD5
    {"N0CALL-10", nullptr, nullptr},        // READONLY, HOLD, GUEST
    {"N0CALL-11", "numMd5Pw", nullptr},     // methods by number
    {"N3TBL-2", nullptr, "N3TBL2.TBL"},     // TABLE without a table of its own
};
const int station_count = sizeof stations / sizeof stations[0];

// The users.prt entries of the sound variant; the others change methods or
// break lines, never a station's password.
const char users_sound[] =
    "# station entries\n"
    "N0CALL-1\n* NORMAL Norm4lPass\n-\n"
    "N0CALL-2\n* MD5 md5-Secret\n-\n"
    "N0CALL-3\n* TABLE\n-\n"
    "N0CALL-4\n* FLEXNET 31415\n-\n"
    "N0CALL-5\n* FIXED Fix3dPhrase\n-\n"
    "N0CALL-6\n* FORWARD fwd2pass\n-\n"
    "N0CALL-7\n* FORWARD5 fwd5pass\n-\n"
    "N0CALL-8\n* EXCLUDED\n-\n"
    "N0CALL-9\n1 CLOSED\n2 GUEST\n3 SOLOLEER\n4 RETENIDOS\n0 ABIERTO\n-\n"
    "N0BBS-0\nALL BBS\n-\n"
    "N2*\n* MD5 wildPass\n-\n"
    "N0CALL-10\n144.800 READONLY\n433.500 HOLD\nTODOS GUEST\n-\n"
    "N0CALL-11\n1 0\n2 99\n* 6 numMd5Pw\n-\n"
    "N3TBL-2\n* TABLA\n-\n"
    "CONSOLE\n0 NORMAL C0nsolePw\n-\n";

// The config.prt options of the sound variant; the port lines follow.
#define CONFIG_OPTIONS \
    "**\nN0SYS N1SYS\n3\nPASSWORD>\nOK\nOK\nOK\nOK\nOK XS\nOK TM\nOK\nOK CDWM\nOK\nOK\n"

const char *const config_variants[] = {
    CONFIG_OPTIONS "1 OPEN\n2 READONLY\n3 OPEN\n4 CLOSED\nCONSOLE OPEN\n",
    "lang.txt\nN0SYS\n5 CR CH\nPASSWORD>\nok\nno\nno\nno\nOK N\nNO\nNO\nOK\nNO\nOK\n"
    "144.800 EXCLUDED\n433.500 HOLD\nvhf BBS\nhf READONLY\nCONSOLE CLOSED\n",
    "**\nN0SYS\n1\n",
    CONFIG_OPTIONS "3 OPEN\n4 TABLE\n",
    CONFIG_OPTIONS "1 NORMAL\n2 OPEN\n",
    "**\nN0SYS\n9 R\n",
    CONFIG_OPTIONS "mars OPEN\n1 SOMETIMES\n",
    nullptr,
    "**\nN0SYS N1SYS N2SYS N3SYS N4SYS N5SYS\n2 H CDN\nClave:\nOK\nOK\nOK\nOK\nOK\nOK M\nOK\nOK D\nOK\nOK\n"
    "3 11\n4 12\n1 2\n2 3\n0 8\n",
    "**\r\nN0SYS\r\n\r\n3 R RH\r\nPASSWORD>\r\nOK\r\nOK\r\nOK\r\nOK\r\nOK\r\nOK T\r\nOK\r\nOK W\r\nOK\r\nOK\r\n"
    "1 OPEN\r\n2 OPEN\r\n3 OPEN\r\n4 OPEN\r\n",
    CONFIG_OPTIONS "3 0\n200 OPEN\n-1 OPEN\n",
    "# only comments\n\n",
    CONFIG_OPTIONS "1 OPEN\nCONSOLE TABLE\n2 FIXED\n3 TABLE\n4 NORMAL\n",
};

const char *const users_variants[] = {
    users_sound,
    "N0CALL-1\n* MD5 Norm4lPass\n-\nN0CALL-2\n* NORMAL md5-Secret\n-\nN0CALL-3\n3 TABLE\n* FIXED x\n-\n"
    "N0CALL-4\n* FIXED 31415\n-\nN0CALL-5\n* FLEXNET 12345\n-\nN0CALL-6\n* FORWARD5 fwd2pass\n-\n"
    "N0CALL-7\n* FORWARD fwd5pass\n-\nN0CALL*\n* TABLE\n-\nCONSOLE\n0 MD5 C0nsolePw\n-\n",
    "N0CALL-1\n1\n-\nN0CALL-2\n* MD5\n-\nN0CALL-4\n* FLEXNET 1234\n-\nN0CALL-5\n* SOMETIMES x\n-\n"
    "N0CALL-6\nmars FORWARD fwd2pass\n-\nN0CALL-3\n   \n* TABLE\n-\n",
    nullptr,
    "N0CALL-1\r\n\r\n* NORMAL Norm4lPass\r\n-\r\nN0CALL-2\r\n* MD5 md5-Secret\r\nN0CALL-3\r\n* TABLE\r\n",
    "N0CALL-1\n* TABLE\n-\nN0CALL-2\n* TABLE\n-\nN0CALL-3\n* TABLE\n-\nN0CALL-4\n* TABLE\n-\n"
    "N*\n* TABLE\n-\nCONSOLE\n0 TABLE\n-\n",
    "",
};

// table_rows - a password table with a row for every day of a month.
std::string table_rows(bool crlf)
{
    std::string rows = "# day password\n";
    for (int day = 1; day <= 31; day++)
        rows += std::to_string(day) + " Day" + std::to_string(day) + "Pw" + (crlf ? "\r\n" : "\n");
    return rows;
}

const std::string table_every_day = table_rows(false);
const std::string table_every_day_crlf = table_rows(true);

const char *const table_variants[] = {
    table_every_day.c_str(),
    "1 firstPw\n31 lastPw\n",
    "# no rows\n\n",
    nullptr,
    "8 first8\n8 second8\nx y\n 9 spaced9\n",
    table_every_day_crlf.c_str(),
    "8\n9\n",
};

// lang_lines - a language file of n texts.
std::string lang_lines(int n, const char *end)
{
    std::string text = "# texts\n";
    for (int i = 1; i <= n; i++)
        text += "Text " + std::to_string(i) + end;
    return text;
}

const std::string lang_29 = lang_lines(29, "\n"), lang_28 = lang_lines(28, "\n"),
                  lang_30 = lang_lines(30, "\n"), lang_29_crlf = lang_lines(29, "\r\n");

// long_text - a text longer than the whole reply buffer.
std::string long_text(void)
{
    std::string text;
    for (int i = 0; i < 60; i++)
        text += std::string(99, (char)('a' + i % 26)) + "\n";
    return text;
}

const std::string text_long = long_text();

const char *const text_variants[] = {
    "A short text.\n",
    nullptr,
    text_long.c_str(),
    "Two lines\r\nwith CRLF\r\n",
    "",
};

const char *const lang_variants[] = {lang_29.c_str(), nullptr, lang_28.c_str(), lang_30.c_str(),
                                     lang_29_crlf.c_str()};

const char *const logusr_variants[] = {
    "N0CALL-1 CDWM\nN0CALL D\nN0CALL-9 WW\n", nullptr, "N0CALL-9 DD\nN0BBS-0 M\n", "N0CALL\n", "\r\n# x\r\n"};

const char startup_sound[] =
    "N0BBS\nline 2\nline 3\nline 4\nsystem\\\nline 6\nline 7\nline 8\nline 9\nline 10\nline 11\n"
    "n0sys\nline 13\nmail\\mail.in\n";
const char *const startup_variants[] = {startup_sound, nullptr, "N0BBS\n"};

struct EditableFile {
    const char *path;
    const char *const *variants;
    int count;
    bool present;  // written (variant 0) before every input; else absent then
};

#define FILE_OF(path, variants, present) {path, variants, (int)(sizeof variants / sizeof variants[0]), present}

const EditableFile editable[] = {
    FILE_OF("morvel/config.prt", config_variants, true),
    FILE_OF("morvel/users.prt", users_variants, true),
    FILE_OF("morvel/N0CALL3.TBL", table_variants, true),
    FILE_OF("morvel/N0CALL.TBL", table_variants, false),
    FILE_OF("morvel/lang.txt", lang_variants, true),
    FILE_OF("morvel/open.prt", text_variants, true),
    FILE_OF("morvel/excluded.prt", text_variants, true),
    FILE_OF("morvel/info.prt", text_variants, true),
    FILE_OF("morvel/intro.prt", text_variants, true),
    FILE_OF("morvel/guest.prt", text_variants, true),
    FILE_OF("morvel/newtxt.prt", text_variants, true),
    FILE_OF("morvel/newmsg.prt", text_variants, true),
    FILE_OF("morvel/N0CALL1.ent", text_variants, false),
    FILE_OF("morvel/open3.prt", text_variants, false),
    FILE_OF("morvel/logusr.prt", logusr_variants, false),
    FILE_OF("init.srv", startup_variants, true),
};
const int editable_count = sizeof editable / sizeof editable[0];
// Beyond the files: the host's mail lock, the mail directory, an open that fails.
const int edit_mail_lock = editable_count, edit_mail_directory = editable_count + 1,
          edit_failing_open = editable_count + 2;

const char *const failing_paths[] = {
    nullptr, "morvel\\error.prt", "morvel\\users.prt", "morvel\\config.prt", "MAIL\\MAIL.IN",
    "morvel\\mail.prt", "morvel\\N0CALL1.TMP", "morvel\\N0CALL3.TBL", "morvel\\logusr.prt",
};

const char *const state_variants[] = {
    nullptr, "", "abcde\n", "x\n6 \n", "12\n9 ", "XXXXX 0123\n10\n", "abcde 0123\n6 \n0123",
};

const char *const sysop_words[] = {"-log", "-on", "-off", "-pnormal", "-pbbs", "-nothing"};

// What the host and the target know of a station between calls.
struct Pending {
    int attempt;           // answers given to the current challenge
    int port;              // port of the challenge
    bool known;            // a right answer could be computed
    bool digest_challenge; // MD5 method or forward challenge
    bool forward;          // a forward challenge (no plain answer)
    long put_minute;       // the session's minute when the challenge was put
    std::string plain, md2, md5;
};

Pending pending[sizeof stations / sizeof stations[0]];
const char *current[sizeof editable / sizeof editable[0]];
struct tm clock_now;
long session_minute;       // minutes the clock has moved since the session began
bool tracing;

// Challenges expire after this many minutes; an answer that late is refused.
const long challenge_lifetime_minutes = 10;

// set_clock - the library's clock to the session's time.
void set_clock(void)
{
    struct tm t = clock_now;
    time_t secs = mktime(&t);
    clock_now = t;
    plat_test_set_clock(&t, 27, secs);
}

// write_variant - put a variant of an editable file in place, or remove the file.
void write_variant(int file, int variant)
{
    const EditableFile &f = editable[file];
    const char *text = f.variants[variant % f.count];
    current[file] = text;
    std::error_code ec;
    if (text)
        fuzz_write_text(f.path, text);
    else
        fs::remove(f.path, ec);
}

// restore_session - the host directory, the library and the clock as at the start.
void restore_session(void)
{
    fuzz_host_prepare();
    for (int i = 0; i < editable_count; i++) {
        current[i] = nullptr;
        if (editable[i].present)
            write_variant(i, 0);
    }
    for (auto &p : pending)
        p = Pending();
    session_minute = 0;
    clock_now = fuzz_fixture_time();
    set_clock();
}

// --- the script ---

// fields_of - the blank-separated fields of a script line after its letter.
std::vector<std::string> fields_of(const std::string &line)
{
    std::vector<std::string> fields;
    size_t i = 1;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            i++;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            i++;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

// rest_after - the text after the first n fields, blanks kept.
std::string rest_after(const std::string &line, int n)
{
    size_t i = 1;
    for (int k = 0; k <= n; k++) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            i++;
        if (k == n)
            break;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            i++;
    }
    return i < line.size() ? line.substr(i) : std::string();
}

// number - field i as a number, or the fallback when it is missing.
long number(const std::vector<std::string> &f, size_t i, long fallback)
{
    if (i >= f.size())
        return fallback;
    return strtol(f[i].c_str(), nullptr, 10) % 1000000;
}

// fold - a number folded into 0..range-1.
int fold(long value, int range)
{
    long r = value % range;
    return (int)(r < 0 ? r + range : r);
}

// --- right answers ---

// station_password - the password of station st's entry for the port.
std::string station_password(int st, int port)
{
    if (st == 10 && port != 0)
        return "";
    return stations[st].password ? stations[st].password : "";
}

// table_password - the day's password from the tables in force, as the table challenge reads them.
std::string table_password(int st, int day)
{
    const char *tables[] = {stations[st].table, "N0CALL.TBL"};
    for (const char *name : tables) {
        if (!name)
            continue;
        int file = -1;
        for (int i = 0; i < editable_count; i++)
            if (std::string(editable[i].path) == std::string("morvel/") + name)
                file = i;
        if (file < 0 || !current[file])
            continue;
        std::string text = current[file];
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            std::string row = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? text.size() : end + 1;
            short row_day;
            char word[300];
            if (row.empty() || row[0] == '#' || row[0] == '\r')
                continue;
            if (sscanf(row.c_str(), "%hd %299s", &row_day, word) == 2 && row_day == day)
                return word;
        }
        return "";
    }
    return "";
}

// learn_challenge - what answers the challenge that the last reply put to station st.
void learn_challenge(int st, int port)
{
    Pending &p = pending[st];
    p = Pending();
    p.port = port;
    p.put_minute = session_minute;
    ChallengeLine shown = parse_challenge(fuzz_last_reply());
    std::string password = station_password(st, port);
    if (shown.table_day)
        password = table_password(st, shown.table_day);
    switch (shown.form) {
    case CHALLENGE_FORWARD:
        p.forward = true;
        p.known = shown.digits.size() == 10 && !password.empty();
        break;
    case CHALLENGE_DIGEST:
    case CHALLENGE_POSITIONS:
        p.known = chars_at_positions(password, shown.positions, &p.plain);
        break;
    case CHALLENGE_FIXED:
        p.plain = password;
        p.known = !password.empty();
        break;
    case CHALLENGE_FLEXNET:
        p.plain = std::to_string(flexnet_answer(password, shown.digits));
        p.known = !password.empty();
        break;
    default:
        break;
    }
    p.digest_challenge = shown.form == CHALLENGE_FORWARD || shown.form == CHALLENGE_DIGEST;
    if (p.digest_challenge) {
        p.md2 = digest_text(false, shown.digits + password);
        p.md5 = digest_text(true, shown.digits + password);
    }
}

// --- the mail check ---

// Messages the filter began to write since the session started, and since
// the last crash was set, by recipient and subject.
long messages_written;
std::map<std::string, long> messages_begun;

// message_key - a message's recipient and subject, its subject without the full stop "-log" adds.
std::string message_key(const std::string &to, std::string subject)
{
    if (!subject.empty() && subject.back() == '.')
        subject.pop_back();
    return to + "|" + subject;
}

// count_message - the sink of the mail trace: one message begun.
void count_message(const TraceEvent *event)
{
    if (event->kind != TRACE_MAIL)
        return;
    messages_written++;
    messages_begun[message_key(event->text, event->path)]++;
}

// whole_messages - the messages of a mail file, each from a line "#" to a
// line "/EX"; -1 when one is torn or text stands outside them.
long whole_messages(const std::string &text)
{
    std::istringstream lines(text);
    std::string line;
    long count = 0;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (!inside && line != "#")
            return -1;
        if (!inside)
            count++;
        inside = inside ? line != "/EX" : true;
    }
    return inside ? -1 : count;
}

// mail_files - the import file (named in upper case by the filter, as the
// host's file system would not mind) and mail.prt.
std::vector<std::string> mail_files(void)
{
    std::vector<std::string> files = {"morvel/mail.prt"};
    std::error_code ec;
    for (const auto &e : fs::directory_iterator("mail", ec))
        if (strcasecmp(e.path().filename().string().c_str(), "mail.in") == 0)
            files.push_back(e.path().string());
    return files;
}

// add_message_keys - the recipient and subject of every whole message of a mail text.
void add_message_keys(const std::string &text, std::map<std::string, long> *keys)
{
    std::istringstream lines(text);
    std::string line, to, subject;
    int at = 0;   // the line's place in its message: 1 the "#", 2 the address, 3 the subject
    while (std::getline(lines, line)) {
        at = line == "#" && at == 0 ? 1 : at + 1;
        if (at == 2) {
            char addressee[64] = "";
            sscanf(line.c_str(), "SP %63s", addressee);
            to = addressee;
        }
        if (at == 3)
            subject = line;
        if (line == "/EX") {
            (*keys)[message_key(to, subject)]++;
            at = 0;
        }
    }
}

// mail_keys - the messages of the import file and mail.prt, by recipient and subject.
std::map<std::string, long> mail_keys(void)
{
    std::map<std::string, long> keys;
    for (const std::string &file : mail_files()) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        add_message_keys(text.str(), &keys);
    }
    return keys;
}

// check_mail - after every call: whole messages, none more often than written.
void check_mail(const char *what)
{
    std::error_code ec;
    if (fs::exists("morvel/mailcut.own", ec) || fs::exists("morvel/heldcut.own", ec))
        return;
    long total = 0;
    for (const std::string &file : mail_files()) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        long n = whole_messages(text.str());
        if (n < 0) {
            fprintf(stderr, "a torn message in %s after %s:\n%s\n", file.c_str(), what, text.str().c_str());
            abort();
        }
        total += n;
    }
    if (total > messages_written) {
        fprintf(stderr, "%ld messages in the mail after %s, %ld written\n", total, what, messages_written);
        abort();
    }
}

// --- the calls ---

// The change of the disk at which a "K" line ends the next call; 0: none.
int crash_at;
// The last call was ended: what it showed the caller never happened.
bool call_ended;

// connection - the eight argument strings of a connection event.
std::vector<std::string> connection(int st, int attempt, int flags, int count, int port, const std::string &answer)
{
    return {"bbs", stations[st].call, std::to_string(attempt), std::to_string(flags), std::to_string(count), "0",
            std::to_string(port), answer};
}

// check_recovered - after a call that was ended and the call after it: no
// message lost, torn or delivered twice.
void check_recovered(const std::map<std::string, long> &before, const char *what)
{
    check_mail(what);
    std::map<std::string, long> after = mail_keys();
    std::map<std::string, long> keys = before;
    keys.insert(after.begin(), after.end());
    for (const auto &k : keys) {
        long was = before.count(k.first) ? before.at(k.first) : 0;
        long is = after.count(k.first) ? after.at(k.first) : 0;
        long begun = messages_begun.count(k.first) ? messages_begun.at(k.first) : 0;
        if (is < was || is > was + begun) {
            fprintf(stderr, "after %s ended and the call after it: %ld messages %s, %ld before, %ld begun since\n",
                    what, is, k.first.c_str(), was, begun);
            abort();
        }
    }
}

// recover - the host's process ended in the call: a new one loads the
// library, and its first connection finds what the ended one left.
void recover(const std::map<std::string, long> &before, const char *what)
{
    plat_test_clear_faults();
    filter_reset_state();
    set_clock();
    if (tracing)
        fprintf(stderr, "  (ended; the library is loaded again)\n");
    fuzz_svc(connection(0, 0, 0, 2, 1, ""), 1);
    pending[0] = Pending();
    check_recovered(before, what);
}

// run_call - one call of either entry point, ended at the change a "K" line
// chose, and then recovered from; true when it was ended.
bool run_call(const std::function<void()> &entry, const char *what)
{
    if (crash_at == 0) {
        entry();
        return false;
    }
    std::map<std::string, long> before = mail_keys();
    messages_begun.clear();
    plat_test_crash_at(crash_at);
    crash_at = 0;
    entry();
    if (!plat_test_crashed()) {
        plat_test_crash_at(0);
        return false;
    }
    recover(before, what);
    return true;
}

// call - one svc_main call; in trace and sound modes error.prt is removed
// before it so that the report it leaves, if any, is this call's own.
int call(std::vector<std::string> args, int memory_available, const char *what)
{
    std::error_code ec;
    if (tracing || fuzz_checking())
        fs::remove("morvel/error.prt", ec);
    int verdict = 0;
    call_ended = run_call([&] { verdict = fuzz_svc(args, memory_available); }, what);
    if (!call_ended)
        check_mail(what);
    if (tracing || fuzz_checking()) {
        std::ifstream in("morvel/error.prt");
        std::string line, code;
        while (std::getline(in, line))
            if (line.rfind("*** ERROR 001", 0) == 0)
                code = line.substr(13);
        if (tracing) {
            std::string reply = fuzz_last_reply();
            for (auto &c : reply)
                if (c == '\n')
                    c = '|';
            if (reply.size() > 160)
                reply = reply.substr(0, 160) + "...";
            fprintf(stderr, "  %-40s -> %2d  \"%s\"%s%s\n", what, verdict, reply.c_str(),
                    code.empty() ? "" : "  ERROR ", code.c_str());
        }
        fuzz_expect(code.empty(), ("no error report: \"" + std::string(what) + "\" met error " + code).c_str());
    }
    return verdict;
}

// after_call - a challenge to learn, or the station has none pending (also
// after a call that was ended: its state file may never have been written).
void after_call(int st, int port, int verdict)
{
    if (verdict == 1 && !call_ended)
        learn_challenge(st, port);
    else
        pending[st] = Pending();
}

// op_connect - a new connection.
void op_connect(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    int st = fold(number(f, 0, 0), station_count);
    int port = (int)number(f, 1, 1);
    int flags = (int)number(f, 2, 0);
    int count = (int)number(f, 3, 2);
    bool no_memory = f.size() > 4 && f[4] == "m";
    int verdict = call(connection(st, 0, flags, count, port, ""), no_memory ? 0 : 1, line.c_str());
    after_call(st, port, verdict);
}

// op_answer - the next answer of station st to its challenge; the verdict.
int op_answer(int st, const std::string &text, const std::string &line)
{
    Pending &p = pending[st];
    int attempt = ++p.attempt;
    int verdict = call(connection(st, attempt, 0, 2, p.port, text), 1, line.c_str());
    after_call(st, p.port, verdict);
    if (verdict == 1)
        pending[st].attempt = attempt;
    return verdict;
}

// op_right - the right answer, in the form the line asks for.
void op_right(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    int st = fold(number(f, 0, 0), station_count);
    Pending p = pending[st];
    std::string form = f.size() > 1 ? f[1] : "";
    bool plain = !p.forward && (!p.digest_challenge || form == "p");
    std::string text = plain ? p.plain : form == "2" ? p.md2 : p.md5;
    if (form == "u")
        for (auto &c : text)
            c = (char)toupper((unsigned char)c);
    if (!p.known)
        text = "unknown";
    int verdict = op_answer(st, text, line);
    // A right answer never draws a fresh challenge; only a plain answer to a
    // digest challenge may be restricted or refused by the policy letters.
    // A challenge the clock has left behind (either way) may have expired:
    // then the right answer is refused, and never challenged again.
    bool late = labs(session_minute - p.put_minute) >= challenge_lifetime_minutes;
    if (p.known && late)
        fuzz_expect(verdict == 0 || verdict == 2, ("late right answer admitted or refused: " + line).c_str());
    else if (p.known)
        fuzz_expect(verdict == 0 || (verdict != 1 && plain && p.digest_challenge),
                    ("right answer accepted: " + line).c_str());
}

// op_wrong - a wrong answer.
void op_wrong(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    int st = fold(number(f, 0, 0), station_count);
    std::string text = rest_after(line, 1);
    op_answer(st, text.empty() ? "wrong" : text, line);
}

// op_any_answer - any answer text, attempt number and port.
void op_any_answer(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    int st = fold(number(f, 0, 0), station_count);
    int attempt = (int)number(f, 1, 1);
    int port = (int)number(f, 2, 1);
    int verdict = call(connection(st, attempt, 0, 2, port, rest_after(line, 3)), 1, line.c_str());
    after_call(st, port, verdict);
}

// op_forward - a forward login to a partner that challenges the host.
void op_forward(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    int st = fold(number(f, 0, 5), station_count);
    std::string text = rest_after(line, 1);
    if (text.empty())
        text = "![0123456789]";
    call(connection(st, 0, 0, -1, 1, text), 1, line.c_str());
    pending[st] = Pending();
    // The sound users.prt makes N0CALL-6 a FORWARD and N0CALL-7 a FORWARD5 partner.
    if (current[1] == users_sound && (st == 5 || st == 6) && text == "![0123456789]") {
        std::string input = std::string("0123456789") + stations[st].password;
        std::string want = digest_text(st != 5, input) + "\n";
        fuzz_expect(want == fuzz_last_reply(), ("forward answer: " + line).c_str());
    }
}

// op_sysop - a sysop command through either entry point.
void op_sysop(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    std::string word = sysop_words[fold(number(f, 0, 0), 6)];
    bool through_dll = f.size() > 2 && f[2] == "d";
    std::vector<std::string> args = {"bbs", word};
    if (f.size() > 1)
        args.push_back(f[1]);
    if (through_dll) {
        if (tracing)
            fprintf(stderr, "  %s\n", line.c_str());
        if (!run_call([&] { fuzz_dll(args); }, line.c_str()))
            check_mail(line.c_str());
    } else {
        call(args, 1, line.c_str());
    }
}

// op_clock - the clock moves on by some minutes.
void op_clock(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    int minutes = (int)number(f, 0, 60);
    clock_now.tm_min += minutes;
    session_minute += minutes;
    clock_now.tm_isdst = -1;
    set_clock();
    if (tracing)
        fprintf(stderr, "  %-40s    %02d-%02d %02d:%02d\n", line.c_str(), clock_now.tm_mday, clock_now.tm_mon + 1,
                clock_now.tm_hour, clock_now.tm_min);
}

// op_edit - a file, the mail lock or directory, or a failing open changes.
void op_edit(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    int file = fold(number(f, 0, 0), editable_count + 3);
    int variant = fold(number(f, 1, 0), 1000);
    std::error_code ec;
    if (file == edit_mail_lock) {
        if (variant % 2)
            fuzz_write_text("mail/mail.lck", "");
        else
            fs::remove("mail/mail.lck", ec);
    } else if (file == edit_mail_directory) {
        if (variant % 2)
            fs::remove_all("mail", ec);
        else
            fs::create_directories("mail", ec);
    } else if (file == edit_failing_open) {
        plat_test_fail_open(failing_paths[variant % (sizeof failing_paths / sizeof failing_paths[0])]);
    } else {
        write_variant(file, variant);
    }
    if (tracing)
        fprintf(stderr, "  %s\n", line.c_str());
}

// op_state_file - a station's challenge state file written or removed by hand.
void op_state_file(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    int st = fold(number(f, 0, 0), station_count);
    const char *text = state_variants[fold(number(f, 1, 0), sizeof state_variants / sizeof state_variants[0])];
    std::string call = stations[st].call;
    std::string path = "morvel/" + call.substr(0, call.find('-')) + call.substr(call.find('-') + 1) + ".TMP";
    std::error_code ec;
    if (text)
        fuzz_write_text(path.c_str(), text);
    else
        fs::remove(path, ec);
    if (tracing)
        fprintf(stderr, "  %s\n", line.c_str());
}

// op_reload - the host unloads and loads the library; the files stay.
void op_reload(const std::string &line)
{
    filter_reset_state();
    set_clock();
    if (tracing)
        fprintf(stderr, "  %s\n", line.c_str());
}

// op_fault - a removal, cut-back, close, write or renaming of a mail file fails.
void op_fault(const std::string &line)
{
    static const PlatFault kinds[] = {PLAT_FAULT_REMOVE, PLAT_FAULT_TRUNCATE, PLAT_FAULT_CLOSE, PLAT_FAULT_WRITE,
                                      PLAT_FAULT_RENAME};
    static const char *const files[] = {"mail\\mail.in", "morvel\\mail.prt", "mail\\mail.lck", nullptr};
    std::vector<std::string> f = fields_of(line);
    PlatFault kind = kinds[fold(number(f, 0, 0), 5)];
    int nth = 1 + fold(number(f, 1, 1), 4);
    const char *file = files[fold(number(f, 2, 0), 4)];
    plat_test_fail(kind, nth, file, f.size() > 3 && f[3] == "p");
    if (tracing)
        fprintf(stderr, "  %s\n", line.c_str());
}

// op_crash - the next call is ended at one of its changes to the disk.
// Not in sound seeds: what an ended call showed the caller never happened.
void op_crash(const std::string &line)
{
    std::vector<std::string> f = fields_of(line);
    if (!fuzz_checking())
        crash_at = 1 + fold(number(f, 0, 1) - 1, 64);
    if (tracing)
        fprintf(stderr, "  %s\n", line.c_str());
}

// Enough for a long session, few enough that one input stays quick.
enum { MAX_OPERATIONS = 80 };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tracing = getenv("FUZZ_TRACE") != nullptr;
    restore_session();
    messages_written = 0;
    messages_begun.clear();
    crash_at = 0;
    call_ended = false;
    trace_set_sink(count_message);
    std::string script((const char *)data, size);
    size_t at = 0;
    int operations = 0;
    while (at < script.size() && operations < MAX_OPERATIONS) {
        size_t end = script.find('\n', at);
        std::string line = script.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? script.size() : end + 1;
        if (line.empty())
            continue;
        operations++;
        switch (toupper((unsigned char)line[0])) {
        case 'C': op_connect(line); break;
        case 'R': op_right(line); break;
        case 'W': op_wrong(line); break;
        case 'A': op_any_answer(line); break;
        case 'F': op_forward(line); break;
        case 'S': op_sysop(line); break;
        case 'T': op_clock(line); break;
        case 'E': op_edit(line); break;
        case 'X': op_state_file(line); break;
        case 'L': op_reload(line); break;
        case 'D': op_fault(line); break;
        case 'K': op_crash(line); break;
        default: operations--; break;
        }
    }
    fuzz_check_sound();
    return 0;
}
