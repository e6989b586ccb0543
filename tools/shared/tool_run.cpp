// tool_run.cpp - running the filter's own decision for the sysop's tools.
//
// Every run starts from the library's load-time state, turns the dry run and
// the trace on, calls the same entry code the host calls, and turns both off
// again, so nothing a tool does reaches the disk and no run sees another's.
#include "tools/shared/tool_run.h"
#include "auth/state_file.h"
#include "common/wipe.h"
#include "config/filter_config.h"
#include "filter/connection.h"
#include "filter/connection_flow.h"
#include "filter/filter_state.h"
#include "platform/platform.h"
#include "platform/fixed_clock.h"
#include "tools/shared/tool_messages.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;

enum { TOOL_REPLY_SIZE = 8192, MEMORY_AVAILABLE = 1 };

static std::vector<TraceEvent> *collected;

// collect_event - the trace sink of the tools.
static void collect_event(const TraceEvent *event)
{
    if (collected)
        collected->push_back(*event);
}

bool set_tool_clock(const std::string &date, const std::string &time)
{
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    int a, b, c, h, m, s = 0, hundredths = 0;
    char tail;
    if (sscanf(date.c_str(), "%d-%d-%d%c", &a, &b, &c, &tail) != 3)
        return false;
    if (a > 31) {
        tm.tm_year = a - 1900; tm.tm_mon = b - 1; tm.tm_mday = c;
    } else {
        tm.tm_mday = a; tm.tm_mon = b - 1; tm.tm_year = c - 1900;
    }
    // "HH:MM", "HH:MM:SS", or "HH:MM:SS,hh" as the logs write times.
    int n = sscanf(time.c_str(), "%d:%d:%d%c", &h, &m, &s, &tail);
    if (n == 4 && tail == ',' && sscanf(time.c_str(), "%d:%d:%d,%d%c", &h, &m, &s, &hundredths, &tail) == 4)
        n = 3;
    if (n < 2 || n > 3 || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || hundredths < 0 ||
        hundredths > 99)
        return false;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31)
        return false;
    tm.tm_hour = h; tm.tm_min = m; tm.tm_sec = s; tm.tm_isdst = -1;
    time_t seconds = mktime(&tm);
    if (seconds == (time_t)-1)
        return false;
    plat_fix_clock(&tm, hundredths, seconds);
    return true;
}

int set_morvel(const char *dir)
{
#ifdef _WIN32
    return _putenv_s("MORVEL", dir);   // Windows has no setenv
#else
    return setenv("MORVEL", dir, 1);
#endif
}

bool enter_setup(const std::string &dir)
{
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        tool_fail(EXIT_USAGE, dir + " is not a directory");
        return false;
    }
    fs::current_path(dir, ec);
    if (ec) {
        tool_fail(EXIT_USAGE, "cannot enter " + dir + ": " + ec.message());
        return false;
    }
    return true;
}

// call_filter - one connection event through the host's entry code.
static FilterCall call_filter(const StationSpec &asked, int attempt, const std::string &answer)
{
    FilterCall call;
    std::vector<std::string> args = {"bbs", asked.station, std::to_string(attempt), std::to_string(asked.flags),
                                     std::to_string(asked.count), "0", std::to_string(asked.port), answer};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(&a[0]);
    static char reply[TOOL_REPLY_SIZE];
    reply[0] = '\0';
    collected = &call.events;
    call.verdict = run_service_call((int)argv.size(), argv.data(), reply, MEMORY_AVAILABLE);
    collected = nullptr;
    call.reply = reply;
    return call;
}

StationRun run_station(const StationSpec &asked)
{
    StationRun run;
    filter_reset_state();
    plat_dry_run_begin();
    trace_set_sink(collect_event);
    run.calls.push_back(call_filter(asked, 0, ""));
    for (size_t i = 0; i < asked.answers.size() && run.calls.back().verdict == 1; i++)
        run.calls.push_back(call_filter(asked, asked.attempt + (int)i, asked.answers[i]));
    trace_set_sink(nullptr);
    run.changes = masked_changes();
    plat_dry_run_end();
    return run;
}

bool station_is_well_formed(const std::string &station)
{
    char call[sizeof connection_info.callsign];
    long ssid;
    return station.size() < 40 && scan_callsign(station.c_str(), call, &ssid);
}

std::string method_text(int method)
{
    const char *name = method_name(method);
    if (!name)
        return std::to_string(method) + " (acts as OPEN)";
    if (method >= METHOD_KEYWORD_ONLY)
        return std::string(name) + " (keyword only)";
    return std::string(name) + " (" + std::to_string(method) + ")";
}

std::string kind_text(int kind)
{
    const StateKind *k = state_kind(kind);
    if (k->kind != kind)
        return "kind " + std::to_string(kind);
    return k->what;
}

const char *verdict_meaning(int verdict)
{
    switch (verdict) {
    case 0: return "admitted";
    case 1: return "challenge put";
    case 2: return "refused";
    case 3: return "admitted read-only";
    case 4: return "admitted on hold";
    case 11: return "admitted as guest";
    default: return "unknown";
    }
}

std::string verdict_text(int verdict)
{
    std::string meaning = verdict_meaning(verdict);
    if (meaning == "unknown")
        return std::to_string(verdict);
    return std::to_string(verdict) + " " + meaning;
}

std::string physical_line(const std::string &path, int number)
{
    char native[4096];
    plat_native_path(path.c_str(), native, sizeof native);
    FILE *f = native[0] ? fopen(native, "r") : nullptr;
    if (!f)
        return "";
    std::string line;
    int at = 0;
    for (int c; (c = fgetc(f)) != EOF;) {
        if (c == '\n') {
            if (++at == number)
                break;
            line.clear();
            continue;
        }
        if (c != '\r')
            line += (char)c;
    }
    fclose(f);
    return at == number || (at == number - 1 && !line.empty()) ? line : "";
}

// state_file_summary - a state file the run wrote, by its kind and station:
// the expected answer, and with FIXED the password itself, stay unshown.
static std::string state_file_summary(const std::string &path)
{
    std::string filter_path = path;
    for (char &c : filter_path)
        if (c == '/')
            c = '\\';
    ExpectedAnswer e;
    std::string summary = "(a challenge's state file; the expected answer is not shown)\n";
    if (load_state_file(filter_path.c_str(), &e))
        summary = "(a challenge's state file for " + std::string(e.station) + ", " + kind_text(e.kind) +
                  "; the expected answer is not shown)\n";
    wipe(&e, sizeof e);
    return summary;
}

// is_state_file - a name of the .TMP files that challenges write (error markers aside).
static bool is_state_file(const std::string &path)
{
    std::string name = path.substr(path.rfind('/') + 1);
    for (char &c : name)
        c = (char)toupper((unsigned char)c);
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".TMP") == 0 && name.compare(0, 5, "ERROR") != 0;
}

std::vector<DryRunChange> masked_changes(void)
{
    std::vector<DryRunChange> changes = plat_dry_run_changes();
    for (DryRunChange &c : changes)
        if (is_state_file(c.path) && !c.text.empty())
            c.text = state_file_summary(c.path);
    return changes;
}
