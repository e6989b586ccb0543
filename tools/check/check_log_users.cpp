// check_log_users.cpp - logusr.prt, the stations whose connections get a log of their own.
#include "common/letter_values.h"
#include "common/line_reader.h"
#include "config/filter_config.h"
#include "platform/platform.h"
#include "report/logs.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"
#include "tools/shared/tool_run.h"

#include <map>

enum { CALLSIGN_MAX = 6, HOST_SSID_MAX = 255 };

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
        check_finding(false, file, line,
                      "the name " + in_quotes(word) + " holds a wildcard, but logusr.prt names stations exactly; no "
                      "station gets a log by this line; write each callsign, or CALLSIGN-SSID, on a line of its own");
    else
        check_finding(false, file, line,
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
        check_finding(false, file, line,
                      name + " is named a second time; the filter uses line " + std::to_string(same->second) +
                          " and never reads this one; remove one of the two lines");
        return false;
    }
    size_t dash = name.find('-');
    auto bare = dash == std::string::npos ? seen.end() : seen.find(name.substr(0, dash));
    if (bare != seen.end()) {
        check_finding(false, file, line,
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
        check_finding(false, file, line,
                      "letters " + in_quotes(unknown) + " mean nothing in logusr.prt; the filter ignores them; use only "
                      "C, D, W, M");
    if (entry.mode != meant)
        check_finding(false, file, line,
                      "a letter written twice; the filter adds the letters up, so " + in_quotes(letters) + " reads as " +
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
    check_finding(false, file, line,
                  (only_letters ? "letters split by blanks; " : "words after the letters; ") + std::string("the filter reads ") +
                      in_quotes(letters) + " and ignores " + in_quotes(lost) + "; " +
                      (only_letters ? "write the letters together, as in " + in_quotes(words[0] + " " + joined)
                                    : std::string("put comments on lines of their own")));
}

// check_log_users - every line of logusr.prt through the filter's own line parser.
void check_log_users(const ConfigFacts &c)
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
        check_finding(false, file, first,
                      "stations are listed but connection logging is off (" + shown_path(c.file) + ":" +
                          std::to_string(c.connection_log_off) + ", line " + std::to_string(OPTION_CONNECTION_LOG) +
                          ", is NO); the filter writes no station log at all, not even with the letter C; write OK on line " +
                          std::to_string(OPTION_CONNECTION_LOG) + " of config.prt, or leave logusr.prt out");
}
