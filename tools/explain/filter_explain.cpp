// filter_explain.cpp - what the filter does with one station on one port,
// and which lines of the setup decide it.
//
// The real decision runs in a dry run with the trace on: the explanation is
// made of the events the filter's own code reports, so it cannot disagree
// with the filter. Nothing is written; what would have been written is listed.
// Exit status: the verdict of the last call, or 100 for a usage error.
#include "auth/guard.h"
#include "auth/challenges.h"
#include "auth/exposure.h"
#include "common/text_copy.h"
#include "common/wipe.h"
#include "config/user_list.h"
#include "config/filter_config.h"
#include "config/guard_config.h"
#include "config/host_files.h"
#include "tools/shared/tool_command_line.h"
#include "tools/shared/tool_run.h"
#include "tools/shared/tool_version.h"

#include <cstdio>
#include <string>

enum { WRONG_ANSWER_LIMIT = 10 };

struct ExplainOptions {
    std::string dir;
    StationSpec asked;
};

// search_text - the three searches of users.prt.
static const char *search_text(int search)
{
    switch (search) {
    case 1: return "search 1, the callsign with its SSID";
    case 2: return "search 2, the bare callsign";
    default: return "search 3, the console entry";
    }
}

// users_path - users.prt as the filter finds it (through MORVEL when set).
static std::string setup_file(const char *name)
{
    char path[400];
    config_file_path(name, path, sizeof path);
    return path;
}

// entry_line_words - an entry line's port and method; a password is never printed.
static std::string entry_line_words(const std::string &line)
{
    char port[64] = "", method[64] = "", password[400] = "";
    int n = sscanf(line.c_str(), "%63s %63s %399s", port, method, password);
    std::string out = std::string(port) + " " + method;
    return n >= 3 ? out + " (password not shown)" : out;
}

// print_event - one trace event in words.
static void print_event(const TraceEvent &e, const StationSpec &s)
{
    std::string path = display_path(e.path);
    switch (e.kind) {
    case TRACE_OFF_SWITCH:
        if (e.value)
            printf("off switch:   %s is there: the filter is off and admits every new connection unfiltered\n", path.c_str());
        else
            printf("off switch:   %s is not there: the filter is on\n", path.c_str());
        break;
    case TRACE_PORT_RESERVED:
        if (e.value)
            printf("reservation:  %s is there: port %d admits only stations the host flags as BBSs (16 or 8)\n",
                   path.c_str(), s.port);
        else
            printf("reservation:  %s is not there: port %d is open to every station\n", path.c_str(), s.port);
        break;
    case TRACE_PORT_LINE: {
        std::string file = setup_file("config.prt");
        printf("config.prt:   %s:%d decides port %d: \"%s\": %s\n", display_path(file).c_str(), e.line, s.port,
               physical_line(file, e.line).c_str(), method_text(e.value).c_str());
        break;
    }
    case TRACE_NO_PORT_LINE:
        printf("config.prt:   no port line names port %d (read to line %d): the port is not filtered, users.prt is not read\n",
               s.port, e.line);
        break;
    case TRACE_USERS_MISSING:
        printf("users.prt:    %s cannot be opened: the station gets the port's method\n", path.c_str());
        break;
    case TRACE_HEADER: {
        std::string file = setup_file("users.prt");
        printf("users.prt:    %s:%d is the station's header \"%s\" (%s)\n", display_path(file).c_str(), e.line,
               physical_line(file, e.line).c_str(), search_text(e.value));
        break;
    }
    case TRACE_NO_HEADER:
        printf("users.prt:    no header matches %s: the station gets the port's method\n", s.station.c_str());
        break;
    case TRACE_ENTRY_LINE: {
        std::string file = setup_file("users.prt");
        printf("users.prt:    %s:%d is the entry line for port %d: \"%s\": %s\n", display_path(file).c_str(), e.line,
               s.port, entry_line_words(physical_line(file, e.line)).c_str(), method_text(e.value).c_str());
        break;
    }
    case TRACE_NO_ENTRY_LINE:
        printf("users.prt:    the entry of line %d has no line for port %d: the station gets the port's method\n",
               e.line, s.port);
        break;
    case TRACE_METHOD:
        printf("method:       %s\n", method_text(e.value).c_str());
        break;
    case TRACE_CHALLENGE:
        // A one-time code is worked out from the secret when the answer
        // comes; neither the file nor this explanation holds one.
        if (e.value == KIND_TOTP || e.value == KIND_HOTP)
            printf("challenge:    %s; the challenge is kept in %s, no code\n", kind_text(e.value).c_str(), path.c_str());
        else
            printf("challenge:    %s; expected answer kept in %s\n", kind_text(e.value).c_str(), path.c_str());
        break;
    case TRACE_TEXT:
        if (e.value)
            printf("text:         %s is sent\n", path.c_str());
        else
            printf("text:         %s is not there\n", path.c_str());
        break;
    case TRACE_TEXT_HELD_BACK:
        printf("text:         the intro text is held back for this caller (letters of config.prt line 9)\n");
        break;
    case TRACE_ERROR:
        printf("error:        %d: %s\n", e.value, e.text);
        break;
    case TRACE_LOG:
        printf("log:          %s gets an entry\n", path.c_str());
        break;
    case TRACE_MAIL:
        printf("mail:         \"%s\" to %s\n", e.path, e.text);
        break;
    default:
        break;
    }
}

