// filter_check.cpp - check a whole setup before it goes live.
//
// Reads every file of the setup with the filter's own line parsers, in a dry
// run so that nothing is written, and prints each problem as
//   file:line: error|warning: what is wrong; what the filter will do; how to fix it
// then one line of summary. Errors are faults the filter itself reports (or
// that stop it filtering); warnings are setups that work otherwise than the
// sysop most likely meant. Exit status: 0 clean, 1 warnings, 2 errors, 100 usage.
#include "auth/challenges.h"
#include "common/filter_dir.h"
#include "common/otp_secret.h"
#include "config/filter_config.h"
#include "config/guard_config.h"
#include "config/host_files.h"
#include "common/letter_values.h"
#include "common/line_reader.h"
#include "config/user_list.h"
#include "filter/connection.h"
#include "filter/filter_state.h"
#include "filter/sysop_commands.h"
#include "platform/platform.h"
#include "report/logs.h"
#include "tools/check_dump.h"
#include "tools/check_report.h"
#include "tools/header_index.h"
#include "tools/tool_run.h"
#include "tools/tool_version.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

enum { EXIT_USAGE = 100 };
enum { HOST_LINE_SIZE = 100, SYSTEM_DIRECTORY_LINE = 5, MAIL_IMPORT_LINE = 14, SSID_MAX = 15, DAYS = 31 };
enum { CALLSIGN_MAX = 6, HOST_SSID_MAX = 255 };

// A positions challenge shows five characters; below this length an
// overheard login gives away more than two fifths of the password.
enum { SHORT_PASSWORD = 10 };

static std::vector<TraceEvent> events;
static bool strict;   // --strict: the setups that leave radio stations unfiltered are errors
static DumpFacts dump_facts;   // what --dump prints, gathered on the way

// collect - the trace sink: the errors the parsers raise are findings.
static void collect(const TraceEvent *e)
{
    events.push_back(*e);
}

// report - one finding.
static void report(bool error, const std::string &file, int line, const std::string &text)
{
    check_finding(error, file, line, text);
}

// filter_dir_shown - the filter directory, with its "/", as the sysop reaches it.
static std::string filter_dir_shown(void)
{
    return shown_path(FILTER_DIR "/");
}

// tokens - the blank-separated words of a line.
static std::vector<std::string> tokens(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string t; in >> t;)
        out.push_back(t);
    return out;
}

static std::string upper(std::string s)
{
    for (char &c : s)
        c = (char)toupper((unsigned char)c);
    return s;
}

static std::string in_quotes(const std::string &s)
{
    return "\"" + s + "\"";
}

// filter_file - morvel\name.
static std::string filter_file(const std::string &name)
{
    return std::string(FILTER_DIR) + "\\" + name;
}

// nth_significant_line - the physical number of significant line n of a host file, or 0.
static int nth_significant_line(const char *path, int n)
{
    PlatText text;
    PlatText *f = plat_open_text(path, &text) ? &text : nullptr;
    if (!f)
        return 0;
    char line[HOST_LINE_SIZE];
    int physical = 0, count = 0;
    while (count < n && read_significant_line(f, line, sizeof line, &physical))
        count++;
    plat_close_text(f);
    return count == n ? physical : 0;
}

// port_names - the host's ports as "1 (144.800), 2 (433.500)".
static std::string port_names(void)
{
    if (!port_table_loaded)
        return "none: the port file cannot be read, see line 5 of the start-up file";
    std::string out;
    for (int p = 1; p < PORT_TABLE_SIZE && p <= port_count; p++)
        if (port_table[p][0])
            out += (out.empty() ? "" : ", ") + std::to_string(p) + " (" + port_table[p] + ")";
    return out.empty() ? "none" : out;
}

// host_has_port - the host's port file lists the port.
static bool host_has_port(int port)
{
    return port >= 1 && port < PORT_TABLE_SIZE && port <= port_count && port_table[port][0];
}

// ---- the host's files ----------------------------------------------------

// check_startup - init.srv, its system directory and mail import file, and
// the port file in that directory.
static bool check_startup(void)
{
    const char *startup = nullptr;
    for (const char *n : startup_file_names)
        if (!startup && plat_exists(n))
            startup = n;
    if (!startup) {
        report(true, "init.srv", 0,
               "no start-up file (init_w.srv, init_d.srv or init.srv) in this directory; the filter reports "
               "error 1, knows no port names and mails nobody; run the check in the host's working directory");
        return false;
    }
    load_host_info();
    int dir_line = nth_significant_line(startup, SYSTEM_DIRECTORY_LINE);
    if (!host_info.system_directory[0] || !plat_exists(host_info.system_directory)) {
        report(true, startup, dir_line,
               "the system directory " + in_quotes(host_info.system_directory) +
                   " does not exist (the filter drops the last character of the line, meant to be a trailing "
                   "\\); the filter cannot read the host's port file, so every port line that names a port is "
                   "error 5 and every station is admitted; write the host's system directory with a trailing \\");
        return true;
    }
    std::string dir = host_info.system_directory;
    bool port_file = false;
    for (const char *n : port_file_names)
        port_file = port_file || plat_exists((dir + "\\" + n).c_str());
    if (!port_file)
        report(true, display_path(dir + "\\port.sys"), 0,
               "the host's port file (prot_w.sys, port_d.sys or port.sys) is missing; every port line that "
               "names a port is error 5 and every station is admitted; check line " +
                   std::to_string(dir_line) + " of " + startup);
    // The lookup loads the port table at its first need; a name no port has makes it do so.
    port_from_name("?", 0, false);
    std::string import = host_info.mail_import_path;
    size_t cut = import.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0 && !plat_exists(import.substr(0, cut).c_str()))
        report(false, startup, nth_significant_line(startup, MAIL_IMPORT_LINE),
               "the directory of the mail import file " + in_quotes(import) +
                   " does not exist; the filter's mails (errors, notices, logs) cannot be delivered and error 2 "
                   "follows; give the host's mail import file");
    return true;
}

// ---- config.prt ------------------------------------------------------------

struct PortLine {
    int port;
    int line;
    int method;
};

struct ConfigFacts {
    std::string file;
    std::map<int, int> role_line;      // role -> physical line
    std::vector<PortLine> ports;
    int connection_log_off = 0;        // physical line of a line 12 that read NO
    bool read = false;
};

// known_letters - the letters an option row's letters field knows, as "XSN".
static std::string known_letters(const ConfigOption *o)
{
    std::string letters;
    for (const LetterValue *l = o ? o->letters : nullptr; l && l->letter; l++)
        letters += l->letter;
    return letters;
}

