// tools_bench.cpp - the sysop's tools on large setups: filter-check's time
// against the number of users.prt entries (plain headers and CALL-* headers,
// 10,000 to 100,000 entries), with the growth Google Benchmark fits to it,
// filter-compare's time for 1,000 stations, and filter-report's for a month
// of 100,000 connections in daily logs (the goal: under 2 s). Each iteration runs the tool
// as the sysop does, a whole process; the time is the wall clock of that run,
// and the CPU time of the child is reported beside it.
#include "report/logs.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace fs = std::filesystem;

enum { COMPARED_STATIONS = 1000 };

// station_call - a distinct callsign of 6 characters for each number.
static std::string station_call(long i)
{
    std::string call = std::string(1, "KWN"[i % 3]) + std::to_string(i % 10);
    for (int k = 0; k < 4; k++, i /= 26)
        call += (char)('A' + i % 26);
    return call;
}

// make_setup - a copy of the sample host with a users.prt of entries entries.
static std::string make_setup(long entries, bool patterns)
{
    std::string dir = (fs::temp_directory_path() / ("filter-tools-bench-" + std::to_string(entries) +
                                                    (patterns ? "-patterns" : "-plain"))).string();
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::copy(fs::path(FILTER_SOURCE_DIR) / "examples" / "bbs", dir, fs::copy_options::recursive);
    std::ofstream users(dir + "/morvel/users.prt");
    for (long i = 0; i < entries; i++)
        users << station_call(i) << (patterns ? "-*" : "") << "\n*  NORMAL  LongPassword" << i << "\n-\n";
    return dir;
}

// child_cpu_seconds - the CPU time of the finished children so far.
static double child_cpu_seconds(void)
{
    struct rusage r;
    getrusage(RUSAGE_CHILDREN, &r);
    return (double)(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + (double)(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// time_command - run a command once; its wall time in seconds.
static double time_command(benchmark::State &state, const std::string &command, double *cpu)
{
    double cpu_before = child_cpu_seconds();
    auto start = std::chrono::steady_clock::now();
    int status = system(command.c_str());
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *cpu += child_cpu_seconds() - cpu_before;
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) >= 100)
        state.SkipWithError(("failed: " + command).c_str());
    return wall;
}

static void BM_CheckEntries(benchmark::State &state, bool patterns)
{
    std::string dir = make_setup(state.range(0), patterns);
    std::string command = std::string(FILTER_CHECK_PATH) + " -q " + dir + " >/dev/null";
    double cpu = 0;
    for (auto _ : state)
        state.SetIterationTime(time_command(state, command, &cpu));
    state.counters["child_cpu_s"] = cpu / (double)state.iterations();
    state.SetComplexityN(state.range(0));
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK_CAPTURE(BM_CheckEntries, plain_headers, false)
    ->RangeMultiplier(10)->Range(10000, 100000)->Arg(25000)->Arg(50000)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK_CAPTURE(BM_CheckEntries, call_star_headers, true)
    ->RangeMultiplier(10)->Range(10000, 100000)->Arg(25000)->Arg(50000)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

static void BM_Compare1000Stations(benchmark::State &state)
{
    std::string old_dir = make_setup(1000, false), new_dir = old_dir + "-new";
    std::error_code ec;
    fs::remove_all(new_dir, ec);
    fs::copy(old_dir, new_dir, fs::copy_options::recursive);
    std::string list = old_dir + "/stations.txt";
    std::ofstream stations(list);
    for (long i = 0; i < COMPARED_STATIONS; i++)
        stations << station_call(i * 7) << "-" << i % 16 << " " << 1 + i % 4 << "\n";
    stations.close();
    std::string command = std::string(FILTER_COMPARE_PATH) + " -q " + old_dir + " " + new_dir + " --stations " + list;
    double cpu = 0;
    for (auto _ : state)
        state.SetIterationTime(time_command(state, command, &cpu));
    state.counters["child_cpu_s"] = cpu / (double)state.iterations();
    fs::remove_all(old_dir, ec);
    fs::remove_all(new_dir, ec);
}
BENCHMARK(BM_Compare1000Stations)->UseManualTime()->Unit(benchmark::kMillisecond);

// make_month - a copy of the sample host without its own logs, whose daily
// connection logs hold connections entries over the 30 days of November
// 2026, each line written by the filter's own format_log_entry, and a
// failed-password log of one in a hundred of them.
static std::string make_month(long connections)
{
    std::string dir = (fs::temp_directory_path() / ("filter-report-bench-" + std::to_string(connections))).string();
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::copy(fs::path(FILTER_SOURCE_DIR) / "examples" / "bbs", dir, fs::copy_options::recursive);
    fs::remove_all(dir + "/morvel/logcnx", ec);
    fs::create_directory(dir + "/morvel/logcnx");
    std::ofstream failures(dir + "/morvel/lognopas.prt");
    char line[LOG_ENTRY_MAX], time_text[32], date_text[16];
    for (int day = 1; day <= 30; day++) {
        std::ofstream log(dir + "/morvel/logcnx/logcn" + std::to_string(304 + day) + ".prt");
        log << "\n[MORVEL v4.0] - Connections log:\n\n         CALLSIGN         PORT          TIME"
               "                DATE\n   " << std::string(69, '=') << "\n";
        long first = connections * (day - 1) / 30, last = connections * day / 30;
        for (long i = first; i < last; i++) {
            long second = (i - first) * 86400 / (last - first);
            snprintf(time_text, sizeof time_text, "%02ld:%02ld:%02ld,%02ld", second / 3600, second / 60 % 60,
                     second % 60, i % 100);
            snprintf(date_text, sizeof date_text, "%02d-11-2026", day);
            format_log_entry(line, sizeof line, station_call(i % 2000).c_str(), (int)(i % 16), (int)(1 + i % 4),
                             time_text, date_text);
            log << line;
            if (i % 100 == 0)
                failures << line;
        }
    }
    return dir;
}

static void BM_ReportOfAMonth(benchmark::State &state)
{
    std::string dir = make_month(state.range(0));
    std::string command = std::string(FILTER_REPORT_PATH) + " -q --dir " + dir + " --out " + dir + "/report.html";
    double cpu = 0;
    for (auto _ : state)
        state.SetIterationTime(time_command(state, command, &cpu));
    state.counters["child_cpu_s"] = cpu / (double)state.iterations();
    state.SetComplexityN(state.range(0));
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK(BM_ReportOfAMonth)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
