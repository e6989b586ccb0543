// report_page.cpp - the HTML page of filter-report.
//
// One file that any browser shows offline and prints: the styles inline,
// each chart an inline SVG with its figures in a table under it, and no
// script. Every text that comes from the filter's files (callsigns, error
// texts, entry headers) goes through html_text, so a line of a log cannot
// put markup into the page.
#include "tools/report/report_page.h"
#include "tools/report/report_charts.h"
#include "tools/shared/tool_version.h"

#include <cstdio>

static const char page_style[] =
    "body{font-family:system-ui,-apple-system,'Segoe UI',Roboto,Arial,sans-serif;color:#1a1a1a;margin:0 auto;"
    "max-width:1000px;padding:0 16px 32px;line-height:1.4}\n"
    "h1{font-size:1.6em;margin:20px 0 4px}h2{font-size:1.3em;border-bottom:2px solid #0072B2;padding-bottom:2px;"
    "margin-top:32px}h3{font-size:1.05em;margin:20px 0 6px}\n"
    ".lead{color:#444;margin:0 0 8px}nav a{margin-right:12px}\n"
    "table{border-collapse:collapse;font-size:0.85em;margin:6px 0 12px}\n"
    "th,td{border:1px solid #ccc;padding:2px 6px;text-align:left;vertical-align:top}\n"
    "td.n,th.n{text-align:right;font-variant-numeric:tabular-nums}th{background:#eef3f8}\n"
    "td.text{white-space:pre-wrap}\n"
    ".figure{display:flex;flex-wrap:wrap;gap:8px 24px;align-items:flex-start}\n"
    ".figure table{margin-top:0}.scroll{max-width:100%;overflow-x:auto}\n"
    "svg.chart{max-width:100%;height:auto;font-size:10px;font-family:inherit}\n"
    "svg .grid{stroke:#ddd;stroke-width:1}svg .axis{stroke:#555;stroke-width:1}\n"
    "svg text{fill:#333}svg text.on-dark{fill:#fff}\n"
    ".empty{color:#555;font-style:italic;background:#f6f6f6;border-left:4px solid #bbb;padding:6px 10px}\n"
    ".bad{color:#a00;font-weight:bold}.ok{color:#060}.absent{color:#666}\n"
    "footer{margin-top:40px;color:#666;font-size:0.85em}\n"
    "*{-webkit-print-color-adjust:exact;print-color-adjust:exact}\n"
    "@media print{body{max-width:none;padding:0}nav{display:none}section,.figure,table,svg{break-inside:avoid}"
    "h2,h3{break-after:avoid}.scroll{overflow:visible}}\n";

std::vector<DayNumber> days_of(const ReportFigures &f)
{
    std::vector<DayNumber> days;
    if (f.first == NO_DAY)
        return days;
    for (DayNumber d = f.first; d <= f.last; d++)
        days.push_back(d);
    return days;
}

// cell - a table cell of text; n_cell - one of a number, aligned right.
static std::string cell(const std::string &text)
{
    return "<td>" + html_text(text) + "</td>";
}
static std::string n_cell(long long n)
{
    return "<td class=\"n\">" + std::to_string(n) + "</td>";
}

// empty_note - what the page says where a period has no data.
static std::string empty_note(const std::string &text)
{
    return "<p class=\"empty\">" + html_text(text) + "</p>\n";
}

// short_day - "01-11" for the labels under a chart.
static std::string short_day(DayNumber day)
{
    return day_text(day).substr(0, 5);
}

// period_text - "01-11-2026 to 30-11-2026 (30 days)".
static std::string period_text(DayNumber first, DayNumber last)
{
    long days = last - first + 1;
    return day_text(first) + " to " + day_text(last) + " (" + std::to_string(days) + (days == 1 ? " day)" : " days)");
}

// state_text - a file's state in words, with its class.
static std::string state_cell(const FileSeen &s)
{
    if (s.state == FILE_READ)
        return "<td class=\"ok\">read</td>";
    if (s.state == FILE_UNREADABLE)
        return "<td class=\"bad\">cannot be read</td>";
    return "<td class=\"absent\">not there</td>";
}

