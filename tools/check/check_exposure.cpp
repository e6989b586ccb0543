// check_exposure.cpp - what a listener has heard of each password of the
// setup: the figure of every entry of users.prt and every row of a password
// table, found through the password itself with the filter's own look-up
// (password_exposure) and counted with its own figure, for --dump, --json
// and --exposure. No password is kept or shown.
#include "auth/exposure.h"
#include "common/access_methods.h"
#include "common/wipe.h"
#include "tools/check/check_report.h"
#include "tools/check/check_run.h"
#include "tools/shared/json_text.h"
#include "tools/shared/tool_run.h"

#include <algorithm>
#include <cstdio>

// exposure_words - the figure with what it rests on and since when.
static std::string exposure_words(const EntryExposure &x)
{
    char chance[EXPOSURE_TEXT], heard[EXPOSURE_TEXT];
    chance_text(x.figure.chance, chance, sizeof chance);
    heard_text(&x.figure, heard, sizeof heard);
    std::string words = std::string(chance) + " (" + heard;
    if (x.found == 1)
        words += " since " + x.since + ", last by " + x.last_station;
    else if (x.figure.kind == EXPOSURE_EQUATIONS)
        words += ": a guess of the likeliest sum";
    else if (x.found < 0)
        words += ": " + display_path(exposure_file_path()) + " cannot be read";
    return words + ")";
}

// who - the entry or row the figure belongs to, and its method.
static std::string who(const EntryExposure &x)
{
    std::string row = x.day ? " day " + std::to_string(x.day) : "";
    const char *name = method_name(x.method);
    return x.station + row + " under " + (name ? name : method_text((int)x.method));
}

void note_exposure(const std::string &file, int line, const std::string &station, unsigned method,
                   const char *password, int day)
{
    EntryExposure x;
    x.file = file;
    x.line = line;
    x.station = station;
    x.method = method;
    x.day = day;
    ExposureRecord r;
    x.found = password_exposure(password, method, &r, &x.figure);
    if (x.figure.kind == EXPOSURE_NONE)
        return;
    x.since = r.since;
    x.last_station = r.station;
    x.mailed = r.mailed;
    x.advice = exposure_advice(state_kind_of_method(method));
    wipe(&r, sizeof r);
    dump_facts.exposure.push_back(x);
}

short state_kind_of_method(unsigned method)
{
    const AccessMethod *m = find_access_method(method);
    return m ? m->challenge_kind : (short)NO_CHALLENGE;
}

void print_exposure_dump(const DumpFacts &f)
{
    printf("exposure, what a listener has heard of each password (%s):\n",
           shown_path(display_path(exposure_file_path())).c_str());
    if (f.exposure.empty())
        printf("  no entry with a password a listener can hear\n");
    // A table's rows nobody answered yet are counted, not listed: a month of them says nothing.
    int unheard = 0;
    for (size_t i = 0; i < f.exposure.size(); i++) {
        const EntryExposure &x = f.exposure[i];
        if (!x.day || x.found == 1)
            printf("  %s:%d %s: %s\n", shown_path(x.file).c_str(), x.line, who(x).c_str(), exposure_words(x).c_str());
        else
            unheard++;
        bool table_ends = i + 1 == f.exposure.size() || f.exposure[i + 1].file != x.file;
        if (x.day && table_ends && unheard) {
            printf("  %s %s under TABLE: nothing heard of %d row%s\n", shown_path(x.file).c_str(), x.station.c_str(),
                   unheard, unheard == 1 ? "" : "s");
            unheard = 0;
        }
    }
}

std::string exposure_json(const DumpFacts &f)
{
    std::string list;
    for (const EntryExposure &x : f.exposure) {
        char chance[EXPOSURE_TEXT], heard[EXPOSURE_TEXT];
        chance_text(x.figure.chance, chance, sizeof chance);
        heard_text(&x.figure, heard, sizeof heard);
        char one_in_text[32], chance_number[32];
        snprintf(one_in_text, sizeof one_in_text, "%.6g", one_in(x.figure.chance));
        snprintf(chance_number, sizeof chance_number, "%.6g", x.figure.chance);
        list += std::string(list.empty() ? "\n  " : ",\n  ") + "{" + json_field("file", shown_path(x.file)) +
                ",\"line\":" + std::to_string(x.line) + "," + json_field("station", x.station) +
                ",\"day\":" + (x.day ? std::to_string(x.day) : "null") + "," +
                json_field("method", method_name(x.method) ? method_name(x.method) : "") + "," +
                json_field("heard_as", exposure_kind_name(x.figure.kind)) + ",\"heard\":" +
                std::to_string(x.figure.heard) + ",\"of\":" + std::to_string(x.figure.of) + ",\"chance\":" +
                chance_number + ",\"one_in\":" + (x.figure.chance > 0 ? one_in_text : "null") +
                "," + json_field("figure", chance) + "," + json_field("what_was_heard", heard) + ",\"since\":" +
                (x.found == 1 ? json_string(x.since) : "null") + ",\"mailed\":" + (x.mailed ? "true" : "false") +
                "," + json_field("advice", x.advice) + "}";
    }
    return "[" + list + (list.empty() ? "" : "\n") + "]";
}

int print_exposure_list(const DumpFacts &f, unsigned long threshold)
{
    std::vector<EntryExposure> exposed;
    for (const EntryExposure &x : f.exposure)
        if (chance_passes(x.figure.chance, threshold))
            exposed.push_back(x);
    std::stable_sort(exposed.begin(), exposed.end(),
                     [](const EntryExposure &a, const EntryExposure &b) { return a.figure.chance > b.figure.chance; });
    for (const EntryExposure &x : exposed)
        printf("%s:%d: %s: %s; %s\n", shown_path(x.file).c_str(), x.line, who(x).c_str(), exposure_words(x).c_str(),
               x.advice.c_str());
    printf("filter-check: %zu password%s a listener answers 1 in %lu or likelier\n", exposed.size(),
           exposed.size() == 1 ? "" : "s", threshold);
    return exposed.empty() ? 0 : 1;
}
