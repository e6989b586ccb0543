// fuzz_host.cpp - the prepared host directory of the fuzz targets.
#include "fuzz_host.h"

#include "common/reply.h"
#include "filter/entry_points.h"
#include "filter/filter_state.h"
#include "platform/platform.h"
#include "platform/test_hooks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pthread.h>

namespace fs = std::filesystem;

static std::string root;

static const char startup[] =
    "N0BBS\nline 2\nline 3\nline 4\nsystem\\\nline 6\nline 7\nline 8\nline 9\nline 10\nline 11\n"
    "n0sys\nline 13\nmail\\mail.in\n";
static const char ports[] =
    "1 4\n0 com1\ndropped\n1 0 0 0 0 0 0 0 a b 144.800\n2 0 0 0 0 0 0 0 a b 433.500\n"
    "3 0 0 0 0 0 0 0 a b vhf\n4 0 0 0 0 0 0 0 a b hf\n";
static const char config[] =
    "**\nN0SYS N1SYS\n2 RH RHDN\nPASSWORD>\nOK\nOK\nOK\nOK\nOK XSN\nOK TM\nOK\nOK CDWM\nOK\nOK\n"
    "1 OPEN\n2 READONLY\n3 BBS\n4 CLOSED\nCONSOLE OPEN\n";
static const char users[] =
    "N0CALL-1\n* NORMAL secret\n-\nN0CALL-2\n* MD5 secret\n-\nN0CALL-3\n* TABLE\n-\n"
    "N0CALL-4\n* FLEXNET 12345\n-\nN0CALL-5\n* FIXED secret\n-\nN0CALL-6\n* FORWARD secret\n-\n"
    "N0CALL-7\n* FORWARD5 secret\n-\nN0CALL-8\n* EXCLUDED\n-\nN0CALL-9\n1 CLOSED\n2 GUEST\n-\n"
    "CONSOLE\n0 NORMAL secret\n-\n";

// Every text that config.prt switches on and N0CALL-3's password table for the
// fixed date, so that a sound input meets no error.
static const char *const texts[][2] = {
    {"morvel/open.prt", "Welcome to the open port.\n"},
    {"morvel/excluded.prt", "You are excluded.\n"},
    {"morvel/info.prt", "This port is closed.\n"},
    {"morvel/intro.prt", "Intro text.\n"},
    {"morvel/guest.prt", "Guest text.\n"},
    {"morvel/newtxt.prt", "Hello, new station.\n"},
    {"morvel/newmsg.prt", "Welcome aboard.\n"},
    {"morvel/N0CALL3.TBL", "# day password\n1 first\n8 eighth\n31 last\n"},
};

void fuzz_write(const char *path, const uint8_t *data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((const char *)data, (std::streamsize)size);
}

void fuzz_write_text(const char *path, const std::string &text)
{
    fuzz_write(path, (const uint8_t *)text.data(), text.size());
}

struct tm fuzz_fixture_time(void)
{
    struct tm t = {};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = 21;
    t.tm_min = 30;
    t.tm_sec = 5;
    t.tm_isdst = -1;
    return t;
}

void fuzz_host_prepare(void)
{
    std::error_code ec;
    if (root.empty()) {
        // A memory file system, where there is one, makes every input faster.
        const char *base = getenv("FUZZ_TMPDIR");
        if (!base)
            base = fs::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
        std::string tmpl = std::string(base) + "/filter-fuzz-XXXXXX";
        if (!mkdtemp(&tmpl[0]))
            abort();
        root = tmpl;
        atexit([] {
            std::error_code gone;
            fs::current_path("/", gone);
            fs::remove_all(root, gone);
        });
    }
    fs::current_path("/", ec);
    fs::remove_all(root, ec);
    fs::create_directories(root + "/morvel/logcnx", ec);
    fs::create_directories(root + "/system", ec);
    fs::create_directories(root + "/mail", ec);
    fs::current_path(root, ec);
    fuzz_write_text("init.srv", startup);
    fuzz_write_text("system/port.sys", ports);
    fuzz_write_text("morvel/config.prt", config);
    fuzz_write_text("morvel/users.prt", users);
    for (const auto &t : texts)
        fuzz_write_text(t[0], t[1]);
    plat_test_clear_faults();
    filter_reset_state();
    struct tm t = fuzz_fixture_time();
    time_t secs = mktime(&t);
    plat_test_set_clock(&t, 27, secs);
}

bool fuzz_checking(void)
{
    static const bool on = getenv("FUZZ_SOUND") != nullptr;
    return on;
}