// period_section - the period, and which files were read and which not.
static std::string period_section(const ReportFigures &f)
{
    std::string out = "<section id=\"period\">\n<h2>Period and files</h2>\n<p>";
    if (f.since != NO_DAY || f.until != NO_DAY)
        out += "Asked for: " + html_text(f.since != NO_DAY ? "from " + day_text(f.since) : "from the start") + " " +
               html_text(f.until != NO_DAY ? "until " + day_text(f.until) : "until the end") + ". ";
    if (f.first == NO_DAY)
        out += "No entry of the logs falls in this period.";
    else
        out += "Entries found: " + html_text(period_text(f.first, f.last)) + ".";
    if (f.outside_period)
        out += " " + std::to_string(f.outside_period) + " entries of other days were left out.";
    out += "</p>\n<table id=\"table-files\">\n<tr><th>file</th><th>what it holds</th><th>state</th>"
           "<th class=\"n\">entries</th><th>note</th></tr>\n";
    // A log a day makes a month of rows: the logs read are one row, the first to the last.
    std::vector<const FileSeen *> logs;
    for (const FileSeen &s : f.files)
        if (s.what == "connection log" && s.state == FILE_READ)
            logs.push_back(&s);
    bool grouped = logs.size() > 3;
    long logged = 0;
    for (const FileSeen *s : logs)
        logged += s->entries;
    for (const FileSeen &s : f.files) {
        if (grouped && s.what == "connection log" && s.state == FILE_READ) {
            if (&s == logs.front())
                out += "<tr>" + cell(s.path + " to " + logs.back()->path.substr(logs.back()->path.rfind('/') + 1)) +
                       cell(std::to_string(logs.size()) + " connection logs") + state_cell(s) + n_cell(logged) +
                       "<td></td></tr>\n";
            continue;
        }
        out += "<tr>" + cell(s.path) + cell(s.what) + state_cell(s) +
               (s.entries < 0 ? std::string("<td></td>") : n_cell(s.entries)) + cell(s.why) + "</tr>\n";
    }
    int unreadable = files_unreadable(f);
    out += "</table>\n";
    if (unreadable)
        out += "<p class=\"bad\">" + std::to_string(unreadable) + (unreadable == 1 ? " file" : " files") +
               " could not be read: the figures below lack what they hold.</p>\n";
    return out + "</section>\n";
}

// per_day_chart - connections per day, stacked by port, and its table.
static std::string per_day_chart(const ReportFigures &f, const std::vector<DayNumber> &days)
{
    std::vector<int> ports = ports_seen(f);
    std::vector<std::string> labels, long_labels;
    std::vector<BarSeries> series;
    for (size_t k = 0; k < ports.size(); k++)
        series.push_back({"port " + port_label(f, ports[k]), series_color(k), {}});
    std::string rows;
    for (DayNumber d : days) {
        labels.push_back(short_day(d));
        long_labels.push_back(day_text(d));
        auto day = f.connections_by_day.find(d);
        long total = 0;
        std::string cells;
        for (size_t k = 0; k < ports.size(); k++) {
            long n = 0;
            if (day != f.connections_by_day.end() && day->second.count(ports[k]))
                n = day->second.at(ports[k]);
            series[k].values.push_back(n);
            total += n;
            cells += n_cell(n);
        }
        rows += "<tr>" + cell(day_text(d)) + cells + n_cell(total) + "</tr>\n";
    }
    std::string head = "<tr><th>day</th>";
    for (int p : ports)
        head += "<th class=\"n\">port " + html_text(port_label(f, p)) + "</th>";
    std::string out = "<div class=\"figure\">\n" +
                      bar_chart("chart-connections-per-day", "Connections per day, by port", labels, long_labels,
                                series, true);
    return out + "<div class=\"scroll\"><table id=\"table-connections-per-day\">\n" + head +
           "<th class=\"n\">all</th></tr>\n" + rows + "</table></div>\n</div>\n";
}

// hour_chart - connections by hour of day and port, and its table.
static std::string hour_chart(const ReportFigures &f)
{
    std::vector<std::string> rows;
    std::vector<std::array<long, 24>> counts;
    std::string head = "<tr><th>port</th>", body;
    for (int h = 0; h < 24; h++)
        head += "<th class=\"n\">" + std::to_string(h) + "</th>";
    for (const auto &p : f.connections_by_hour) {
        rows.push_back("port " + port_label(f, p.first));
        counts.push_back(p.second);
        body += "<tr>" + cell("port " + port_label(f, p.first));
        for (long n : p.second)
            body += n_cell(n);
        body += "</tr>\n";
    }
    return "<div class=\"figure\">\n" +
           heat_map("chart-hour-port", "Connections by hour of day and port", rows, counts) +
           "<div class=\"scroll\"><table id=\"table-hour-port\">\n" + head + "</tr>\n" + body + "</table></div>\n</div>\n";
}

