// filter_compare.cpp - whom an edit of the setup affects, before it goes live.
//
// Takes the stations and ports seen in the logs of OLD_DIR (the general
// connection logs, the exclusion log and the failed-password log), or the
// "CALLSIGN-SSID PORT" lines of --stations FILE, runs the filter's own
// decision for each against both setups in dry runs, and lists those whose
// verdict, method or challenge kind would change, with the deciding lines on
// both sides. Exit status: 0 nothing changes, 1 some outcome changes, 2 no
// station to compare, 100 usage.
#include "tools/shared/json_text.h"
#include "common/filter_dir.h"
#include "config/filter_config.h"
#include "report/logs.h"
#include "tools/shared/tool_command_line.h"
#include "tools/shared/tool_run.h"
#include "tools/shared/tool_version.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

enum { EXIT_SAME = 0, EXIT_CHANGED = 1, EXIT_NOTHING_COMPARED = 2 };

typedef std::set<std::pair<std::string, int>> StationSet;

// Outcome - what decides a station, in the terms the sysop compares.
struct Outcome {
    int verdict = 0;
    int method = -1;
    int kind = -1;
    std::string decided_by;
};

// CompareOptions - how the result is shown.
struct CompareOptions {
    bool quiet = false;
    bool json = false;
};

// log_entry - a station and port from a line of the filter's logs.
static bool log_entry(const std::string &line, std::string *station, int *port)
{
    char call[8];
    int ssid, p;
    if (!read_log_entry(line.c_str(), call, &ssid, &p))
        return false;
    *station = std::string(call) + "-" + std::to_string(ssid);
    *port = p;
    return true;
}

// warn_unreadable - a file the account may not read, named on standard
// error with the missing permission; true when it is one.
static bool warn_unreadable(const std::string &path, bool quiet)
{
    std::string why = unreadable_text(path);
    if (!why.empty() && !quiet)
        fprintf(stderr, "%s: %s\n", tool_name(), why.c_str());
    return !why.empty();
}

// read_log - the stations of one log file.
static void read_log(const fs::path &file, StationSet *out, bool quiet)
{
    if (warn_unreadable(file.string(), quiet))
        return;
    std::ifstream in(file);
    std::string line, station;
    int port;
    while (std::getline(in, line))
        if (log_entry(line, &station, &port))
            out->insert({station, port});
}

// read_station_list - the stations of a --stations file; every other line
// but blank and "#" lines is named on standard error, so that a file of the
// wrong format does not pass for one listing nobody.
static void read_station_list(const std::string &file, StationSet *out, bool quiet)
{
    std::ifstream in(file);
    std::string line, station;
    int port, number = 0;
    while (std::getline(in, line)) {
        number++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[line.find_first_not_of(" \t")] == '#')
            continue;
        if (log_entry(line, &station, &port))
            out->insert({station, port});
        else if (!quiet)
            fprintf(stderr, "%s:%d: not \"CALLSIGN-SSID PORT\": %s\n", file.c_str(), number, line.c_str());
    }
}

// lower - a file name for comparing without regard to case.
static std::string lower(std::string name)
{
    for (char &c : name)
        c = (char)tolower((unsigned char)c);
    return name;
}

// logged_stations - every station and port in the logs of a setup.
static StationSet logged_stations(const fs::path &dir, bool quiet)
{
    StationSet out;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(dir, ec)) {
        if (lower(e.path().filename().string()) != "morvel")
            continue;
        for (const auto &f : fs::recursive_directory_iterator(e.path(), ec)) {
            std::string n = lower(f.path().filename().string());
            if (n == "logexcld.prt" || n == "lognopas.prt" || n.rfind("logcn", 0) == 0)
                read_log(f.path(), &out, quiet);
        }
    }
    return out;
}

