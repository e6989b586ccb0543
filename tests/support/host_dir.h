// host_dir.h - a host directory in a temporary folder, and calls of the real entry points.
//
// Each test gets a fresh directory holding a start-up file, a port file and the
// filter directory "morvel", becomes its working directory, and starts from the
// library's load-time state with a fixed clock (Tuesday 08-12-2026 21:30:05,27)
// and no injected faults (platform/test_hooks.h, cleared again at its end).
// Every call's reply buffer has a guard region after REPLY_CAPACITY that must
// stay untouched.
#ifndef TESTS_HOST_DIR_H
#define TESTS_HOST_DIR_H

#include "platform/test_hooks.h"

#include <string>
#include <vector>

struct CallResult {
    int result;
    std::string reply;
};

class HostDir {
public:
    HostDir();
    ~HostDir();
    HostDir(const HostDir &) = delete;
    HostDir &operator=(const HostDir &) = delete;

    const std::string &root() const { return root_; }

    // Files, by paths relative to the host directory ("/" or "\" separators, any case).
    void write(const std::string &path, const std::string &content);
    std::string read(const std::string &path) const;
    bool exists(const std::string &path) const;
    void remove(const std::string &path);
    void make_dir(const std::string &path);
    std::vector<std::string> list(const std::string &dir) const;

    // config.prt from its 14 option lines and port lines; empty option lines
    // are written as comments so that the roles stay in place.
    void write_config(const std::vector<std::string> &lines);
    // A typical config.prt: sysop N0SYS, 3 attempts, every switch off, port lines given.
    void write_basic_config(const std::vector<std::string> &port_lines, const std::string &sysops = "N0SYS");
    void write_users(const std::string &content) { write("morvel/users.prt", content); }

    // Calls of the real svc_main and dll_main.
    // prefill: what the reply buffer holds before the call.
    CallResult svc(const std::vector<std::string> &args, int memory_available = 1,
                   const std::string &prefill = "");
    CallResult connect(const std::string &station, int port = 1, int flags = 0, int count = 2);
    CallResult answer(const std::string &station, int attempt, const std::string &text, int port = 1,
                      int flags = 0, int count = 2);
    CallResult forward(const std::string &station, const std::string &line, int port = 1);
    int command(const std::string &word, const char *argument = nullptr);
    int dll_command(const std::string &word, const char *argument = nullptr);

    // The fixed clock of the calls; day of month 1..31.
    void set_clock(int year, int month, int day, int hour, int minute, int second, int hundredths);

private:
    std::string root_;
    std::string old_cwd_;
};

// The mail import file and the lock of the default start-up file.
extern const char *const MAIL_IMPORT;   // "mail/mail.in"
extern const char *const MAIL_LOCK;     // "mail/mail.lck"

// count_lines - the lines of a text (a mail file, a log) that are exactly line.
long count_lines(const std::string &text, const std::string &line);

#endif