// ranking - a ranking chart and its table: rank, station, count, share.
static std::string ranking(const std::string &id, const std::string &title, const std::string &what,
                           const std::vector<StationCount> &list, long total, const std::string &color)
{
    std::vector<std::string> labels;
    std::vector<long> values;
    std::string rows;
    for (size_t i = 0; i < list.size(); i++) {
        labels.push_back(list[i].first);
        values.push_back(list[i].second);
        char share[16];
        snprintf(share, sizeof share, "%.1f%%", total ? 100.0 * (double)list[i].second / (double)total : 0.0);
        rows += "<tr>" + n_cell((long long)i + 1) + cell(list[i].first) + n_cell(list[i].second) +
                "<td class=\"n\">" + share + "</td></tr>\n";
    }
    return "<div class=\"figure\">\n" + ranking_chart("chart-" + id, title, labels, values, color) +
           "<table id=\"table-" + id + "\">\n<tr><th class=\"n\">#</th><th>station</th><th class=\"n\">" + what +
           "</th><th class=\"n\">share</th></tr>\n" + rows + "</table>\n</div>\n";
}

// connections_section - per day, by hour, and the most frequent stations.
static std::string connections_section(const ReportFigures &f, const std::vector<DayNumber> &days)
{
    std::string out = "<section id=\"connections\">\n<h2>Connections</h2>\n";
    if (f.connections == 0)
        return out + empty_note("No connection was logged in this period: the connection logs hold no entry for "
                                "it (see the files above).") + "</section>\n";
    out += "<p>" + std::to_string(f.connections) + " connections admitted and logged, of " +
           std::to_string(f.stations) + " stations (callsign and SSID). Refused stations and challenges never "
           "answered are not in the connection logs.</p>\n";
    out += "<h3>Per day, by port</h3>\n" + per_day_chart(f, days);
    out += "<h3>By hour of day and port</h3>\n" + hour_chart(f);
    out += "<h3>The " + std::to_string(f.top_stations.size()) + " most frequent stations</h3>\n" +
           ranking("top-stations", "The most frequent stations", "connections", f.top_stations, f.connections,
                   series_color(0));
    return out + "</section>\n";
}

// failures_section - failures and exclusions per day, and the stations that failed most.
static std::string failures_section(const ReportFigures &f, const std::vector<DayNumber> &days)
{
    std::string out = "<section id=\"failures\">\n<h2>Password failures and exclusions</h2>\n";
    if (f.failures == 0 && f.exclusions == 0)
        return out + empty_note("No password failure and no exclusion was logged in this period.") + "</section>\n";
    out += "<p>" + std::to_string(f.failures) + " password failures (a station that used up its answers) and " +
           std::to_string(f.exclusions) + " exclusions (a station refused as excluded, or on the guard's first "
           "refusal of a lockout).</p>\n<h3>Per day</h3>\n";
    BarSeries failures{"password failures", series_color(5), {}}, exclusions{"exclusions", series_color(7), {}};
    std::vector<std::string> labels, long_labels;
    std::string rows;
    for (DayNumber d : days) {
        auto a = f.failures_by_day.find(d);
        auto b = f.exclusions_by_day.find(d);
        long nf = a == f.failures_by_day.end() ? 0 : a->second, ne = b == f.exclusions_by_day.end() ? 0 : b->second;
        failures.values.push_back(nf);
        exclusions.values.push_back(ne);
        labels.push_back(short_day(d));
        long_labels.push_back(day_text(d));
        rows += "<tr>" + cell(day_text(d)) + n_cell(nf) + n_cell(ne) + "</tr>\n";
    }
    out += "<div class=\"figure\">\n" +
           bar_chart("chart-failures-per-day", "Password failures and exclusions per day", labels, long_labels,
                     {failures, exclusions}, false) +
           "<div class=\"scroll\"><table id=\"table-failures-per-day\">\n<tr><th>day</th><th class=\"n\">password "
           "failures</th><th class=\"n\">exclusions</th></tr>\n" + rows + "</table></div>\n</div>\n";
    out += "<h3>The stations with the most failures</h3>\n";
    if (f.top_failures.empty())
        out += empty_note("No password failure was logged in this period.");
    else
        out += ranking("top-failures", "The stations with the most password failures", "failures", f.top_failures,
                       f.failures, series_color(5));
    return out + "</section>\n";
}

