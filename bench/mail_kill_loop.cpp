// mail_kill_loop.cpp - a host that is killed: a process calling the filter
// in a loop is killed with SIGKILL at random moments, again and again, while
// a second process plays the host, importing the mail under its lock and
// checking that its lock stays its own. After the last kill a process that
// is not killed recovers what is left, and the program counts every notice,
// every log entry and every mailed failure: lost, doubled or torn.
//
//   mail_kill_loop [kills, default 2000] [seed]
//
// Each process of the filter makes, in a round of four, two first
// connections of callsigns of its own (a notice to the sysop, an entry in
// the daily connection log), a wrong answer of a station under FIXED (an
// entry in the failed-password log), and "-log" (that log mailed to the
// sysop). Before and after each call it notes the callsign in a journal, so
// that a call the kill ended is told from one that returned: what a
// returned call wrote must be there exactly once, what an ended call wrote
// at most once, and never a torn message. The host takes its lock whenever
// it is free, with a word of its own in it, reads the import file twice a
// moment apart (the filter must not write while the host holds the lock),
// moves it away, and checks before it removes its lock that the lock is
// still there with its word (the filter must never take it). Prints the
// figures; exits 1 when one is wrong. Not a timed test: run it by hand
// (docs/performance.md).
#include "bench/bench_host.h"
#include "filter/entry_points.h"
#include "filter/filter_state.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace bench_host;

// One attempt; first connections mailed; daily connection log; failed passwords logged.
static const char config[] = "**\nN0SYS\n1\nPASSWORD>\nNO\nNO\nNO\nNO\nNO\nNO\nOK\nOK D\nNO\nOK\n3 OPEN\n";
static const char users[] = "B*\n* FIXED Fixed-Pass\n-\n";

// connection - a connection event of station on port 3.
static void connection(const std::string &station, int attempt, int count, const char *answer)
{
    call({"bbs", station, std::to_string(attempt), "0", std::to_string(count), "0", "3", answer});
}

// note - one line in the journal, written at once and whole.
static void note(int journal, char what, const std::string &callsign)
{
    std::string line = std::string(1, what) + " " + callsign + "\n";
    if (write(journal, line.data(), line.size()) != (ssize_t)line.size())
        _exit(3);
}

// callsign - a callsign of process p, call i: a letter, then base 36.
static std::string callsign(char first, int p, int i)
{
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    char s[7] = {first, digits[p / 1296 % 36], digits[p / 36 % 36], digits[p % 36], digits[i / 36 % 36],
                 digits[i % 36], '\0'};
    return s;
}

