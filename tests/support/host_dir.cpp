// host_dir.cpp - temporary host directories for tests.
#include "support/host_dir.h"

#include "common/reply.h"
#include "filter/entry_points.h"
#include "filter/filter_state.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

const char *const MAIL_IMPORT = "mail/mail.in";
const char *const MAIL_LOCK = "mail/mail.lck";

static const char default_startup[] =
    "# host start-up file\n"
    "N0BBS-1 the BBS callsign\n"
    "line 2\n"
    "line 3\n"
    "# a comment between values\n"
    "line 4\n"
    "system\\\n"
    "line 6\n"
    "line 7\n"
    "line 8\n"
    "line 9\n"
    "line 10\n"
    "line 11\n"
    "n0sys\n"
    "line 13\n"
    "mail\\mail.in\n";

static const char default_ports[] =
    "# port file\n"
    "1 4\n"
    "0 com1 9600\n"
    "this line after the com lines is dropped\n"
    "1 0 0 0 0 0 0 0 a b 144.800\n"
    "2 0 0 0 0 0 0 0 a b 433.500\n"
    "3 0 0 0 0 0 0 0 a b vhf\n"
    "4 0 0 0 0 0 0 0 a b hf\n";

// native - the system's path of a file, as the next call would find it: the
// test looks from outside, after whatever a call or another process changed.
static std::string native(const std::string &path)
{
    char out[4096];
    plat_begin_call();
    plat_native_path(path.c_str(), out, sizeof out);
    return out;
}

HostDir::HostDir()
{
    std::error_code ec;
    std::string base = fs::temp_directory_path(ec).string();
    std::string tmpl = (fs::path(ec ? "." : base) / "filter-test-XXXXXX").string();
    char *made = mkdtemp(&tmpl[0]);
    EXPECT_NE(made, nullptr);
    root_ = made ? made : base;
    old_cwd_ = fs::current_path().string();
    fs::current_path(root_);
    fs::create_directory("morvel");
    fs::create_directory("system");
    fs::create_directory("mail");
    write("init.srv", default_startup);
    write("system/port.sys", default_ports);
    unsetenv("MORVEL");
    plat_test_clear_faults();
    filter_reset_state();
    set_clock(2026, 12, 8, 21, 30, 5, 27);
}

HostDir::~HostDir()
{
    plat_test_clear_clock();
    plat_test_clear_faults();
    unsetenv("MORVEL");
    std::error_code ec;
    fs::current_path(old_cwd_, ec);
    if (!getenv("KEEP_TEST_DIRS"))
        fs::remove_all(root_, ec);
}

// What a test changes on the disk itself comes as another process's change
// between two calls: the platform layer is told that a call begins.
void HostDir::write(const std::string &path, const std::string &content)
{
    {
        std::ofstream out(native(path), std::ios::binary | std::ios::trunc);
        out << content;
    }
    plat_begin_call();
}

// On Windows the filter writes its text files in text mode ("\r\n"); reading
// them in text mode gives the tests the same lines as on Linux.
std::string HostDir::read(const std::string &path) const
{
#if defined(_WIN32)
    std::ifstream in(native(path));
#else
    std::ifstream in(native(path), std::ios::binary);
#endif
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool HostDir::exists(const std::string &path) const
{
    plat_begin_call();
    return plat_exists(path.c_str());
}

void HostDir::remove(const std::string &path)
{
    std::error_code ec;
    fs::remove(native(path), ec);
    plat_begin_call();
}

void HostDir::make_dir(const std::string &path)
{
    std::error_code ec;
    fs::create_directories(native(path), ec);
    plat_begin_call();
}

std::vector<std::string> HostDir::list(const std::string &dir) const
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(native(dir), ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void HostDir::write_config(const std::vector<std::string> &lines)
{
    std::string text = "# config.prt written by a test\n";
    for (const auto &l : lines)
        text += l + "\n";
    write("morvel/config.prt", text);
}

void HostDir::write_basic_config(const std::vector<std::string> &port_lines, const std::string &sysops)
{
    std::vector<std::string> lines = {"**", sysops, "3", "PASSWORD>", "NO", "NO", "NO", "NO",
                                      "NO", "NO", "NO", "NO", "NO", "NO"};
    for (const auto &p : port_lines)
        lines.push_back(p);
    write_config(lines);
}

enum { GUARD = 64 };

CallResult HostDir::svc(const std::vector<std::string> &args, int memory_available,
                          const std::string &prefill)
{
    static char buffer[REPLY_CAPACITY + GUARD];
    memset(buffer, 0, REPLY_CAPACITY);
    memset(buffer + REPLY_CAPACITY, 0xA5, GUARD);
    memcpy(buffer, prefill.data(), std::min(prefill.size(), (size_t)REPLY_CAPACITY - 1));
    std::vector<std::string> copy = args;
    std::vector<char *> argv;
    for (auto &s : copy)
        argv.push_back(&s[0]);
    argv.push_back(nullptr);
    int r = svc_main((int)args.size(), argv.data(), buffer, memory_available);
    for (int i = 0; i < GUARD; i++)
        EXPECT_EQ((unsigned char)buffer[REPLY_CAPACITY + i], 0xA5) << "reply guard overwritten";
    EXPECT_NE(memchr(buffer, '\0', REPLY_CAPACITY), nullptr) << "reply not terminated";
    return {r, std::string(buffer)};
}

CallResult HostDir::connect(const std::string &station, int port, int flags, int count)
{
    return svc({"bbs", station, "0", std::to_string(flags), std::to_string(count), "0",
                std::to_string(port), ""});
}

CallResult HostDir::answer(const std::string &station, int attempt, const std::string &text, int port,
                           int flags, int count)
{
    return svc({"bbs", station, std::to_string(attempt), std::to_string(flags), std::to_string(count), "0",
                std::to_string(port), text});
}

CallResult HostDir::forward(const std::string &station, const std::string &line, int port)
{
    return svc({"bbs", station, "0", "0", "-1", "0", std::to_string(port), line});
}

int HostDir::command(const std::string &word, const char *argument)
{
    std::vector<std::string> args = {"bbs", word};
    if (argument)
        args.push_back(argument);
    return svc(args).result;
}

int HostDir::dll_command(const std::string &word, const char *argument)
{
    std::string prog = "bbs", w = word, a = argument ? argument : "";
    std::vector<char *> argv = {&prog[0], &w[0]};
    if (argument)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return dll_main((int)argv.size() - 1, argv.data());
}

void HostDir::set_clock(int year, int month, int day, int hour, int minute, int second, int hundredths)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    time_t secs = mktime(&t);   // also fills tm_wday and tm_yday for %W and %j
    plat_test_set_clock(&t, hundredths, secs);
}

long count_lines(const std::string &text, const std::string &line)
{
    long n = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        n += text.compare(at, end - at, line) == 0;
        at = end + 1;
    }
    return n;
}
