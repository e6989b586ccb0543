// filter_bench.cpp - the cost of a connection against the floors of reading
// its files, the digests against OpenSSL's and Nettle's, and the platform's
// path lookup. The state file's ways are in state_file_bench.cpp, the calls
// in a crowded filter directory in crowded_directory_bench.cpp, the guard's
// calls with a full table in guard_bench.cpp.
//
// Prints Google Benchmark's table, then a summary of the goals' ratios as
// Markdown tables (bench/summary.sh runs it twice and merges the two).
#include "auth/digests.h"
#include "auth/exposure_record.h"
#include "auth/sha1.h"
#include "bench/nettle_digests.h"
#include "common/reply.h"
#include "filter/entry_points.h"
#include "filter/filter_state.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <random>
#include <new>
#include <string>
#include <unistd.h>
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
    for (int i = 0; i < entries - 3; i++) {
        char call[16];
        snprintf(call, sizeof call, "X%d%04dA", i % 10, i % 10000);
        call[7] = '\0';
        users << call << "-" << (i / 10000) % 16 << "\n1 NORMAL pw" << i << "\n2 OPEN\n-\n";
    }
    users << "N0OPN-1\n* OPEN\n-\nN0RDO-1\n* READONLY\n-\nN0NRM-1\n* NORMAL secretpassword\n-\n";
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

// fgets_lines - the fgets floor: one file read line by line through stdio.
static long fgets_lines(const char *native)
{
    char line[300];
    long n = 0;
    FILE *f = fopen(native, "r");
    while (f && fgets(line, sizeof line, f))
        n++;
    if (f)
        fclose(f);
    return n;
}

// raw_lines - the raw floor: one file read in 64 KiB blocks, every line end
// found with memchr. Less cannot be done and still see each line.
static long raw_lines(const char *native)
{
    static char block[64 * 1024];
    long n = 0;
    int fd = open(native, O_RDONLY);
    if (fd < 0)
        return 0;
    ssize_t got;
    while ((got = read(fd, block, sizeof block)) > 0) {
        const char *end = block + got;
        for (const char *p = block; (p = (const char *)memchr(p, '\n', (size_t)(end - p))) != nullptr; p++)
            n++;
    }
    close(fd);
    return n;
}

static const char *const floor_files[] = {"morvel\\config.prt", "morvel\\users.prt"};

// seconds_of - the time one floor takes to read both files, and their lines.
static double seconds_of(long (*reader)(const char *), char native[][512], long *lines)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2; i++)
        *lines += reader(native[i]);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// cpu_seconds - the CPU time this thread has used.
