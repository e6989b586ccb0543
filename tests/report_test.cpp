// filter-report on host directories whose logs and state files the filter
// itself wrote (svc_main, with the clock set for each call): the figures of
// --json and of the page's tables, the period, hostile texts escaped, files
// missing or unreadable, and the sample's month against its own logs. The
// tool runs as a process, as the sysop runs it; under Wine the Windows
// build runs it on the sample instead (cmake/wine_tests.cmake).
#if !defined(_WIN32)
#include "auth/one_time_codes.h"
#include "common/otp_secret.h"
#include "support/challenge_reply.h"
#include "support/command_output.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string report_tool()
{
    return (fs::path(FILTER_HOST_PATH).parent_path() / "filter-report").string();
}

// report - filter-report on the host directory with the arguments given.
Output report(const HostDir &h, const std::string &args)
{
    return run(report_tool() + " --dir " + h.root() + " " + args + " 2>&1");
}

// tree - every file under a directory and its content, to see that nothing changed.
std::map<std::string, std::string> tree(const std::string &root)
{
    std::map<std::string, std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(root)) {
        std::ifstream in(e.path(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        files[fs::relative(e.path(), root).string()] = e.is_regular_file() ? s.str() : "<dir>";
    }
    return files;
}

// count_of - how often needle stands in text.
long count_of(const std::string &text, const std::string &needle)
{
    long n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        n++;
    return n;
}

// element - the element of the page with this id, up to its closing tag.
std::string element(const std::string &page, const std::string &id, const std::string &tag)
{
    size_t at = page.find("id=\"" + id + "\"");
    if (at == std::string::npos)
        return "";
    size_t end = page.find("</" + tag + ">", at);
    return page.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

const char *const TOTP_SECRET = "JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP";

// A BBS whose connection log is daily and logs the console, with the
// guard on, TOTP and HOTP stations, and a station whose entry is wrong.
void set_up(HostDir &h)
{
    h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "OK CD", "OK", "OK",
                    "0 OPEN", "1 OPEN", "2 READONLY", "3 EXCLUDED"});
    h.write_users("N0ABC\n* NORMAL Secret12\n-\nN0EXC\n* EXCLUDED\n-\nN0TOT\n* TOTP " + std::string(TOTP_SECRET) +
                  "\n-\nN0HOT\n* HOTP GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ\n-\nN0ERR\n* NOSUCH\n-\n");
    h.write("morvel/guard.prt", "FAILURES 3 MINUTES 15\n");
}

// totp_code - the code of the secret's app now.
std::string totp_code(const std::string &secret)
{
    unsigned char key[OTP_SECRET_MAX];
    char code[OTP_CODE_TEXT];
    int length = otp_secret_decode(secret.c_str(), key);
    otp_code_text(key, (size_t)length, totp_step(plat_now_seconds()), code);
    return code;
}

// connect_and_answer - a connection of a NORMAL or TOTP station answered as its owner would.
int connect_and_answer(HostDir &h, const std::string &station, int port, const std::string &password, bool totp)
{
    auto r = h.connect(station, port);
    if (r.result != 1)
        return r.result;
    std::string answer = totp ? totp_code(password) : chars_at(password, parse_challenge(r.reply).positions);
    return h.answer(station, 1, answer, port).result;
}

