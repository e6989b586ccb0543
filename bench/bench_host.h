// bench_host.h - the host directory the two-process mail benchmarks share:
// the host's own files (a BBS whose mail imports from mail\mail.in and whose
// port 3 is a radio port), whole-file helpers and one call of svc_main.
#ifndef FILTER_BENCH_HOST_H
#define FILTER_BENCH_HOST_H

#include "filter/entry_points.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bench_host {

const char startup[] = "N0BBS-1\n2\n3\n4\nsystem\\\n6\n7\n8\n9\n10\n11\nn0sys\n13\nmail\\mail.in\n";
const char ports[] = "1 1\n0 com1 9600\n3 0 0 0 0 0 0 0 a b vhf\n";

// write_file - a whole file.
inline void write_file(const char *path, const char *text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// read_file - a whole file, "" when missing.
inline std::string read_file(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// write_host - the host's files and the filter's config.prt, in the current directory.
inline void write_host(const char *config)
{
    write_file("init.srv", startup);
    write_file("system/port.sys", ports);
    write_file("morvel/config.prt", config);
}

// call - one call of svc_main: a connection event of eight strings, or a command of two.
inline void call(std::vector<std::string> args)
{
    static char reply[4096];
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    reply[0] = '\0';
    svc_main((int)args.size(), argv.data(), reply, 1);
}

}  // namespace bench_host

#endif