// outcome_of - the decision for a station in the current setup.
static Outcome outcome_of(const std::string &station, int port)
{
    Outcome o;
    StationSpec asked;
    asked.station = station;
    asked.port = port;
    StationRun run = run_station(asked);
    const FilterCall &call = run.calls.front();
    o.verdict = call.verdict;
    for (const TraceEvent &e : call.events) {
        if (e.kind == TRACE_METHOD && o.method < 0)
            o.method = e.value;
        else if (e.kind == TRACE_CHALLENGE)
            o.kind = e.value;
        else if (e.kind == TRACE_PORT_LINE)
            o.decided_by = "config.prt:" + std::to_string(e.line);
        else if (e.kind == TRACE_NO_PORT_LINE)
            o.decided_by = "no port line";
        else if (e.kind == TRACE_ENTRY_LINE)
            o.decided_by += ", users.prt:" + std::to_string(e.line);
        else if (e.kind == TRACE_NO_HEADER || e.kind == TRACE_NO_ENTRY_LINE || e.kind == TRACE_USERS_MISSING)
            o.decided_by += ", users.prt: no line (the port's method)";
        else if (e.kind == TRACE_OFF_SWITCH && e.value)
            o.decided_by = "the off switch";
        else if (e.kind == TRACE_PORT_RESERVED && e.value)
            o.decided_by = "the port reservation";
        else if (e.kind == TRACE_ERROR)
            o.decided_by += ", error " + std::to_string(e.value);
    }
    return o;
}

// outcomes_in - the decision for every station in one setup, entered once:
// a thousand stations cost a thousand decisions and nothing more. A setup
// file the account may not read is named first: the decisions are then
// those the filter makes without it.
static std::vector<Outcome> outcomes_in(const fs::path &dir, const StationSet &stations, bool quiet)
{
    std::vector<Outcome> out;
    std::error_code ec;
    fs::current_path(dir, ec);
    for (const char *name : {"config.prt", "users.prt"}) {
        char path[FILTER_PATH_MAX];
        config_file_path(name, path, sizeof path);
        std::string why = unreadable_text(path);
        if (!why.empty() && !quiet)
            fprintf(stderr, "%s: %s (in %s); the comparison takes the filter's decisions without it\n", tool_name(),
                    why.c_str(), dir.string().c_str());
    }
    out.reserve(stations.size());
    for (const auto &s : stations)
        out.push_back(outcome_of(s.first, s.second));
    return out;
}

// challenge_name - "NORMAL" for the kind of a challenge.
static std::string challenge_name(int kind)
{
    std::string text = kind_text(kind);
    return text.substr(0, text.find(':'));
}

// outcome_text - "1 challenge put, NORMAL (5), challenge NORMAL (config.prt:76, users.prt:65)".
static std::string outcome_text(const Outcome &o)
{
    std::string text = verdict_text(o.verdict);
    if (o.method >= 0)
        text += ", " + method_text(o.method);
    if (o.kind >= 0)
        text += ", challenge " + challenge_name(o.kind);
    return text + " (" + o.decided_by + ")";
}

// outcome_json - an outcome as a JSON object.
static std::string outcome_json(const Outcome &o)
{
    std::string text = "{\"verdict\":" + std::to_string(o.verdict) + "," +
                       json_field("verdict_text", verdict_text(o.verdict)) + ",\"method\":";
    text += o.method >= 0 ? json_string(method_text(o.method)) : "null";
    text += ",\"challenge\":";
    text += o.kind >= 0 ? json_string(challenge_name(o.kind)) : "null";
    return text + "," + json_field("decided_by", o.decided_by) + "}";
}

// same_outcome - whether the sysop would see no difference.
static bool same_outcome(const Outcome &a, const Outcome &b)
{
    return a.verdict == b.verdict && a.method == b.method && a.kind == b.kind;
}