// three_days - the 1st and 3rd of November 2026, played through the filter;
// nothing happens on the 2nd.
void three_days(HostDir &h)
{
    set_up(h);
    h.set_clock(2026, 11, 1, 8, 15, 0, 0);
    ASSERT_EQ(h.connect("N0OPN-0", 1).result, 0);
    h.set_clock(2026, 11, 1, 8, 20, 0, 0);
    ASSERT_EQ(h.connect("N0OPN-0", 1).result, 0);
    h.set_clock(2026, 11, 1, 9, 5, 0, 0);
    ASSERT_EQ(h.connect("N0RO-1", 2).result, 3);
    h.set_clock(2026, 11, 1, 20, 10, 0, 0);
    ASSERT_EQ(connect_and_answer(h, "N0ABC-1", 1, "Secret12", false), 0);
    h.set_clock(2026, 11, 1, 21, 0, 0, 0);
    ASSERT_EQ(h.connect("N0SYS-0", 0).result, 0);
    h.set_clock(2026, 11, 1, 21, 30, 0, 0);
    ASSERT_EQ(h.connect("N0EXC-0", 1).result, 2);
    h.set_clock(2026, 11, 1, 22, 0, 0, 0);
    ASSERT_EQ(h.connect("N0ABC-2", 1).result, 1);
    ASSERT_EQ(h.answer("N0ABC-2", 1, "wrong", 1).result, 1);
    ASSERT_EQ(h.answer("N0ABC-2", 2, "wrong", 1).result, 1);
    ASSERT_EQ(h.answer("N0ABC-2", 3, "wrong", 1).result, 2) << "the third failure locks N0ABC out";
    h.set_clock(2026, 11, 3, 7, 0, 10, 0);
    ASSERT_EQ(connect_and_answer(h, "N0TOT-0", 1, TOTP_SECRET, true), 0);
    h.set_clock(2026, 11, 3, 7, 30, 0, 0);
    ASSERT_EQ(h.connect("N0OPN-0", 3).result, 2) << "VHF's port line excludes";
    h.set_clock(2026, 11, 3, 8, 0, 0, 0);
    ASSERT_EQ(h.connect("N0ERR-0", 1).result, 0) << "error 7, then the port's OPEN";
    h.set_clock(2026, 11, 3, 23, 59, 59, 99);
    ASSERT_EQ(h.connect("N0OPN-0", 1).result, 0);
}