// port_line_methods - the keywords a port line may name, as "OPEN, CLOSED ... or HOLD".
static std::string port_line_methods(void)
{
    std::vector<std::string> names;
    for (int i = 0; i < access_method_count; i++)
        if (access_methods[i].port_may_name)
            names.push_back(access_methods[i].english);
    std::string text;
    for (size_t i = 0; i < names.size(); i++)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}

static std::string role_expected(int role)
{
    const ConfigOption *o = config_option(role);
    if (!o)
        return "a port and its method (" + port_line_methods() + ")";
    switch (role) {
    case OPTION_LANGUAGE: return "the language file's name, or **";
    case OPTION_SYSOPS: return "one to five sysop callsigns";
    case OPTION_ATTEMPTS: return "the number of answers, a digit 1 to 5, then optional letters";
    default: break;
    }
    std::string letters, known = known_letters(o);
    for (char l : known)
        letters += (letters.empty() ? " " : ", ") + std::string(1, l);
    return known.empty() ? "OK or NO" : "OK or NO, then optional letters" + letters;
}

// stop_effect - what error 5 at a line of this role does: a connection
// whose port line stands above it never reads it; every other is admitted.
static std::string stop_effect(int role)
{
    if (role <= CONFIG_OPTION_LINES)
        return "the filter stops reading here with error 5 and admits every station on every port";
    return "the filter stops reading here with error 5 and admits every station on the port this line was "
           "meant for and on every port whose port line is below this line";
}

// looks_like_callsign - 3 to 6 letters and digits with at least one of each.
static bool looks_like_callsign(const std::string &s)
{
    bool digit = false, letter = false;
    for (char c : s) {
        if (isdigit((unsigned char)c)) digit = true;
        else if (isalpha((unsigned char)c)) letter = true;
        else return false;
    }
    return digit && letter && s.size() >= 3 && s.size() <= 6;
}

// check_sysops - what the sysop line gives, against what was meant.
static void check_sysops(const ConfigFacts &c, int line, const std::string &original)
{
    std::vector<std::string> words = tokens(original);
    std::string list, odd;
    for (int i = 0; i < filter_config.sysop_count; i++) {
        std::string call = filter_config.sysop_calls[i];
        list += (list.empty() ? "" : ", ") + in_quotes(call);
        if (!looks_like_callsign(call))
            odd += (odd.empty() ? "" : ", ") + in_quotes(call);
    }
    if (!odd.empty())
        report(false, c.file, line,
               "the sysop list reads as " + list + ": " + odd +
                   (odd.find(',') != std::string::npos ? " are not callsigns" : " is not a callsign") + "; the filter mails its reports to each of them; write bare callsigns of at most 6 "
                   "characters (no SSID) separated by blanks, and put comments on lines of their own");
    size_t chars = 0;
    for (const std::string &w : words)
        chars += (w.size() + 5) / 6;
    if (chars > MAX_SYSOPS)
        report(false, c.file, line,
               "more than 5 sysop callsigns; the filter mails only the first 5 (" + list +
                   ") and ignores the rest; keep at most 5");
}

// check_letters - letters split by blanks, or letters the field does not know.
static void check_letters(const ConfigFacts &c, int role, int line, const std::string &original)
{
    const ConfigOption *o = config_option(role);
    std::string known = known_letters(o);
    std::vector<std::string> words = tokens(upper(original));
    size_t fields = (size_t)o->fields;
    if (words.size() > fields) {
        std::string lost;
        for (size_t i = fields; i < words.size(); i++)
            lost += (lost.empty() ? "" : " ") + words[i];
        report(false, c.file, line,
               "letters split by blanks: the filter reads " + in_quotes(words[fields - 1]) + " and ignores " +
                   in_quotes(lost) + "; write the letters of a field together, as in " + in_quotes(words[0] + " " +
                   words[fields - 1] + (role == OPTION_ATTEMPTS ? "" : lost)));
    }
    if (known.empty() || words.size() < 2)
        return;
    std::string unknown;
    for (char ch : words[1])
        if (known.find(ch) == std::string::npos)
            unknown += ch;
    if (!unknown.empty())
        report(false, c.file, line,
               "letters " + in_quotes(unknown) + " mean nothing on this line; the filter ignores them; use only " +
                   known);
}

// check_language - the file line 1 names; its 29 texts are counted by the filter's own loader.
static void check_language(const ConfigFacts &c, int line)
{
    const char *name = filter_config.language_file;
    if (name[0] == '*' || name[1] == '*')
        return;
    std::string path = filter_file(name);
    if (!plat_exists(path.c_str())) {
        report(false, c.file, line,
               "the language file " + in_quotes(name) + " is not in " + filter_dir_shown() + "; the filter says nothing and "
               "keeps the English texts; check the name, or write ** for none");
        return;
    }
    for (const TraceEvent &e : events)
        if (e.kind == TRACE_ERROR && e.value == 6)
            report(true, display_path(path), 0,
                   "holds " + std::to_string(e.line) + " texts, not 29; the filter reports error 6 (" +
                       in_quotes(e.text) + ", without the file's name) and keeps the English texts; give it exactly "
                       "29 text lines, then a line \"-\"");
}

// check_port_line - a port line that read: a port the host has, not decided before.
static void check_port_line(ConfigFacts &c, int line, uint8_t port)
{
    for (const PortLine &p : c.ports)
        if (p.port == port) {
            report(false, c.file, line,
                   "a second port line for port " + std::to_string(port) + "; the filter uses line " +
                       std::to_string(p.line) + " and never reads this one; remove one of them");
            return;
        }
    c.ports.push_back({port, line, filter_config.port_method});
    if (port != 0 && !host_has_port(port))
        report(false, c.file, line,
               "port " + std::to_string(port) + " is not in the host's port file (its ports: " + port_names() +
                   "); this line never applies; write the number or name of one of the host's ports");
}

// reported_line_text - which lookup of a port line failed.
static std::string reported_line_text(const std::string &original, uint8_t port)
{
    std::vector<std::string> words = tokens(upper(original));
    if (port == PORT_UNRESOLVED)
        return "the port name " + in_quotes(words[0]) + " is not in the host's port file (its ports: " + port_names() +
               "); " + stop_effect(CONFIG_OPTION_LINES + 1) + "; write a port number or one of those names";
    return "unknown access method " + in_quotes(words.size() > 1 ? words[1] : "") + "; " +
           stop_effect(CONFIG_OPTION_LINES + 1) + "; write " + port_line_methods() + " (or the Spanish word, or the number)";
}

