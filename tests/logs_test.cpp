// The attempt logs and the connection logs: header, entry line, file names by
// period, station logs chosen by logusr.prt.
#include "config/messages.h"
#include "platform/platform.h"
#include "report/logs.h"
#include "support/host_dir.h"
#include "support/report_fixture.h"

#include <gtest/gtest.h>

static const std::string COLUMNS =
    std::string(9, ' ') + "CALLSIGN" + std::string(9, ' ') + "PORT" + std::string(10, ' ') + "TIME" +
    std::string(16, ' ') + "DATE";

static std::string header(const std::string &title)
{
    return "\n[MORVEL v4.0] - " + title + ":\n\n" + COLUMNS + "\n   " + std::string(69, '=') + "\n";
}

static std::string entry(const std::string &station, const std::string &port)
{
    return std::string(9, ' ') + station + std::string(8, ' ') + port + std::string(9, ' ') + "21:30:05,27" +
           std::string(9, ' ') + "08-12-2026\n";
}

TEST(Logs, AttemptLogsStartWithTheirHeaderThenOneLinePerEntry)
{
    HostDir h;
    as_station("N0CALL", 0, 3);
    write_attempt_log(LOG_FAILED_PASSWORDS);
    as_station("N0CAL", 12, -5);
    write_attempt_log(LOG_FAILED_PASSWORDS);
    EXPECT_EQ(h.read("morvel/lognopas.prt"), header("Log of failed password attemps") +
                                                  entry("N0CALL-0 ", " 3") + entry("N0CAL -12", "-5"));

    write_attempt_log(LOG_EXCLUDED);
    EXPECT_EQ(h.read("morvel/logexcld.prt"),
              header("Log of not autorized connection attemps") + entry("N0CAL -12", "-5"));
}

TEST(Logs, EntryLineOfTheExample)
{
    HostDir h;
    as_station("N0CALL", 0, 3);
    write_attempt_log(LOG_EXCLUDED);
    std::string text = h.read("morvel/logexcld.prt");
    std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_EQ(last, "         N0CALL-0          3         21:30:05,27         08-12-2026\n");
}

TEST(Logs, ColumnHeaderCentresTranslatedLabels)
{
    HostDir h;
    char line[400];
    log_column_header(line, sizeof line);
    EXPECT_EQ(std::string(line), COLUMNS);

    // "Indicativo" (10) starts at 13 - 5; a label longer than twice its centre
    // gets no padding and follows the previous one directly.
    copy_text(message_table[MSG_CALLSIGN], MESSAGE_SIZE, "Indicativo");
    copy_text(message_table[MSG_PORT], MESSAGE_SIZE, std::string(60, 'p').c_str());
    copy_text(message_table[MSG_TIME], MESSAGE_SIZE, "hora");
    log_column_header(line, sizeof line);
    EXPECT_EQ(std::string(line), std::string(8, ' ') + "INDICATIVO" + std::string(60, 'P') + "HORADATE");

    char small[12];
    copy_text(message_table[MSG_CALLSIGN], MESSAGE_SIZE, "Callsign");
    log_column_header(small, sizeof small);
    EXPECT_STREQ(small, "         CA");
}

struct GeneralLogCase {
    uint16_t flags;
    int year, month, day;
    const char *file;
};

TEST(Logs, GeneralLogFileByPeriodFromTheCallsLocalTime)
{
    const GeneralLogCase cases[] = {
        {0, 2026, 12, 8, "logcnx.prt"},
        {LOG_WEEKLY, 2026, 12, 8, "logcnx49.prt"},
        {LOG_MONTHLY, 2026, 12, 8, "logcnx12.prt"},
        {LOG_DAILY, 2026, 12, 8, "logcn342.prt"},
        {LOG_WEEKLY | LOG_MONTHLY | LOG_DAILY, 2026, 12, 8, "logcnx49.prt"},
        {LOG_MONTHLY | LOG_DAILY, 2026, 12, 8, "logcnx12.prt"},
        {LOG_DAILY, 2027, 1, 3, "logcn003.prt"},
        {LOG_WEEKLY, 2027, 1, 3, "logcnx00.prt"},
        {LOG_MONTHLY, 2027, 1, 3, "logcnx01.prt"},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.set_clock(c.year, c.month, c.day, 21, 30, 5, 27);
        filter_config.connection_log_flags = c.flags;
        as_station("N0CALL", 1, 2);
        write_connection_log(LOG_GENERAL);
        EXPECT_EQ(h.list("morvel/logcnx"), std::vector<std::string>{c.file}) << c.file;
        EXPECT_EQ(h.read(std::string("morvel/logcnx/") + c.file).substr(0, 35), "\n[MORVEL v4.0] - Connections log:\n\n")
            << c.file;
    }
}

TEST(Logs, ConsoleConnectionsOnlyWithC)
{
    HostDir h;
    as_station("N0CALL", 0, 0);
    filter_config.connection_log_flags = LOG_DAILY;
    write_connection_log(LOG_GENERAL);
    EXPECT_FALSE(h.exists("morvel/logcnx"));

    filter_config.connection_log_flags = LOG_CONSOLE | LOG_DAILY;
    write_connection_log(LOG_GENERAL);
    EXPECT_TRUE(h.exists("morvel/logcnx/logcn342.prt"));
}

