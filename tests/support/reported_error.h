// reported_error.h - what the last error report left in morvel/error.prt.
//
// The error line of a record reads "*** ERROR 001<code>: <text>"; these
// helpers compare it with the default English text of the codes the
// configuration readers raise.
#ifndef TESTS_REPORTED_ERROR_H
#define TESTS_REPORTED_ERROR_H

#include "report/errors.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <string>

// expected_error_line - the error line of codes 1, 3, 5 and 7 with the built-in texts.
inline std::string expected_error_line(int code, int detail)
{
    std::string text;
    switch (code) {
    case 1: text = "File init.srv not found."; break;
    case 3: text = "Configuration file (config.prt) not found."; break;
    case 5: text = "Incorrect data in line " + std::to_string(detail) + " (config.prt)"; break;
    case 7: text = "Incorrect data in line " + std::to_string(detail) + " (users.prt)"; break;
    default: text = "?"; break;
    }
    return "*** ERROR 001" + std::to_string(code) + ": " + text;
}

// reported_error_line - the error line of morvel/error.prt, or "" when there is none.
inline std::string reported_error_line(const HostDir &h)
{
    std::string record = h.read("morvel/error.prt");
    size_t at = record.find("*** ERROR 001");
    if (at == std::string::npos)
        return "";
    return record.substr(at, record.find('\n', at) - at);
}

// reported - the last report was code with detail.
inline ::testing::AssertionResult reported(const HostDir &h, int code, int detail)
{
    std::string want = expected_error_line(code, detail), got = reported_error_line(h);
    if (got == want)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "error.prt shows \"" << got << "\", expected \"" << want << "\"";
}

// nothing_reported - no report was written.
inline bool nothing_reported(const HostDir &h)
{
    return !h.exists("morvel/error.prt");
}

#endif
