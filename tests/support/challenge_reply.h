// challenge_reply.h - a config.prt of chosen options, and a caller's view of a
// challenge line: the positions and digits shown, and the answers they ask for.
#ifndef TESTS_CHALLENGE_REPLY_H
#define TESTS_CHALLENGE_REPLY_H

#include "support/host_dir.h"
#include "tools/caller_answer.h"

#include <cstdio>
#include <regex>
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

// What a challenge line shows the caller.
struct ChallengeLine {
    std::vector<int> positions;   // 1-based, as shown
    std::string digits;           // the digits in "[...]", or FLEXNET's group of five
};

inline ChallengeLine parse_challenge(const std::string &reply)
{
    ChallengeLine c;
    std::smatch m;
    if (std::regex_search(reply, m, std::regex(R"(> (\d+) (\d+) (\d+) (\d+) (\d+))")))
        for (int i = 1; i <= 5; i++)
            c.positions.push_back(std::stoi(m[i]));
    if (std::regex_search(reply, m, std::regex(R"(\[(\d{10})\])")))
        c.digits = m[1];
    else if (std::regex_search(reply, m, std::regex(R"(> (\d{5})\n)")))
        c.digits = m[1];
    return c;
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

// log_entry - the line that an attempt log gets for a station at the fixed clock.
inline std::string log_entry(const char *callsign, int ssid, int port)
{
    char line[128];
    snprintf(line, sizeof line, "         %-6s-%-2d        %2d         %s         %s\n", callsign, ssid, port,
             "21:30:05,27", "08-12-2026");
    return line;
}

#endif