// The figures of --json, each against what the three days wrote: per day
// and port (the 2nd with none), per hour and port, the stations, failures
// and exclusions, the lockout, the one-time codes and the last error.
TEST(FilterReport, JsonFiguresAreThoseOfTheLogsTheFilterWrote)
{
    HostDir h;
    three_days(h);
    auto before = tree(h.root());
    Output out = run(report_tool() + " --dir " + h.root() + " --json");
    ASSERT_EQ(out.status, 0) << out.text;
    std::string json = std::regex_replace(out.text, std::regex("\"directory\":\"[^\"]*\",\"made\":\"[^\"]*\""),
                                          "\"directory\":\"D\",\"made\":\"M\"");
    EXPECT_EQ(json,
              "{\n  \"bbs\":\"N0BBS\",\"directory\":\"D\",\"made\":\"M\",\n"
              "  \"period\":{\"since\":null,\"until\":null,\"first\":\"2026-11-01\",\"last\":\"2026-11-03\","
              "\"days\":3,\"outside\":0},\n"
              "  \"port_names\":{\"1\":\"144.800\",\"2\":\"433.500\",\"3\":\"VHF\",\"4\":\"HF\"},\n"
              "  \"files\":[\n"
              "    {\"path\":\"morvel/error.prt\",\"what\":\"the last error\",\"state\":\"read\",\"entries\":1,\"why\":\"\"},\n"
              "    {\"path\":\"morvel/logcnx/logcn305.prt\",\"what\":\"connection log\",\"state\":\"read\",\"entries\":5,"
              "\"why\":\"\"},\n"
              "    {\"path\":\"morvel/logcnx/logcn307.prt\",\"what\":\"connection log\",\"state\":\"read\",\"entries\":3,"
              "\"why\":\"\"},\n"
              "    {\"path\":\"morvel/lognopas.prt\",\"what\":\"failed-password log\",\"state\":\"read\",\"entries\":1,"
              "\"why\":\"\"},\n"
              "    {\"path\":\"morvel/logexcld.prt\",\"what\":\"exclusion log\",\"state\":\"read\",\"entries\":3,\"why\":\"\"},\n"
              "    {\"path\":\"morvel/guard.prt\",\"what\":\"the guard's settings\",\"state\":\"read\",\"entries\":null,"
              "\"why\":\"\"},\n"
              "    {\"path\":\"morvel/guard.dat\",\"what\":\"the guard's failures\",\"state\":\"read\",\"entries\":null,"
              "\"why\":\"\"},\n"
              "    {\"path\":\"morvel/lockouts.prt\",\"what\":\"lockout log\",\"state\":\"read\",\"entries\":1,\"why\":\"\"},\n"
              "    {\"path\":\"morvel/users.prt\",\"what\":\"the station list\",\"state\":\"read\",\"entries\":5,\"why\":\"\"},\n"
              "    {\"path\":\"morvel/otpused.prt\",\"what\":\"the one-time codes used\",\"state\":\"read\",\"entries\":null,"
              "\"why\":\"\"},\n"
              "    {\"path\":\"morvel/exposure.dat\",\"what\":\"what a listener heard of each password\",\"state\":\"read\","
              "\"entries\":1,\"why\":\"\"}\n"
              "  ],\n"
              "  \"connections\":{\"total\":8,\"stations\":6,\"per_day\":[\n"
              "    {\"date\":\"2026-11-01\",\"total\":5,\"ports\":{\"0\":1,\"1\":3,\"2\":1}},\n"
              "    {\"date\":\"2026-11-02\",\"total\":0,\"ports\":{}},\n"
              "    {\"date\":\"2026-11-03\",\"total\":3,\"ports\":{\"1\":3}}\n"
              "  ],\"by_hour\":[\n"
              "    {\"port\":0,\"hours\":[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0]},\n"
              "    {\"port\":1,\"hours\":[0,0,0,0,0,0,0,1,3,0,0,0,0,0,0,0,0,0,0,0,1,0,0,1]},\n"
              "    {\"port\":2,\"hours\":[0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0]}\n"
              "  ],\"top_stations\":[{\"station\":\"N0OPN-0\",\"connections\":3},{\"station\":\"N0ABC-1\",\"connections\":1},"
              "{\"station\":\"N0ERR-0\",\"connections\":1},{\"station\":\"N0RO-1\",\"connections\":1},"
              "{\"station\":\"N0SYS-0\",\"connections\":1},{\"station\":\"N0TOT-0\",\"connections\":1}]},\n"
              "  \"failures\":{\"failures\":1,\"exclusions\":3,\"per_day\":[\n"
              "    {\"date\":\"2026-11-01\",\"failures\":1,\"exclusions\":2},\n"
              "    {\"date\":\"2026-11-02\",\"failures\":0,\"exclusions\":0},\n"
              "    {\"date\":\"2026-11-03\",\"failures\":0,\"exclusions\":1}\n"
              "  ],\"top_stations\":[{\"station\":\"N0ABC-2\",\"failures\":1}]},\n"
              "  \"guard\":{\"on\":true,\"failures\":3,\"minutes\":15,\"lockouts\":[{\"station\":\"N0ABC\",\"failures\":3,"
              "\"from\":\"01-11-2026 22:00:00\",\"until\":\"01-11-2026 22:15:00\"}],\"locked_now\":[]},\n"
              "  \"one_time_codes\":{\"enrolled\":{\"HOTP\":1,\"TOTP\":1},\"stations\":[{\"entry\":\"N0TOT\",\"line\":8,"
              "\"kind\":\"TOTP\",\"used\":true,\"last_use\":\"03-11-2026 07:00:00\",\"codes_used\":0,\"readable\":true},"
              "{\"entry\":\"N0HOT\",\"line\":11,\"kind\":\"HOTP\",\"used\":false,\"last_use\":null,\"codes_used\":0,"
              "\"readable\":true}]},\n"
              // N0ABC-1's one right answer let a listener hear five of the eight
              // characters of Secret12: the next five drawn are all among them in
              // 1 of C(8,5) = 56 draws. N0ABC-2's wrong answers count for nothing.
              "  \"exposure\":{\"threshold_one_in\":null,\"passwords\":[{\"entry\":\"N0ABC\",\"line\":2,\"method\":\"NORMAL\","
              "\"heard_as\":\"POSITIONS\",\"heard\":5,\"of\":8,\"chance\":0.0178571,\"one_in\":56,\"figure\":\"1 in 56\","
              "\"what_was_heard\":\"5 of 8 characters heard\",\"since\":\"01-11-2026\",\"last_station\":\"N0ABC-1\","
              "\"readable\":true,\"mailed\":false,\"passes_threshold\":false,\"advice\":\"change the station's password, or "
              "move the station to TOTP or HOTP\"}]},\n"
              "  \"errors\":{\"last\":{\"code\":7,\"text\":\"Incorrect data in line 14 (users.prt)\","
              "\"time\":\"08:00:00 03-11-2026\",\"station\":\"N0ERR-0\",\"port\":1,\"in_period\":true},\"open\":[]}\n"
              "}\n");
    EXPECT_EQ(tree(h.root()), before) << "the report writes nothing in the BBS's directory";
}

