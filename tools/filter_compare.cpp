// filter_compare.cpp - whom an edit of the setup affects, before it goes live.
//
// Takes the stations and ports seen in the logs of OLD_DIR (the general
// connection logs, the exclusion log and the failed-password log), or the
// "CALLSIGN-SSID PORT" lines of --stations FILE, runs the filter's own
// decision for each against both setups in dry runs, and lists those whose
// verdict, method or challenge kind would change, with the deciding lines on
// both sides. Exit status: 0 nothing changes, 1 some outcome changes, 100 usage.
#include "tools/tool_run.h"
#include "tools/tool_version.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

enum { EXIT_SAME = 0, EXIT_CHANGED = 1, EXIT_USAGE = 100 };

typedef std::set<std::pair<std::string, int>> StationSet;

// Outcome - what decides a station, in the terms the sysop compares.
struct Outcome {
    int verdict = 0;
    int method = -1;
    int kind = -1;
    std::string decided_by;
};

// log_entry - a station and port from a line of the filter's logs.
static bool log_entry(const std::string &line, std::string *station, int *port)
{
    char call[8];
    int ssid, p;
    if (sscanf(line.c_str(), " %6[A-Za-z0-9] -%d %d", call, &ssid, &p) != 3)
        return false;
    *station = std::string(call) + "-" + std::to_string(ssid);
    *port = p;
    return true;
}

// read_stations - the entries of one file, logs and station lists alike.
static void read_stations(const fs::path &file, StationSet *out)
{
    std::ifstream in(file);
    std::string line, station;
    int port;
    while (std::getline(in, line))
        if (log_entry(line, &station, &port))
            out->insert({station, port});
}

// logged_stations - every station and port in the logs of a setup.
static StationSet logged_stations(const fs::path &dir)
{
    StationSet out;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(dir, ec)) {
        std::string name = e.path().filename().string();
        for (char &c : name)
            c = (char)tolower((unsigned char)c);
        if (name == "morvel")
            for (const auto &f : fs::recursive_directory_iterator(e.path(), ec)) {
                std::string n = f.path().filename().string();
                for (char &c : n)
                    c = (char)tolower((unsigned char)c);
                if (n == "logexcld.prt" || n == "lognopas.prt" || n.rfind("logcn", 0) == 0)
                    read_stations(f.path(), &out);
            }
    }
    return out;
}

// outcome_in - the decision for a station in one setup.
static Outcome outcome_in(const fs::path &dir, const std::string &station, int port)
{
    Outcome o;
    std::error_code ec;
    fs::current_path(dir, ec);
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

// outcome_text - "verdict 1 challenge put, NORMAL (5), challenge NORMAL (config.prt:76, users.prt:65)".
static std::string outcome_text(const Outcome &o)
{
    std::string text = verdict_text(o.verdict);
    if (o.method >= 0)
        text += ", " + method_text(o.method);
    if (o.kind >= 0)
        text += ", challenge " + kind_text(o.kind).substr(0, kind_text(o.kind).find(':'));
    return text + " (" + o.decided_by + ")";
}

int main(int argc, char **argv)
{
    std::string old_dir, new_dir, stations_file;
    CLI::App app{"filter-compare: the stations whose outcome would change between two setups.\n"
                 "Runs the filter's own decision against both in dry runs; writes nothing."};
    app.add_option("OLD_DIR", old_dir, "the setup in use (its logs give the stations)")->required();
    app.add_option("NEW_DIR", new_dir, "the edited setup")->required();
    app.add_option("--stations", stations_file, "a file of \"CALLSIGN-SSID PORT\" lines to use instead of the logs");
    app.set_version_flag("--version", tool_version_line("filter-compare"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        int code = app.exit(e);
        return e.get_exit_code() == 0 ? code : EXIT_USAGE;
    }
    std::error_code ec;
    fs::path old_path = fs::absolute(old_dir, ec), new_path = fs::absolute(new_dir, ec);
    if (!fs::is_directory(old_path, ec) || !fs::is_directory(new_path, ec)) {
        fprintf(stderr, "filter-compare: %s and %s must both be directories\n", old_dir.c_str(), new_dir.c_str());
        return EXIT_USAGE;
    }
    StationSet stations;
    if (!stations_file.empty()) {
        if (!fs::is_regular_file(stations_file, ec)) {
            fprintf(stderr, "filter-compare: cannot read %s\n", stations_file.c_str());
            return EXIT_USAGE;
        }
        read_stations(stations_file, &stations);
    } else {
        stations = logged_stations(old_path);
    }
    if (!plat_dry_run_begin()) {
        fprintf(stderr, "filter-compare: dry runs are not supported on this system\n");
        return EXIT_USAGE;
    }
    plat_dry_run_end();
    int changed = 0;
    for (const auto &s : stations) {
        Outcome before = outcome_in(old_path, s.first, s.second), after = outcome_in(new_path, s.first, s.second);
        if (before.verdict == after.verdict && before.method == after.method && before.kind == after.kind)
            continue;
        changed++;
        printf("%s port %d:\n  old: %s\n  new: %s\n", s.first.c_str(), s.second, outcome_text(before).c_str(),
               outcome_text(after).c_str());
    }
    printf("filter-compare: %zu station%s compared, %d would change\n", stations.size(),
           stations.size() == 1 ? "" : "s", changed);
    return changed ? EXIT_CHANGED : EXIT_SAME;
}
