// state_file_bench.cpp - the ways of writing a challenge's state file and of
// reading and removing it on the answer, each as one challenge and one answer.
//
// Wall time is what counts here: a way that makes the file system write to
// the disk while the call waits shows in the wall time, not in the CPU time.
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

// An MD challenge's file, the longest usual one: characters and MD5 digest, kind, MD2 digest.
static const char state_text[] =
    "pawro 1b2c3d4e5f60718293a4b5c6d7e8f901\n3\n0f1e2d3c4b5a69788796a5b4c3d2e1f0\n";
static const char native_name[] = "morvel/N0NRM1.TMP";
static const char filter_name[] = "morvel\\N0NRM1.TMP";

// enter_state_directory - a filter directory with the files a host usually has there.
static void enter_state_directory(void)
{
    static bool made;
    const std::string dir = "/tmp/filter-bench-state";
    if (!made) {
        fs::remove_all(dir);
        fs::create_directories(dir + "/morvel");
        for (const char *name : {"config.prt", "users.prt", "ctext.prt", "1.prt", "2.prt", "filter.log", "mail.prt"})
            std::ofstream(dir + "/morvel/" + name) << "x\n";
        made = true;
    }
    fs::current_path(dir);
    unlink(native_name);
}

static void stdio_write(void)
{
    FILE *f = fopen(native_name, "w");
    fputs(state_text, f);
    fclose(f);
}

static void stdio_read(void)
{
    char line[300];
    FILE *f = fopen(native_name, "r");
    benchmark::DoNotOptimize(fgets(line, sizeof line, f));
    fclose(f);
}

static void fd_write(int flags)
{
    int fd = open(native_name, O_WRONLY | O_CREAT | flags, 0644);
    benchmark::DoNotOptimize(write(fd, state_text, sizeof state_text - 1));
    close(fd);
}

static void fd_read(void)
{
    char text[300];
    int fd = open(native_name, O_RDONLY);
    benchmark::DoNotOptimize(read(fd, text, sizeof text));
    close(fd);
}

// fd_write_renamed - the file written whole under a temporary name, renamed over the old one.
static void fd_write_renamed(void)
{
    static const char temp_name[] = "morvel/N0NRM1.TMP.new";
    int fd = open(temp_name, O_WRONLY | O_CREAT | O_EXCL, 0600);
    benchmark::DoNotOptimize(write(fd, state_text, sizeof state_text - 1));
    close(fd);
    rename(temp_name, native_name);
}

// platform_write - the file written through the private file entry:
// created for its owner only (or put in place of the old one), then closed
// and checked.
static void platform_write(void)
{
    plat_begin_call();
    FILE *f = plat_fopen_private(filter_name);
    fputs(state_text, f);
    benchmark::DoNotOptimize(plat_fclose(f));
}

// platform_replace - the file written as a challenge writes it: a
// replacement, written whole for its owner only and put in place.
static void platform_replace(void)
{
    static PlatReplacement replacement;
    plat_begin_call();
    FILE *f = plat_open_replacement(filter_name, true, &replacement);
    fputs(state_text, f);
    benchmark::DoNotOptimize(plat_commit_replacement(&replacement));
}

// platform_read - the file read as an answer reads it: through the text
// reader's block, every line seen.
static void platform_read(void)
{
    char line[300];
    PlatText text;
    plat_begin_call();
    if (!plat_open_text(filter_name, &text))
        return;
    while (plat_read_line(line, sizeof line, &text))
        benchmark::DoNotOptimize(line);
    plat_close_text(&text);
}

// A challenge that creates the file, and a right answer that reads and removes it.
static void BM_StateFile_stdio_new(benchmark::State &state)
{
    enter_state_directory();
    for (auto _ : state) {
        stdio_write();
        stdio_read();
        unlink(native_name);
    }
}

static void BM_StateFile_fd_new(benchmark::State &state)
{
    enter_state_directory();
    for (auto _ : state) {
        fd_write(O_TRUNC);
        fd_read();
        unlink(native_name);
    }
}

static void BM_StateFile_platform_new(benchmark::State &state)
{
    enter_state_directory();
    for (auto _ : state) {
        platform_write();
        platform_read();
        plat_remove(filter_name);
    }
}

// A wrong answer with attempts left: the file is read, and the fresh
// challenge replaces it, by truncation or by removal and a new file.
static void BM_StateFile_stdio_truncate(benchmark::State &state)
{
    enter_state_directory();
    stdio_write();
    for (auto _ : state) {
        stdio_read();
        stdio_write();
    }
}

static void BM_StateFile_fd_truncate(benchmark::State &state)
{
    enter_state_directory();
    fd_write(O_TRUNC);
    for (auto _ : state) {
        fd_read();
        fd_write(O_TRUNC);
    }
}

static void BM_StateFile_fd_replace(benchmark::State &state)
{
    enter_state_directory();
    fd_write(O_TRUNC);
    for (auto _ : state) {
        fd_read();
        unlink(native_name);
        fd_write(O_EXCL);
    }
}

static void BM_StateFile_fd_rename(benchmark::State &state)
{
    enter_state_directory();
    fd_write(O_TRUNC);
    for (auto _ : state) {
        fd_read();
        fd_write_renamed();
    }
}

static void BM_StateFile_platform_replace(benchmark::State &state)
{
    enter_state_directory();
    platform_replace();
    for (auto _ : state) {
        platform_read();
        platform_replace();
    }
}

static void BM_StateFile_platform_rewrite(benchmark::State &state)
{
    enter_state_directory();
    platform_write();
    for (auto _ : state) {
        platform_read();
        platform_write();
    }
}

#define STATE_FILE(function, way) \
    BENCHMARK(function)->Name("BM_StateFile/" way)->UseRealTime()->Unit(benchmark::kMicrosecond)
STATE_FILE(BM_StateFile_stdio_new, "stdio_new");
STATE_FILE(BM_StateFile_fd_new, "fd_new");
STATE_FILE(BM_StateFile_platform_new, "platform_new");
STATE_FILE(BM_StateFile_stdio_truncate, "stdio_truncate");
STATE_FILE(BM_StateFile_fd_truncate, "fd_truncate");
STATE_FILE(BM_StateFile_fd_replace, "fd_replace");
STATE_FILE(BM_StateFile_platform_rewrite, "platform_rewrite");
STATE_FILE(BM_StateFile_fd_rename, "fd_rename");
STATE_FILE(BM_StateFile_platform_replace, "platform_replace");
