// The filter inside a busy host: open files and heap stay flat over many
// calls, failing files never cost held mail or written logs, and mail shared
// with the host under its lock is never lost, doubled or interleaved.
#include "platform/platform.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <dirent.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <map>
#include <sstream>

#if defined(_WIN32)
// open_descriptors - the lowest free descriptor of the C runtime: every file
// a call leaves open keeps one taken, so it grows with each leak.
static int open_descriptors(void)
{
    int fd = _open("NUL", _O_RDONLY);
    if (fd >= 0)
        _close(fd);
    return fd;
}
#else
static int open_descriptors(void)
{
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d)
        return -1;
    while (readdir(d))
        n++;
    closedir(d);
    return n;
}
#endif

// A host directory in which every switch is on and a station of each method is listed.
static void busy_host(HostDir &h)
{
    h.write_config({"**", "N0SYS N1SYS", "2 RH RN", "PASSWORD>", "OK", "OK", "OK", "OK", "OK XSN", "OK TM",
                    "OK", "OK CDWM", "OK", "OK", "1 OPEN", "2 BBS", "3 EXCLUDED", "4 CLOSED", "CONSOLE OPEN"});
    h.write_users("N0NRM-1\n* NORMAL secret\n-\nN0MD-1\n* MD5 secret\n-\nN0TBL-1\n* TABLE\n-\n"
                  "N0FLX-1\n* FLEXNET 12345\n-\nN0FIX-1\n* FIXED secret\n-\nN0FWD-1\n* FORWARD secret\n-\n"
                  "N0RO-1\n* READONLY\n-\nCONSOLE\n0 NORMAL secret\n-\n");
    h.write("morvel/N0TBL1.TBL", "8 tablepass\n");
    h.write("morvel/intro.prt", "intro\n");
    h.write("morvel/info.prt", "info\n");
    h.write("morvel/open.prt", "open\n");
    h.write("morvel/excluded.prt", "go away\n");
    h.write("morvel/newtxt.prt", "new\n");
    h.write("morvel/newmsg.prt", "welcome\n");
    h.write("morvel/logusr.prt", "N0RO C\n");
    h.make_dir("morvel/logcnx");
}

static void every_scenario(HostDir &h)
{
    for (const char *s : {"N0NRM-1", "N0MD-1", "N0TBL-1", "N0FLX-1", "N0FIX-1", "N0RO-1", "N9ANY-3"}) {
        for (int port : {0, 1, 2, 3, 4}) {
            h.connect(s, port, 0, 1);
            h.answer(s, 1, "wrong", port);
            h.answer(s, 2, "wrong", port);
        }
    }
    h.forward("N0FWD-1", "![1234567890]");
    h.command("-pbbs", "4");
    h.connect("N0RO-1", 4);
    h.command("-pnormal", "4");
    h.command("-off");
    h.connect("N0RO-1", 1);
    h.command("-on");
    h.command("-log", "#");
    h.remove("morvel/config.prt");
    h.connect("N0RO-1", 1);
    busy_host(h);
}

TEST(Hardening, OpenFilesAndHeapDoNotGrowOverManyCalls)
{
    HostDir h;
    busy_host(h);
    every_scenario(h);   // first round: lazily loaded state settles
    int fds = open_descriptors();
    ASSERT_GE(fds, 0);
#if !defined(_WIN32)
    size_t heap = mallinfo2().uordblks;
#endif
    for (int i = 0; i < 20; i++)
        every_scenario(h);
    EXPECT_EQ(open_descriptors(), fds);
#if !defined(_WIN32)
    // A little slack for GoogleTest's own bookkeeping of expectations.
    EXPECT_LE(mallinfo2().uordblks, heap + 64 * 1024);
#endif
}

// /dev/full, a file that takes no byte, is a POSIX facility.
#if !defined(_WIN32)