// print_reply - the reply as the caller would see it.
static void print_reply(const std::string &reply)
{
    printf("reply:        ");
    if (reply.empty()) {
        printf("(nothing)\n");
        return;
    }
    printf("\n");
    std::string line;
    for (char c : reply + (reply.back() == '\n' ? "" : "\n")) {
        if (c == '\n') {
            printf("  | %s\n", line.c_str());
            line.clear();
        } else {
            line += c;
        }
    }
}

// print_changes - what the run would have written.
static void print_changes(const std::vector<DryRunChange> &changes)
{
    if (changes.empty()) {
        printf("would write:  nothing\n");
        return;
    }
    printf("would write:\n");
    for (const DryRunChange &c : changes) {
        const char *what = c.kind == DRY_RUN_CREATED ? "create" : c.kind == DRY_RUN_APPENDED ? "append to"
                         : c.kind == DRY_RUN_REWRITTEN ? "rewrite" : c.kind == DRY_RUN_REMOVED ? "remove"
                         : "create directory";
        printf("  %s %s\n", what, display_path(c.path).c_str());
        std::string line;
        for (char ch : c.text) {
            if (ch == '\n') {
                printf("    | %s\n", line.c_str());
                line.clear();
            } else {
                line += ch;
            }
        }
        if (!line.empty())
            printf("    | %s\n", line.c_str());
    }
}

// print_wrong_answers - the same challenge answered wrongly until it ends,
// in a run of its own: how many answers the caller has and what the last gives.
static void print_wrong_answers(const StationSpec &asked)
{
    StationSpec wrong = asked;
    wrong.answers.assign(WRONG_ANSWER_LIMIT, "~");
    StationRun run = run_station(wrong);
    int answers = (int)run.calls.size() - 1;
    if (answers < 1 || run.calls.back().verdict == 1)
        return;
    printf("answers:      the caller may answer %d time%s; after the last wrong answer: %s\n", answers,
           answers == 1 ? "" : "s", verdict_text(run.calls.back().verdict).c_str());
}

// print_guard - whether the guard holds the station's callsign locked out,
// and until when, read from the guard's own file by its own reader.
static void print_guard(void)
{
    if (load_guard_config() < 0 || !guard_config.guard_on)
        return;
    GuardStatus g;
    guard_status(&g);
    if (g.locked)
        printf("guard:        locked out until %s (%d failures)\n", g.until, g.failures);
    else
        printf("guard:        not locked out (%d failures counted)\n", g.failures);
}

// station_password - the password the station's challenge is drawn from
// now (a TABLE station's row for today), found as the filter finds it, in
// a dry run of its own; false when the station has none.
static bool station_password(char *password, unsigned *method)
{
    password[0] = '\0';
    if (!plat_dry_run_begin())
        return false;
    bool listed = find_user_entry() == 1;
    *method = user_entry.method;
    if (listed && user_entry.method == METHOD_TABLE)
        todays_table_password(password);
    else if (listed)
        copy_text(password, PASSWORD_MAX + 1, user_entry.password);
    plat_dry_run_end();
    return password[0] != '\0';
}