// is_indented_comment - blanks, then "#": meant as a comment, read as a value.
static bool is_indented_comment(const std::string &line)
{
    size_t first = line.find_first_not_of(" \t");
    return first != 0 && first != std::string::npos && line[first] == '#';
}

// check_config_line - one significant line through the filter's own parser.
static void check_config_line(ConfigFacts &c, int role, int line, char *text)
{
    std::string original = text;
    original.erase(original.find_last_not_of("\r\n") + 1);
    events.clear();
    uint8_t port = 0;
    ConfigLineResult r = parse_config_line(role, text, line, &port);
    c.role_line[role] = line;
    if (is_indented_comment(original)) {
        report(r != CONFIG_LINE_OK, c.file, line,
               "an indented comment: a line that starts with a blank is no comment, so the filter reads it as " +
                   std::string(role <= CONFIG_OPTION_LINES ? "option line " + std::to_string(role) : "a port line") +
                   " and every line below it one place later; " +
                   (r != CONFIG_LINE_OK ? stop_effect(role) : std::string("the options below it are shifted")) +
                   "; remove the blanks before the \"#\"");
        return;
    }
    if (r == CONFIG_LINE_FAILED) {
        report(true, c.file, line,
               in_quotes(original) + " is not " + role_expected(role) + "; " + stop_effect(role) + "; write " +
                   role_expected(role) + (role <= OPTION_ATTEMPTS || role > CONFIG_OPTION_LINES ? "" : " (a comment line counts "
                   "for nothing, so a missing line shifts every line below it)"));
        return;
    }
    if (r == CONFIG_LINE_REPORTED) {
        report(true, c.file, line, reported_line_text(original, port));
        return;
    }
    const ConfigOption *o = config_option(role);
    if (role == OPTION_CONNECTION_LOG && !filter_config.connection_log)
        c.connection_log_off = line;
    if (role == OPTION_LANGUAGE)
        check_language(c, line);
    else if (role == OPTION_SYSOPS)
        check_sysops(c, line, original);
    else if (o && o->letters_width)
        check_letters(c, role, line, original);
    else if (!o)
        check_port_line(c, line, port);
}

// port_token - how a port line names port p: by its name, unless the name
// has one or two characters, which the filter reads as a number.
static std::string port_token(int p)
{
    return strlen(port_table[p]) > 2 ? std::string(port_table[p]) : std::to_string(p);
}

// check_unfiltered_ports - the host's ports that no port line names.
static void check_unfiltered_ports(const ConfigFacts &c)
{
    for (int p = 1; p < PORT_TABLE_SIZE && p <= port_count; p++) {
        if (!port_table[p][0])
            continue;
        bool named = false;
        for (const PortLine &l : c.ports)
            named = named || l.port == p;
        if (!named)
            report(strict, c.file, 0,
                   "port " + std::to_string(p) + " (" + port_table[p] + ") has no port line; the filter admits "
                   "every station on it unfiltered, whatever users.prt says; add a line " +
                       in_quotes(port_token(p) + " METHOD") + " after the 14 option lines");
    }
}

// note_ports - each of the host's ports and the console, with its method, for --dump.
static void note_ports(const ConfigFacts &c)
{
    dump_facts.config_read = true;
    for (int p = 0; p < PORT_TABLE_SIZE && p <= port_count; p++) {
        if (p != 0 && !port_table[p][0])
            continue;
        DumpPort d = {p, port_table[p], 0, -1};
        for (const PortLine &l : c.ports)
            if (l.port == p) {
                d.line = l.line;
                d.method = l.method;
            }
        dump_facts.ports.push_back(d);
    }
}

// check_guard - guard.prt, read by the filter's own reader: a wrong line is
// error 5 there, and the guard is then off.
static void check_guard(void)
{
    char path[FILTER_PATH_MAX];
    config_file_path("guard.prt", path, sizeof path);
    int result = load_guard_config();
    if (result < 0)
        report(true, path, -result,
               "a guard line is \"FAILURES n MINUTES m\" (n 1 to 99, m 1 to 1440) or \"EXPIRE m\"; the filter "
               "reports error 5 and runs without the guard");
}

// check_config - every line of config.prt, not only up to one port.
static ConfigFacts check_config(void)
{
    ConfigFacts c;
    char path[FILTER_PATH_MAX];
    config_file_path("config.prt", path, sizeof path);
    c.file = display_path(path);
    PlatText text;
    PlatText *f = plat_open_text(path, &text) ? &text : nullptr;
    if (!f) {
        report(true, c.file, 0,
               "cannot be opened; the filter reports error 3 and admits every station on every port; put "
               "config.prt in " FILTER_DIR "/ (or in the directory the variable MORVEL names)");
        return c;
    }
    char line[CONFIG_LINE_SIZE];
    int physical = 0, role = 0;
    while (read_significant_line(f, line, sizeof line, &physical))
        check_config_line(c, ++role, physical, line);
    plat_close_text(f);
    c.read = true;
    check_unfiltered_ports(c);
    note_ports(c);
    return c;
}

// ---- users.prt -------------------------------------------------------------

struct Header {
    int line;
    std::string pattern;       // upper case, cut to 11 characters as the filter holds it
    bool table = false;
    bool console_line = false; // a line of the entry serves port 0
};

// is_pattern - a header with a wildcard, tried in the search by callsign and SSID.
static bool is_pattern(const std::string &pattern)
{
    return pattern.find_first_of("?*") != std::string::npos;
}

// is_console_header - the console entry's header.
static bool is_console_header(const std::string &pattern)
{
    return pattern.compare(0, 6, "CONSOL") == 0;
}

// well_formed_key - a callsign of 1 to 6 letters and digits, alone or with "-" and an SSID 0 to 255.
static bool well_formed_key(const std::string &key)
{
    size_t dash = key.find('-');
    std::string call = key.substr(0, dash);
    if (call.empty() || call.size() > 6 || call.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") !=
                                               std::string::npos)
        return false;
    if (dash == std::string::npos)
        return true;
    std::string ssid = key.substr(dash + 1);
    return !ssid.empty() && ssid.size() <= 3 && ssid.find_first_not_of("0123456789") == std::string::npos &&
           (ssid.size() == 1 || ssid[0] != '0') && std::stoi(ssid) <= 255;
}

