// mail_stress.cpp - two processes of the filter on one host directory, with
// a third playing the host that imports the mail under its lock: every
// first-connection notice must arrive exactly once and every connection be
// logged exactly once.
//
//   mail_stress [connections per process, default 25000]
//
// Each process makes that many first connections, each of a callsign of its
// own; config.prt mails a notice of each to one sysop and keeps a daily
// connection log. The host process takes the lock whenever it is free,
// moves the import file's messages into its own file and frees the lock.
// At the end one more call moves what is held, and the program counts each
// callsign's notices (imported, still in the import file, still held) and
// log entries. Prints the figures; exits 1 when one is lost or doubled.
#include "bench/bench_host.h"
#include "filter/entry_points.h"
#include "filter/filter_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace bench_host;

static const char config[] = "**\nN0SYS\n3\nPASSWORD>\nNO\nNO\nNO\nNO\nNO\nNO\nOK\nOK D\nNO\nNO\n3 OPEN\n";

// connect - one connection event through svc_main.
static void connect(const char *station, int count)
{
    call({"bbs", station, "0", "0", std::to_string(count), "0", "3", ""});
}

// station - the callsign of connection i of process p ("A00012-1").
static std::string station(int p, int i)
{
    char s[16];
    snprintf(s, sizeof s, "%c%05d-1", 'A' + p, i);
    return s;
}

// worker - one process of the filter.
static void worker(int p, int connections)
{
    filter_reset_state();
    for (int i = 0; i < connections; i++)
        connect(station(p, i).c_str(), 1);
    _exit(0);
}

// host - takes the lock whenever it is free and imports, until told to stop.
static void host(void)
{
    for (;;) {
        bool stop = access("stop", F_OK) == 0;
        int lock = open("mail/MAIL.lck", O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (lock >= 0) {
            close(lock);
            std::string mail = read_file("mail/MAIL.IN");
            if (!mail.empty()) {
                std::ofstream("imported", std::ios::binary | std::ios::app) << mail;
                if (truncate("mail/MAIL.IN", 0) != 0)
                    _exit(2);
            }
            unlink("mail/MAIL.lck");
            if (stop)
                _exit(0);
        }
        usleep(500);
    }
}

// count_each - how often each line's first word of text appears after the marker.
static void count_each(const std::string &text, const char *marker, std::map<std::string, int> *counts)
{
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
        char word[32];
        if (sscanf(text.c_str() + at + strlen(marker), "%31s", word) == 1)
            (*counts)[word]++;
    }
}

// log_entries - the stations of every entry of the connection logs.
static void log_entries(std::map<std::string, int> *counts)
{
    for (const auto &f : fs::directory_iterator("morvel/logcnx")) {
        std::istringstream lines(read_file(f.path()));
        std::string line;
        char call[32];
        int ssid;
        while (std::getline(lines, line))
            if (sscanf(line.c_str(), " %31[A-Z0-9]-%d ", call, &ssid) == 2 && strlen(call) == 6)
                (*counts)[std::string(call) + "-" + std::to_string(ssid)]++;
    }
}

// tally - lost and doubled among the expected stations.
static void tally(const char *what, const std::map<std::string, int> &counts, int connections, int *bad)
{
    long lost = 0, doubled = 0, seen = 0;
    for (int p = 0; p < 2; p++)
        for (int i = 0; i < connections; i++) {
            auto it = counts.find(station(p, i));
            int n = it == counts.end() ? 0 : it->second;
            lost += n == 0;
            doubled += n > 1;
            seen += n;
        }
    printf("%-12s %7ld expected, %7ld found, %ld lost, %ld duplicated\n", what, 2L * connections, seen, lost, doubled);
    if (lost || doubled)
        *bad = 1;
}

int main(int argc, char **argv)
{
    int connections = argc > 1 ? atoi(argv[1]) : 25000;
    char dir[] = "/tmp/mail-stress-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0)
        return 2;
    fs::create_directories("morvel");
    fs::create_directories("system");
    fs::create_directories("mail");
    write_host(config);
    pid_t importer = fork();
    if (importer == 0)
        host();
    pid_t workers[2];
    for (int p = 0; p < 2; p++)
        if ((workers[p] = fork()) == 0)
            worker(p, connections);
    int status, failed = 0;
    for (pid_t w : workers)
        if (waitpid(w, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            failed = 1;
    filter_reset_state();
    connect("N0CALL-1", 2);   // moves what is held
    write_file("stop", "");
    waitpid(importer, &status, 0);
    std::string mail = read_file("imported") + read_file("mail/MAIL.IN") + read_file("morvel/mail.prt");
    std::map<std::string, int> notices, entries;
    count_each(mail, "\nCallsign ", &notices);
    log_entries(&entries);
    printf("%s: 2 processes x %d first connections, a host importing beside them\n", dir, connections);
    tally("notices", notices, connections, &failed);
    tally("log entries", entries, connections, &failed);
    std::map<std::string, int> starts, ends;
    count_each("\n" + mail, "\n#\nSP", &starts);
    long heads = 0, tails = 0;
    for (const auto &s : starts)
        heads += s.second;
    for (size_t at = mail.find("\n/EX\n"); at != std::string::npos; at = mail.find("\n/EX\n", at + 1))
        tails++;
    printf("%-12s %7ld begun, %7ld ended\n", "messages", heads, tails);
    if (heads != tails)
        failed = 1;
    fs::current_path("/");
    fs::remove_all(dir);
    return failed;
}
