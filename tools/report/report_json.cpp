// report_json.cpp - the figures of filter-report as one JSON object, for
// other programs: the same figures as the page, dates as "2026-11-01".
#include "tools/report/report_page.h"
#include "auth/exposure_figure.h"
#include "tools/shared/json_text.h"

// day_or_null - a day as a JSON string, or null.
static std::string day_or_null(DayNumber day)
{
    return day == NO_DAY ? "null" : json_string(iso_day_text(day));
}

// joined - the items as a JSON array, one a line when lines is set.
static std::string joined(const std::vector<std::string> &items, bool lines)
{
    std::string out = "[";
    for (size_t i = 0; i < items.size(); i++)
        out += (i ? "," : "") + std::string(lines ? "\n    " : "") + items[i];
    return out + (lines && !items.empty() ? "\n  ]" : "]");
}

// state_name - "read", "absent", "unreadable".
static const char *state_name(FileState state)
{
    return state == FILE_READ ? "read" : state == FILE_UNREADABLE ? "unreadable" : "absent";
}

// files_json - the files looked for.
static std::string files_json(const ReportFigures &f)
{
    std::vector<std::string> items;
    for (const FileSeen &s : f.files)
        items.push_back("{" + json_field("path", s.path) + "," + json_field("what", s.what) + "," +
                        json_field("state", state_name(s.state)) + ",\"entries\":" +
                        (s.entries < 0 ? std::string("null") : std::to_string(s.entries)) + "," +
                        json_field("why", s.why) + "}");
    return joined(items, true);
}

// stations_json - a ranking: [{"station":..,"NAME":n}, ...].
static std::string stations_json(const std::vector<StationCount> &list, const char *name)
{
    std::vector<std::string> items;
    for (const StationCount &s : list)
        items.push_back("{" + json_field("station", s.first) + ",\"" + name + "\":" + std::to_string(s.second) + "}");
    return joined(items, false);
}

// connections_json - per day (by port), by hour and port, the most frequent stations.
static std::string connections_json(const ReportFigures &f, const std::vector<DayNumber> &days)
{
    std::vector<std::string> per_day, by_hour;
    for (DayNumber d : days) {
        auto day = f.connections_by_day.find(d);
        long total = 0;
        std::string ports;
        if (day != f.connections_by_day.end())
            for (const auto &p : day->second) {
                ports += (ports.empty() ? "" : ",") + json_string(std::to_string(p.first)) + ":" +
                         std::to_string(p.second);
                total += p.second;
            }
        per_day.push_back("{\"date\":" + json_string(iso_day_text(d)) + ",\"total\":" + std::to_string(total) +
                          ",\"ports\":{" + ports + "}}");
    }
    for (const auto &p : f.connections_by_hour) {
        std::string hours;
        for (long n : p.second)
            hours += (hours.empty() ? "" : ",") + std::to_string(n);
        by_hour.push_back("{\"port\":" + std::to_string(p.first) + ",\"hours\":[" + hours + "]}");
    }
    return "{\"total\":" + std::to_string(f.connections) + ",\"stations\":" + std::to_string(f.stations) +
           ",\"per_day\":" + joined(per_day, true) + ",\"by_hour\":" + joined(by_hour, true) +
           ",\"top_stations\":" + stations_json(f.top_stations, "connections") + "}";
}

// failures_json - failures and exclusions per day, and the stations with the most failures.
static std::string failures_json(const ReportFigures &f, const std::vector<DayNumber> &days)
{
    std::vector<std::string> per_day;
    for (DayNumber d : days) {
        auto a = f.failures_by_day.find(d);
        auto b = f.exclusions_by_day.find(d);
        per_day.push_back("{\"date\":" + json_string(iso_day_text(d)) + ",\"failures\":" +
                          std::to_string(a == f.failures_by_day.end() ? 0 : a->second) + ",\"exclusions\":" +
                          std::to_string(b == f.exclusions_by_day.end() ? 0 : b->second) + "}");
    }
    return "{\"failures\":" + std::to_string(f.failures) + ",\"exclusions\":" + std::to_string(f.exclusions) +
           ",\"per_day\":" + joined(per_day, true) + ",\"top_stations\":" + stations_json(f.top_failures, "failures") +
           "}";
}

// guard_json - the guard's settings, lockouts and the callsigns locked out now.
static std::string guard_json(const ReportFigures &f)
{
    std::vector<std::string> lockouts, now;
    for (const Lockout &l : f.lockouts)
        lockouts.push_back("{" + json_field("station", l.station) + ",\"failures\":" + std::to_string(l.failures) +
                           "," + json_field("from", l.from) + "," + json_field("until", l.until) + "}");
    for (const LockedNow &l : f.locked_now)
        now.push_back("{" + json_field("station", l.station) + ",\"failures\":" + std::to_string(l.failures) + "," +
                      json_field("until", l.until) + "}");
    return "{\"on\":" + std::string(f.guard_on ? "true" : "false") + ",\"failures\":" +
           std::to_string(f.guard_failures) + ",\"minutes\":" + std::to_string(f.guard_minutes) +
           ",\"lockouts\":" + joined(lockouts, false) + ",\"locked_now\":" + joined(now, false) + "}";
}