// probe_keys - stations with SSID that a pattern matches, to try the search with:
// each "?" as a letter and as a digit, a final "*" as several endings.
static std::vector<std::string> probe_keys(const std::string &pattern)
{
    static const char *const endings[] = {"-0", "-7", "-15", "0", "7", "15", "A-1", "AB-9", "0-3", "ABC-12"};
    std::vector<std::string> out;
    for (char fill : {'A', '0'}) {
        std::string base = pattern;
        bool rest = base.size() >= 2 && base.back() == '*';
        if (rest)
            base.pop_back();
        for (char &c : base)
            if (c == '?' || c == '*')
                c = fill;
        std::vector<std::string> keys;
        if (rest)
            for (const char *e : endings)
                keys.push_back(base + e);
        else
            keys.push_back(base);
        for (const std::string &k : keys)
            if (k.find('-') != std::string::npos && well_formed_key(k) &&
                match_call_pattern(pattern.c_str(), k.c_str()) && std::find(out.begin(), out.end(), k) == out.end())
                out.push_back(k);
    }
    return out;
}

// header_can_match - some station, with or without its SSID, matches the pattern.
static bool header_can_match(const std::string &pattern)
{
    if (is_console_header(pattern))
        return true;
    if (!is_pattern(pattern))
        return well_formed_key(pattern);
    if (!probe_keys(pattern).empty())
        return true;
    for (size_t length = 1; length <= 6; length++) {
        std::string call;
        for (size_t i = 0; i < length; i++)
            call += i < pattern.size() && isalnum((unsigned char)pattern[i]) ? pattern[i] : 'A';
        if (match_call_pattern(pattern.c_str(), call.c_str()))
            return true;
        for (int ssid = 0; ssid <= 255; ssid++)
            if (match_call_pattern(pattern.c_str(), (call + "-" + std::to_string(ssid)).c_str()))
                return true;
    }
    return false;
}

// catches_everyone - a pattern that every station matches, as "?*" does.
static bool catches_everyone(const std::string &pattern)
{
    for (const char *key : {"K1A-0", "N0SYS-1", "ZZ9ZZZ-15", "9A9-7", "W1AW-10", "X-0", "A1-255"})
        if (!match_call_pattern(pattern.c_str(), key))
            return false;
    return true;
}

// winner_of - the line that catches every station of the list before line, or 0
// when one of them reaches line (or nothing at all catches them).
static int winner_of(const HeaderIndex &index, const std::vector<std::pair<std::string, int>> &stations, int line)
{
    int winner = 0, search = 0;
    for (const auto &s : stations) {
        int found = header_index_find(index, s.first, s.second, false, &search);
        if (found == line)
            return 0;
        if (!winner)
            winner = found;
    }
    return winner;
}

// check_shadowed_plain - an entry with a plain header that the search never reaches.
static void check_shadowed_plain(const std::string &file, const Header &h, const HeaderIndex &index)
{
    size_t dash = h.pattern.find('-');
    std::string call = h.pattern.substr(0, dash);
    std::vector<std::pair<std::string, int>> stations;
    if (dash != std::string::npos)
        stations.push_back({call, atoi(h.pattern.c_str() + dash + 1)});
    else
        for (int ssid = 0; ssid <= SSID_MAX; ssid++)
            stations.push_back({call, ssid});
    int winner = winner_of(index, stations, h.line);
    if (!winner)
        return;
    std::string by = index.by_line.at(winner);
    bool earlier = winner < h.line;
    bool by_ssid = dash == std::string::npos && by.find_first_of("?*-") != std::string::npos;
    report(false, file, h.line,
           "the entry " + in_quotes(h.pattern) + " is never used: the header " + in_quotes(by) + " at line " +
               std::to_string(winner) + " catches " + (dash == std::string::npos ? "every SSID of " + call : h.pattern) +
               " first" + (by_ssid ? " (the search by callsign and SSID goes through the whole file before the "
                                     "search by bare callsign)" : "") +
               "; the station gets the entry of line " + std::to_string(winner) + "; " +
               (by_ssid ? "write this header as " + in_quotes(call + "-*") + (earlier ? " and put the entry above line " +
                          std::to_string(winner) : "")
                        : "remove one of the two entries, or move this one above line " + std::to_string(winner)));
}

// check_shadowed_pattern - a wildcard header that an earlier one hides
// for every station it names, or "*" alone, which names none.
static void check_shadowed_pattern(const std::string &file, const Header &h, const HeaderIndex &index)
{
    if (h.pattern == "*") {
        report(false, file, h.line,
               "the header \"*\" matches no station: a \"*\" alone stands for one character, and no callsign "
               "with its SSID is one character long; the filter never uses this entry; write \"?*\" for an "
               "entry that catches every station");
        return;
    }
    int winner = 0;
    for (const std::string &key : probe_keys(h.pattern)) {
        int found = header_index_pass1(index, key);
        if (found == h.line || found == 0)
            return;
        if (!winner)
            winner = found;
    }
    if (!winner || winner > h.line)
        return;
    report(false, file, h.line,
           "the entry " + in_quotes(h.pattern) + " is never used: the header " +
               in_quotes(index.by_line.at(winner)) + " at line " + std::to_string(winner) +
               " catches its stations first (among headers with a wildcard or an SSID the first in the file "
               "wins); they get the entry of line " + std::to_string(winner) +
               "; move this entry above line " + std::to_string(winner));
}

// serves_console - an entry line's port that takes a connection on port 0.
static bool serves_console(const std::string &port)
{
    return port[0] == '*' || port == "0" || port == "00" || port.compare(0, 6, "CONSOL") == 0 || port == "ALL" ||
           port == "TODOS";
}

// check_console_entries - console entries that the filter never reaches: a
// second one, or every one behind a catch-all; and a catch-all whose entry
// has no line for the console.
static void check_console_entries(const std::string &file, const std::vector<Header> &all)
{
    const Header *catch_all = nullptr, *console = nullptr;
    for (const Header &h : all) {
        if (!catch_all && is_pattern(h.pattern) && catches_everyone(h.pattern))
            catch_all = &h;
        if (is_console_header(h.pattern)) {
            if (console)
                report(false, file, h.line,
                       "a second console entry; the filter uses the one at line " + std::to_string(console->line) +
                           " and never this one; remove one of them");
            else
                console = &h;
        }
    }
    if (!catch_all)
        return;
    std::string by = in_quotes(catch_all->pattern) + " at line " + std::to_string(catch_all->line);
    if (console)
        report(false, file, console->line,
               "the console entry is never used: the header " + by + " catches every station, the console's "
               "too, before the search for a console entry; the console gets the entry of line " +
                   std::to_string(catch_all->line) + "; move this entry's console line into that entry, "
                   "then remove this one");
    if (!catch_all->console_line)
        report(false, file, catch_all->line,
               "the catch-all " + in_quotes(catch_all->pattern) + " has no line for the console (port 0); the "
               "console's station is caught here" + std::string(console ? ", never by the console entry," : "") +
               " and gets the console's method from config.prt; add a line \"CONSOLE METHOD [PASSWORD]\" to "
               "this entry");
}

