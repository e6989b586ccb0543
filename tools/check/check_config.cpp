// check_config.cpp - config.prt, every line through the filter's own parser,
// and the language file its first line names.
#include "common/filter_dir.h"
#include "common/letter_values.h"
#include "common/line_reader.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "platform/platform.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"
#include "tools/shared/tool_run.h"

#include <cstring>

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
        check_finding(false, c.file, line,
                      "the sysop list reads as " + list + ": " + odd +
                          (odd.find(',') != std::string::npos ? " are not callsigns" : " is not a callsign") + "; the filter mails its reports to each of them; write bare callsigns of at most 6 "
                          "characters (no SSID) separated by blanks, and put comments on lines of their own");
    size_t chars = 0;
    for (const std::string &w : words)
        chars += (w.size() + 5) / 6;
    if (chars > MAX_SYSOPS)
        check_finding(false, c.file, line,
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
        check_finding(false, c.file, line,
                      "letters split by blanks; the filter reads " + in_quotes(words[fields - 1]) + " and ignores " +
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
        check_finding(false, c.file, line,
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
        check_finding(false, c.file, line,
                      "the language file " + in_quotes(name) + " is not in " + filter_dir_shown() + "; the filter says nothing and "
                      "keeps the English texts; check the name, or write ** for none");
        return;
    }
    for (const TraceEvent &e : events)
        if (e.kind == TRACE_ERROR && e.value == 6)
            check_finding(true, display_path(path), 0,
                          "holds " + std::to_string(e.line) + " texts, not 29; the filter reports error 6 (" +
                              in_quotes(e.text) + ", without the file's name) and keeps the English texts; give it exactly "
                              "29 text lines, then a line \"-\"");
}

// check_port_line - a port line that read: a port the host has, not decided before.
static void check_port_line(ConfigFacts &c, int line, uint8_t port)
{
    for (const PortLine &p : c.ports)
        if (p.port == port && !p.failed) {
            check_finding(false, c.file, line,
                          "a second port line for port " + std::to_string(port) + "; the filter uses line " +
                              std::to_string(p.line) + " and never reads this one; remove one of them");
            return;
        }
    c.ports.push_back({port, line, filter_config.port_method});
    if (port != 0 && !host_has_port(port))
        check_finding(false, c.file, line,
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
        check_finding(r != CONFIG_LINE_OK, c.file, line,
                      "an indented comment: a line that starts with a blank is no comment, so the filter reads it as " +
                          std::string(role <= CONFIG_OPTION_LINES ? "option line " + std::to_string(role) : "a port line") +
                          " and every line below it one place later; " +
                          (r != CONFIG_LINE_OK ? stop_effect(role) : std::string("the options below it are shifted")) +
                          "; remove the blanks before the \"#\"");
        return;
    }
    // A port line whose method does not read still names its port: the
    // one finding says what is wrong, and the port is not called unnamed.
    if (r != CONFIG_LINE_OK && role > CONFIG_OPTION_LINES && port != PORT_UNRESOLVED && tokens(original).size() >= 2) {
        PortLine named = {port, line, -1};
        named.failed = true;
        c.ports.push_back(named);
    }
    if (r == CONFIG_LINE_FAILED) {
        check_finding(true, c.file, line,
                      in_quotes(original) + " is not " + role_expected(role) + "; " + stop_effect(role) + "; write " +
                          role_expected(role) + (role <= OPTION_ATTEMPTS || role > CONFIG_OPTION_LINES ? "" : " (a comment line counts "
                          "for nothing, so a missing line shifts every line below it)"));
        return;
    }
    if (r == CONFIG_LINE_REPORTED) {
        check_finding(true, c.file, line, reported_line_text(original, port));
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
            check_finding(strict, c.file, 0,
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
            if (l.port == p && !l.failed) {
                d.line = l.line;
                d.method = l.method;
            }
        dump_facts.ports.push_back(d);
    }
}

// check_config - every line of config.prt, not only up to one port.
ConfigFacts check_config(void)
{
    ConfigFacts c;
    char path[FILTER_PATH_MAX];
    config_file_path("config.prt", path, sizeof path);
    c.file = display_path(path);
    PlatText text;
    PlatText *f = plat_open_text(path, &text) ? &text : nullptr;
    if (!f && report_unreadable(path, "the filter reports error 3 and admits every station on every port"))
        return c;
    if (!f) {
        check_finding(true, c.file, 0,
                      "cannot be opened; the filter reports error 3 and admits every station on every port; put "
                      "config.prt in " + filter_dir_shown() + " (or in the directory the variable MORVEL names)");
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