static double cpu_seconds(void)
{
    struct timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// Timed - the wall and CPU times of one side of a benchmark, and its fastest turn.
struct Timed {
    double wall = 0, cpu = 0, best = 1e30;
    template <typename F> double time(F work)
    {
        double cpu_start = cpu_seconds();
        auto start = std::chrono::steady_clock::now();
        work();
        double w = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += cpu_seconds() - cpu_start;
        wall += w;
        if (w < best)
            best = w;
        return w;
    }
    void report(benchmark::State &state, const std::string &side)
    {
        state.counters[side + "_us"] = benchmark::Counter(wall * 1e6, benchmark::Counter::kAvgIterations);
        state.counters[side + "_cpu_us"] = benchmark::Counter(cpu * 1e6, benchmark::Counter::kAvgIterations);
        state.counters[side + "_best_us"] = best * 1e6;
    }
};

// change_directory - what another process does between two calls of a busy
// BBS: a file made and removed in the filter directory, which changes it.
static void change_directory(void)
{
    int fd = open("morvel/other.tmp", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0)
        close(fd);
    unlink("morvel/other.tmp");
}

// BM_Decision - one call of the host per iteration, timed alone. Changed:
// the filter directory is changed before every call, as it is on a busy
// BBS (by the previous call's challenge, or another process), and its
// listing must be read again. Still: it last changed a minute before the
// first call, and only what the call itself does changes it (a challenge
// or an answer rewrites the station's state file at every call).
//
// The raw floor is measured in the same iterations, taking turns with the
// call at going first, each timed on its own: the ratio of the two holds on
// a machine whose other work slows both. Besides the wall times, each
// side's CPU time and its fastest iteration are kept: other work can only
// slow an iteration down, and it stretches the wall time of a call that
// waits for the system more than that of a plain read.
static void BM_Decision(benchmark::State &state, const char *station, const char *attempt, bool changed)
{
    enter_host((int)state.range(0));
    char native[2][512];
    for (int i = 0; i < 2; i++)
        plat_native_path(floor_files[i], native[i], sizeof native[i]);
    call("N0NRM-1", "0", "");   // leaves a state file for the answer calls
    if (!changed)
        fs::last_write_time("morvel", fs::file_time_type::clock::now() - std::chrono::minutes(1));
    long before = allocations, lines = 0, turn = 0;
    Timed raw, decision;
    for (auto _ : state) {
        if (changed)
            change_directory();
        bool floor_first = turn++ % 2 != 0;
        if (floor_first)
            raw.time([&] { seconds_of(raw_lines, native, &lines); });
        double wall = decision.time([&] {
            counting = true;
            benchmark::DoNotOptimize(call(station, attempt, "wrong"));
            counting = false;
        });
        state.SetIterationTime(wall);
        if (!floor_first)
            raw.time([&] { seconds_of(raw_lines, native, &lines); });
    }
    benchmark::DoNotOptimize(lines);
    state.counters["heap_allocations"] = (double)(allocations - before);
    raw.report(state, "raw");
    decision.report(state, "call");
}

// BM_Floors - both floors over the same files in the same iterations, taking
// turns at going first, each timed on its own. The file names are found
// once: the floors measure reading, not the case-insensitive look-up.
static void BM_Floors(benchmark::State &state)
{
    enter_host((int)state.range(0));
    char native[2][512];
    for (int i = 0; i < 2; i++)
        plat_native_path(floor_files[i], native[i], sizeof native[i]);
    double fgets_seconds = 0, raw_seconds = 0;
    long lines = 0, turn = 0;
    for (auto _ : state) {
        if (turn++ % 2) {
            fgets_seconds += seconds_of(fgets_lines, native, &lines);
            raw_seconds += seconds_of(raw_lines, native, &lines);
        } else {
            raw_seconds += seconds_of(raw_lines, native, &lines);
            fgets_seconds += seconds_of(fgets_lines, native, &lines);
        }
    }
    benchmark::DoNotOptimize(lines);
    state.counters["fgets_us"] = benchmark::Counter(fgets_seconds * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["raw_us"] = benchmark::Counter(raw_seconds * 1e6, benchmark::Counter::kAvgIterations);
}

static const int decision_sizes[] = {100, 1000, 10000, 100000};
static const char *const decision_names[] = {"open_station", "readonly_station", "normal_challenge", "unlisted_station",
                                              "answer_call"};
static const char *const directory_modes[] = {"changed", "still"};

// register_decisions - per size the floors, then the five decisions with
// the directory changed before each call and still, so that each ratio
// compares measurements taken one right after the other.
static void register_decisions(void)
{
    static const char *const stations[] = {"N0OPN-1", "N0RDO-1", "N0NRM-1", "N9ZZZ-1", "N0NRM-1"};
    static const char *const attempts[] = {"0", "0", "0", "0", "1"};
    for (int size : decision_sizes) {
        benchmark::RegisterBenchmark("BM_Floors", BM_Floors)->Arg(size)->Unit(benchmark::kMicrosecond);
        for (int i = 0; i < 5; i++)
            for (int m = 0; m < 2; m++) {
                std::string name = std::string("BM_Decision/") + decision_names[i] + "/" + directory_modes[m];
                benchmark::RegisterBenchmark(name.c_str(), BM_Decision, stations[i], attempts[i], m == 0)
                    ->Arg(size)
                    ->UseManualTime()
                    ->Unit(benchmark::kMicrosecond);
            }
    }
}

// ---- an admitted NORMAL answer and the exposure record ---------------------

static const int answer_sizes[] = {100, 1000, 10000};
static const char *const answer_ways[] = {"without_record", "nothing_new", "new_positions", "fifth_line",
                                          "first_answers"};
enum { NOTHING_NEW = 1, NEW_POSITIONS = 2, FIFTH_LINE = 3, FIRST_ANSWERS = 4, ANSWERS_OF_A_LIFE = 20 };

// exposure_lines - exposure.dat with `others` records of other passwords,
// and N0NRM-1's: for NOTHING_NEW one line with the positions its answers
// show heard, for FIFTH_LINE four lines with the first position only, so
// that the answer rewrites the file.
static std::string exposure_lines(int others, int way)
{
    std::string text = "# exposure.dat for the benchmark\n";
    char line[96], tag[EXPOSURE_TAG_TEXT];
    for (int i = 0; i < others; i++) {
        snprintf(line, sizeof line, "%08x POSITIONS 01-12-2026 X%dBNCH-1 0 3f1\n", 0x10000000u + (unsigned)i, i % 10);
        text += line;
    }
    exposure_tag("secretpassword", tag);
    if (way == NOTHING_NEW)
        text += std::string(tag) + " POSITIONS 01-12-2026 N0NRM-1 0 1f\n";
    for (int i = 0; way == FIFTH_LINE && i < 4; i++)
        text += std::string(tag) + " POSITIONS 01-12-2026 N0NRM-1 0 1\n";
    return text;
}

// put_normal_challenge - N0NRM-1's state file as its NORMAL challenge writes
// it, expecting "secre", with the note of positions 1 to 5 or, as a file
// written before the record was kept, without it: then the answer records
// nothing, and the call costs what it cost before the record.
static void put_normal_challenge(bool note)
{
    char tag[EXPOSURE_TAG_TEXT];
    exposure_tag("secretpassword", tag);
    std::ofstream f("morvel/N0NRM1.TMP");
    f << "secre\nN0NRM-1 1 5 " << (long long)time(nullptr);
    if (note)
        f << " P:" << tag << ":14:0.1.2.3.4";
    f << "\n";
}

// put_drawn_challenge - N0NRM-1's NORMAL challenge of five positions drawn
// as the filter draws them (distinct, any order), by a generator of a fixed
// seed; the answer it expects.
static std::string put_drawn_challenge(std::mt19937 *draw)
{
    static const char password[] = "secretpassword";
    int p[5];
    std::string expected;
    for (int i = 0; i < 5; i++) {
        bool again = true;
        while (again) {
            p[i] = (int)((*draw)() % 14);
            again = std::find(p, p + i, p[i]) != p + i;
        }
        expected += password[p[i]];
    }
    char tag[EXPOSURE_TAG_TEXT];
    exposure_tag(password, tag);
    std::ofstream f("morvel/N0NRM1.TMP");
    f << expected << "\nN0NRM-1 1 5 " << (long long)time(nullptr) << " P:" << tag << ":14:" << p[0] << "." << p[1]
      << "." << p[2] << "." << p[3] << "." << p[4] << "\n";
    return expected;
}

// BM_AdmittedAnswer - a right answer to a NORMAL challenge, admitted: the
// state file read, the entry looked up, the record read (and, for
// new_positions, a line added to it; for fifth_line, the file rewritten
// with one line for the password in place of its four) and the state file
// removed; first_answers, the first 20 answers to a password, from nothing
// heard, each asking positions drawn at random, over and over (the mean of
// a password's first answers: some add a line, some rewrite the file, the
// rest tell nothing new). exposure.dat holds a record for every tenth
// entry. The files are set up before each call and only the call is timed
// (PauseTiming costs more than what is measured).
static void BM_AdmittedAnswer(benchmark::State &state, int way)
{
    int entries = (int)state.range(0);
    enter_host(entries);
    std::string record = exposure_lines(entries / 10, way);
    std::ofstream("morvel/exposure.dat") << record;
    std::mt19937 draw(1211);
    long answered = 0;
    double base_seconds = 0;
    for (auto _ : state) {
        // The answer without the record takes turns with this way's at
        // going first, in the same iterations: the ratio is side by side.
        double seconds[2] = {0, 0};   // this way's, the one without the record
        for (int turn = 0; turn < 2; turn++) {
            bool base = (turn == 0) == (answered % 2 == 0);
            // A new file, as the filter's rewrite leaves one: a file cut to
            // nothing and written again would be on its way to the disk,
            // and the answer's line would wait for it.
            if (!base && way >= NEW_POSITIONS && (way != FIRST_ANSWERS || answered % ANSWERS_OF_A_LIFE == 0)) {
                fs::remove("morvel/exposure.dat");
                std::ofstream("morvel/exposure.dat") << record;
            }
            std::string expected = "secre";
            if (!base && way == FIRST_ANSWERS)
                expected = put_drawn_challenge(&draw);
            else
                put_normal_challenge(!base && way != 0);
            auto start = std::chrono::steady_clock::now();
            int verdict = call("N0NRM-1", "1", expected.c_str());
            seconds[base] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (verdict != 0)
                state.SkipWithError("the answer was not admitted");
        }
        answered++;
        state.SetIterationTime(seconds[0]);
        base_seconds += seconds[1];
    }
    state.counters["base_us"] = answered ? base_seconds / (double)answered * 1e6 : 0;
    fs::remove("morvel/exposure.dat");
}

// register_answers - per size the ways one after the other.
static void register_answers(void)
{
    for (int size : answer_sizes)
        for (int way = 0; way < (int)(sizeof answer_ways / sizeof answer_ways[0]); way++) {
            std::string name = std::string("BM_AdmittedAnswer/") + answer_ways[way];
            benchmark::RegisterBenchmark(name.c_str(), BM_AdmittedAnswer, way)
                ->Arg(size)
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);
        }
}

static std::vector<unsigned char> input_of(size_t n)
{
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = (unsigned char)('0' + i % 75);
    return v;
}

// openssl_md5_of - OpenSSL's MD5 in one call, as md5_digest takes it.
static void openssl_md5_of(const unsigned char *input, size_t length, unsigned char out[16])
{
    unsigned int len = 0;
    EVP_Digest(input, length, out, &len, EVP_md5(), nullptr);
}

// openssl_sha1_of - OpenSSL's SHA-1 in one call, as sha1_digest takes it.
static void openssl_sha1_of(const unsigned char *input, size_t length, unsigned char out[SHA1_SIZE])
{
    unsigned int len = 0;
    EVP_Digest(input, length, out, &len, EVP_sha1(), nullptr);
}

typedef void (*DigestFunction)(const unsigned char *, size_t, unsigned char *);

// seconds_of_digests - the time of `batch` digests of the same input.
static double seconds_of_digests(DigestFunction digest, const std::vector<unsigned char> &in, int batch)
{
    unsigned char out[SHA1_SIZE];   // the longest digest compared
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < batch; i++) {
        digest(in.data(), in.size(), out);
        benchmark::DoNotOptimize(out);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// BM_DigestPair - ours and a reference on the same input in the same
// iterations, taking turns at going first, each timed on its own: on a
// shared machine a ratio of two benchmarks run seconds apart means little.
// Besides the means, the fastest slice of each is kept: other work on the
// machine can only slow a slice down, so the best slices compare the code.
static void BM_DigestPair(benchmark::State &state, DigestFunction ours, DigestFunction reference)
{
    auto in = input_of((size_t)state.range(0));
    int batch = state.range(0) < 16384 ? (int)(16384 / state.range(0)) : 1;   // keeps the clock's cost small
    double sum[2] = {0, 0}, best[2] = {1e30, 1e30};
    const DigestFunction which[2] = {ours, reference};
    long turn = 0;
    for (auto _ : state) {
        int first = (int)(turn++ % 2);
        for (int k = 0; k < 2; k++) {
            int i = k ^ first;
            double t = seconds_of_digests(which[i], in, batch);
            sum[i] += t;
            if (t < best[i])
                best[i] = t;
        }
    }
    double per = 1e9 / (double)batch;
    state.counters["ours_ns"] = benchmark::Counter(sum[0] * per, benchmark::Counter::kAvgIterations);
    state.counters["reference_ns"] = benchmark::Counter(sum[1] * per, benchmark::Counter::kAvgIterations);
    state.counters["ours_best_ns"] = best[0] * per;
    state.counters["reference_best_ns"] = best[1] * per;
}

// 18 bytes: a challenge and a short password; 310: the longest input.
#define DIGEST_SIZES ->Arg(18)->Arg(310)->Arg(1 << 20)
BENCHMARK_CAPTURE(BM_DigestPair, md5_openssl, md5_digest, openssl_md5_of) DIGEST_SIZES;
BENCHMARK_CAPTURE(BM_DigestPair, md5_nettle, md5_digest, nettle_md5_of) DIGEST_SIZES;
BENCHMARK_CAPTURE(BM_DigestPair, md2_nettle, md2_digest, nettle_md2_of) DIGEST_SIZES;
// 28 bytes: the HMAC of a one-time code hashes 64 + 8, then 64 + 20 bytes.
BENCHMARK_CAPTURE(BM_DigestPair, sha1_openssl, sha1_digest, openssl_sha1_of)->Arg(28) DIGEST_SIZES;

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

// BM_PathLookup - one look-up at the start of a call, in the directory as
// it stands a minute after its last change, or right after one: the
// platform layer keeps a directory's listing across calls only once the
// directory has not changed for some seconds.
static void BM_PathLookup(benchmark::State &state, const char *path, bool just_changed)
{
    enter_big_directory();
    auto changed = fs::file_time_type::clock::now() - std::chrono::minutes(just_changed ? 0 : 1);
    fs::last_write_time("morvel", changed);
    for (auto _ : state) {
        plat_begin_call();   // as every call of the filter starts
        benchmark::DoNotOptimize(plat_exists(path));
    }
}
BENCHMARK_CAPTURE(BM_PathLookup, as_on_disk, "morvel\\N5000CALL.TMP", false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PathLookup, other_case, "morvel\\n5000call.tmp", false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PathLookup, missing, "morvel\\n0none.tmp", false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PathLookup, missing_just_changed, "morvel\\n0none.tmp", true)->Unit(benchmark::kMicrosecond);

// Collects each run's times and counters so that the summary can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;        // real time per iteration, nanoseconds
    std::map<std::string, double> cpu_ns;    // CPU time per iteration, nanoseconds
    std::map<std::string, std::map<std::string, double>> counters;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs) {
            std::string name = r.benchmark_name();
            size_t manual = name.find("/manual_time");
            if (manual != std::string::npos)
                name.erase(manual);
            ns[name] = r.real_accumulated_time / (double)r.iterations * 1e9;
            cpu_ns[name] = r.cpu_accumulated_time / (double)r.iterations * 1e9;
            for (const auto &c : r.counters)
                counters[name][c.first] = c.second;
        }
    }
    bool has(const std::string &name) { return ns.count(name) != 0; }
};