// password_leak - the share of a password one overheard positions challenge shows, on average.
static double password_leak(size_t length)
{
    return 1.0 - std::pow((double)(length - 1) / (double)length, 5.0);
}

// check_password_length - a password too short for a positions challenge.
static void check_password_length(const std::string &file, int line, size_t length, const char *what)
{
    if (length >= SHORT_PASSWORD || length == 0)
        return;
    double share = password_leak(length);
    char text[400];
    snprintf(text, sizeof text,
             "%s of %zu characters: each overheard login shows five positions of it, on average %.1f different "
             "characters (%.0f%%), so a few logins give it away; use a password of %d characters or more",
             what, length, share * (double)length, share * 100.0, (int)SHORT_PASSWORD);
    report(false, file, line, text);
}

// check_table - the password table of a TABLE station: there, every day, long enough.
static void check_table(const std::string &users_file, const Header &h)
{
    size_t call_end = h.pattern.find('-');
    std::string call = h.pattern.substr(0, call_end);
    if (is_pattern(call) || call.empty()) {
        report(false, users_file, h.line,
               "TABLE stations under the pattern header " + in_quotes(h.pattern) + ": the filter opens the table "
               "of each station by its own callsign and SSID (for a station CALL-7, " + filter_dir_shown() +
               "CALL7.TBL, else " + filter_dir_shown() + "CALL.TBL), which the check cannot list; a station "
               "without one gets error 4 at each connection and its port's method; write a table for every "
               "station this header catches, or give each its own entry");
        return;
    }
    // "N0TBL-*" and "N0TBL-?" name one callsign: its table without SSID serves every SSID.
    std::string ssid = is_pattern(h.pattern) || call_end == std::string::npos ? "" : h.pattern.substr(call_end + 1);
    std::string path = filter_file(call + ssid + ".TBL");
    if (!ssid.empty() && !plat_exists(path.c_str()))
        path = filter_file(call + ".TBL");
    PlatText text;
    PlatText *f = plat_open_text(path.c_str(), &text) ? &text : nullptr;
    if (!f) {
        report(true, users_file, h.line,
               "TABLE station " + h.pattern + " has no password table " + shown_path(display_path(path)) +
                   "; the filter reports error 4 at each of its connections and gives it the port's method; "
                   "write the table, one line \"DAY PASSWORD\" for each day 1 to 31");
        return;
    }
    std::set<int> days;
    char line[TABLE_LINE_SIZE], password[PASSWORD_MAX + 1];
    int physical = 0, shortest_line = 0;
    size_t shortest = SHORT_PASSWORD;
    short day;
    while (read_significant_line(f, line, sizeof line, &physical))
        if (table_row(line, &day, password)) {
            days.insert(day);
            if (strlen(password) < shortest) {
                shortest = strlen(password);
                shortest_line = physical;
            }
        }
    plat_close_text(f);
    memset(password, 0, sizeof password);
    if (shortest_line)
        check_password_length(display_path(path), shortest_line, shortest, "the shortest password of the table");
    std::string missing;
    for (int d = 1; d <= DAYS; d++)
        if (!days.count(d))
            missing += (missing.empty() ? "" : ", ") + std::to_string(d);
    if (!missing.empty())
        report(false, display_path(path), 0,
               "no row for day " + missing + "; on those days the filter gives " + h.pattern +
                   " the port's method instead of a challenge; add a row \"DAY PASSWORD\" for each");
}

// draws_positions - the method's challenge asks for characters at drawn
// positions of the password, which a short password makes easy to guess.
static bool draws_positions(unsigned method)
{
    const AccessMethod *m = find_access_method(method);
    return m && (m->challenge_kind == KIND_NORMAL || m->challenge_kind == KIND_MD);
}

// locked_out - who a password cut at its first blank keeps out, by method.
static std::string locked_out(const std::string &station, int method)
{
    if (method == METHOD_MD5)
        return station + " is refused whenever it answers with the MD5 digest, which its program works out from "
               "the whole password, and its five positions are asked of the first word only";
    if (method == METHOD_FORWARD || method == METHOD_FORWARD5)
        return "the partner " + station + ", whose answers are worked out from the whole password, is refused, "
               "and the answers this BBS gives it are refused there";
    return station + " is asked about the first word only, so answers worked out from the whole password fail";
}

// check_entry_port - an entry line for a port number the host does not have.
static void check_entry_port(const std::string &file, int line, const std::string &port)
{
    if (port.size() > 2 || port.find_first_not_of("0123456789") != std::string::npos)
        return;
    int number = atoi(port.c_str());
    if (number != 0 && !host_has_port(number))
        report(false, file, line,
               "port " + std::to_string(number) + " is not in the host's port file (its ports: " + port_names() +
                   "); this line never applies; write the number or name of one of the host's ports");
}

// check_entry_line - one line of an entry through the filter's own parser.
static void check_entry_line(const std::string &file, Header &h, int line, const char *text, bool *ended)
{
    EntryLine e;
    events.clear();
    EntryLineResult r = parse_entry_line(text, line, &e);
    std::vector<std::string> words = tokens(upper(text));
    std::string when = "the filter reports error 7 when " + h.pattern + " connects on such a port and gives it the "
                       "port's method";
    if (r == ENTRY_LINE_END) {
        *ended = true;
    } else if (r == ENTRY_LINE_BAD) {
        report(true, file, line,
               "an entry line needs a port and a method" + std::string(words.size() == 1 ? " (is the line \"-\" "
               "that ends the entry above missing?)" : "") + "; " + when + "; write PORT METHOD [PASSWORD]");
    } else if (r == ENTRY_LINE_REPORTED) {
        bool port_bad = words[0].size() > 2 && port_from_name(words[0].c_str(), line, true) == PORT_UNRESOLVED;
        report(true, file, line,
               (port_bad ? "the port name " + in_quotes(words[0]) + " is not in the host's port file (its ports: " +
                               port_names() + ")"
                         : "unknown access method " + in_quotes(words[1])) + "; " + when + "; write " +
                   (port_bad ? "a port number, *, ALL or one of those names" : "a keyword of the access methods"));
    } else if (e.needs_password && !e.password_ok && find_access_method(e.method)->password_is_secret &&
               words.size() >= 3) {
        report(true, file, line,
               std::string(method_name(e.method)) + " secret is not base32 of at least 128 bits (" +
                   std::to_string(OTP_SECRET_MIN * 8 / 5 + 1) + " characters of A-Z and 2-7); " + when +
                   "; make one with filter-otp new CALL-SSID");
    } else if (e.needs_password && !e.password_ok) {
        const AccessMethod *m = find_access_method(e.method);
        bool exact = m->password_length && words.size() >= 3;
        report(true, file, line,
               std::string(m->english) + (exact ? " needs a " + std::string(m->password_digits ? "key" : "password") +
                                                       " of exactly " + std::to_string(m->password_length) +
                                                       (m->password_digits ? " digits" : " characters")
                                                 : std::string(" needs a password")) + "; " + when +
                   "; write the password after the method");
    } else if (e.needs_password && words.size() > 3 && words[3][0] != '#') {
        report(true, file, line,
               "the password holds a blank: the filter takes only its first word (" +
                   std::to_string(strlen(e.password)) + " characters) and ignores the rest; " +
                   locked_out(h.pattern, e.method) + "; write the password as one word without blanks");
    } else if (e.needs_password && draws_positions(e.method)) {
        check_password_length(file, line, strlen(e.password), (std::string(method_name(e.method)) + " password").c_str());
    } else if (r == ENTRY_LINE_OK && e.method == METHOD_TABLE) {
        h.table = true;
    }
    if (r != ENTRY_LINE_END && !words.empty())
        check_entry_port(file, line, words[0]);
    memset(&e, 0, sizeof e);
}