// The page shows the same figures: each chart's table holds them, each bar
// and cell that stands for a figure is there, and the empty day draws nothing.
TEST(FilterReport, PageTablesAndChartsHoldTheSameFigures)
{
    HostDir h;
    three_days(h);
    std::string out_file = h.root() + "/../" + fs::path(h.root()).filename().string() + "-report.html";
    Output out = run("cd " + h.root() + " && " + report_tool() + " --out " + out_file);
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_EQ(out.text, "filter-report: wrote " + fs::absolute(out_file).string() +
                            ": 8 connections, 1 password failures, 3 exclusions, 01-11-2026 to 03-11-2026\n");
    std::ifstream in(out_file);
    std::stringstream s;
    s << in.rdbuf();
    std::string page = s.str();
    fs::remove(out_file);
    std::string per_day = element(page, "table-connections-per-day", "table");
    EXPECT_NE(per_day.find("<tr><td>01-11-2026</td><td class=\"n\">1</td><td class=\"n\">3</td><td class=\"n\">1</td>"
                           "<td class=\"n\">5</td></tr>"), std::string::npos) << per_day;
    EXPECT_NE(per_day.find("<tr><td>02-11-2026</td><td class=\"n\">0</td><td class=\"n\">0</td><td class=\"n\">0</td>"
                           "<td class=\"n\">0</td></tr>"), std::string::npos) << per_day;
    EXPECT_EQ(count_of(element(page, "chart-connections-per-day", "svg"), "<rect class=\"bar\""), 4)
        << "one bar piece per day and port with connections";
    EXPECT_EQ(count_of(element(page, "chart-hour-port", "svg"), "<rect class=\"cell\""), 3 * 24);
    std::string top = element(page, "table-top-stations", "table");
    EXPECT_NE(top.find("<td>N0OPN-0</td><td class=\"n\">3</td><td class=\"n\">37.5%</td>"), std::string::npos) << top;
    EXPECT_EQ(count_of(element(page, "chart-top-stations", "svg"), "<rect class=\"bar\""), 6);
    EXPECT_NE(element(page, "table-failures-per-day", "table")
                  .find("<tr><td>01-11-2026</td><td class=\"n\">1</td><td class=\"n\">2</td></tr>"), std::string::npos);
    EXPECT_NE(element(page, "table-lockouts", "table")
                  .find("<td>N0ABC</td><td>01-11-2026 22:00:00</td><td>01-11-2026 22:15:00</td><td class=\"n\">3</td>"),
              std::string::npos);
    EXPECT_NE(page.find("No callsign is locked out now"), std::string::npos);
    EXPECT_NE(element(page, "table-one-time", "table").find("<td>03-11-2026 07:00:00</td>"), std::string::npos);
    EXPECT_NE(element(page, "table-errors", "table").find("Incorrect data in line 14 (users.prt)"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    for (const char *outside : {" src=", "<link", "url(", "@import", "<iframe", "<object"})
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    EXPECT_FALSE(std::regex_search(page, std::regex("href=\"[^#]"))) << "links within the page only";
}

// --since and --until keep the entries of their days only, and say what was left out.
TEST(FilterReport, PeriodKeepsItsDaysOnly)
{
    HostDir h;
    three_days(h);
    Output out = report(h, "--json --since 2026-11-02 --until 03-11-2026 -q");
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_NE(out.text.find("\"period\":{\"since\":\"2026-11-02\",\"until\":\"2026-11-03\",\"first\":\"2026-11-03\","
                            "\"last\":\"2026-11-03\",\"days\":1,\"outside\":9}"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("\"connections\":{\"total\":3,"), std::string::npos);
    EXPECT_NE(out.text.find("\"lockouts\":[]"), std::string::npos);
    Output none = report(h, "--out - --until 2026-10-31 -q");
    EXPECT_EQ(none.status, 0);
    EXPECT_NE(none.text.find("No connection was logged in this period"), std::string::npos);
    EXPECT_NE(none.text.find("No password failure and no exclusion was logged in this period"), std::string::npos);
    EXPECT_NE(none.text.find("No lockout began in this period"), std::string::npos);
    EXPECT_NE(none.text.find("is outside this period"), std::string::npos);
    EXPECT_EQ(none.text.find("<svg"), std::string::npos) << "no empty chart";
    struct { const char *args; const char *message; } usage[] = {
        {"--since 2026-13-01", "filter-report: 2026-13-01 is not a date: give it as 2026-11-01 or 01-11-2026\n"},
        {"--until 31-11-2026", "filter-report: 31-11-2026 is not a date: give it as 2026-11-01 or 01-11-2026\n"},
        {"--since 2026-11-03 --until 2026-11-01", "filter-report: --since 2026-11-03 comes after --until 2026-11-01\n"},
    };
    for (const auto &u : usage) {
        Output bad = report(h, u.args);
        EXPECT_EQ(bad.status, 100) << u.args;
        EXPECT_EQ(bad.text, u.message) << u.args;
    }
}

// Texts from the files cannot put markup into the page: a translated error
// text written by the filter, a users.prt header, hand-edited lines of
// guard.dat and of the lockout log; and a log line that is no entry is not counted.
TEST(FilterReport, HostileTextsAreEscaped)
{
    HostDir h;
    set_up(h);
    std::string language;
    for (int i = 1; i <= 29; i++)
        language += i == 7 ? "<script>alert('x')</script> & \"line\"\n" : "text " + std::to_string(i) + "\n";
    h.write("morvel/hostile.lng", language);
    h.write_config({"hostile.lng", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "OK CD",
                    "OK", "OK", "1 OPEN"});
    h.write_users("<b>N0X\n* TOTP " + std::string(TOTP_SECRET) + "\n-\nN0ERR\n* NOSUCH\n-\n");
    ASSERT_EQ(h.connect("N0ERR-0", 1).result, 0);
    h.make_dir("morvel/logcnx");
    h.write("morvel/logcnx/logcn001.prt", "         <img src=x onerror=alert(1)>-1   1   21:30:05,27   08-12-2026\n");
    long now = (long)time(nullptr);
    h.write("morvel/guard.dat", "<i>&'\" 5 " + std::to_string(now) + " 1\n");
    h.write("morvel/lockouts.prt", "<svg/> 5 01-11-2026 10:00:00 01-11-2026 10:15:00\n");
    Output out = report(h, "--out - -q");
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string &page = out.text;
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_EQ(page.find("<b>N0X"), std::string::npos);
    EXPECT_EQ(page.find("<i>&"), std::string::npos);
    EXPECT_EQ(page.find("<svg/>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;line&quot; 5 (users.prt)"),
              std::string::npos);
    EXPECT_NE(page.find("<td>&lt;B&gt;N0X</td>"), std::string::npos);
    EXPECT_NE(page.find("<td>&lt;i&gt;&amp;&#39;&quot;</td>"), std::string::npos) << "locked now, by guard.dat";
    EXPECT_NE(page.find("<td>&lt;svg/&gt;</td>"), std::string::npos);
    Output json = report(h, "--json -q");
    EXPECT_NE(json.text.find("\"connections\":{\"total\":1,"), std::string::npos) << "the hostile line is no entry";
    EXPECT_NE(json.text.find("\"station\":\"<i>&'\\\"\""), std::string::npos) << json.text;
}

// A BBS directory without any log gives a page that says so, exit 0; a
// file that cannot be read is named with the reason, the rest is shown,
// and the exit status is 1; an output that cannot be written is 2.
TEST(FilterReport, MissingAndUnreadableFilesAreNamedWithTheirReason)
{
    HostDir h;
    h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "NO",
                    "1 OPEN"});
    Output empty = report(h, "--json -q");
    EXPECT_EQ(empty.status, 0) << empty.text;
    for (const char *row : {"{\"path\":\"morvel/logcnx\",\"what\":\"connection logs\",\"state\":\"absent\",\"entries\":null,"
                            "\"why\":\"line 12 of config.prt is NO: connections are not logged\"}",
                            "{\"path\":\"morvel/lognopas.prt\",\"what\":\"failed-password log\",\"state\":\"absent\","
                            "\"entries\":null,\"why\":\"line 14 of config.prt is NO: failures are not logged\"}",
                            "{\"path\":\"morvel/guard.prt\",\"what\":\"the guard's settings\",\"state\":\"absent\","
                            "\"entries\":null,\"why\":\"the guard is off\"}",
                            "\"errors\":{\"last\":null,\"open\":[]}"})
        EXPECT_NE(empty.text.find(row), std::string::npos) << row << "\n" << empty.text;

    three_days(h);
    h.remove("morvel/lognopas.prt");
    h.make_dir("morvel/lognopas.prt");
    h.write("morvel/error.prt", "written by hand\n");
    h.write("morvel/ERROR5.TMP", "");
    Output out = report(h, "--out -");
    EXPECT_EQ(out.status, 1) << out.text;
    EXPECT_NE(out.text.find("filter-report: cannot read morvel/lognopas.prt: a directory stands where the file should "
                            "be\n"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("filter-report: cannot read morvel/error.prt: it holds no error record as the filter "
                            "writes them\n"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("<tr><td>morvel/lognopas.prt</td><td>failed-password log</td><td class=\"bad\">cannot be "
                            "read</td>"), std::string::npos);
    EXPECT_NE(out.text.find("2 files could not be read"), std::string::npos);
    EXPECT_NE(out.text.find("<p id=\"open-errors\">Mailed and not mended yet (their marker morvel/ERRORn.TMP stands): "
                            "error 5."), std::string::npos);
    EXPECT_NE(out.text.find("8 connections admitted"), std::string::npos) << "the rest is shown";
    Output unwritable = report(h, "--out " + h.root() + "/no/such/dir/report.html");
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_NE(unwritable.text.find("filter-report: cannot write"), std::string::npos);
    EXPECT_EQ(run(report_tool() + " --dir " + h.root() + "/nothing 2>&1").status, 100);
}

// Each password whose answers go on air is listed worst first with its
// figure: a FIXED password heard whole (1 in 1), a NORMAL one heard once
// (1 in 56), one never answered; those at guard.prt's EXPOSURE are marked
// and were mailed. An exposure.dat that cannot be read is named, and the
// figures say they are unknown rather than "nothing heard".
TEST(FilterReport, PasswordsHeardOnAirWorstFirst)
{
    HostDir h;
    h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "OK", "OK", "OK",
                    "1 OPEN"});
    h.write_users("N0NEW\n* NORMAL Another9\n-\nN0ABC\n* NORMAL Secret12\n-\nN0FIX\n* FIXED letmein7\n-\n"
                  "N0TOT\n* TOTP " + std::string(TOTP_SECRET) + "\n-\nN0TBL\n* TABLE\n-\n");
    h.write("morvel/N0TBL.TBL", "1 Daily111\n2 Daily222\n");
    h.write("morvel/guard.prt", "FAILURES 3 MINUTES 15\nEXPOSURE 100\n");
    h.set_clock(2026, 11, 2, 10, 0, 0, 0);
    ASSERT_EQ(connect_and_answer(h, "N0ABC-1", 1, "Secret12", false), 0);
    ASSERT_EQ(connect_and_answer(h, "N0TBL-0", 1, "Daily222", false), 0);
    ASSERT_EQ(h.connect("N0FIX-0", 1).result, 1);
    ASSERT_EQ(h.answer("N0FIX-0", 1, "letmein7", 1).result, 0);
    Output json = report(h, "--json -q");
    ASSERT_EQ(json.status, 0) << json.text;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(json.text, m, std::regex("\"exposure\":\\{\"threshold_one_in\":100,\"passwords\":"
                                                           "(.*)\\},\n  \"errors\"")))
        << json.text;
    std::string list = m[1].str();
    std::vector<std::string> order;
    std::regex row("\\{\"entry\":\"([^\"]+)\"[^{}]*\"figure\":\"([^\"]+)\"[^{}]*\"mailed\":(\\w+),"
                   "\"passes_threshold\":(\\w+)");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), row); it != std::sregex_iterator(); ++it)
        order.push_back((*it)[1].str() + " " + (*it)[2].str() + " " + (*it)[3].str() + " " + (*it)[4].str());
    EXPECT_EQ(order, (std::vector<std::string>{"N0FIX 1 in 1 true true", "N0ABC 1 in 56 true true",
                                               "N0TBL 1 in 56 true true", "N0NEW none yet false false"}))
        << "TOTP answers give nothing away and are not listed, nor a table's row nobody answered\n" << list;
    EXPECT_NE(list.find("\"entry\":\"N0TBL\",\"line\":14,\"method\":\"TABLE\",\"day\":2,"), std::string::npos) << list;
    EXPECT_NE(list.find("\"what_was_heard\":\"the whole password heard\",\"since\":\"02-11-2026\","
                        "\"last_station\":\"N0FIX-0\""), std::string::npos) << list;

    Output page = report(h, "--out - -q");
    ASSERT_EQ(page.status, 0);
    std::string table = element(page.text, "table-exposure", "table");
    EXPECT_NE(table.find("<tr><td>N0ABC</td><td class=\"n\">5</td><td>NORMAL</td><td class=\"bad\">1 in 56 (mailed)"
                         "</td><td>5 of 8 characters heard</td><td>since 02-11-2026, last by N0ABC-1</td>"),
              std::string::npos) << table;
    EXPECT_LT(table.find("<td>N0FIX</td>"), table.find("<td>N0ABC</td>"));
    EXPECT_NE(table.find("<td>N0TBL</td><td class=\"n\">14</td><td>TABLE day 2</td>"), std::string::npos) << table;
    EXPECT_NE(table.find("<td>none yet</td><td>nothing heard</td><td>-</td><td></td>"),
              std::string::npos) << "no advice for a password nobody heard\n" << table;

    h.remove("morvel/exposure.dat");
    h.make_dir("morvel/exposure.dat");
    Output unreadable = report(h, "--json");
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_NE(unreadable.text.find("filter-report: cannot read morvel/exposure.dat: a directory stands where the file "
                                   "should be\n"), std::string::npos) << unreadable.text;
    EXPECT_EQ(count_of(unreadable.text, "\"readable\":false,\"mailed\""), 3) << unreadable.text;
}