// print_decisions - each decision against the raw floor measured in its own
// iterations (by the mean wall times, the CPU times and the fastest
// iterations), and against the fgets floor measured just before it.
static void print_decisions(RatioReporter &rep)
{
    printf("\n| measure | entries | directory | time (us) | raw floor (us) | fgets floor (us) | / raw floor |"
           " / raw floor, CPU | / raw floor, fastest | / fgets floor |\n");
    printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (int size : decision_sizes) {
        std::string floors = "BM_Floors/" + std::to_string(size);
        if (!rep.has(floors))
            continue;
        double raw = rep.counters[floors]["raw_us"], fgets = rep.counters[floors]["fgets_us"];
        printf("| floors | %d | | | %.1f | %.1f | | | | %.2f |\n", size, raw, fgets, raw / fgets);
        for (const char *d : decision_names)
            for (const char *mode : directory_modes) {
                std::string name = std::string("BM_Decision/") + d + "/" + mode + "/" + std::to_string(size);
                if (!rep.has(name))
                    continue;
                auto &c = rep.counters[name];
                double us = rep.ns[name] / 1000;
                printf("| %s | %d | %s | %.1f | %.1f | %.1f | %.2f | %.2f | %.2f | %.2f |\n", d, size, mode, us,
                       c["raw_us"], fgets, us / c["raw_us"], c["call_cpu_us"] / c["raw_cpu_us"],
                       c["call_best_us"] / c["raw_best_us"], us / fgets);
            }
    }
}