// print_exposure - what a listener who heard every answer since the
// station's password was set has of it: the figure, since when, what to do.
static void print_exposure(void)
{
    char password[PASSWORD_MAX + 1];
    unsigned method = 0;
    if (!station_password(password, &method))
        return;
    ExposureRecord r;
    ExposureFigure f;
    char chance[EXPOSURE_TEXT], heard[EXPOSURE_TEXT];
    int found = password_exposure(password, method, &r, &f);
    wipe(password, sizeof password);
    chance_text(f.chance, chance, sizeof chance);
    heard_text(&f, heard, sizeof heard);
    const char *advice = exposure_advice(find_access_method(method)->challenge_kind);
    const char *row = method == METHOD_TABLE ? "today's row: " : "";
    if (f.kind == EXPOSURE_NONE)
        printf("exposure:     nothing a listener can use goes on air: %s is answered by digest or code only\n",
               method_name(method));
    else if (found < 0)
        printf("exposure:     morvel/" EXPOSURE_FILE " cannot be read\n");
    else if (found == 1 && f.chance <= 0)
        printf("exposure:     %sa listener who heard every answer since %s cannot answer the next challenge yet "
               "(%s, last heard from %s)\n", row, r.since, heard, r.station);
    else if (found == 1)
        printf("exposure:     %sa listener who heard every answer since %s answers the next challenge %s (%s, "
               "last heard from %s%s); to do: %s\n",
               row, r.since, chance, heard, r.station, r.mailed ? "; the sysops were mailed" : "", advice);
    else if (f.chance > 0)
        printf("exposure:     %snothing heard yet, and a guess of the likeliest sum answers the next challenge %s; "
               "to do: %s\n", row, chance, advice);
    else
        printf("exposure:     %snothing heard on air since the password was set\n", row);
    wipe(&r, sizeof r);
}

// explain - the whole explanation; returns the final verdict.
static int explain(const ExplainOptions &o)
{
    StationRun run = run_station(o.asked);
    printf("%s on port %d (flags %d, connection %d) in %s\n", o.asked.station.c_str(), o.asked.port, o.asked.flags,
           o.asked.count, o.dir.c_str());
    for (size_t i = 0; i < run.calls.size(); i++) {
        const FilterCall &call = run.calls[i];
        if (i > 0)
            printf("-- answer %zu: \"%s\" (attempt %d)\n", i, o.asked.answers[i - 1].c_str(), o.asked.attempt + (int)i - 1);
        for (const TraceEvent &e : call.events)
            print_event(e, o.asked);
        print_reply(call.reply);
        printf("verdict:      %s\n", verdict_text(call.verdict).c_str());
    }
    print_guard();
    print_exposure();
    if (run.calls.size() == 1 && run.calls[0].verdict == 1)
        print_wrong_answers(o.asked);
    print_changes(run.changes);
    return run.calls.back().verdict;
}

int main(int argc, char **argv)
{
    ExplainOptions o;
    CLI::App app{"filter-explain: what the connection filter does with one station on one port, and why.\n"
                 "Runs the filter's own decision in a dry run; writes nothing."};
    app.add_option("DIR", o.dir, "the host's working directory (holding init.srv and morvel/)")->required();
    app.add_option("CALLSIGN-SSID", o.asked.station, "the connecting station, for example N0CALL-1")->required();
    app.add_option("--port", o.asked.port, "the port of the connection (0 is the console)")->required();
    app.add_option("--flags", o.asked.flags, "the host's station flags, added up (16 BBS, 8 may use BBS ports, 64 guest, 4 no intro with X)");
    app.add_option("--count", o.asked.count, "the connection count (1: the station's first connection)");
    app.add_option("--attempt", o.asked.attempt, "the attempt number of the first --answer (default 1)");
    app.add_option("--answer", o.asked.answers, "the caller's answer to the challenge (repeatable, in order)");
    std::vector<std::string> when;
    app.add_option("--at", when, "the clock: DATE TIME, as 2026-12-08 21:30 or 08-12-2026 21:30:05")->expected(2);
    app.set_version_flag("--version", tool_version_line("filter-explain"));
    int status;
    if (!parse_tool_line(app, "filter-explain", &status, argc, argv))
        return status;
    if (!station_is_well_formed(o.asked.station))
        return tool_fail(EXIT_USAGE, o.asked.station + " is not CALLSIGN-SSID: the filter refuses such a call at once (2)");
    if (!when.empty() && !set_tool_clock(when[0], when[1]))
        return tool_fail(EXIT_USAGE, "--at " + when[0] + " " + when[1] + ": give DATE as 2026-12-08 and TIME as 21:30");
    if (!enter_setup(o.dir))
        return EXIT_USAGE;
    if (!plat_dry_run_begin())
        return tool_fail(EXIT_USAGE, "dry runs are not supported on this system");
    plat_dry_run_end();
    return explain(o);
}
