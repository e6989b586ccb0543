// check_tables.cpp - the password tables of TABLE stations, and passwords too
// short for a challenge that shows five of their characters.
#include "auth/challenges.h"
#include "common/line_reader.h"
#include "config/user_list.h"
#include "platform/platform.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"
#include "tools/shared/tool_run.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

// A positions challenge shows five characters; below this length an
// overheard login gives away more than two fifths of the password.
enum { SHORT_PASSWORD = 10, DAYS = 31 };

// password_leak - the share of a password one overheard positions challenge shows, on average.
static double password_leak(size_t length)
{
    return 1.0 - std::pow((double)(length - 1) / (double)length, 5.0);
}

// check_password_length - a password too short for a positions challenge.
void check_password_length(const std::string &file, int line, size_t length, const char *what)
{
    if (length >= SHORT_PASSWORD || length == 0)
        return;
    double share = password_leak(length);
    char text[400];
    snprintf(text, sizeof text,
             "%s of %zu characters; each overheard login shows five positions of it, on average %.1f different "
             "characters (%.0f%%), so a few logins give it away; use a password of %d characters or more",
             what, length, share * (double)length, share * 100.0, (int)SHORT_PASSWORD);
    check_finding(false, file, line, text);
}

// check_table - the password table of a TABLE station: there, every day, long enough.
void check_table(const std::string &users_file, const Header &h)
{
    size_t call_end = h.pattern.find('-');
    std::string call = h.pattern.substr(0, call_end);
    if (is_pattern(call) || call.empty()) {
        check_finding(false, users_file, h.line,
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
    if (!f && unreadable(path))
        return;   // the check of the filter directory's files tells
    if (!f) {
        check_finding(true, users_file, h.line,
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
            if (!days.count(day))
                note_exposure(display_path(path), physical, h.pattern, METHOD_TABLE, password, day);
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
        check_finding(false, display_path(path), 0,
                      "no row for day " + missing + "; on those days the filter gives " + h.pattern +
                          " the port's method instead of a challenge; add a row \"DAY PASSWORD\" for each");
}

