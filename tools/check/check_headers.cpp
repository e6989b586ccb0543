// check_headers.cpp - the headers of users.prt as the filter's search meets
// them: entries it never reaches, headers no station matches, the console entry.
#include "config/user_list.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"
#include "tools/check/header_index.h"

#include <algorithm>
#include <cctype>

// is_pattern - a header with a wildcard, tried in the search by callsign and SSID.
bool is_pattern(const std::string &pattern)
{
    return pattern.find_first_of("?*") != std::string::npos;
}

// is_console_header - the console entry's header.
bool is_console_header(const std::string &pattern)
{
    return pattern.compare(0, 6, "CONSOL") == 0;
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
bool header_can_match(const std::string &pattern)
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
void check_shadowed_plain(const std::string &file, const Header &h, const HeaderIndex &index)
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
    check_finding(false, file, h.line,
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
void check_shadowed_pattern(const std::string &file, const Header &h, const HeaderIndex &index)
{
    if (h.pattern == "*") {
        check_finding(false, file, h.line,
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
    check_finding(false, file, h.line,
                  "the entry " + in_quotes(h.pattern) + " is never used: the header " +
                      in_quotes(index.by_line.at(winner)) + " at line " + std::to_string(winner) +
                      " catches its stations first (among headers with a wildcard or an SSID the first in the file "
                      "wins); they get the entry of line " + std::to_string(winner) +
                      "; move this entry above line " + std::to_string(winner));
}

// serves_console - an entry line's port that takes a connection on port 0.
bool serves_console(const std::string &port)
{
    return port[0] == '*' || port == "0" || port == "00" || port.compare(0, 6, "CONSOL") == 0 || port == "ALL" ||
           port == "TODOS";
}

// check_console_entries - console entries that the filter never reaches: a
// second one, or every one behind a catch-all; and a catch-all whose entry
// has no line for the console.
void check_console_entries(const std::string &file, const std::vector<Header> &all)
{
    const Header *catch_all = nullptr, *console = nullptr;
    for (const Header &h : all) {
        if (!catch_all && is_pattern(h.pattern) && catches_everyone(h.pattern))
            catch_all = &h;
        if (is_console_header(h.pattern)) {
            if (console)
                check_finding(false, file, h.line,
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
        check_finding(false, file, console->line,
                      "the console entry is never used: the header " + by + " catches every station, the console's "
                      "too, before the search for a console entry; the console gets the entry of line " +
                          std::to_string(catch_all->line) + "; move this entry's console line into that entry, "
                          "then remove this one");
    if (!catch_all->console_line)
        check_finding(false, file, catch_all->line,
                      "the catch-all " + in_quotes(catch_all->pattern) + " has no line for the console (port 0); the "
                      "console's station is caught here" + std::string(console ? ", never by the console entry," : "") +
                      " and gets the console's method from config.prt; add a line \"CONSOLE METHOD [PASSWORD]\" to "
                      "this entry");
}