// The guard's callsigns locked out now come from guard.dat, by the guard's own reader and clock.
TEST(FilterReport, LockedNowIsWhatTheGuardHoldsNow)
{
    HostDir h;
    set_up(h);
    h.write("morvel/guard.prt", "FAILURES 1 MINUTES 60\n");
    time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    h.set_clock(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 0);
    ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
    ASSERT_EQ(h.answer("N0ABC-0", 1, "wrong", 1).result, 2);
    Output out = report(h, "--json -q");
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_NE(out.text.find("\"locked_now\":[{\"station\":\"N0ABC\",\"failures\":1,\"until\":\""), std::string::npos)
        << out.text;
}

// count_sample_entries - entry lines of the sample's logs, counted here by a
// plain pattern: the figures of the report must be the logs' own.
std::map<std::string, long> count_sample_entries(const fs::path &morvel)
{
    std::regex entry(R"(^ +([A-Z0-9]{1,6}) *-(\d+) +(-?\d+) +\d\d:\d\d:\d\d,\d\d +(\d\d-\d\d-\d\d\d\d)\s*$)");
    std::map<std::string, long> counts;
    auto count_file = [&](const fs::path &file, const std::string &what) {
        std::ifstream in(file);
        std::string line;
        std::smatch m;
        while (std::getline(in, line))
            if (std::regex_match(line, m, entry)) {
                counts[what]++;
                counts[what + " " + m[1].str() + "-" + m[2].str()]++;
            }
    };
    for (const auto &e : fs::directory_iterator(morvel / "logcnx"))
        if (e.path().extension() == ".prt")
            count_file(e.path(), "connections");
    count_file(morvel / "lognopas.prt", "failures");
    count_file(morvel / "logexcld.prt", "exclusions");
    return counts;
}

