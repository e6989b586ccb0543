// filter_bench.cpp - the cost of a connection against the floor of reading its
// files, the digests against OpenSSL's MD5, and the platform's path lookup.
//
// Prints Google Benchmark's table, then the ratios of the goals.
#include "auth/digests.h"
#include "common/reply.h"
#include "filter/entry_points.h"
#include "filter/filter_state.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// Heap use of the decision: every operator new while a decision runs is counted.
static bool counting;
static long allocations;
void *operator new(size_t n)
{
    if (counting)
        allocations++;
    void *p = malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}
void operator delete(void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }

static const char config_text[] =
    "**\nN0SYS N1SYS\n3 RH\nPASSWORD>\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\nNO\n"
    "2 OPEN\n3 OPEN\n4 OPEN\n5 OPEN\n6 OPEN\n7 OPEN\n8 OPEN\n9 OPEN\nCONSOLE OPEN\n1 OPEN\n";

// make_host - a host directory whose users.prt has `entries` entries, the
// benchmarked stations' entries last.
static std::string make_host(int entries)
{
    std::string dir = "/tmp/filter-bench-" + std::to_string(entries);
    fs::remove_all(dir);
    fs::create_directories(dir + "/morvel");
    fs::create_directories(dir + "/system");
    fs::create_directories(dir + "/mail");
    std::ofstream(dir + "/init.srv") << "N0BBS\n2\n3\n4\nsystem\\\n6\n7\n8\n9\n10\n11\nn0sys\n13\nmail\\mail.in\n";
    std::ofstream(dir + "/morvel/config.prt") << config_text;
    std::ofstream users(dir + "/morvel/users.prt");
    users << "# users.prt for the benchmark\n";
    for (int i = 0; i < entries - 2; i++) {
        char call[16];
        snprintf(call, sizeof call, "X%d%04dA", i % 10, i % 10000);
        call[7] = '\0';
        users << call << "-" << (i / 10000) % 16 << "\n1 NORMAL pw" << i << "\n2 OPEN\n-\n";
    }
    users << "N0OPN-1\n* OPEN\n-\nN0NRM-1\n* NORMAL secretpassword\n-\n";
    return dir;
}

static char reply[REPLY_CAPACITY];

static int call(const char *station, const char *attempt, const char *answer)
{
    std::string a[] = {"bbs", station, attempt, "0", "2", "0", "1", answer};
    char *argv[8];
    for (int i = 0; i < 8; i++)
        argv[i] = &a[i][0];
    reply[0] = '\0';
    return svc_main(8, argv, reply, 1);
}

static void enter_host(int entries)
{
    static std::map<int, std::string> made;
    if (!made.count(entries))
        made[entries] = make_host(entries);
    fs::current_path(made[entries]);
    filter_reset_state();
}

static void BM_Decision(benchmark::State &state, const char *station, const char *attempt)
{
    enter_host((int)state.range(0));
    call("N0NRM-1", "0", "");   // leaves a state file for the answer calls
    long before = allocations;
    for (auto _ : state) {
        counting = true;
        benchmark::DoNotOptimize(call(station, attempt, "wrong"));
        counting = false;
    }
    state.counters["heap_allocations"] = (double)(allocations - before);
}

static void BM_Floor(benchmark::State &state)
{
    enter_host((int)state.range(0));
    char line[300];
    for (auto _ : state) {
        long n = 0;
        for (const char *p : {"morvel\\config.prt", "morvel\\users.prt"}) {
            FILE *f = plat_fopen(p, "rt");
            while (f && fgets(line, sizeof line, f))
                n++;
            if (f)
                fclose(f);
        }
        benchmark::DoNotOptimize(n);
    }
}

#define DECISION_SIZES ->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond)
BENCHMARK_CAPTURE(BM_Decision, open_station, "N0OPN-1", "0") DECISION_SIZES;
BENCHMARK_CAPTURE(BM_Decision, normal_challenge, "N0NRM-1", "0") DECISION_SIZES;
BENCHMARK_CAPTURE(BM_Decision, unlisted_station, "N9ZZZ-1", "0") DECISION_SIZES;
BENCHMARK_CAPTURE(BM_Decision, answer_call, "N0NRM-1", "1") DECISION_SIZES;
BENCHMARK(BM_Floor) DECISION_SIZES;

static std::vector<unsigned char> input_of(size_t n)
{
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = (unsigned char)('0' + i % 75);
    return v;
}

