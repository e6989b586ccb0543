// check_dump.h - filter-check --dump: the setup as the filter will use it,
// every default filled in, each port's method, and the headers of users.prt
// in the order the filter's search tries them.
#ifndef TOOLS_CHECK_DUMP_H
#define TOOLS_CHECK_DUMP_H

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

struct DumpFacts {
    std::string config, users;         // as shown to the sysop
    bool config_read = false;
    bool users_read = false;
    std::vector<DumpPort> ports;
    std::vector<DumpHeader> headers;   // in file order
};

// print_dump - the effective setup, from filter_config and the facts the check gathered.
void print_dump(const DumpFacts &facts);

#endif
