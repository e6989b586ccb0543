// guard_bench.cpp - the cost of a call with the guard on, with no guard file
// and with the guard's table holding 256 and 4,096 (all it keeps) other
// callsigns, each failed once a minute ago: a failing answer, which reads
// and rewrites the table, and a new connection's challenge, which reads it.
// A flood of throwaway callsigns fills the table; the calls of a real station
// must stay affordable then.
#include "filter/entry_points.h"
#include "filter/filter_state.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace fs = std::filesystem;

static const char guard_config[] =
    "**\nN0SYS N1SYS\n3 RH\nPASSWORD>\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\n"
    "2 OPEN\n3 OPEN\n4 OPEN\n5 OPEN\n6 OPEN\n7 OPEN\n8 OPEN\n9 OPEN\nCONSOLE OPEN\n1 OPEN\n";

// write_guard_table - guard.dat of `entries` other callsigns, one failure each.
static void write_guard_table(const std::string &path, int entries)
{
    long long a_minute_ago = (long long)time(nullptr) - 60;
    std::ofstream out(path);
    out << "# The guard's failures: callsign, count, time of the last, reported\n";
    for (int i = 0; i < entries; i++) {
        char line[64];
        snprintf(line, sizeof line, "T%05d 1 %lld 0\n", i, a_minute_ago);
        out << line;
    }
}

// make_guard_host - a host directory with the guard on; its table is written per run.
static std::string make_guard_host(void)
{
    std::string dir = "/tmp/filter-bench-guard";
    fs::remove_all(dir);
    fs::create_directories(dir + "/morvel");
    fs::create_directories(dir + "/system");
    fs::create_directories(dir + "/mail");
    std::ofstream(dir + "/init.srv") << "N0BBS\n2\n3\n4\nsystem\\\n6\n7\n8\n9\n10\n11\nn0sys\n13\nmail\\mail.in\n";
    std::ofstream(dir + "/morvel/config.prt") << guard_config;
    std::ofstream(dir + "/morvel/users.prt") << "N0NRM\n* NORMAL secretpassword\n-\n";
    // Never locked out within a run: each run writes the table anew every
    // few calls, before the station's count could reach 99.
    std::ofstream(dir + "/morvel/guard.prt") << "FAILURES 99 MINUTES 1440\n";
    return dir;
}

static char guard_reply[4096];

// guard_call - one connection (attempt "0") or answer of the host on port 1.
static int guard_call(const char *station, const char *attempt, const char *answer)
{
    std::string a[] = {"bbs", station, attempt, "0", "2", "0", "1", answer};
    char *argv[8];
    for (int i = 0; i < 8; i++)
        argv[i] = &a[i][0];
    guard_reply[0] = '\0';
    return svc_main(8, argv, guard_reply, 1);
}

enum { CALLS_PER_TABLE = 50 };

// BM_Guard - a failing answer (answer true) or a new connection's challenge
// (no failure: the guard only reads its table), with the table of range(0)
// other callsigns; 0 runs without the file.
static void BM_Guard(benchmark::State &state, bool answer)
{
    static std::string dir = make_guard_host();
    int entries = (int)state.range(0);
    std::string table = dir + "/morvel/guard.dat";
    fs::current_path(dir);
    filter_reset_state();
    int calls = 0, result = 0;
    for (auto _ : state) {
        if (calls++ % CALLS_PER_TABLE == 0) {
            state.PauseTiming();
            fs::remove(table);
            if (entries > 0)
                write_guard_table(table, entries);
            guard_call("N0NRM-1", "0", "");
            state.ResumeTiming();
        }
        if (!answer) {
            // A challenge left waiting would make the next one a failure.
            state.PauseTiming();
            fs::remove(dir + "/morvel/N0NRM2.TMP");
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(result = answer ? guard_call("N0NRM-1", "1", "wrong") : guard_call("N0NRM-2", "0", ""));
    }
    state.counters["result"] = result;
}

#define GUARD_TABLES ->Arg(0)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond)
BENCHMARK_CAPTURE(BM_Guard, failing_answer, true) GUARD_TABLES;
BENCHMARK_CAPTURE(BM_Guard, new_challenge, false) GUARD_TABLES;