TEST(Hardening, UnwritableImportFileKeepsHeldMail)
{
    HostDir h;
    busy_host(h);
    h.write("morvel/mail.prt", "#\nSP N0SYS < MORVEL\nheld\n/EX\n");
    std::string startup = h.read("init.srv");
    startup.replace(startup.find("mail\\mail.in"), 12, "/dev/full");
    h.write("init.srv", startup);
    auto r = h.connect("N0RO-1", 1, 0, 1);
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(h.read("morvel/mail.prt").rfind("#\nSP N0SYS < MORVEL\nheld\n/EX\n", 0), 0u);
    EXPECT_FALSE(h.exists("/dev/full.lck"));
}
#endif

TEST(Hardening, FailingFilesStillGiveAVerdict)
{
    HostDir h;
    busy_host(h);
    h.remove("morvel/logcnx");
    h.write("morvel/logcnx", "not a directory\n");
    EXPECT_EQ(h.connect("N0RO-1", 1).result, 3);
    EXPECT_EQ(h.read("morvel/logcnx"), "not a directory\n");

    plat_test_fail_open("morvel\\error.prt");
    h.remove("morvel/config.prt");
    EXPECT_EQ(h.connect("N0RO-1", 1).result, 0);
    EXPECT_FALSE(h.exists("morvel/error.prt"));
    plat_test_fail_open(nullptr);

    busy_host(h);
    h.write("morvel/lognopas.prt", "earlier entries\n");
    plat_test_fail_open("morvel\\lognopas.prt");
    h.connect("N0FIX-1", 1);
    EXPECT_EQ(h.answer("N0FIX-1", 1, "wrong", 1).result, 3);
    plat_test_fail_open(nullptr);
    EXPECT_EQ(h.read("morvel/lognopas.prt"), "earlier entries\n");
}

TEST(Hardening, FilterDirectoryThatIsAFileOrAnImportPathThatIsADirectory)
{
    HostDir h;
    busy_host(h);
    std::string startup = h.read("init.srv");
    startup.replace(startup.find("mail\\mail.in"), 12, "mail");   // a directory
    h.write("init.srv", startup);
    h.write("morvel/mail.prt", "#\nSP N0SYS < MORVEL\nheld\n/EX\n");
    EXPECT_EQ(h.connect("N0RO-1", 1, 0, 1).result, 3);
    EXPECT_EQ(h.read("morvel/mail.prt").rfind("#\nSP N0SYS < MORVEL\nheld\n/EX\n", 0), 0u);

    HostDir bare;
    std::error_code ec;
    std::filesystem::remove_all(bare.root() + "/morvel", ec);
    bare.write("morvel", "not a directory\n");
    auto r = bare.connect("N0CALL-1", 1, 0, 1);
    EXPECT_EQ(r.result, 0) << "no filter directory: nothing can be read or recorded, the station is let in";
    EXPECT_EQ(r.reply, "{MORVEL-4.0}\n");
    EXPECT_EQ(bare.read("morvel"), "not a directory\n");
    EXPECT_EQ(bare.answer("N0CALL-1", 1, "x").result, 0);
}

// The host's own file calls. On Windows its side runs in a thread: a file
// shared by two threads meets the same sharing rules as one shared by two processes.
#if defined(_WIN32)
static int host_create_lock(const char *path)
{
    return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
}
static void host_close(int fd) { _close(fd); }
static void host_unlink(const char *path) { _unlink(path); }
static void host_pause(unsigned microseconds) { Sleep(microseconds / 1000); }
#else
static int host_create_lock(const char *path) { return open(path, O_WRONLY | O_CREAT | O_EXCL, 0644); }
static void host_close(int fd) { close(fd); }
static void host_unlink(const char *path) { unlink(path); }
static void host_pause(unsigned microseconds) { usleep(microseconds); }
#endif