struct StationLogCase {
    const char *logusr;
    const char *station;
    int ssid, port;
    const char *file;   // under morvel/logcnx, or null for no log
};

TEST(Logs, StationLogsFollowLogusr)
{
    const StationLogCase cases[] = {
        {"N0CALL-1 W\n", "N0CALL", 1, 3, "N0CALL49.log"},
        {"N0CALL-1 W\n", "N0CALL", 2, 3, nullptr},
        {"N0CALL M\n", "N0CALL", 2, 3, "N0CALL12.log"},
        {"N0CALL M\n", "N0CALL", 0, 3, "N0CALL12.log"},
        {"N0CALL\n", "N0CALL", 0, 3, "N0CALL.log"},
        {"N0CALL\n", "N0CALL", 0, 0, nullptr},
        {"N0CALL cw\n", "N0CALL", 0, 0, "N0CALL49.log"},
        {"N0CALL WM\n", "N0CALL", 0, 3, "N0CALL49.log"},
        {"n0call-3 mxz\n", "N0CALL", 3, 3, "N0CALL12.log"},
        {"N0CALL-3 M\n", "n0call", 3, 3, "n0call12.log"},   // found in upper case, named as given
        {"N0CALL-3 XYZ M\n", "N0CALL", 3, 3, "N0CALL.log"},
        {"# N0CALL W\n\nN0CALLX W\nN0CALL-10 W\nN0CALL M\nN0CALL W\n", "N0CALL", 1, 3, "N0CALL12.log"},
        {"N0CALL-1XXXXXXXXXXXXXXXXX M\n", "N0CALL", 1, 3, nullptr},
        {"N1CALL W\n", "N0CALL", 0, 3, nullptr},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write("morvel/logusr.prt", c.logusr);
        h.make_dir("morvel/logcnx");
        as_station(c.station, c.ssid, c.port);
        write_connection_log(LOG_STATION);
        if (c.file)
            EXPECT_EQ(h.list("morvel/logcnx"), std::vector<std::string>{c.file}) << c.logusr;
        else
            EXPECT_TRUE(h.list("morvel/logcnx").empty()) << c.logusr;
    }
}

struct LogUserLineCase {
    const char *line;
    bool station;
    const char *name, *letters;
    uint16_t mode;
};

// One line as the filter and filter-check read it: a name cut at 15
// characters leaves its rest to be read as the letters.
TEST(Logs, LogusrLineIsANameAndOneWordOfLetters)
{
    const LogUserLineCase cases[] = {
        {"n0call-3 mxz\n", true, "N0CALL-3", "MXZ", LOG_MONTHLY},
        {"N0CALL\n", true, "N0CALL", "", 0},
        {"N0CALL C D\n", true, "N0CALL", "C", LOG_CONSOLE},
        {"N0CALL-1XXXXXXXXXXXXXXXXX M\n", true, "N0CALL-1XXXXXXX", "XXXXXXXXXX", 0},
        {" \t \n", false, "", "", 0},
    };
    for (const auto &c : cases) {
        char line[LOG_USER_LINE_SIZE];
        snprintf(line, sizeof line, "%s", c.line);
        LogUserLine entry;
        EXPECT_EQ(parse_log_user_line(line, &entry), c.station) << c.line;
        EXPECT_STREQ(entry.name, c.name) << c.line;
        EXPECT_STREQ(entry.letters, c.letters) << c.line;
        EXPECT_EQ(entry.mode, c.mode) << c.line;
    }
}

TEST(Logs, NoStationLogWithoutLogusr)
{
    HostDir h;
    as_station("N0CALL", 0, 3);
    uint16_t mode = 99;
    EXPECT_FALSE(user_log_mode(&mode));
    write_connection_log(LOG_STATION);
    EXPECT_TRUE(h.list("morvel").empty());
}

TEST(Logs, StationDayDirectoryOnlyUnderAnExistingLogcnx)
{
    HostDir h;
    h.write("morvel/logusr.prt", "N0CALL D\n");
    as_station("N0CALL", 1, 3);
    write_connection_log(LOG_STATION);
    EXPECT_FALSE(h.exists("morvel/logcnx"));

    h.make_dir("morvel/logcnx");
    write_connection_log(LOG_STATION);
    write_connection_log(LOG_STATION);
    EXPECT_EQ(h.read("morvel/logcnx/N0CALL/342.log"),
              header("Connections log") + entry("N0CALL-1 ", " 3") + entry("N0CALL-1 ", " 3"));
}

TEST(Logs, UnwritableLogIsSilent)
{
    HostDir h;
    as_station("N0CALL", 0, 3);
    plat_test_fail_open("morvel\\lognopas.prt");
    write_attempt_log(LOG_FAILED_PASSWORDS);
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{"morvel.lck"}) << "only the lock of the filter's files";
    h.write("morvel/logcnx", "a file where the directory should be");
    write_connection_log(LOG_GENERAL);
    EXPECT_EQ(h.read("morvel/logcnx"), "a file where the directory should be");
}