// guard_section - the guard's settings, its lockouts and who is locked out now.
static std::string guard_section(const ReportFigures &f)
{
    std::string out = "<section id=\"guard\">\n<h2>The guard</h2>\n";
    if (f.guard_on)
        out += "<p>On: a callsign is locked out after " + std::to_string(f.guard_failures) +
               " failures, each within " + std::to_string(f.guard_minutes) + " minutes of the one before, until " +
               std::to_string(f.guard_minutes) + " minutes after the last (guard.prt).</p>\n";
    else
        out += empty_note("The guard is off: there is no guard.prt, or a wrong line in it turns it off. Without it "
                          "a guesser simply calls again (see the guide, \"The guard against repeated failures\").");
    out += "<h3>Lockouts in this period</h3>\n";
    if (f.lockouts.empty()) {
        out += empty_note("No lockout began in this period.");
    } else {
        out += "<table id=\"table-lockouts\">\n<tr><th>station</th><th>from</th><th>until</th><th class=\"n\">"
               "failures</th></tr>\n";
        for (const Lockout &l : f.lockouts)
            out += "<tr>" + cell(l.station) + cell(l.from) + cell(l.until) + n_cell(l.failures) + "</tr>\n";
        out += "</table>\n";
    }
    out += "<h3>Locked out now</h3>\n";
    if (f.locked_now.empty()) {
        out += empty_note("No callsign is locked out now (" + f.made_at + ").");
    } else {
        out += "<table id=\"table-locked-now\">\n<tr><th>callsign</th><th>until</th><th class=\"n\">failures</th>"
               "</tr>\n";
        for (const LockedNow &l : f.locked_now)
            out += "<tr>" + cell(l.station) + cell(l.until) + n_cell(l.failures) + "</tr>\n";
        out += "</table>\n";
    }
    return out + "</section>\n";
}

// last_use_text - when a one-time-code station last used a code, in words.
static std::string last_use_text(const OneTimeStation &s)
{
    if (s.unreadable)
        return "unknown: otpused.prt cannot be read";
    if (s.kind == "HOTP")
        return s.used ? std::to_string(s.codes_used) + " codes of the list used; the next is number " +
                            std::to_string(s.codes_used)
                      : "no code used yet";
    return s.used ? s.last_use : "no code used yet";
}

// one_time_section - the stations enrolled per kind, and their last use.
static std::string one_time_section(const ReportFigures &f)
{
    std::string out = "<section id=\"one-time-codes\">\n<h2>One-time codes</h2>\n";
    if (f.one_time.empty())
        return out + empty_note("No entry of users.prt uses TOTP or HOTP.") + "</section>\n";
    out += "<table id=\"table-enrolled\">\n<tr><th>kind</th><th class=\"n\">entries</th></tr>\n";
    for (const auto &k : f.enrolled)
        out += "<tr>" + cell(k.first) + n_cell(k.second) + "</tr>\n";
    out += "</table>\n<table id=\"table-one-time\">\n<tr><th>entry</th><th class=\"n\">line of users.prt</th>"
           "<th>kind</th><th>last use</th></tr>\n";
    for (const OneTimeStation &s : f.one_time)
        out += "<tr>" + cell(s.entry) + n_cell(s.line) + cell(s.kind) + cell(last_use_text(s)) + "</tr>\n";
    return out + "</table>\n<p>A TOTP code is taken from the clock, so its last use is a time; an HOTP code is "
                 "taken from a numbered list, and the filter keeps only how far down the list the station is.</p>\n"
                 "</section>\n";
}

// exposure_since_text - since when and by whom the password was heard, in words; "-" for never.
static std::string exposure_since_text(const PasswordExposure &x)
{
    if (x.found < 0)
        return "unknown: exposure.dat cannot be read";
    if (x.found == 0)
        return x.heard_as == "EQUATIONS" ? "no record: the chance is that of a guess of the likeliest sum" : "-";
    return "since " + x.since + ", last by " + x.last_station;
}

