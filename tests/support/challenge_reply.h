// challenge_reply.h - a config.prt of chosen options, and the answers a
// caller works out from what a challenge line shows (tools/shared/caller_answer.h).
#ifndef TESTS_CHALLENGE_REPLY_H
#define TESTS_CHALLENGE_REPLY_H

#include "auth/exposure_record.h"
#include "platform/platform.h"
#include "support/host_dir.h"
#include "tools/shared/caller_answer.h"

#include <cstdio>
#include <string>
#include <vector>

static const std::string TAG = "{MORVEL-4.0}\n";

// The options of config.prt that the authentication tests vary.
struct FilterOptions {
    std::string attempts = "3";        // line 3: digit and letter fields
    std::string prompt = "PASSWORD>";
    bool open_text = false;
    bool exclusion_text = false;
    bool guest_text = false;
    bool intro_text = false;
    std::string welcome = "NO";        // line 10, e.g. "OK T"
    bool log_exclusions = true;
    bool log_password_failures = true;
    std::vector<std::string> ports = {"0 OPEN", "1 OPEN", "2 OPEN"};
};

inline void write_filter_config(HostDir &h, const FilterOptions &o)
{
    auto flag = [](bool on) { return std::string(on ? "OK" : "NO"); };
    std::vector<std::string> lines = {"**", "N0SYS", o.attempts, o.prompt, "NO", flag(o.open_text),
                                      flag(o.exclusion_text), flag(o.guest_text), flag(o.intro_text),
                                      o.welcome, "NO", "NO", flag(o.log_exclusions),
                                      flag(o.log_password_failures)};
    lines.insert(lines.end(), o.ports.begin(), o.ports.end());
    h.write_config(lines);
}

// chars_at - the password's characters at the shown positions.
inline std::string chars_at(const std::string &password, const std::vector<int> &positions)
{
    std::string s;
    chars_at_positions(password, positions, &s);
    return s;
}

inline std::string upper(std::string s)
{
    for (auto &c : s)
        c = (char)toupper((unsigned char)c);
    return s;
}

// heard_note - the note a state file keeps of what a right answer lets a
// listener hear: the password's tag, and the shown 1-based positions (with
// the password's length) or the digits shown.
inline std::string heard_note(ExposureKind kind, const std::string &password, const std::vector<int> &positions = {},
                              const std::string &digits = "")
{
    HeardAnswer a = {};
    a.kind = kind;
    exposure_tag(password.c_str(), a.tag);
    a.length = (int)password.size();
    for (size_t i = 0; i < positions.size() && i < EXPOSURE_DRAWN; i++)
        a.positions[i] = positions[i] - 1;
    snprintf(a.digits, sizeof a.digits, "%s", digits.c_str());
    char note[HEARD_NOTE_TEXT];
    format_heard_note(&a, note);
    return note;
}

// station_line - the last line of a state file put now to station on port
// for method, with the note of what a right answer lets a listener hear.
inline std::string station_line(const std::string &station, int port, int method, const std::string &note = "")
{
    return station + " " + std::to_string(port) + " " + std::to_string(method) + " " +
           std::to_string((long long)plat_now_seconds()) + (note.empty() ? "" : " " + note) + "\n";
}

// log_entry - the line that an attempt log gets for a station at the fixed clock.
inline std::string log_entry(const char *callsign, int ssid, int port)
{
    char line[128];
    snprintf(line, sizeof line, "         %-6s-%-2d        %2d         %s         %s\n", callsign, ssid, port,
             "21:30:05,27", "08-12-2026");
    return line;
}

#endif
