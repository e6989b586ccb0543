// Numbered error reports: the texts, error.prt, the error mail once per code,
// the markers and the outcome each code leaves.
#include "common/filter_dir.h"
#include "config/messages.h"
#include "platform/platform.h"
#include "report/errors.h"
#include "support/host_dir.h"
#include "support/report_fixture.h"

#include <gtest/gtest.h>

static std::string text_of(int code, int detail)
{
    char out[400];
    error_text((uint16_t)code, (uint16_t)detail, out, sizeof out);
    return out;
}

static std::string record(const std::string &station, int port, const std::string &error_line)
{
    return std::string("\n") + FIXED_BANNER + "\nConnected callsign: " + station + " / Port: " +
           std::to_string(port) + "\n" + error_line + "\n\n";
}

static std::string error_mail(const std::string &to, const std::string &station, int port,
                              const std::string &error_line)
{
    return "#\nSP " + to + " < MORVEL\nERROR detected!\n" + FIXED_BANNER + "\nConnected callsign: " + station +
           " / Port: " + std::to_string(port) + "\n" + error_line + "\n\n/EX\n";
}

TEST(ErrorReports, EveryCodeHasItsText)
{
    HostDir h;
    as_station("N0CALL", 0, 3);
    struct { int code, detail; const char *text; } cases[] = {
        {1, 0, "File init.srv not found."},
        {2, 0, "Unable to open mail file.\n    Check configuration in init.srv"},
        {3, 0, "Configuration file (config.prt) not found."},
        {4, 0, "File with table password for N0CALL not found."},
        {5, 12, "Incorrect data in line 12 (config.prt)"},
        {6, 27, "Incorrect number of lines in language file (27/29)."},
        {7, 12, "Incorrect data in line 12 (users.prt)"},
        {8, 0, "File open.prt not found.\n    Option activated in config.prt"},
        {9, 0, "File info.prt not found."},
        {10, 0, "Unable to open temporal user file"},
        {11, 0, "File excluded.prt not found.\n    Option activated in config.prt"},
        {13, 0, "Insufficient memory"},
        {0, 0, "Not identified"},
        {12, 0, "Not identified"},
        {14, 0, "Not identified"},
        {65535, 0, "Not identified"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(text_of(c.code, c.detail), c.text) << "code " << c.code;
}

TEST(ErrorReports, TranslatedTextsAreKeptWholeOrCutAtTheBuffer)
{
    HostDir h;
    with_host_info();
    with_sysops({"N0SYS"});
    as_station("N0CALL", 0, 3);
    std::string eighty(80, 'x');
    for (int entry : {MSG_FILE, MSG_NOT_FOUND, MSG_OPTION_ON})
        copy_text(message_table[entry], MESSAGE_SIZE, eighty.c_str());
    std::string whole = eighty + " excluded.prt " + eighty + ".\n    " + eighty + " config.prt";
    EXPECT_EQ(text_of(11, 0), whole);

    char small[20];
    error_text(11, 0, small, sizeof small);
    EXPECT_EQ(std::string(small), whole.substr(0, 19));

    // The record still carries the whole translated text.
    Reply reply;
    report_error(11, 0);
    EXPECT_NE(h.read("morvel/error.prt").find(whole), std::string::npos);
}

TEST(ErrorReports, LineErrorOfConfigIsRecordedAndMailedOnce)
{
    HostDir h;
    with_host_info();
    with_sysops({"SYSOP"});
    as_station("N0CALL", 0, 3);
    Reply reply;
    report_error(ERR_CONFIG_LINE, 12);

    const std::string line = "*** ERROR 0015: Incorrect data in line 12 (config.prt)";
    EXPECT_EQ(h.read("morvel/error.prt"), record("N0CALL-0", 3, line));
    EXPECT_EQ(h.read(MAIL_IMPORT), error_mail("SYSOP", "N0CALL-0", 3, line));
    EXPECT_TRUE(h.exists("morvel/ERROR5.TMP"));
    EXPECT_FALSE(h.exists(MAIL_LOCK));
    EXPECT_EQ(report_verdict(), 0);
    EXPECT_STREQ(reply.text, "");

    // Again before the marker is removed: the record is rewritten, nobody is mailed.
    as_station("N0CALL", 7, 2);
    report_error(ERR_CONFIG_LINE, 40);
    EXPECT_EQ(h.read("morvel/error.prt"),
              record("N0CALL-7", 2, "*** ERROR 0015: Incorrect data in line 40 (config.prt)"));
    EXPECT_EQ(h.read(MAIL_IMPORT), error_mail("SYSOP", "N0CALL-0", 3, line));

    // Once the marker is gone the next failure is mailed again.
    clear_error_marker(ERR_CONFIG_LINE);
    EXPECT_FALSE(h.exists("morvel/ERROR5.TMP"));
    report_error(ERR_CONFIG_LINE, 40);
    EXPECT_EQ(h.read(MAIL_IMPORT), error_mail("SYSOP", "N0CALL-0", 3, line) +
                                       error_mail("SYSOP", "N0CALL-7", 2,
                                                  "*** ERROR 0015: Incorrect data in line 40 (config.prt)"));
}

TEST(ErrorReports, CodeFollowsTheDigits001Directly)
{
    HostDir h;
    with_host_info();
    with_sysops({"N0SYS"});
    as_station("N0CALL", 1, -1);
    Reply reply;
    report_error(ERR_STATE_FILE, 0);
    EXPECT_EQ(h.read("morvel/error.prt"),
              record("N0CALL-1", -1, "*** ERROR 00110: Unable to open temporal user file"));
}

// error.prt's reader gives back what the reporter wrote: the code, the
// whole text (two lines for codes 2, 8 and 11), the time stamp, the station
// and its port, in English or translated; a file that holds no record, or
// none, is told apart.
TEST(ErrorReports, RecordReadsBackAsWritten)
{
    HostDir h;
    with_host_info();
    with_sysops({"N0SYS"});
    struct { int code, detail; const char *callsign; int ssid, port; const char *label; } rows[] = {
        {5, 12, "N0CALL", 0, 3, nullptr},
        {11, 0, "N0AB", 15, -1, nullptr},
        {10, 0, "N0CALL", 7, 0, "Indicativo conectado"},
        {4, 0, "N0TBL", 2, 4, "Estaci\xf3n: conectada"},
    };
    for (const auto &r : rows) {
        if (r.label)
            copy_text(message_table[MSG_CONNECTED_CALLSIGN], MESSAGE_SIZE, r.label);
        as_station(r.callsign, r.ssid, r.port);
        report_error((uint16_t)r.code, (uint16_t)r.detail);
        ErrorRecord got;
        ASSERT_EQ(read_error_record(&got), 1) << r.code;
        EXPECT_EQ(got.code, r.code);
        EXPECT_EQ(std::string(got.text), text_of(r.code, r.detail));
        EXPECT_STREQ(got.time_stamp, "21:30:05 08-12-2026");
        EXPECT_EQ(std::string(got.station), std::string(r.callsign) + "-" + std::to_string(r.ssid));
        EXPECT_EQ(got.port, r.port);
    }
    ErrorRecord none;
    h.write("morvel/error.prt", "not a record\n");
    EXPECT_EQ(read_error_record(&none), -1);
    h.remove("morvel/error.prt");
    EXPECT_EQ(read_error_record(&none), 0);
}

TEST(ErrorReports, EachSysopGetsOneMessageInOrder)
{
    HostDir h;
    with_host_info();
    with_sysops({"N0SYS", "N1SYS"});
    as_station("N0CALL", 1, 4);
    Reply reply;
    report_error(ERR_NO_MEMORY, 0);
    const std::string line = "*** ERROR 00113: Insufficient memory";
    EXPECT_EQ(h.read(MAIL_IMPORT),
              error_mail("N0SYS", "N0CALL-1", 4, line) + error_mail("N1SYS", "N0CALL-1", 4, line));
}

TEST(ErrorReports, WithoutSysopsTheHostSysopStandsIn)
{
    HostDir h;
    with_host_info();
    with_sysops({});
    as_station("N0CALL", 0, 3);
    Reply reply;
    report_error(ERR_NO_OPEN_TEXT, 0);
    EXPECT_EQ(filter_config.sysop_count, 1);
    EXPECT_STREQ(filter_config.sysop_calls[0], "N0SYS");
    EXPECT_EQ(h.read(MAIL_IMPORT).substr(0, 22), "#\nSP N0SYS < MORVEL\nER");
}

TEST(ErrorReports, WithoutStartUpFileTheRecipientIsSysopAndNoMailGoesOut)
{
    HostDir h;
    h.remove("init.srv");
    with_sysops({});
    as_station("N0CALL", 0, 3);
    Reply reply;
    report_error(ERR_NO_OPEN_TEXT, 0);
    EXPECT_EQ(filter_config.sysop_count, 1);
    EXPECT_STREQ(filter_config.sysop_calls[0], "SYSOP");
    EXPECT_TRUE(h.exists("morvel/ERROR8.TMP"));
    EXPECT_TRUE(h.list("mail").empty());
    // The start-up file's own error is what error.prt shows last.
    EXPECT_NE(h.read("morvel/error.prt").find("File init.srv not found."), std::string::npos);
}

TEST(ErrorReports, BeforeConfigIsReadTheMarkerIsMadeButNoMailIsSent)
{
    HostDir h;
    with_host_info();
    as_station("N0CALL", 0, 3);
    Reply reply;
    report_error(ERR_NO_CONFIG, 0);
    EXPECT_TRUE(h.exists("morvel/ERROR3.TMP"));
    EXPECT_FALSE(h.exists(MAIL_IMPORT));

    // The marker keeps that failure from being mailed later as well.
    with_sysops({"N0SYS"});
    report_error(ERR_NO_CONFIG, 0);
    EXPECT_FALSE(h.exists(MAIL_IMPORT));
}

// Error 1 is never mailed: without the start-up file no mail can go. Error
// 2 goes through the mail drop each time it is reported (its callers report
// it once per trouble), with no marker.
TEST(ErrorReports, StartUpErrorLeavesOnlyErrorPrtAndMailErrorIsMailedWithoutMarker)
{
    for (int code : {ERR_NO_STARTUP_FILE, ERR_NO_MAIL}) {
        HostDir h;
        with_host_info();
        with_sysops({"N0SYS"});
        as_station("N0CALL", 0, 3);
        Reply reply;
        report_error((uint16_t)code, 0);
        report_error((uint16_t)code, 0);
        std::vector<std::string> files = {"error.prt"};
        if (code == ERR_NO_MAIL)
            files.push_back("morvel.lck");   // the lock of the filter's files, taken for the mail
        EXPECT_EQ(h.list("morvel"), files) << code;
        std::string mail = h.exists(MAIL_IMPORT) ? h.read(MAIL_IMPORT) : "";
        EXPECT_EQ(count_lines(mail, "ERROR detected!"), code == ERR_NO_MAIL ? 2 : 0) << code;
        EXPECT_EQ(report_verdict(), 0) << code;
    }
}

TEST(ErrorReports, MarkerPathAndRemoval)
{
    HostDir h;
    char path[FILTER_PATH_MAX];
    EXPECT_STREQ(error_marker_path(path, 5), "morvel\\ERROR5.TMP");
    EXPECT_STREQ(error_marker_path(path, 13), "morvel\\ERROR13.TMP");
    clear_error_marker(9);   // none there: no error
    h.write("morvel/ERROR9.TMP", "");
    clear_error_marker(9);
    EXPECT_FALSE(h.exists("morvel/ERROR9.TMP"));
}

// Codes 4 and 7 refuse until the operation that met them has run the port's
// method (tests/across_calls_test.cpp); the reporter only marks it due.
TEST(ErrorReports, VerdictOfEachCode)
{
    struct { int code; int verdict; bool port_method_due; } cases[] = {
        {1, 0, false},  {2, 0, false},  {3, 0, false},  {5, 0, false}, {6, 0, false},
        {8, 0, false},  {9, 2, false},  {10, 2, false}, {11, 2, false}, {13, 0, false},
        {0, 0, false},  {12, 0, false}, {99, 0, false}, {4, 2, true},  {7, 2, true},
    };
    for (const auto &c : cases) {
        HostDir h;
        with_host_info();
        with_sysops({"N0SYS"});
        filter_config.port_method = METHOD_READONLY;
        as_station("N0CALL", 0, 3);
        verdict = 99;
        Reply reply;
        report_error((uint16_t)c.code, 1);
        EXPECT_EQ(report_verdict(), c.verdict) << "code " << c.code;
        EXPECT_EQ(verdict, 99) << "the reporter leaves the verdict to its caller, code " << c.code;
        EXPECT_EQ(take_port_method_due(), c.port_method_due) << "code " << c.code;
        EXPECT_FALSE(take_port_method_due()) << "taken once, code " << c.code;
        EXPECT_STREQ(reply.text, "") << "the reporter runs no method, code " << c.code;
    }
}

// A failing disk must not turn a refusal into an admission: without
// error.prt there is no marker and no mail, but the code's outcome stands.
TEST(ErrorReports, UnwritableErrorPrtKeepsTheOutcomeAndDoesNothingElse)
{
    const struct {
        int code;
        int verdict;
        bool port_method_due;
    } rows[] = {{4, 2, true}, {7, 2, true}, {9, 2, false}, {10, 2, false}, {11, 2, false}, {5, 0, false}};
    for (const auto &row : rows) {
        HostDir h;
        with_host_info();
        with_sysops({"N0SYS"});
        filter_config.port_method = METHOD_CLOSED;
        as_station("N0CALL", 0, 3);
        plat_test_fail_open("morvel\\error.prt");
        verdict = 99;
        Reply reply;
        report_error((uint16_t)row.code, 1);
        EXPECT_EQ(report_verdict(), row.verdict) << row.code;
        EXPECT_EQ(verdict, 99) << row.code;
        EXPECT_EQ(take_port_method_due(), row.port_method_due) << row.code;
        EXPECT_TRUE(h.list("morvel").empty()) << row.code;
        EXPECT_TRUE(h.list("mail").empty()) << row.code;
        EXPECT_STREQ(reply.text, "") << row.code;
    }
}

// Through the entry point: an answer with no challenge waiting for it is
// refused even when the error cannot be recorded.
TEST(ErrorReports, AnswerWithoutChallengeIsRefusedWhenErrorPrtFails)
{
    HostDir h;
    h.write_basic_config({"3 OPEN"});
    plat_test_fail_open("morvel\\error.prt");
    EXPECT_EQ(h.answer("N0CALL-1", 1, "AAAAA", 3).result, 2);
    EXPECT_FALSE(h.exists("morvel/error.prt"));
}

// Through the real entry point: a config.prt that was read once and then
// broken by an edit is mailed on its first failure only.
TEST(ErrorReports, BrokenConfigIsMailedOnceThroughSvcMain)
{
    HostDir h;
    h.write_basic_config({"3 OPEN"});
    EXPECT_EQ(h.connect("N0CALL-0", 3).result, 0);
    EXPECT_FALSE(h.exists("morvel/error.prt"));

    // Physical line 12 of config.prt: the mail_new_user switch.
    std::vector<std::string> lines = {"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO",
                                      "NO", "NO", "MAYBE", "NO", "NO", "NO", "3 OPEN"};
    h.write_config(lines);
    EXPECT_EQ(h.connect("N0CALL-0", 3).result, 0);
    const std::string line = "*** ERROR 0015: Incorrect data in line 12 (config.prt)";
    EXPECT_EQ(h.read("morvel/error.prt"), record("N0CALL-0", 3, line));
    EXPECT_EQ(h.read(MAIL_IMPORT), error_mail("N0SYS", "N0CALL-0", 3, line));
    EXPECT_TRUE(h.exists("morvel/ERROR5.TMP"));

    EXPECT_EQ(h.connect("N0CALL-1", 3).result, 0);
    EXPECT_EQ(h.read(MAIL_IMPORT), error_mail("N0SYS", "N0CALL-0", 3, line));
    EXPECT_NE(h.read("morvel/error.prt").find("N0CALL-1"), std::string::npos);

    // Mended: the marker goes, so the next fault is news again.
    h.write_basic_config({"3 OPEN"});
    h.connect("N0CALL-0", 3);
    EXPECT_FALSE(h.exists("morvel/ERROR5.TMP"));
}