// worker - one process of the filter: calls until it is killed, or n calls
// when not; it writes a byte to started when its calls begin.
static void worker(int p, int calls, int started)
{
    filter_reset_state();
    int journal = open("journal", O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (started >= 0 && write(started, "s", 1) != 1)
        _exit(3);
    // Each process starts at another step of the round, so that the kills,
    // which mostly come early in a process's life, fall in every kind of call.
    for (int i = 0; calls < 0 || i < calls; i++) {
        int step = (p + i) % 4;
        if (step <= 1) {
            std::string station = callsign('A', p, i);
            note(journal, 'N', station);
            connection(station + "-1", 0, 1, "");
            note(journal, 'n', station);
        } else if (step == 2) {
            std::string failing = callsign('B', p, i);
            connection(failing + "-0", 0, 2, "");
            note(journal, 'F', failing);
            connection(failing + "-0", 1, 2, "wrong");
            note(journal, 'f', failing);
        } else {
            std::string command = callsign('L', p, i);
            note(journal, 'L', command);
            call({"bbs", "-log"});
            note(journal, 'l', command);
        }
    }
    // The last process tidies: the held mail and the logs go.
    connection("N0CALL-1", 0, 2, "");
    call({"bbs", "-log"});
    connection("N0CALL-1", 0, 2, "");
    _exit(0);
}

// Host - what the host found wrong while importing.
struct Host {
    long imports = 0, locks_taken = 0, written_while_locked = 0;
};

// host - takes its lock whenever it is free and imports, until told to stop.
static void host(void)
{
    Host found;
    std::mt19937 draw(getpid());
    for (long n = 0;; n++) {
        bool stop = access("stop", F_OK) == 0;
        int lock = open("mail/MAIL.lck", O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (lock >= 0) {
            std::string word = "host " + std::to_string(n) + "\n";
            if (write(lock, word.data(), word.size()) != (ssize_t)word.size())
                _exit(2);
            close(lock);
            std::string mail = read_file("mail/MAIL.IN");
            usleep(draw() % 400);
            std::string again = read_file("mail/MAIL.IN");
            found.written_while_locked += again != mail;
            if (!again.empty()) {
                std::ofstream("imported", std::ios::binary | std::ios::app) << again;
                if (truncate("mail/MAIL.IN", 0) != 0)
                    _exit(2);
                found.imports++;
            }
            found.locks_taken += read_file("mail/MAIL.lck") != word;
            unlink("mail/MAIL.lck");
            if (stop) {
                std::ofstream("host", std::ios::binary) << found.imports << " " << found.locks_taken << " "
                                                       << found.written_while_locked << "\n";
                _exit(0);
            }
        }
        usleep(200);
    }
}

// Journal - the calls begun and the calls that returned, by callsign.
struct Journal {
    std::set<std::string> notice_begun, notice_done, failure_begun, failure_done, log_begun, log_done;
};

static Journal read_journal(void)
{
    Journal j;
    std::istringstream lines(read_file("journal"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 3)
            continue;
        std::string call = line.substr(2);
        switch (line[0]) {
        case 'N': j.notice_begun.insert(call); break;
        case 'n': j.notice_done.insert(call); break;
        case 'F': j.failure_begun.insert(call); break;
        case 'f': j.failure_done.insert(call); break;
        case 'L': j.log_begun.insert(call); break;
        case 'l': j.log_done.insert(call); break;
        }
    }
    return j;
}

// Messages - the whole messages of the mail, and how much text stood outside one.
struct Messages {
    std::vector<std::string> whole;
    long torn = 0;
};

static void add_messages(const std::string &text, Messages *m)
{
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\n/EX\n", at);
        size_t next = text.find("#\nSP ", at + 1);
        if (text.compare(at, 5, "#\nSP ") != 0 || end == std::string::npos || (next != std::string::npos && next < end)) {
            m->torn++;
            at = next == std::string::npos ? text.size() : next;
            continue;
        }
        m->whole.push_back(text.substr(at, end + 5 - at));
        at = end + 5;
    }
}

// Tally - one kind of thing counted against the journal.
struct Tally {
    long expected = 0, found = 0, lost = 0, doubled = 0, of_ended = 0;
};

// tally - counts by callsign against the calls that returned (exactly once)
// and the calls that were ended (at most once).
static Tally tally(const std::map<std::string, int> &counts, const std::set<std::string> &begun,
                   const std::set<std::string> &done)
{
    Tally t;
    for (const std::string &c : begun) {
        auto it = counts.find(c);
        int n = it == counts.end() ? 0 : it->second;
        bool returned = done.count(c) > 0;
        t.expected += returned;
        t.found += n;
        t.lost += returned && n == 0;
        t.doubled += n > 1;
        t.of_ended += !returned && n == 1;
    }
    for (const auto &c : counts)
        if (!begun.count(c.first))
            t.doubled += c.second;   // counted for a call never made
    return t;
}

static void print(const char *what, const Tally &t, int *bad)
{
    printf("%-26s %7ld expected, %7ld found, %ld lost, %ld doubled (%ld of ended calls, at most once each)\n", what,
           t.expected, t.found, t.lost, t.doubled, t.of_ended);
    if (t.lost || t.doubled)
        *bad = 1;
}

// words_after - how often each callsign of ours (six characters, the first
// one first) follows marker in text ("Callsign A01001").
static void words_after(const std::string &text, const char *marker, char first, std::map<std::string, int> *counts)
{
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
        char word[16];
        if (sscanf(text.c_str() + at + strlen(marker), "%7[A-Z0-9]", word) == 1 && strlen(word) == 6 &&
            word[0] == first)
            (*counts)[word]++;
    }
}