// exposure_section - each password's chance that a listener answers the next challenge, worst first.
static std::string exposure_section(const ReportFigures &f)
{
    std::string out = "<section id=\"exposure\">\n<h2>Passwords heard on air</h2>\n";
    if (f.exposure.empty())
        return out + empty_note("No entry of users.prt has a password whose answers go on air in plain.") +
               "</section>\n";
    out += "<p>For each password of users.prt, the chance that someone who heard every answer since the password "
           "was set answers the next challenge, worst first. A changed password starts again from nothing. A "
           "password table (TABLE) has a password a day: its rows are listed once something of them was heard.";
    if (f.exposure_one_in > 0)
        out += " guard.prt mails the sysops once for a password at 1 in " + std::to_string(f.exposure_one_in) +
               " or likelier; those are marked.";
    out += "</p>\n<table id=\"table-exposure\">\n<tr><th>entry</th><th class=\"n\">line of users.prt</th>"
           "<th>method</th><th>chance</th><th>what was heard</th><th>since, last heard from</th><th>advice</th></tr>\n";
    for (const PasswordExposure &x : f.exposure) {
        std::string figure = x.passes ? "<td class=\"bad\">" + html_text(x.figure) + (x.mailed ? " (mailed)" : "") +
                                            "</td>"
                                      : cell(x.figure);
        out += "<tr>" + cell(x.entry) + n_cell(x.line) + cell(x.day ? x.method + " day " + std::to_string(x.day) : x.method) + figure + cell(x.what_heard) +
               cell(exposure_since_text(x)) + cell(x.chance > 0 ? x.advice : "") + "</tr>\n";
    }
    return out + "</table>\n</section>\n";
}

// errors_section - the last error of error.prt, and the errors not yet mended.
static std::string errors_section(const ReportFigures &f)
{
    std::string out = "<section id=\"errors\">\n<h2>Errors</h2>\n<p>error.prt holds the last error the filter "
                      "reported; each code is mailed to the sysops once, until what failed works again.</p>\n";
    const LastError &e = f.last_error;
    if (!e.present)
        out += empty_note("No error is recorded.");
    else if (!e.in_period)
        out += empty_note("The last error recorded (" + e.time + ") is outside this period.");
    else
        out += "<table id=\"table-errors\">\n<tr><th class=\"n\">error</th><th>text</th><th>time</th><th>station"
               "</th><th class=\"n\">port</th></tr>\n<tr>" + n_cell(e.code) + "<td class=\"text\">" +
               html_text(e.text) + "</td>" + cell(e.time) + cell(e.station) + n_cell(e.port) + "</tr>\n</table>\n";
    if (!f.open_errors.empty()) {
        std::string codes;
        for (int c : f.open_errors)
            codes += (codes.empty() ? "" : ", ") + std::to_string(c);
        out += "<p id=\"open-errors\">Mailed and not mended yet (their marker morvel/ERRORn.TMP stands): error " +
               codes + ". See the guide's list of errors.</p>\n";
    }
    return out + "</section>\n";
}

std::string report_page(const ReportFigures &f)
{
    std::vector<DayNumber> days = days_of(f);
    std::string bbs = f.bbs.empty() ? "the BBS" : f.bbs;
    std::string span = f.first == NO_DAY ? "no entries" : period_text(f.first, f.last);
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>"
                      "Connection filter report: " + html_text(bbs) + ", " + html_text(span) + "</title>\n<style>\n" +
                      page_style + "</style>\n</head>\n<body>\n<header>\n<h1>What the connection filter has been "
                      "doing</h1>\n<p class=\"lead\">" + html_text(bbs) + " &middot; " + html_text(span) +
                      " &middot; from the files of " + html_text(f.directory) + " &middot; made " +
                      html_text(f.made_at) + " by " + html_text(tool_version_line("filter-report")) + "</p>\n"
                      "<nav><a href=\"#period\">Period and files</a><a href=\"#connections\">Connections</a>"
                      "<a href=\"#failures\">Failures</a><a href=\"#guard\">Guard</a><a href=\"#one-time-codes\">"
                      "One-time codes</a><a href=\"#exposure\">Passwords heard</a><a href=\"#errors\">Errors</a></nav>\n</header>\n<main>\n";
    out += period_section(f) + connections_section(f, days) + failures_section(f, days) + guard_section(f) +
           one_time_section(f) + exposure_section(f) + errors_section(f);
    return out + "</main>\n<footer>Made from the filter's own logs and state files; nothing was changed. Each chart's "
                 "figures are in the table under it.</footer>\n</body>\n</html>\n";
}
