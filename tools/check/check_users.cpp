// check_users.cpp - users.prt, every entry through the filter's own parser,
// not only the station's own.
#include "auth/challenges.h"
#include "common/access_methods.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/otp_secret.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "config/user_list.h"
#include "platform/platform.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"
#include "tools/check/header_index.h"
#include "tools/shared/tool_run.h"

#include <cstring>

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
        check_finding(false, file, line,
                      "port " + std::to_string(number) + " is not in the host's port file (its ports: " + port_names() +
                          "); this line never applies; write the number or name of one of the host's ports");
}

// entry_port - the ports an entry line that read serves, as the filter matches them.
static EntryPort entry_port(int line, const std::vector<std::string> &words)
{
    EntryPort p = {line, words[0] + " " + words[1], false, 0};
    if (words[0].size() <= 2) {
        p.every_port = words[0][0] == '*';
        p.port = (uint8_t)strtol(words[0].c_str(), nullptr, 10);
        return p;
    }
    uint8_t port = port_from_name(words[0].c_str(), line, true);
    p.every_port = port == PORT_ALL;
    p.port = port;
    return p;
}

// check_line_read - a line of an entry that an earlier line of the same
// entry hides: the filter reads an entry only up to the first line for the
// connection's port.
static void check_line_read(const std::string &file, Header &h, const EntryPort &now)
{
    for (const EntryPort &before : h.ports) {
        if (!before.every_port && (now.every_port || before.port != now.port))
            continue;
        std::string where = before.every_port ? "every port" : "port " + std::to_string(now.port);
        check_finding(false, file, now.line,
                      "the line " + in_quotes(now.words) + " is never read: line " + std::to_string(before.line) +
                          " " + in_quotes(before.words) + " of the same entry comes first for " + where +
                          ", and the filter reads an entry only up to the first line for the connection's port; " +
                          h.pattern + " gets the method of line " + std::to_string(before.line) + " there; remove "
                          "one of the two lines, or put this one above line " + std::to_string(before.line));
        return;
    }
    h.ports.push_back(now);
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
        check_finding(true, file, line,
                      "an entry line needs a port and a method" + std::string(words.size() == 1 ? " (is the line \"-\" "
                      "that ends the entry above missing?)" : "") + "; " + when + "; write PORT METHOD [PASSWORD]");
    } else if (r == ENTRY_LINE_REPORTED) {
        bool port_bad = words[0].size() > 2 && port_from_name(words[0].c_str(), line, true) == PORT_UNRESOLVED;
        check_finding(true, file, line,
                      (port_bad ? "the port name " + in_quotes(words[0]) + " is not in the host's port file (its ports: " +
                                      port_names() + ")"
                                : "unknown access method " + in_quotes(words[1])) + "; " + when + "; write " +
                          (port_bad ? "a port number, *, ALL or one of those names" : "a keyword of the access methods"));
    } else if (e.needs_password && !e.password_ok && find_access_method(e.method)->password_is_secret &&
               words.size() >= 3) {
        check_finding(true, file, line,
                      std::string(method_name(e.method)) + " secret is not base32 of at least 128 bits (" +
                          std::to_string(OTP_SECRET_MIN * 8 / 5 + 1) + " characters of A-Z and 2-7); " + when +
                          "; make one with filter-otp new CALL-SSID");
    } else if (e.needs_password && !e.password_ok) {
        const AccessMethod *m = find_access_method(e.method);
        bool exact = m->password_length && words.size() >= 3;
        check_finding(true, file, line,
                      std::string(m->english) + (exact ? " needs a " + std::string(m->password_digits ? "key" : "password") +
                                                              " of exactly " + std::to_string(m->password_length) +
                                                              (m->password_digits ? " digits" : " characters")
                                                        : std::string(" needs a password")) + "; " + when +
                          "; write the password after the method");
    } else if (e.needs_password && words.size() > 3 && words[3][0] != '#') {
        check_finding(true, file, line,
                      "the password holds a blank: the filter takes only its first word (" +
                          std::to_string(strlen(e.password)) + " characters) and ignores the rest; " +
                          locked_out(h.pattern, e.method) + "; write the password as one word without blanks");
    } else if (e.needs_password && draws_positions(e.method)) {
        check_password_length(file, line, strlen(e.password), (std::string(method_name(e.method)) + " password").c_str());
    } else if (r == ENTRY_LINE_OK && e.method == METHOD_TABLE) {
        h.table = true;
    }
    if (r == ENTRY_LINE_OK && e.needs_password && e.password_ok)
        note_exposure(file, line, h.pattern, e.method, e.password, 0);
    if (r != ENTRY_LINE_END && !words.empty())
        check_entry_port(file, line, words[0]);
    if (r == ENTRY_LINE_OK)
        check_line_read(file, h, entry_port(line, words));
    memset(&e, 0, sizeof e);
}

// check_users - every entry of users.prt, not only the station's own.
void check_users(void)
{
    char path[FILTER_PATH_MAX];
    config_file_path("users.prt", path, sizeof path);
    std::string file = display_path(path);
    PlatText text;
    PlatText *f = plat_open_text(path, &text) ? &text : nullptr;
    if (!f && report_unreadable(path, "the filter says nothing and gives every station its port's method, so the "
                                      "stations you meant to exclude or challenge are handled like everyone else"))
        return;
    if (!f) {
        std::string near;
        std::string dir = std::string(path).substr(0, std::string(path).find_last_of('\\') + 1);
        for (const char *n : {"user.prt", "users.txt", "users.prt.txt", "usuarios.prt", "users"})
            if (plat_exists((dir + n).c_str()))
                near = shown_path(display_path(dir + n));
        check_finding(strict, file, 0,
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
                check_finding(false, file, physical,
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
