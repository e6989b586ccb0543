// command_output.h - a shell command's exit status and standard output, for
// the tests that run the tools as the sysop does, as processes (POSIX shells).
#ifndef TESTS_COMMAND_OUTPUT_H
#define TESTS_COMMAND_OUTPUT_H

#include <cstdio>
#include <string>
#include <sys/wait.h>

struct Output {
    int status;
    std::string text;
};

// run - a command's exit status (-1 when it did not end by itself) and standard output.
inline Output run(const std::string &command)
{
    Output out{-1, ""};
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        out.text.append(buffer, n);
    int status = pclose(p);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

#endif