// check_users - every entry of users.prt, not only the station's own.
static void check_users(void)
{
    char path[FILTER_PATH_MAX];
    config_file_path("users.prt", path, sizeof path);
    std::string file = display_path(path);
    PlatText text;
    PlatText *f = plat_open_text(path, &text) ? &text : nullptr;
    if (!f) {
        std::string near;
        std::string dir = std::string(path).substr(0, std::string(path).find_last_of('\\') + 1);
        for (const char *n : {"user.prt", "users.txt", "users.prt.txt", "usuarios.prt", "users"})
            if (plat_exists((dir + n).c_str()))
                near = shown_path(display_path(dir + n));
        report(strict, file, 0,
               "cannot be opened; the filter says nothing and gives every station its port's method, so the "
               "stations you meant to exclude or challenge are handled like everyone else; " +
                   (near.empty() ? std::string("write users.prt beside config.prt")
                                 : near + " is there: rename it to users.prt"));
        return;
    }
    std::vector<Header> headers;
    HeaderIndex index;
    char line[USERS_LINE_SIZE];
    int physical = 0;
    bool at_header = true;
    while (read_significant_line(f, line, sizeof line, &physical)) {
        std::vector<std::string> words = tokens(line);
        header_index_add(&index, physical, words.empty() ? "" : search_token(words[0]));
        if (at_header) {
            if (words.empty() || words[0][0] == '-')
                continue;
            headers.push_back({physical, upper(words[0]).substr(0, 11)});
            at_header = false;
            if (!header_can_match(headers.back().pattern))
                report(false, file, physical,
                       "the header " + in_quotes(words[0]) + " can never match a station: a callsign has at most 6 "
                       "letters and digits, then \"-\" and the SSID; the filter never uses this entry; write the "
                       "callsign, with -SSID or the wildcards ? and * if needed");
            continue;
        }
        bool ended = false;
        check_entry_line(file, headers.back(), physical, line, &ended);
        if (!words.empty() && serves_console(upper(words[0])))
            headers.back().console_line = true;
        at_header = ended;
    }
    plat_close_text(f);
    memset(line, 0, sizeof line);
    dump_facts.users_read = true;
    for (const Header &h : headers)
        dump_facts.headers.push_back({h.line, h.pattern});
    check_console_entries(file, headers);
    for (const Header &h : headers) {
        if (is_pattern(h.pattern))
            check_shadowed_pattern(file, h, index);
        else if (!is_console_header(h.pattern))
            check_shadowed_plain(file, h, index);
        if (h.table)
            check_table(file, h);
    }
}

// ---- logusr.prt -------------------------------------------------------------

// log_name_can_match - the name is a callsign the host can pass, alone or
// with "-" and an SSID written as the filter writes it ("%d" of 0 to 255).
static bool log_name_can_match(const std::string &name)
{
    size_t dash = name.find('-');
    std::string call = name.substr(0, dash);
    if (call.empty() || call.size() > CALLSIGN_MAX)
        return false;
    for (char ch : call)
        if (!(ch >= 'A' && ch <= 'Z') && !(ch >= '0' && ch <= '9'))
            return false;
    if (dash == std::string::npos)
        return true;
    std::string ssid = name.substr(dash + 1);
    if (ssid.empty() || ssid.size() > 3 || ssid.find_first_not_of("0123456789") != std::string::npos ||
        (ssid.size() > 1 && ssid[0] == '0'))
        return false;
    return std::stoi(ssid) <= HOST_SSID_MAX;
}

// mode_letters - the letters C, D, W, M a mode holds, in that order.
static std::string mode_letters(uint16_t mode)
{
    std::string out;
    for (const LetterValue *l = log_mode_letters; l->letter; l++)
        if (mode & l->value)
            out += l->letter;
    return out;
}

// mode_effect - the station log a mode gives: its files, and whether console calls are in it.
static std::string mode_effect(uint16_t mode)
{
    const char *files = mode & LOG_WEEKLY ? "a file per week" : mode & LOG_MONTHLY ? "a file per month"
                        : mode & LOG_DAILY ? "a file per day" : "one file";
    return std::string(files) + (mode & LOG_CONSOLE ? ", console calls too" : ", no console calls");
}

// check_log_user_name - a name no station has; false when the line is of no use.
static bool check_log_user_name(const std::string &file, int line, const std::string &word)
{
    if (log_name_can_match(word))
        return true;
    if (word.find_first_of("?*") != std::string::npos)
        report(false, file, line,
               "the name " + in_quotes(word) + " holds a wildcard, but logusr.prt names stations exactly; no "
               "station gets a log by this line; write each callsign, or CALLSIGN-SSID, on a line of its own");
    else
        report(false, file, line,
               "the name " + in_quotes(word) + " can never match a station: a station is a callsign of at most 6 "
               "letters and digits, alone or with \"-\" and an SSID 0 to 255 without leading zeros; the filter "
               "never uses this line; write the callsign, or CALLSIGN-SSID as in \"N0CALL-7\"");
    return false;
}

