// denied_access.cpp - linked into the tests' builds of the tools: before
// main, the permissions that FILTER_TEST_DENY names are taken away through
// the fault layer, as a file's mode would take them from the account that
// runs the BBS. The variable holds entries "r:PATH", "w:PATH" or "rw:PATH"
// separated by ";", each PATH a filter path as the filter names it.
#include "platform/platform.h"
#include "platform/test_hooks.h"

#include <cstdlib>
#include <string>

namespace {

// deny_entry - one "MODE:PATH" entry; a malformed one is ignored.
void deny_entry(const std::string &entry)
{
    size_t colon = entry.find(':');
    if (colon == std::string::npos)
        return;
    std::string mode = entry.substr(0, colon);
    int what = (mode.find('r') != std::string::npos ? PLAT_MAY_READ : 0) |
               (mode.find('w') != std::string::npos ? PLAT_MAY_WRITE : 0);
    if (what)
        plat_test_deny(entry.substr(colon + 1).c_str(), what);
}

struct DeniedAccess {
    DeniedAccess()
    {
        const char *list = getenv("FILTER_TEST_DENY");
        std::string rest = list ? list : "";
        while (!rest.empty()) {
            size_t cut = rest.find(';');
            deny_entry(rest.substr(0, cut));
            rest = cut == std::string::npos ? "" : rest.substr(cut + 1);
        }
    }
} denied_access;

}   // namespace
