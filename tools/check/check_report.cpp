// check_report.cpp - filter-check's findings as text or JSON.
#include "tools/check/check_report.h"
#include "platform/platform.h"
#include "tools/shared/json_text.h"
#include "tools/shared/sysop_path.h"

#include <cstdio>
#include <vector>

namespace {

struct Finding {
    bool error;
    std::string file;
    int line;
    std::string text;
};

CheckOutputMode mode;
std::string setup_dir;
std::string config_read, users_read, morvel_value;
std::vector<Finding> findings;
std::string members;
int errors, warnings;

// separators - where a finding's text has "; " outside double quotes: a
// line of the setup quoted in it may hold "; " of its own.
std::vector<size_t> separators(const std::string &text)
{
    std::vector<size_t> at;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (!quoted && text.compare(i, 2, "; ") == 0)
            at.push_back(i);
    }
    return at;
}

// split_text - a finding's "what; effect; fix" at its first and last "; ".
void split_text(const std::string &text, std::string *what, std::string *effect, std::string *fix)
{
    std::vector<size_t> at = separators(text);
    size_t first = at.empty() ? std::string::npos : at.front(), last = at.empty() ? std::string::npos : at.back();
    *what = text.substr(0, first);
    *effect = first == std::string::npos || last == first ? "" : text.substr(first + 2, last - first - 2);
    *fix = first == std::string::npos ? "" : text.substr(last + 2);
}

std::string finding_json(const Finding &f)
{
    std::string what, effect, fix;
    split_text(f.text, &what, &effect, &fix);
    return "{" + json_field("file", shown_path(f.file)) + ",\"line\":" + (f.line > 0 ? std::to_string(f.line) : "null") +
           "," + json_field("severity", f.error ? "error" : "warning") + "," + json_field("what", what) + "," +
           json_field("effect", effect) + "," + json_field("fix", fix) + "}";
}

}   // namespace

void check_report_begin(CheckOutputMode m, const std::string &dir)
{
    mode = m;
    setup_dir = dir;
    while (setup_dir.size() > 1 && (setup_dir.back() == '/' || setup_dir.back() == path_separator()))
        setup_dir.pop_back();
}

std::string shown_path(const std::string &path)
{
    if (path.empty())
        return path;
    std::string shown = display_path(path);
#if !defined(_WIN32)
    // The filter finds a name without regard to case; the file system has its own spelling of it.
    char native[4096];
    plat_native_path(shown.c_str(), native, sizeof native);
    if (native[0])
        shown = native;
#endif
    return path_in(setup_dir, shown);
}

void check_files_read(const std::string &config, const std::string &users, const std::string &morvel,
                      bool from_option)
{
    config_read = shown_path(config);
    users_read = shown_path(users);
    morvel_value = morvel;
    std::string why = morvel.empty() ? "MORVEL is not set"
                      : from_option  ? "--morvel " + morvel
                                     : "MORVEL is \"" + morvel + "\"";
    if (mode == CHECK_TEXT)
        printf("filter-check: reads %s and %s (%s)\n", config_read.c_str(), users_read.c_str(), why.c_str());
}

void check_finding(bool error, const std::string &file, int line, const std::string &text)
{
    findings.push_back({error, file, line, text});
    (error ? errors : warnings)++;
    if (mode == CHECK_JSON || mode == CHECK_SILENT)
        return;
    std::string where = shown_path(file) + (line > 0 ? ":" + std::to_string(line) : "");
    printf("%s: %s: %s\n", where.c_str(), error ? "error" : "warning", text.c_str());
}

void check_report_member(const std::string &name, const std::string &json)
{
    members += "," + json_string(name) + ":" + json;
}

int check_report_end(void)
{
    if (mode == CHECK_TEXT)
        printf("filter-check: %s: %d error%s, %d warning%s\n", setup_dir.c_str(), errors, errors == 1 ? "" : "s",
               warnings, warnings == 1 ? "" : "s");
    if (mode == CHECK_JSON) {
        std::string list;
        for (const Finding &f : findings)
            list += std::string(list.empty() ? "\n  " : ",\n  ") + finding_json(f);
        printf("{%s,%s,%s,\"morvel\":%s,\"errors\":%d,\"warnings\":%d,\"findings\":[%s%s]%s}\n",
               json_field("dir", setup_dir).c_str(), json_field("config", config_read).c_str(),
               json_field("users", users_read).c_str(), morvel_value.empty() ? "null" : json_string(morvel_value).c_str(),
               errors, warnings, list.c_str(), list.empty() ? "" : "\n", members.c_str());
    }
    return errors ? 2 : warnings ? 1 : 0;
}
