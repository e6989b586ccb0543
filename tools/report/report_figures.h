// report_figures.h - what filter-report shows, gathered from the filter's
// logs and state files with the filter's own readers: the figures of the page
// and of --json, one record for both.
#ifndef TOOLS_REPORT_FIGURES_H
#define TOOLS_REPORT_FIGURES_H

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A day as a number (days from 1970-01-01), so that periods are ranges.
typedef long DayNumber;
enum : long { NO_DAY = -1000000000L };

// day_number - the number of a calendar date.
DayNumber day_number(int year, int month, int day);

// day_text - "01-11-2026", as the logs write dates; iso_day_text - "2026-11-01".
std::string day_text(DayNumber day);
std::string iso_day_text(DayNumber day);

// parse_day - "2026-11-01" or "01-11-2026"; NO_DAY when it does not read as a date.
DayNumber parse_day(const std::string &text);

// FileState - what became of a file the report looked for.
enum FileState { FILE_READ, FILE_ABSENT, FILE_UNREADABLE };

// FileSeen - one file, as the page lists it.
struct FileSeen {
    std::string path;          // "morvel/logcnx/logcn305.prt"
    std::string what;          // "connection log"
    FileState state = FILE_ABSENT;
    long entries = -1;         // the entries read in it (all dates); -1 when not counted
    std::string why;           // why it is absent or unreadable, in words
};

// StationCount - a station ("N0CALL-1") and how often it appears.
typedef std::pair<std::string, long> StationCount;

// Lockout - one line of the lockout log.
struct Lockout {
    std::string station;
    int failures = 0;
    std::string from, until;   // "28-11-2026 14:02:11"
};

// LockedNow - a callsign the guard holds locked out now.
struct LockedNow {
    std::string station;
    int failures = 0;
    std::string until;
};

// OneTimeStation - an entry line of users.prt with a one-time-code method.
struct OneTimeStation {
    std::string entry;         // the entry's header: "N0TOTP", "N8*"
    int line = 0;              // the line of users.prt
    std::string kind;          // "TOTP", "HOTP"
    bool used = false;
    std::string last_use;      // TOTP: the time of the last code accepted
    unsigned long long codes_used = 0;   // HOTP: the codes used (the next one's number)
    bool unreadable = false;   // otpused.prt could not be read to its end
};

// PasswordExposure - what a listener has heard of the password of one entry
// line of users.prt, and the chance that this lets them answer the next
// challenge. No password is kept.
struct PasswordExposure {
    std::string entry;         // the entry's header: "N0CALL"
    int line = 0;              // the line of users.prt
    std::string method;        // "NORMAL"
    int day = 0;               // TABLE: the day of the row of the station's table; 0 for an entry's own password
    int found = 0;             // 1 a record, 0 nothing heard yet, -1 exposure.dat cannot be read
    double chance = 0;         // 0 to 1
    std::string heard_as;      // "POSITIONS", "WHOLE", "EQUATIONS"
    int heard = 0, of = 0;     // what the figure rests on
    std::string figure;        // "1 in 42"
    std::string what_heard;    // "7 of 10 characters heard"
    std::string since;         // the date of the first answer heard ("" when none)
    std::string last_station;  // who answered last ("" when none)
    bool mailed = false;       // the sysops were told it passed guard.prt's EXPOSURE
    bool passes = false;       // it passes guard.prt's EXPOSURE now
    std::string advice;
};

// LastError - the record of error.prt.
struct LastError {
    bool present = false;
    int code = 0;
    std::string text, time, station;
    int port = 0;
    DayNumber day = NO_DAY;
    bool in_period = false;
};

// ReportFigures - everything the page and --json show.
struct ReportFigures {
    std::string directory;                   // the host directory, as given
    std::string bbs;                         // the BBS's callsign, from its start-up file
    std::string made_at;                     // "11-12-2026 02:40:00"
    DayNumber since = NO_DAY, until = NO_DAY;   // the period asked, NO_DAY for open
    DayNumber first = NO_DAY, last = NO_DAY;    // the days with entries within it
    long outside_period = 0;                 // entries of other days, not counted
    std::vector<FileSeen> files;
    std::map<int, std::string> port_names;   // the host's port file: 1 -> "144.800"

    std::map<DayNumber, std::map<int, long>> connections_by_day;   // day -> port -> count
    std::map<int, std::array<long, 24>> connections_by_hour;       // port -> hour -> count
    std::vector<StationCount> top_stations;  // the 20 most frequent, most first
    long connections = 0;
    long stations = 0;                       // distinct CALL-SSID

    std::map<DayNumber, long> failures_by_day, exclusions_by_day;
    std::vector<StationCount> top_failures;  // the stations with the most failures
    long failures = 0, exclusions = 0;

    bool guard_on = false;
    int guard_failures = 0, guard_minutes = 0;
    std::vector<Lockout> lockouts;
    std::vector<LockedNow> locked_now;

    std::map<std::string, int> enrolled;     // "TOTP" -> entry lines
    std::vector<OneTimeStation> one_time;

    std::vector<PasswordExposure> exposure;  // worst first
    unsigned long exposure_one_in = 0;       // guard.prt's EXPOSURE (0: no line)

    LastError last_error;
    std::vector<int> open_errors;            // codes whose marker stands: mailed, not yet mended
};

// The most stations a list shows.
enum { TOP_STATIONS = 20 };

// gather_figures - read the filter's files of the current directory (the
// host's working directory) for the period [since, until] (NO_DAY: open).
// The caller has the dry run on, so that nothing the filter's readers do
// reaches the disk.
void gather_figures(DayNumber since, DayNumber until, ReportFigures *figures);

// files_unreadable - how many files the report found but could not read.
int files_unreadable(const ReportFigures &figures);

// port_label - "1 (144.800)", or "1" for a port the port file does not name.
std::string port_label(const ReportFigures &figures, int port);

// ports_seen - every port with a connection, in order.
std::vector<int> ports_seen(const ReportFigures &figures);

#endif
