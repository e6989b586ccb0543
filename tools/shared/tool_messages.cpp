// tool_messages.cpp - the failures of a tool, as text and, in a JSON run, as JSON.
#include "tools/shared/tool_messages.h"
#include "platform/platform.h"
#include "tools/shared/json_text.h"
#include "tools/shared/sysop_path.h"

#include <cstdio>

static const char *name = "filter";
static bool json;

void tool_messages_begin(const char *tool, bool as_json)
{
    name = tool;
    json = as_json;
}

const char *tool_name(void)
{
    return name;
}

bool tool_json(void)
{
    return json;
}

int tool_fail(int status, const std::string &what)
{
    fprintf(stderr, "%s: %s\n", name, what.c_str());
    if (json)
        printf("{%s,\"status\":%d}\n", json_field("error", what).c_str(), status);
    return status;
}

std::string unreadable_text(const std::string &path)
{
    if (!plat_exists(path.c_str()) || plat_may_access(path.c_str(), PLAT_MAY_READ))
        return "";
    return "cannot read " + display_path(path) + ": the read permission is missing for the account running " + name;
}
