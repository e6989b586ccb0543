// check_dump.h - filter-check --dump: the setup as the filter will use it,
// every default filled in, each port's method, and the headers of users.prt
// in the order the filter's search tries them.
#ifndef TOOLS_CHECK_DUMP_H
#define TOOLS_CHECK_DUMP_H

#include "auth/exposure_figure.h"

#include <string>
#include <vector>

struct DumpPort {
    int port;
    std::string name;          // the host's name of the port, or ""
    int line;                  // its port line in config.prt, 0 when none
    int method;                // the port's method, -1 when the port is not filtered
};

struct DumpHeader {
    int line;
    std::string pattern;
};

// EntryExposure - the figure of one password of the setup: an entry line of
// users.prt, or a row of a password table (day not 0).
struct EntryExposure {
    std::string file;
    int line = 0;
    std::string station;               // the entry's header
    unsigned method = 0;
    int day = 0;
    int found = 0;                     // as password_exposure gives it
    ExposureFigure figure = {};
    std::string since, last_station;   // of the record, when found
    bool mailed = false;
    std::string advice;
};

struct DumpFacts {
    std::string config, users;         // as shown to the sysop
    bool config_read = false;
    bool users_read = false;
    std::vector<DumpPort> ports;
    std::vector<DumpHeader> headers;   // in file order
    std::vector<EntryExposure> exposure;   // in file order
};

// print_dump - the effective setup, from filter_config and the facts the check gathered.
void print_dump(const DumpFacts &facts);

// ---- check_exposure.cpp: what a listener has heard of each password ----------

// note_exposure - the figure of a password of the setup (station: the
// entry's header; day: a table row's, else 0); the password is not kept.
void note_exposure(const std::string &file, int line, const std::string &station, unsigned method,
                   const char *password, int day);
// state_kind_of_method - the kind of challenge a method puts, NO_CHALLENGE for none.
short state_kind_of_method(unsigned method);
// print_exposure_dump - the figure of every password, for --dump.
void print_exposure_dump(const DumpFacts &facts);
// exposure_json - the figure of every password as a JSON array, for --json.
std::string exposure_json(const DumpFacts &facts);
// print_exposure_list - the passwords a listener answers 1 in threshold or
// likelier, worst first, and a count; the exit status: 0 none, 1 some.
int print_exposure_list(const DumpFacts &facts, unsigned long threshold);

#endif