// host_loop - the host's side: take the lock by exclusive create, append a
// message of its own, release; a bounded number of times. 0 when all went in.
static int host_loop(const std::string &root, int messages)
{
    std::string lock = root + "/mail/MAIL.lck", import = root + "/mail/MAIL.IN";
    for (int i = 0; i < messages; i++) {
        int fd;
        for (int spin = 0; (fd = host_create_lock(lock.c_str())) < 0; spin++) {
            if (spin > 200000)
                return 3;
            host_pause(50);
        }
        host_close(fd);
        FILE *f = fopen(import.c_str(), "a");
        if (!f)
            return 4;
        fprintf(f, "#\nSP N0SYS < HOST\nhost message\nhost body %d\n/EX\n", i);
        fclose(f);
        host_pause(100);
        host_unlink(lock.c_str());
        host_pause(50);
    }
    return 0;
}

#if defined(_WIN32)
struct HostThread {
    std::string root;
    int messages;
    HANDLE handle;
};

static DWORD WINAPI run_host_thread(void *arg)
{
    HostThread *t = (HostThread *)arg;
    return (DWORD)host_loop(t->root, t->messages);
}

// start_host / finish_host - the host's side beside the filter's calls; its result.
static void start_host(HostThread *t) { t->handle = CreateThread(nullptr, 0, run_host_thread, t, 0, nullptr); }
static int finish_host(HostThread *t)
{
    DWORD code = 99;
    if (!t->handle)
        return -1;
    WaitForSingleObject(t->handle, INFINITE);
    GetExitCodeThread(t->handle, &code);
    CloseHandle(t->handle);
    return (int)code;
}
#else
struct HostThread {
    std::string root;
    int messages;
    pid_t pid;
};

static void start_host(HostThread *t)
{
    t->pid = fork();
    if (t->pid == 0)
        _exit(host_loop(t->root, t->messages));
}
static int finish_host(HostThread *t)
{
    int status = 0;
    if (t->pid < 0 || waitpid(t->pid, &status, 0) != t->pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
#endif

// messages_in - count the whole messages of a mail file by their body line.
static void messages_in(const std::string &text, std::map<std::string, int> *count, int *broken)
{
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> msg;
    while (std::getline(in, line)) {
        msg.push_back(line);
        if (line != "/EX")
            continue;
        if (msg.size() < 4 || msg[0] != "#" || msg[1].rfind("SP ", 0) != 0)
            (*broken)++;
        else
            (*count)[msg[1] + "|" + msg[msg.size() - 2]]++;
        msg.clear();
    }
    if (!msg.empty())
        (*broken)++;
}

TEST(Hardening, MailSharedWithABusyHostUnderItsLock)
{
    HostDir h;
    h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "OK", "NO", "NO", "NO",
                    "1 OPEN"});
    h.write("mail/MAIL.IN", "");
    const int host_messages = 300, stations = 300;
    HostThread host = {h.root(), host_messages, {}};
    start_host(&host);
    for (int i = 0; i < stations; i++) {
        char call[16];
        snprintf(call, sizeof call, "N%dA%02d-1", i / 100, i % 100);
        h.connect(call, 1, 0, 1);   // a first connection: one notice
    }
    ASSERT_EQ(finish_host(&host), 0);
    h.connect("N0LAST-1", 1, 0, 2);   // the lock is free now: held mail moves in
    std::map<std::string, int> count;
    int broken = 0;
    messages_in(h.read(MAIL_IMPORT), &count, &broken);
    messages_in(h.read("morvel/mail.prt"), &count, &broken);
    EXPECT_EQ(broken, 0);
    int host_seen = 0, notices = 0;
    for (auto &kv : count) {
        EXPECT_EQ(kv.second, 1) << kv.first;
        if (kv.first.find("< HOST") != std::string::npos)
            host_seen++;
        else
            notices++;
    }
    EXPECT_EQ(host_seen, host_messages);
    EXPECT_EQ(notices, stations);
    EXPECT_FALSE(h.exists(MAIL_LOCK));
}