// check_log_user_twice - a name an earlier line already gives; false when this line is never used.
static bool check_log_user_twice(const std::string &file, int line, const std::string &name,
                                 const std::map<std::string, int> &seen)
{
    auto same = seen.find(name);
    if (same != seen.end()) {
        report(false, file, line,
               name + " is named a second time; the filter uses line " + std::to_string(same->second) +
                   " and never reads this one; remove one of the two lines");
        return false;
    }
    size_t dash = name.find('-');
    auto bare = dash == std::string::npos ? seen.end() : seen.find(name.substr(0, dash));
    if (bare != seen.end()) {
        report(false, file, line,
               "the line for " + name + " is never used: line " + std::to_string(bare->second) + " " +
                   in_quotes(bare->first) + " names every SSID of " + bare->first + " and comes first; the filter "
                   "logs " + name + " with the letters of line " + std::to_string(bare->second) +
                   "; move this line above line " + std::to_string(bare->second));
        return false;
    }
    return true;
}

// check_log_user_letters - letters the filter ignores, splits or adds up otherwise than meant.
static void check_log_user_letters(const std::string &file, int line, const LogUserLine &entry,
                                   const std::vector<std::string> &words)
{
    std::string letters = entry.letters, unknown;
    uint16_t meant = 0;
    for (char ch : letters) {
        char one[2] = {ch, '\0'};
        uint16_t value = letters_value(one, log_mode_letters);
        if (!value)
            unknown += ch;
        meant = (uint16_t)(meant | value);
    }
    if (!unknown.empty())
        report(false, file, line,
               "letters " + in_quotes(unknown) + " mean nothing in logusr.prt; the filter ignores them; use only "
               "C, D, W, M");
    if (entry.mode != meant)
        report(false, file, line,
               "a letter written twice: the filter adds the letters up, so " + in_quotes(letters) + " reads as " +
                   (mode_letters(entry.mode).empty() ? std::string("no letter at all")
                                                     : in_quotes(mode_letters(entry.mode))) +
                   ": " + mode_effect(entry.mode) + "; write each letter once");
    if (words.size() <= 2)
        return;
    std::string lost, joined = letters;
    for (size_t i = 2; i < words.size(); i++)
        lost += (lost.empty() ? "" : " ") + words[i];
    bool only_letters = lost.find_first_not_of("CDWM ") == std::string::npos;
    for (char ch : lost)
        if (ch != ' ')
            joined += ch;
    report(false, file, line,
           (only_letters ? "letters split by blanks: " : "words after the letters: ") + std::string("the filter reads ") +
               in_quotes(letters) + " and ignores " + in_quotes(lost) + "; " +
               (only_letters ? "write the letters together, as in " + in_quotes(words[0] + " " + joined)
                             : std::string("put comments on lines of their own")));
}

// check_log_users - every line of logusr.prt through the filter's own line parser.
static void check_log_users(const ConfigFacts &c)
{
    std::string path = filter_file("logusr.prt"), file = display_path(path);
    PlatText text;
    PlatText *f = plat_open_text(path.c_str(), &text) ? &text : nullptr;
    if (!f)
        return;
    std::map<std::string, int> seen;
    char line[LOG_USER_LINE_SIZE];
    int physical = 0, first = 0;
    while (read_significant_line(f, line, sizeof line, &physical)) {
        std::vector<std::string> words = tokens(upper(line));
        LogUserLine entry;
        if (!parse_log_user_line(line, &entry))
            continue;
        if (!first)
            first = physical;
        if (!check_log_user_name(file, physical, words[0]) || !check_log_user_twice(file, physical, entry.name, seen))
            continue;
        seen[entry.name] = physical;
        check_log_user_letters(file, physical, entry, words);
    }
    plat_close_text(f);
    if (first && c.connection_log_off)
        report(false, file, first,
               "stations are listed but connection logging is off (" + shown_path(c.file) + ":" +
                   std::to_string(c.connection_log_off) + ", line " + std::to_string(OPTION_CONNECTION_LOG) +
                   ", is NO); the filter writes no station log at all, not even with the letter C; write OK on line " +
                   std::to_string(OPTION_CONNECTION_LOG) + " of config.prt, or leave logusr.prt out");
}

// ---- caller texts ----------------------------------------------------------

// text_missing_ports - the ports with a port line for which neither stem<port>.prt nor general exists.
static std::string text_missing_ports(const ConfigFacts &c, const std::string &stem, const std::string &general,
                                      int method)
{
    if (plat_exists(filter_file(general).c_str()))
        return "";
    std::string ports;
    for (const PortLine &p : c.ports)
        if ((method == 0 || p.method == method) &&
            !plat_exists(filter_file(stem + std::to_string(p.port) + ".prt").c_str()))
            ports += (ports.empty() ? "" : ", ") + std::to_string(p.port);
    return ports;
}

// check_texts - the caller texts the options switch on.
static void check_texts(const ConfigFacts &c)
{
    FilterConfig &o = filter_config;
    std::string ports;
    if (o.send_open_text && !(ports = text_missing_ports(c, "open", "open.prt", 0)).empty())
        report(true, c.file, c.role_line.at(OPTION_OPEN_TEXT),
               "the open text is switched on but " + filter_dir_shown() + "open.prt is missing (and the per-port text for port " +
                   ports + "); every station admitted by OPEN there gets error 8 and no texts at all; write "
                   "open.prt, or switch this line to NO");
    if (o.send_exclusion_text && !(ports = text_missing_ports(c, "exclud", "excluded.prt", 0)).empty())
        report(true, c.file, c.role_line.at(OPTION_EXCLUSION_TEXT),
               "the exclusion text is switched on but " + filter_dir_shown() + "excluded.prt is missing (and the per-port text "
               "for port " + ports + "); every refused EXCLUDED station there gets error 11 and is not logged; "
               "write excluded.prt, or switch this line to NO");
    if (!(ports = text_missing_ports(c, "info", "info.prt", METHOD_CLOSED)).empty())
        report(true, c.file, 0,
               "port " + ports + " is CLOSED but " + filter_dir_shown() + "info.prt is missing; every station refused there "
               "gets error 9 instead of the information text; write info.prt");
    struct Optional { bool on; int role; const char *stem; const char *general; const char *what; };
    const Optional optional[] = {
        {o.send_guest_text, OPTION_GUEST_TEXT, "guest", "guest.prt", "guest text"},
        {o.send_intro_text, OPTION_INTRO_TEXT, "intro", "intro.prt", "intro text"},
        {o.new_user_welcome && (o.new_user_actions & NEW_USER_TEXT), OPTION_NEW_USER, "newtxt", "newtxt.prt", "new-user text"},
        {o.new_user_welcome && (o.new_user_actions & NEW_USER_MESSAGE), OPTION_NEW_USER, "newmsg", "newmsg.prt",
         "new-user message"},
    };
    for (const Optional &t : optional)
        if (t.on && c.role_line.count(t.role) && !(ports = text_missing_ports(c, t.stem, t.general, 0)).empty())
            report(false, c.file, c.role_line.at(t.role),
                   std::string("the ") + t.what + " is switched on but " + filter_dir_shown() + t.general +
                       " is missing (and the per-port text for port " + ports + "); nothing is sent there; write " +
                       t.general + ", or switch it off");
}