int main(int argc, char **argv)
{
    int kills = argc > 1 ? atoi(argv[1]) : 2000;
    unsigned seed = argc > 2 ? (unsigned)atoi(argv[2]) : (unsigned)getpid();
    char dir[] = "/tmp/mail-kill-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0)
        return 2;
    fs::create_directories("morvel/logcnx");
    fs::create_directories("system");
    fs::create_directories("mail");
    write_host(config);
    write_file("morvel/users.prt", users);
    pid_t importer = fork();
    if (importer == 0)
        host();
    std::mt19937 draw(seed);
    int status = 0, bad = 0;
    long killed = 0;
    // Each process is killed a random moment after its calls began, so that
    // a busy machine, slow to start it, does not make the kills miss them.
    for (int p = 0; p < kills; p++) {
        int started[2];
        if (pipe(started) != 0)
            return 2;
        pid_t w = fork();
        if (w == 0) {
            close(started[0]);
            worker(p, -1, started[1]);
        }
        close(started[1]);
        char c;
        if (read(started[0], &c, 1) != 1)
            bad = 1;
        close(started[0]);
        usleep(draw() % 8000);
        kill(w, SIGKILL);
        waitpid(w, &status, 0);
        killed += WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
    pid_t last = fork();
    if (last == 0)
        worker(kills, 30, -1);
    waitpid(last, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        bad = 1;
    write_file("stop", "");
    waitpid(importer, &status, 0);

    Journal j = read_journal();
    std::string mail = read_file("imported") + read_file("mail/MAIL.IN") + read_file("morvel/mail.prt");
    Messages m;
    add_messages(mail, &m);
    std::map<std::string, int> notices, failures_mailed, entries;
    for (const std::string &message : m.whole) {
        words_after(message, "\nCallsign ", 'A', &notices);
        if (message.find("\nLog file.\n") != std::string::npos)
            words_after(message, "\n         ", 'B', &failures_mailed);
    }
    // A log's first line may be an entry: one whose creator was killed before its header.
    for (const auto &f : fs::directory_iterator("morvel/logcnx"))
        words_after("\n" + read_file(f.path()), "\n         ", 'A', &entries);
    for (const char *log : {"morvel/lognopas.prt", "morvel/lognopas.snd"})
        words_after("\n" + read_file(log), "\n         ", 'B', &failures_mailed);

    long host_imports = 0, locks_taken = 0, written_while_locked = 0;
    std::istringstream(read_file("host")) >> host_imports >> locks_taken >> written_while_locked;
    size_t ended = (j.notice_begun.size() - j.notice_done.size()) + (j.failure_begun.size() - j.failure_done.size()) +
                   (j.log_begun.size() - j.log_done.size());
    printf("%s: %ld kills (seed %u), %zu of them in a call; %zu first connections, %zu failures and %zu \"-log\" "
           "begun; the host imported %ld times\n",
           dir, killed, seed, ended, j.notice_begun.size(), j.failure_begun.size(), j.log_begun.size(), host_imports);
    print("notices", tally(notices, j.notice_begun, j.notice_done), &bad);
    print("connection-log entries", tally(entries, j.notice_begun, j.notice_done), &bad);
    print("failures mailed or kept", tally(failures_mailed, j.failure_begun, j.failure_done), &bad);
    printf("%-26s %7zu whole, %ld torn\n", "messages", m.whole.size(), m.torn);
    printf("%-26s %7ld taken from the host, %ld times written while the host held it\n", "host's lock", locks_taken,
           written_while_locked);
    std::vector<std::string> left;
    for (const char *f : {"mail/MAIL.lck", "mail/MAIL.lck.own", "morvel/maillock.own", "morvel/mailcut.own",
                          "morvel/heldcut.own", "morvel/lockstuck.own", "morvel/mailspil.own"})
        if (fs::exists(f))
            left.push_back(f);
    long temporaries = 0;   // swept by a later challenge once a minute old; none is put here
    for (const auto &f : fs::directory_iterator("morvel")) {
        if (f.path().extension() == ".spl")
            left.push_back(f.path().string());
        temporaries += f.path().extension() == ".new";
    }
    printf("%-26s %s (and %ld temporaries of killed writers, for the sweep)\n", "left behind",
           left.empty() ? "nothing" : "", temporaries);
    for (const std::string &f : left)
        printf("  %s\n", f.c_str());
    if (m.torn || locks_taken || written_while_locked || !left.empty() || killed < kills)
        bad = 1;
    fs::current_path("/");
    if (!bad)
        fs::remove_all(dir);
    return bad;
}