void fuzz_expect(bool ok, const char *what)
{
    if (!fuzz_checking() || ok)
        return;
    fprintf(stderr, "FUZZ_SOUND: a sound seed failed: %s\n", what);
    abort();
}

void fuzz_check_sound(void)
{
    if (!fuzz_checking())
        return;
    std::ifstream in("morvel/error.prt");
    if (!in)
        return;
    std::string record((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fprintf(stderr, "FUZZ_SOUND: a sound seed met an error:\n%s\n", record.c_str());
    abort();
}

std::vector<std::string> fuzz_split(const uint8_t *data, size_t size, size_t n)
{
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0 && parts.size() < n)
            parts.emplace_back();
        else
            parts.back().push_back((char)data[i]);
    }
    return parts;
}

// A host thread's stack is far larger, but a call that needs more than this
// is recursing without bound: on this stack it overflows at once and visibly.
// One worker thread with that stack runs every call, since a thread created
// per call costs the sanitizers memory that a long run never gets back.
enum { CALL_STACK = 256 * 1024 };

static pthread_mutex_t worker_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t worker_wake = PTHREAD_COND_INITIALIZER;
static void (*job_fn)(void *);
static void *job_arg;
static bool job_ready, job_done;

// worker - runs each job handed over by fuzz_on_small_stack, one at a time.
static void *worker(void *)
{
    pthread_mutex_lock(&worker_lock);
    for (;;) {
        while (!job_ready)
            pthread_cond_wait(&worker_wake, &worker_lock);
        job_ready = false;
        pthread_mutex_unlock(&worker_lock);
        job_fn(job_arg);
        pthread_mutex_lock(&worker_lock);
        job_done = true;
        pthread_cond_broadcast(&worker_wake);
    }
    return nullptr;
}

void fuzz_on_small_stack(void (*fn)(void *), void *arg)
{
    static bool started;
    if (!started) {
        pthread_attr_t attr;
        pthread_t thread;
        if (pthread_attr_init(&attr) != 0 || pthread_attr_setstacksize(&attr, CALL_STACK) != 0 ||
            pthread_create(&thread, &attr, worker, nullptr) != 0)
            abort();
        pthread_attr_destroy(&attr);
        started = true;
    }
    pthread_mutex_lock(&worker_lock);
    job_fn = fn;
    job_arg = arg;
    job_done = false;
    job_ready = true;
    pthread_cond_broadcast(&worker_wake);
    while (!job_done)
        pthread_cond_wait(&worker_wake, &worker_lock);
    pthread_mutex_unlock(&worker_lock);
}

enum { GUARD = 64 };
static char reply[REPLY_CAPACITY + GUARD];

const char *fuzz_last_reply(void)
{
    return reply;
}

struct SvcCall {
    int argc;
    char **argv;
    int memory_available;
    int result;
};

int fuzz_svc(std::vector<std::string> args, int memory_available)
{
    memset(reply, 0, REPLY_CAPACITY);
    memset(reply + REPLY_CAPACITY, 0x5A, GUARD);
    std::vector<char *> argv;
    for (auto &s : args)
        argv.push_back(&s[0]);
    argv.push_back(nullptr);
    SvcCall call = {(int)args.size(), argv.data(), memory_available, 0};
    fuzz_on_small_stack(
        [](void *p) {
            SvcCall *c = (SvcCall *)p;
            c->result = svc_main(c->argc, c->argv, reply, c->memory_available);
        },
        &call);
    int r = call.result;
    for (int i = 0; i < GUARD; i++)
        if ((unsigned char)reply[REPLY_CAPACITY + i] != 0x5A)
            abort();
    if (!memchr(reply, '\0', REPLY_CAPACITY))
        abort();
    // The host acts on these verdicts only.
    if (r != 0 && r != 1 && r != 2 && r != 3 && r != 4 && r != 11)
        abort();
    return r;
}

void fuzz_dll(std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (auto &s : args)
        argv.push_back(&s[0]);
    argv.push_back(nullptr);
    SvcCall call = {(int)args.size(), argv.data(), 0, 0};
    fuzz_on_small_stack(
        [](void *p) {
            SvcCall *c = (SvcCall *)p;
            c->result = dll_main(c->argc, c->argv);
        },
        &call);
    if (call.result != 0)
        abort();
}

int fuzz_connect(const char *station, int port, int flags, int count)
{
    return fuzz_svc({"bbs", station, "0", std::to_string(flags), std::to_string(count), "0",
                     std::to_string(port), ""}, 1);
}

int fuzz_answer(const char *station, int port, int attempt, const std::string &answer)
{
    return fuzz_svc({"bbs", station, std::to_string(attempt), "0", "2", "0", std::to_string(port), answer}, 1);
}
