// crowded_directory_bench.cpp - the cost of a call with none and with 20,000
// other files in the filter directory: pending challenges of other stations
// (NORMAL state files, written within their lifetime) and files of other
// kinds. A call must not cost more because its neighbours left files.
#include "filter/entry_points.h"
#include "filter/filter_state.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace fs = std::filesystem;

static const char crowded_config[] =
    "**\nN0SYS N1SYS\n3 RH\nPASSWORD>\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\n"
    "2 OPEN\n3 OPEN\n4 OPEN\n5 OPEN\n6 OPEN\n7 OPEN\n8 OPEN\n9 OPEN\nCONSOLE OPEN\n1 OPEN\n";

static const char crowded_users[] =
    "N0OPN-1\n* OPEN\n-\nN0NRM-1\n* NORMAL secretpassword\n-\nN0FWD\n* FORWARD Shared1\n-\n";

// add_other_files - half the files pending challenges of other stations, half
// other files (notes, texts, logs kept by the sysop).
static void add_other_files(const std::string &filter_dir, int files)
{
    long long now = (long long)time(nullptr);
    for (int i = 0; i < files; i++) {
        char name[32];
        if (i % 2 == 0) {
            int k = i / 2;
            char station[16];
            snprintf(station, sizeof station, "X%05d-%d", k, k % 16);
            snprintf(name, sizeof name, "X%05d%d.TMP", k, k % 16);
            std::ofstream(filter_dir + "/" + name) << "abcde\n" << station << " 1 1 " << now << "\n";
        } else {
            snprintf(name, sizeof name, "NOTE%05d.TXT", i);
            std::ofstream(filter_dir + "/" + name) << "x\n";
        }
    }
}

// make_crowded_host - a host directory whose filter directory holds `files` other files.
static std::string make_crowded_host(int files)
{
    std::string dir = "/tmp/filter-bench-crowded-" + std::to_string(files);
    fs::remove_all(dir);
    fs::create_directories(dir + "/morvel");
    fs::create_directories(dir + "/system");
    fs::create_directories(dir + "/mail");
    std::ofstream(dir + "/init.srv") << "N0BBS\n2\n3\n4\nsystem\\\n6\n7\n8\n9\n10\n11\nn0sys\n13\nmail\\mail.in\n";
    std::ofstream(dir + "/morvel/config.prt") << crowded_config;
    std::ofstream(dir + "/morvel/users.prt") << crowded_users;
    add_other_files(dir + "/morvel", files);
    return dir;
}

static char crowded_reply[4096];

// crowded_call - one call of the host: a connection (count 2) or a forward login (count -1).
static int crowded_call(const char *station, const char *count, const char *line)
{
    std::string a[] = {"bbs", station, "0", "0", count, "0", "1", line};
    char *argv[8];
    for (int i = 0; i < 8; i++)
        argv[i] = &a[i][0];
    crowded_reply[0] = '\0';
    return svc_main(8, argv, crowded_reply, 1);
}

// enter_crowded_host - the host of that many files, entered at load, after
// one challenge (the other stations' files were left by challenges too, so
// the filter has put one since it was installed) put a minute ago: the
// platform layer keeps a directory's listing across calls only once the
// directory has not changed for some seconds.
static void enter_crowded_host(int files)
{
    static std::map<int, std::string> made;
    if (!made.count(files))
        made[files] = make_crowded_host(files);
    fs::current_path(made[files]);
    filter_reset_state();
    crowded_call("N0NRM-1", "2", "");
    fs::last_write_time("morvel", fs::file_time_type::clock::now() - std::chrono::minutes(1));
}

static void BM_Crowded(benchmark::State &state, const char *station, const char *count, const char *line)
{
    enter_crowded_host((int)state.range(0));
    int result = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(result = crowded_call(station, count, line));
    state.counters["result"] = result;
}

#define CROWDED ->Arg(0)->Arg(20000)->Unit(benchmark::kMicrosecond)
BENCHMARK_CAPTURE(BM_Crowded, open_station, "N0OPN-1", "2", "") CROWDED;
BENCHMARK_CAPTURE(BM_Crowded, forward_login, "N0FWD-0", "-1", "N0FWD> ![0123456789]") CROWDED;
BENCHMARK_CAPTURE(BM_Crowded, normal_challenge, "N0NRM-1", "2", "") CROWDED;