// Through the real entry point: admitted calls are logged, refused ones are not.
TEST(Logs, AdmittedConnectionsAreLoggedThroughSvcMain)
{
    HostDir h;
    h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "OK D", "NO",
                    "NO", "3 OPEN", "4 EXCLUDED"});
    h.write("morvel/logusr.prt", "N0CALL W\n");
    EXPECT_EQ(h.connect("N0CALL-1", 3).result, 0);
    EXPECT_EQ(h.connect("N0CALL-1", 4).result, 2);
    EXPECT_EQ(h.read("morvel/logcnx/logcn342.prt"), header("Connections log") + entry("N0CALL-1 ", " 3"));
    EXPECT_EQ(h.read("morvel/logcnx/N0CALL49.log"), header("Connections log") + entry("N0CALL-1 ", " 3"));
}

struct LetterSumCase {
    const char *letters;
    std::vector<std::string> files;   // under morvel/logcnx: the general log, then the station's
};

// The same letters in config.prt's line 12 and in logusr.prt give the same
// mode, their values added up: a letter written twice is worth the next one.
TEST(Logs, ModeLettersAreAddedUpInConfigAndLogusrAlike)
{
    const LetterSumCase cases[] = {
        {"D", {"N0CALL", "logcn342.prt"}},           // 2: daily
        {"DD", {"N0CALL49.log", "logcnx49.prt"}},    // 4: weekly
        {"WW", {"N0CALL12.log", "logcnx12.prt"}},    // 8: monthly
        {"DW", {"N0CALL49.log", "logcnx49.prt"}},    // 6: weekly wins over daily
        {"MM", {"N0CALL.log", "logcnx.prt"}},        // 16: no period flag, one file
        {"CC", {"N0CALL", "logcn342.prt"}},          // 2: daily, and no console flag
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO",
                        std::string("OK ") + c.letters, "NO", "NO", "0 OPEN", "3 OPEN"});
        h.write("morvel/logusr.prt", std::string("N0CALL ") + c.letters + "\n");
        h.make_dir("morvel/logcnx");
        EXPECT_EQ(h.connect("N0CALL-1", 3).result, 0);
        EXPECT_EQ(h.list("morvel/logcnx"), c.files) << c.letters;
        if (std::string(c.letters) == "CC") {
            h.connect("N0CALL-1", 0);
            EXPECT_EQ(h.list("morvel/logcnx"), c.files) << "a console connection is not logged";
        }
    }
}

// The dated reader takes back what format_log_entry wrote, the time and the
// date with it, and no other line of a log: the header, the column header,
// the rule, a line cut short, a date that is none.
TEST(Logs, DatedEntryReadsBackWhatTheWriterWrote)
{
    char line[LOG_ENTRY_MAX];
    LogEntry e;
    format_log_entry(line, sizeof line, "N0CAL", 12, -5, "07:08:09,10", "30-11-2026");
    ASSERT_TRUE(read_dated_log_entry(line, &e)) << line;
    EXPECT_STREQ(e.callsign, "N0CAL");
    EXPECT_EQ(e.ssid, 12);
    EXPECT_EQ(e.port, -5);
    EXPECT_EQ(e.hour * 10000 + e.minute * 100 + e.second, 70809);
    EXPECT_EQ(e.hundredths, 10);
    EXPECT_EQ(e.year * 10000 + e.month * 100 + e.day, 20261130);
    for (const char *other : {"", "[MORVEL v4.0] - Connections log:", "         CALLSIGN         PORT          TIME",
                              "   =================", "         N0CALL-1          1         21:30:05,27",
                              "         N0CALL-1          1         21:30:05,27         32-12-2026",
                              "         N0CALL-1          1         24:30:05,27         08-12-2026",
                              "         <b>-1          1         21:30:05,27         08-12-2026"})
        EXPECT_FALSE(read_dated_log_entry(other, &e)) << other;
}

// The general log's names in every mode, in any case, and nothing else of logcnx.
TEST(Logs, GeneralLogNamesAreKnownInEveryMode)
{
    for (const char *name : {"logcnx.prt", "LOGCNX.PRT", "logcnx49.prt", "logcnx12.prt", "logcn342.prt", "LogCn001.Prt"})
        EXPECT_TRUE(is_general_log_name(name)) << name;
    for (const char *name : {"logcnx4.prt", "logcn34.prt", "logcnx123.prt", "logcnxab.prt", "logcnx.prt.bak",
                             "N0CALL.log", "N0CALL49.log", "logcnx", "logcn.prt", "342.log", ""})
        EXPECT_FALSE(is_general_log_name(name)) << name;
    EXPECT_STREQ(attempt_log_name(LOG_FAILED_PASSWORDS), "lognopas.prt");
    EXPECT_STREQ(attempt_log_name(LOG_EXCLUDED), "logexcld.prt");
}