// The sample's month: its totals and its busiest station are those of its
// own logs, counted here line by line, and it has what the guide shows.
TEST(FilterReport, SampleFiguresMatchItsLogs)
{
    fs::path sample = fs::path(FILTER_SOURCE_DIR) / "examples" / "bbs";
    auto counts = count_sample_entries(sample / "morvel");
    Output out = run(report_tool() + " --dir " + sample.string() + " --json -q");
    ASSERT_EQ(out.status, 0) << out.text;
    const std::string &json = out.text;
    ASSERT_GT(counts["connections"], 3000) << "a month of a few hundred connections a day";
    EXPECT_NE(json.find("\"connections\":{\"total\":" + std::to_string(counts["connections"]) + ","),
              std::string::npos);
    EXPECT_NE(json.find("\"failures\":{\"failures\":" + std::to_string(counts["failures"]) + ",\"exclusions\":" +
                        std::to_string(counts["exclusions"]) + ","), std::string::npos);
    std::smatch top;
    ASSERT_TRUE(std::regex_search(json, top, std::regex("\"top_stations\":\\[\\{\"station\":\"([^\"]+)\","
                                                        "\"connections\":(\\d+)\\}")));
    EXPECT_EQ(std::stol(top[2].str()), counts["connections " + top[1].str()]) << top[1].str();
    EXPECT_NE(json.find("\"period\":{\"since\":null,\"until\":null,\"first\":\"2026-11-01\",\"last\":\"2026-11-30\","),
              std::string::npos);
    EXPECT_GE(counts["failures"], 5);
    EXPECT_GE(counts["exclusions"], 3);
    EXPECT_EQ(count_of(json, "\"failures\":5,\"from\":"), 2) << "the month's two lockouts";
    EXPECT_NE(json.find("\"kind\":\"TOTP\",\"used\":true"), std::string::npos);
    EXPECT_NE(json.find("\"last\":{\"code\":7,"), std::string::npos);
    EXPECT_EQ(json.find("\"state\":\"unreadable\""), std::string::npos);
    EXPECT_NE(json.find("\"exposure\":{\"threshold_one_in\":null,\"passwords\":[{\"entry\":\"N0FLEX\""),
              std::string::npos) << "no answer of the month is on record: FLEXNET's guess comes first";
}

}   // namespace
#endif