// print_answers - an admitted answer with the record against one without.
static void print_answers(RatioReporter &rep)
{
    printf("\n| admitted NORMAL answer | entries | time (us) | without the record (us) | / without the record |\n"
           "|---|---|---|---|---|\n");
    for (int size : answer_sizes)
        for (const char *way : answer_ways) {
            std::string name = std::string("BM_AdmittedAnswer/") + way + "/" + std::to_string(size);
            if (!rep.has(name))
                continue;
            double base = rep.counters[name]["base_us"];
            printf("| %s | %d | %.1f | %.1f | %.2f |\n", way, size, rep.ns[name] / 1000, base,
                   base > 0 ? rep.ns[name] / 1000 / base : 0);
        }
}

// print_digests - throughput of ours over the reference's: above 1 is faster.
static void print_digests(RatioReporter &rep)
{
    printf("\n| digest | reference | bytes | ours (ns) | reference (ns) | throughput ours / reference |"
           " the same, best slices |\n");
    printf("|---|---|---|---|---|---|---|\n");
    for (const char *pair : {"md5_openssl", "md5_nettle", "md2_nettle", "sha1_openssl"})
        for (const char *bytes : {"18", "28", "310", "1048576"}) {
            std::string name = std::string("BM_DigestPair/") + pair + "/" + bytes;
            if (!rep.has(name))
                continue;
            auto &c = rep.counters[name];
            int split = (int)strcspn(pair, "_");
            printf("| %.*s | %s | %s | %.0f | %.0f | %.2f | %.2f |\n", split, pair, pair + split + 1, bytes, c["ours_ns"],
                   c["reference_ns"], c["reference_ns"] / c["ours_ns"], c["reference_best_ns"] / c["ours_best_ns"]);
        }
}

