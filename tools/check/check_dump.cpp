// check_dump.cpp - the effective setup, as sshd -T prints its own.
#include "tools/check/check_dump.h"
#include "common/records.h"
#include "tools/shared/tool_run.h"

#include <cstdio>

// on_off - a switch as config.prt writes it.
static const char *on_off(bool on)
{
    return on ? "OK" : "NO";
}

// policy_text - what the letters of line 3 ask for.
static std::string policy_text(uint16_t policy)
{
    std::string after = policy & POLICY_FAIL_READONLY ? "read-only" : policy & POLICY_FAIL_HOLD ? "on hold" : "refused";
    std::string plain = policy & POLICY_PLAIN_DENY ? "refused" : policy & POLICY_PLAIN_READONLY ? "read-only"
                        : policy & POLICY_PLAIN_HOLD ? "on hold" : "admitted";
    return "after the last wrong answer: " + after + "; MD5 callers answering in plain: " + plain +
           (policy & POLICY_DIGEST_ONLY ? "; digests only" : "") +
           (policy & POLICY_CONSOLE ? "; the console is challenged too" : "");
}

// letters - the letters of a word whose bits are set, from a list of (letter, bit).
static std::string letters(uint16_t word, const char *names, const uint16_t *bits, int count)
{
    std::string out;
    for (int i = 0; i < count; i++)
        if (word & bits[i])
            out += names[i];
    return out.empty() ? "none" : out;
}

static void print_options(void)
{
    const FilterConfig &o = filter_config;
    static const uint16_t intro_bits[] = {INTRO_EXCEPT_X, INTRO_EXCEPT_S, INTRO_EXCEPT_N};
    static const uint16_t new_user_bits[] = {NEW_USER_TEXT, NEW_USER_MESSAGE};
    static const uint16_t log_bits[] = {1, 2, 4, 8};
    std::string sysops;
    for (int i = 0; i < sysops_to_mail(); i++)
        sysops += (sysops.empty() ? "" : " ") + std::string(o.sysop_calls[i]);
    printf("option lines:\n");
    printf("  1  language file        %s\n", o.language_file[0] && o.language_file[0] != '*' ? o.language_file
                                                                                             : "** (the English texts)");
    printf("  2  sysops               %s\n", sysops.empty() ? "none (the host's sysop)" : sysops.c_str());
    printf("  3  answers              %d; %s\n", o.max_attempts, policy_text(o.challenge_policy).c_str());
    printf("  4  prompt               \"%s\"\n", o.password_prompt);
    printf("  5  texts by language    %s\n", on_off(o.texts_by_language));
    printf("  6  open text            %s\n", on_off(o.send_open_text));
    printf("  7  exclusion text       %s\n", on_off(o.send_exclusion_text));
    printf("  8  guest text           %s\n", on_off(o.send_guest_text));
    printf("  9  intro text           %s, spared: %s\n", on_off(o.send_intro_text),
           letters(o.intro_exceptions, "XSN", intro_bits, 3).c_str());
    printf("  10 new-user welcome     %s, letters: %s\n", on_off(o.new_user_welcome),
           letters(o.new_user_actions, "TM", new_user_bits, 2).c_str());
    printf("  11 sysop notice         %s\n", on_off(o.mail_new_user));
    printf("  12 connection log       %s, letters: %s\n", on_off(o.connection_log),
           letters(o.connection_log_flags, "CDWM", log_bits, 4).c_str());
    printf("  13 exclusion log        %s\n", on_off(o.log_exclusions));
    printf("  14 failed-password log  %s\n", on_off(o.log_password_failures));
}

static void print_ports(const DumpFacts &f)
{
    printf("ports:\n");
    for (const DumpPort &p : f.ports) {
        std::string name = p.port == 0 ? "CONSOLE" : p.name;
        if (p.method < 0)
            printf("  %-3d %-10s not filtered: every station is admitted, users.prt is not read\n", p.port,
                   name.c_str());
        else
            printf("  %-3d %-10s %s (%s:%d)\n", p.port, name.c_str(), method_text(p.method).c_str(), f.config.c_str(),
                   p.line);
    }
}

// is_search1 - a header the search by callsign and SSID can find: one with a wildcard or an SSID.
static bool is_search1(const std::string &pattern)
{
    return pattern.find_first_of("?*-") != std::string::npos;
}

static void print_headers(const DumpFacts &f)
{
    printf("users.prt headers, in the order the filter tries them (the first that matches wins):\n");
    const char *titles[] = {"search 1, the callsign with its SSID", "search 2, the bare callsign",
                            "search 3, on the console only"};
    for (int search = 1; search <= 3; search++) {
        printf("  %s:\n", titles[search - 1]);
        int shown = 0;
        for (const DumpHeader &h : f.headers) {
            bool console = h.pattern.compare(0, 6, "CONSOL") == 0;
            bool in = search == 1 ? !console && is_search1(h.pattern)
                      : search == 2 ? !console && !is_search1(h.pattern) : console;
            if (!in)
                continue;
            printf("    %s:%d %s\n", f.users.c_str(), h.line, h.pattern.c_str());
            shown++;
        }
        if (!shown)
            printf("    none\n");
    }
}

void print_dump(const DumpFacts &f)
{
    printf("config.prt: %s%s\n", f.config.c_str(), f.config_read ? "" : " (cannot be read: every station is admitted)");
    printf("users.prt:  %s%s\n", f.users.c_str(), f.users_read ? "" : " (cannot be read: every station gets its "
                                                                     "port's method)");
    if (!f.config_read)
        return;
    print_options();
    print_ports(f);
    if (f.users_read) {
        print_headers(f);
        print_exposure_dump(f);
    }
}