static void BM_Md5(benchmark::State &state)
{
    auto in = input_of((size_t)state.range(0));
    unsigned char out[16];
    for (auto _ : state) {
        md5_digest(in.data(), in.size(), out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * state.range(0));
}

static void BM_Md2(benchmark::State &state)
{
    auto in = input_of((size_t)state.range(0));
    unsigned char out[16];
    for (auto _ : state) {
        md2_digest(in.data(), in.size(), out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * state.range(0));
}

static void BM_OpenSslMd5(benchmark::State &state)
{
    auto in = input_of((size_t)state.range(0));
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    for (auto _ : state) {
        EVP_Digest(in.data(), in.size(), out, &len, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * state.range(0));
}

BENCHMARK(BM_Md5)->Arg(18)->Arg(310)->Arg(1 << 20);
BENCHMARK(BM_OpenSslMd5)->Arg(18)->Arg(310)->Arg(1 << 20);
BENCHMARK(BM_Md2)->Arg(18)->Arg(310)->Arg(1 << 20);

static void enter_big_directory(void)
{
    static bool made;
    const std::string dir = "/tmp/filter-bench-lookup";
    if (!made) {
        fs::remove_all(dir);
        fs::create_directories(dir + "/morvel");
        for (int i = 0; i < 10000; i++)
            std::ofstream(dir + "/morvel/N" + std::to_string(i) + "CALL.TMP");
        made = true;
    }
    fs::current_path(dir);
}

static void BM_PathLookup(benchmark::State &state, const char *path)
{
    enter_big_directory();
    for (auto _ : state) {
        plat_begin_call();   // as every call of the filter starts
        benchmark::DoNotOptimize(plat_exists(path));
    }
}
BENCHMARK_CAPTURE(BM_PathLookup, as_on_disk, "morvel\\N5000CALL.TMP")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PathLookup, other_case, "morvel\\n5000call.tmp")->Unit(benchmark::kMicrosecond);

// Collects each run's time so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;        // real time per iteration, nanoseconds
    std::map<std::string, double> counters;  // heap allocations per run
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs) {
            double per = r.real_accumulated_time / (double)r.iterations * 1e9;
            ns[r.benchmark_name()] = per;
            auto c = r.counters.find("heap_allocations");
            if (c != r.counters.end())
                counters[r.benchmark_name()] = c->second;
        }
    }
};

static void print_ratios(RatioReporter &rep)
{
    printf("\nSummary (ratios measured side by side in this run)\n");
    printf("%-44s %12s %12s %8s\n", "measure", "this", "floor/ref", "ratio");
    for (const char *size : {"100", "1000", "10000", "100000"}) {
        std::string floor = std::string("BM_Floor/") + size;
        for (const char *c : {"open_station", "normal_challenge", "unlisted_station", "answer_call"}) {
            std::string name = std::string("BM_Decision/") + c + "/" + size;
            if (rep.ns.count(name) && rep.ns.count(floor))
                printf("%-44s %10.1fus %10.1fus %8.2f\n", name.c_str(), rep.ns[name] / 1000,
                       rep.ns[floor] / 1000, rep.ns[name] / rep.ns[floor]);
        }
    }
    std::string ours = "BM_Md5/1048576", ref = "BM_OpenSslMd5/1048576";
    if (rep.ns.count(ours) && rep.ns.count(ref))
        printf("%-44s %10.1fus %10.1fus %8.2f  (throughput of ours / OpenSSL's)\n", "md5_digest 1 MiB",
               rep.ns[ours] / 1000, rep.ns[ref] / 1000, rep.ns[ref] / rep.ns[ours]);
    std::string exact = "BM_PathLookup/as_on_disk", other = "BM_PathLookup/other_case";
    if (rep.ns.count(exact) && rep.ns.count(other))
        printf("%-44s %10.2fus %10.2fus %8.4f  (as on disk / other case: no scan when spelled as on disk)\n",
               "path lookup, 10,000 files", rep.ns[exact] / 1000, rep.ns[other] / 1000,
               rep.ns[exact] / rep.ns[other]);
    double heap = 0;
    for (auto &kv : rep.counters)
        heap += kv.second;
    printf("%-44s %12.0f\n", "operator new calls during decisions", heap);
}

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    print_ratios(rep);
    benchmark::Shutdown();
    return 0;
}