// print_others - the state file's ways, the path look-up and the heap count.
static void print_others(RatioReporter &rep)
{
    printf("\n| measure | wall (us) | CPU (us) |\n|---|---|---|\n");
    for (const auto &kv : rep.ns) {
        std::string name = kv.first;
        if (name.rfind("BM_StateFile/", 0) != 0 && name.rfind("BM_PathLookup/", 0) != 0)
            continue;
        size_t suffix = name.find("/real_time");
        if (suffix != std::string::npos)
            name.erase(suffix);
        printf("| %s | %.1f | %.1f |\n", name.c_str(), kv.second / 1000, rep.cpu_ns[kv.first] / 1000);
    }
    double heap = 0;
    for (auto &kv : rep.counters)
        if (kv.second.count("heap_allocations"))
            heap += kv.second["heap_allocations"];
    printf("\n| operator new calls during decisions | %.0f |\n", heap);
}

// print_crowded - each call with 20,000 other files in the filter directory against none.
static void print_crowded(RatioReporter &rep)
{
    printf("\n| call | no other file (us) | 20,000 other files (us) | 20,000 / none | CPU 20,000 / none |\n");
    printf("|---|---|---|---|---|\n");
    for (const char *call : {"open_station", "forward_login", "normal_challenge"}) {
        std::string none = std::string("BM_Crowded/") + call + "/0", many = std::string("BM_Crowded/") + call + "/20000";
        if (!rep.has(none) || !rep.has(many))
            continue;
        printf("| %s | %.1f | %.1f | %.2f | %.2f |\n", call, rep.ns[none] / 1000, rep.ns[many] / 1000,
               rep.ns[many] / rep.ns[none], rep.cpu_ns[many] / rep.cpu_ns[none]);
    }
}

// print_guard - the guard's calls with its table empty, at the old size and full.
static void print_guard(RatioReporter &rep)
{
    printf("\n| guard call | no table (us) | 256 callsigns (us) | 4,096 callsigns (us) | 4,096 / none |\n");
    printf("|---|---|---|---|---|\n");
    for (const char *call : {"failing_answer", "new_challenge"}) {
        std::string base = std::string("BM_Guard/") + call + "/";
        if (!rep.has(base + "0") || !rep.has(base + "4096"))
            continue;
        printf("| %s | %.1f | %.1f | %.1f | %.2f |\n", call, rep.ns[base + "0"] / 1000, rep.ns[base + "256"] / 1000,
               rep.ns[base + "4096"] / 1000, rep.ns[base + "4096"] / rep.ns[base + "0"]);
    }
}

int main(int argc, char **argv)
{
    register_decisions();
    register_answers();
    benchmark::Initialize(&argc, argv);
    RatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    printf("\nSummary (ratios measured side by side in this run)\n");
    print_decisions(rep);
    print_answers(rep);
    print_digests(rep);
    print_others(rep);
    print_crowded(rep);
    print_guard(rep);
    benchmark::Shutdown();
    return 0;
}