// report - the stations whose outcome changes; their count.
static int report(const StationSet &stations, const std::vector<Outcome> &before, const std::vector<Outcome> &after,
                  const CompareOptions &opts)
{
    int changed = 0;
    size_t i = 0;
    std::string json;
    for (auto s = stations.begin(); s != stations.end(); ++s, ++i) {
        if (same_outcome(before[i], after[i]))
            continue;
        changed++;
        if (opts.json)
            json += std::string(changed > 1 ? ",\n" : "\n") + "  {" + json_field("station", s->first) +
                    ",\"port\":" + std::to_string(s->second) + ",\"old\":" + outcome_json(before[i]) +
                    ",\"new\":" + outcome_json(after[i]) + "}";
        else if (!opts.quiet)
            printf("%s port %d:\n  old: %s\n  new: %s\n", s->first.c_str(), s->second, outcome_text(before[i]).c_str(),
                   outcome_text(after[i]).c_str());
    }
    if (opts.json)
        printf("{\"compared\":%zu,\"changed\":%d,\"stations\":[%s%s]}\n", stations.size(), changed, json.c_str(),
               changed ? "\n" : "");
    else if (!opts.quiet)
        printf("filter-compare: %zu station%s compared, %d would change\n", stations.size(),
               stations.size() == 1 ? "" : "s", changed);
    return changed;
}

int main(int argc, char **argv)
{
    std::string old_dir, new_dir, stations_file;
    CompareOptions opts;
    CLI::App app{"filter-compare: the stations whose outcome would change between two setups.\n"
                 "Runs the filter's own decision against both in dry runs; writes nothing.\n"
                 "Exit status: 0 no station changes, 1 some would change, 2 no station to compare, 100 usage."};
    app.add_option("OLD_DIR", old_dir, "the setup in use (its logs give the stations)")->required();
    app.add_option("NEW_DIR", new_dir, "the edited setup")->required();
    app.add_option("--stations", stations_file, "a file of \"CALLSIGN-SSID PORT\" lines to use instead of the logs");
    app.add_flag("-q,--quiet", opts.quiet, "print nothing: the exit status alone tells");
    app.add_flag("--json", opts.json, "print one JSON object: the counts and each changed station");
    app.set_version_flag("--version", tool_version_line("filter-compare"));
    int status;
    if (!parse_tool_line(app, "filter-compare", &status, argc, argv))
        return status;
    std::error_code ec;
    fs::path old_path = fs::absolute(old_dir, ec), new_path = fs::absolute(new_dir, ec);
    if (!fs::is_directory(old_path, ec) || !fs::is_directory(new_path, ec))
        return tool_fail(EXIT_USAGE, old_dir + " and " + new_dir + " must both be directories");
    StationSet stations;
    if (!stations_file.empty()) {
        std::string why = unreadable_text(stations_file);
        if (!why.empty() || !fs::is_regular_file(stations_file, ec))
            return tool_fail(EXIT_USAGE, why.empty() ? "cannot read " + stations_file + ": no such file" : why);
        read_station_list(stations_file, &stations, opts.quiet);
    } else {
        stations = logged_stations(old_path, opts.quiet);
    }
    if (!plat_dry_run_begin())
        return tool_fail(EXIT_USAGE, "dry runs are not supported on this system");
    plat_dry_run_end();
    if (stations.empty()) {
        std::string why = std::string("no station to compare: ") +
                          (stations_file.empty() ? "the logs of OLD_DIR (morvel/logcnx, logexcld.prt, lognopas.prt) "
                                                   "name none; give a list with --stations FILE"
                                                 : "the station list holds no \"CALLSIGN-SSID PORT\" line");
        if (opts.quiet && !opts.json)
            return EXIT_NOTHING_COMPARED;
        return tool_fail(EXIT_NOTHING_COMPARED, why);
    }
    std::vector<Outcome> before = outcomes_in(old_path, stations, opts.quiet);
    std::vector<Outcome> after = outcomes_in(new_path, stations, opts.quiet);
    return report(stations, before, after, opts) ? EXIT_CHANGED : EXIT_SAME;
}