// text_readers - the stations whose station text is the file of this stem:
// those whose callsign and SSID spell it (the filter tries CALL + SSID
// first), and the callsign it spells alone (tried when CALL + SSID is missing).
static std::vector<std::string> text_readers(const std::string &stem)
{
    std::vector<std::string> out;
    for (size_t cut = 1; cut < stem.size(); cut++) {
        std::string call = stem.substr(0, cut), ssid = stem.substr(cut);
        if (ssid.size() > 2 || (ssid.size() > 1 && ssid[0] == '0') || !well_formed_key(call + "-" + ssid) ||
            atoi(ssid.c_str()) > SSID_MAX)
            continue;
        out.push_back(call + "-" + ssid);
    }
    if (well_formed_key(stem))
        out.push_back(stem + " (any SSID without a text of its own)");
    return out;
}

// check_station_texts - a station text that two stations reach: each is
// shown what was written for the other.
static void check_station_texts(void)
{
    PlatListing listing;
    if (!plat_open_listing(FILTER_DIR, &listing))
        return;
    char name[260];
    std::vector<std::string> names;
    while (plat_next_name(&listing, name, sizeof name))
        names.push_back(name);
    plat_close_listing(&listing);
    std::sort(names.begin(), names.end());
    for (const std::string &n : names) {
        if (n.size() < 5 || upper(n.substr(n.size() - 4)) != ".ENT")
            continue;
        std::vector<std::string> readers = text_readers(upper(n.substr(0, n.size() - 4)));
        if (readers.size() < 2)
            continue;
        std::string list;
        for (size_t i = 0; i < readers.size(); i++)
            list += (i == 0 ? "" : i + 1 == readers.size() ? " and " : ", ") + readers[i];
        report(false, FILTER_DIR "/" + n, 0,
               "the station text of " + list + ": the filter builds the name from the callsign and the SSID "
               "written together, so each of them is shown this text; keep it for one of them, and if the others "
               "must read nothing meant for it, give them their own text (CALL + SSID.ent)");
    }
}

// check_switches - switch files left behind: the off switch, which lets
// every station in, and port reservations, which refuse all but BBSs.
static void check_switches(void)
{
    if (filter_is_off())
        report(true, FILTER_DIR "/morvel.sta", 0,
               "the filter is switched off (the sysop command -off left this file); the filter admits every new "
               "connection unfiltered, whatever config.prt and users.prt say; give the command -on, or delete "
               "this file");
    for (int p = 0; p < PORT_TABLE_SIZE; p++) {
        connection_info.port = (int8_t)p;
        if (!port_is_bbs_only())
            continue;
        std::string name = p == 0 ? "the console" : host_has_port(p) ? "port " + std::to_string(p) + " (" +
                                                                           port_table[p] + ")"
                                                                     : "port " + std::to_string(p);
        report(false, FILTER_DIR "/" + std::to_string(p) + ".prt", 0,
               name + " is reserved for BBSs (the sysop command -pbbs " + std::to_string(p) + " left this file); "
               "the filter refuses every station there that the host does not flag as a BBS (16) or as allowed "
               "on BBS ports (8); give the command -pnormal " + std::to_string(p) + ", or delete this file, "
               "unless the reservation is meant");
    }
}

// note_files_read - which config.prt and users.prt the check reads, and why there.
static void note_files_read(void)
{
    char config[FILTER_PATH_MAX], users[FILTER_PATH_MAX];
    config_file_path("config.prt", config, sizeof config);
    config_file_path("users.prt", users, sizeof users);
    const char *morvel = plat_getenv("MORVEL");
    check_files_read(display_path(config), display_path(users), morvel ? morvel : "");
    dump_facts.config = shown_path(display_path(config));
    dump_facts.users = shown_path(display_path(users));
}

// set_morvel - MORVEL for the filter's readers, as the sysop would set it;
// Windows has no setenv.
static int set_morvel(const char *dir)
{
#ifdef _WIN32
    return _putenv_s("MORVEL", dir);
#else
    return setenv("MORVEL", dir, 1);
#endif
}

int main(int argc, char **argv)
{
    std::string dir, morvel;
    bool quiet = false, json = false, dump = false;
    CLI::App app{"filter-check: check a connection filter's setup before it goes live.\n"
                 "Reads every file with the filter's own parsers; writes nothing.\n"
                 "Exit status: 0 clean, 1 warnings, 2 errors, 100 usage."};
    app.add_option("DIR", dir, "the host's working directory (holding init.srv and morvel/)")->required();
    app.add_flag("-q,--quiet", quiet, "print only the problems: no summary, no note of the files read");
    app.add_flag("--json", json, "print one JSON object: the files read, the counts and every finding "
                                 "(file, line, severity, what, effect, fix)");
    app.add_flag("--strict", strict, "count a radio port without a port line, and a users.prt that cannot be "
                                     "read, as errors");
    app.add_flag("--dump", dump, "print the setup as the filter will use it instead of the findings: every "
                                 "option with its default filled in, each port's method, and the headers of "
                                 "users.prt in the order the filter tries them");
    app.add_option("--morvel", morvel, "the directory of config.prt and users.prt, as the variable MORVEL names "
                                       "it for the BBS (relative to DIR)");
    app.set_version_flag("--version", tool_version_line("filter-check"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        int code = app.exit(e);
        return e.get_exit_code() == 0 ? code : EXIT_USAGE;
    }
    if (!morvel.empty() && set_morvel(morvel.c_str()) != 0)
        return EXIT_USAGE;
    if (!enter_setup(dir, "filter-check"))
        return EXIT_USAGE;
    filter_reset_state();
    if (!plat_dry_run_begin()) {
        fprintf(stderr, "filter-check: dry runs are not supported on this system\n");
        return EXIT_USAGE;
    }
    check_report_begin(dump ? CHECK_SILENT : json ? CHECK_JSON : quiet ? CHECK_QUIET : CHECK_TEXT, dir);
    note_files_read();
    trace_set_sink(collect);
    if (check_startup()) {
        check_switches();
        ConfigFacts c = check_config();
        check_guard();
        check_users();
        if (c.read)
            check_texts(c);
        check_log_users(c);
        check_station_texts();
    }
    trace_set_sink(nullptr);
    plat_dry_run_end();
    if (dump)
        print_dump(dump_facts);
    return check_report_end();
}
