// tools_bench.cpp - the sysop's tools on large setups: filter-check's time
// against the number of users.prt entries (plain headers and CALL-* headers,
// 10,000 to 100,000 entries), with the growth Google Benchmark fits to it,
// and filter-compare's time for 1,000 stations. Each iteration runs the tool
// as the sysop does, a whole process; the time is the wall clock of that run,
// and the CPU time of the child is reported beside it.
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

BENCHMARK_MAIN();