// one_time_json - the entries enrolled per kind and their last use.
static std::string one_time_json(const ReportFigures &f)
{
    std::string enrolled;
    for (const auto &k : f.enrolled)
        enrolled += (enrolled.empty() ? "" : ",") + json_string(k.first) + ":" + std::to_string(k.second);
    std::vector<std::string> items;
    for (const OneTimeStation &s : f.one_time)
        items.push_back("{" + json_field("entry", s.entry) + ",\"line\":" + std::to_string(s.line) + "," +
                        json_field("kind", s.kind) + ",\"used\":" + (s.used ? "true" : "false") + ",\"last_use\":" +
                        (s.kind == "TOTP" && s.used ? json_string(s.last_use) : "null") + ",\"codes_used\":" +
                        std::to_string(s.codes_used) + ",\"readable\":" + (s.unreadable ? "false" : "true") + "}");
    return "{\"enrolled\":{" + enrolled + "},\"stations\":" + joined(items, false) + "}";
}

// exposure_json - each password's figure, worst first, as filter-check --json words it.
static std::string exposure_json(const ReportFigures &f)
{
    std::vector<std::string> items;
    for (const PasswordExposure &x : f.exposure) {
        char one_in_text[32], chance_number[32];
        snprintf(one_in_text, sizeof one_in_text, "%.6g", one_in(x.chance));
        snprintf(chance_number, sizeof chance_number, "%.6g", x.chance);
        items.push_back("{" + json_field("entry", x.entry) + ",\"line\":" + std::to_string(x.line) + "," +
                        json_field("method", x.method) + "," + (x.day ? "\"day\":" + std::to_string(x.day) + "," : "") +
                        json_field("heard_as", x.heard_as) + ",\"heard\":" +
                        std::to_string(x.heard) + ",\"of\":" + std::to_string(x.of) + ",\"chance\":" +
                        chance_number + ",\"one_in\":" + (x.chance > 0 ? one_in_text : "null") + "," +
                        json_field("figure", x.figure) + "," + json_field("what_was_heard", x.what_heard) +
                        ",\"since\":" + (x.found == 1 ? json_string(x.since) : "null") + ",\"last_station\":" +
                        (x.found == 1 ? json_string(x.last_station) : "null") + ",\"readable\":" +
                        (x.found < 0 ? "false" : "true") + ",\"mailed\":" + (x.mailed ? "true" : "false") +
                        ",\"passes_threshold\":" + (x.passes ? "true" : "false") + "," +
                        json_field("advice", x.advice) + "}");
    }
    return "{\"threshold_one_in\":" + (f.exposure_one_in ? std::to_string(f.exposure_one_in) : "null") +
           ",\"passwords\":" + joined(items, false) + "}";
}

// errors_json - the last error and the codes not yet mended.
static std::string errors_json(const ReportFigures &f)
{
    const LastError &e = f.last_error;
    std::string last = "null", open;
    if (e.present)
        last = "{\"code\":" + std::to_string(e.code) + "," + json_field("text", e.text) + "," +
               json_field("time", e.time) + "," + json_field("station", e.station) + ",\"port\":" +
               std::to_string(e.port) + ",\"in_period\":" + (e.in_period ? "true" : "false") + "}";
    for (int c : f.open_errors)
        open += (open.empty() ? "" : ",") + std::to_string(c);
    return "{\"last\":" + last + ",\"open\":[" + open + "]}";
}

std::string report_json(const ReportFigures &f)
{
    std::vector<DayNumber> days = days_of(f);
    std::string ports;
    for (const auto &p : f.port_names)
        ports += (ports.empty() ? "" : ",") + json_string(std::to_string(p.first)) + ":" + json_string(p.second);
    return "{\n  " + json_field("bbs", f.bbs) + "," + json_field("directory", f.directory) + "," +
           json_field("made", f.made_at) + ",\n  \"period\":{\"since\":" + day_or_null(f.since) + ",\"until\":" +
           day_or_null(f.until) + ",\"first\":" + day_or_null(f.first) + ",\"last\":" + day_or_null(f.last) +
           ",\"days\":" + std::to_string(days.size()) + ",\"outside\":" + std::to_string(f.outside_period) + "},\n" +
           "  \"port_names\":{" + ports + "},\n  \"files\":" + files_json(f) + ",\n  \"connections\":" +
           connections_json(f, days) + ",\n  \"failures\":" + failures_json(f, days) + ",\n  \"guard\":" +
           guard_json(f) + ",\n  \"one_time_codes\":" + one_time_json(f) + ",\n  \"exposure\":" + exposure_json(f) +
           ",\n  \"errors\":" + errors_json(f) +
           "\n}\n";
}
