// config.prt as sysops write it: option lines, port lines, and the mistakes
// that are reported with their physical line number.
#include "common/filter_dir.h"
#include "config/filter_config.h"
#include "config/messages.h"
#include "filter/connection.h"
#include "support/host_dir.h"
#include "support/reported_error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

// config_text - the 14 option lines of a quiet configuration with some roles
// changed, then the port lines.
static std::string config_text(const std::map<int, std::string> &changes,
                               const std::vector<std::string> &ports = {})
{
    static const char *const quiet[14] = {"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO",
                                          "NO", "NO", "NO", "NO", "NO", "NO", "NO"};
    std::string s;
    for (int role = 1; role <= 14; role++) {
        auto c = changes.find(role);
        s += (c == changes.end() ? std::string(quiet[role - 1]) : c->second) + "\n";
    }
    for (const auto &p : ports)
        s += p + "\n";
    return s;
}

struct ConfigCase {
    const char *name;
    std::string earlier;   // a file read before, "" for none
    std::string file;
    int port;
    int result;
    int error_line;        // of error 5, 0 for none
    std::function<void()> check;
};

static const FilterConfig &c = filter_config;

static void run_cases(const std::vector<ConfigCase> &cases)
{
    for (const auto &k : cases) {
        SCOPED_TRACE(k.name);
        HostDir h;
        connection_info.port = (int8_t)k.port;
        if (!k.earlier.empty()) {
            h.write("morvel/config.prt", k.earlier);
            ASSERT_GE(load_filter_config(), 0) << k.name << ": the earlier file";
        }
        h.write("morvel/config.prt", k.file);
        EXPECT_EQ(load_filter_config(), k.result) << k.name;
        if (k.error_line) {
            EXPECT_TRUE(reported(h, 5, k.error_line)) << k.name;
        } else {
            EXPECT_TRUE(nothing_reported(h)) << k.name;
            EXPECT_TRUE(c.config_loaded) << k.name;
        }
        if (k.check)
            k.check();
    }
}

TEST(FilterConfig, OptionLines)
{
    run_cases({
        {"a quiet file", "", config_text({}), 1, 0, 0,
         [] {
             EXPECT_STREQ(c.language_file, "**");
             EXPECT_EQ(c.sysop_count, 1);
             EXPECT_STREQ(c.sysop_calls[0], "N0SYS");
             EXPECT_EQ(c.max_attempts, 3);
             EXPECT_STREQ(c.password_prompt, "PASSWORD>");
             EXPECT_FALSE(c.send_intro_text);
         }},
        {"lower-case flags", "", config_text({{5, "ok"}, {11, "oK then"}, {14, "ok"}}), 1, 0, 0,
         [] {
             EXPECT_TRUE(c.texts_by_language);
             EXPECT_TRUE(c.mail_new_user);
             EXPECT_TRUE(c.log_password_failures);
             EXPECT_FALSE(c.send_open_text);
         }},
        {"sysop callsigns cut at six, the rest a callsign of its own", "",
         config_text({{2, "n0call-1 n0abc"}}), 1, 0, 0,
         [] {
             EXPECT_EQ(c.sysop_count, 3);
             EXPECT_STREQ(c.sysop_calls[0], "N0CALL");
             EXPECT_STREQ(c.sysop_calls[1], "-1");
             EXPECT_STREQ(c.sysop_calls[2], "N0ABC");
         }},
        {"fewer sysops leave the higher slots as they were", config_text({{2, "A1 B2 C3 D4 E5 F6"}}),
         config_text({{2, "N0NEW"}}), 1, 0, 0,
         [] {
             EXPECT_EQ(c.sysop_count, 1);
             EXPECT_STREQ(c.sysop_calls[0], "N0NEW");
             EXPECT_STREQ(c.sysop_calls[4], "E5");
         }},
        {"a prompt keeps its blanks and case", "", config_text({{4, "  Your password, please> "}}), 1, 0, 0,
         [] { EXPECT_STREQ(c.password_prompt, "  Your password, please> "); }},
        {"a prompt of blanks", "", config_text({{4, "   "}}), 1, 0, 0,
         [] { EXPECT_STREQ(c.password_prompt, "   "); }},
        {"a prompt cut at 80", "", config_text({{4, std::string(85, 'p')}}), 1, 0, 0,
         [] { EXPECT_EQ(std::string(c.password_prompt), std::string(80, 'p')); }},
        {"OKAY reads as OK and its rest as letters", config_text({{9, "OK XS"}, {10, "OK TM"}, {12, "OK CW"}}),
         config_text({{9, "OKAY"}, {10, "okay"}, {12, "OKAY"}}), 1, 0, 0,
         [] {
             EXPECT_TRUE(c.send_intro_text);
             EXPECT_EQ(c.intro_exceptions, 0);
             EXPECT_TRUE(c.new_user_welcome);
             EXPECT_EQ(c.new_user_actions, 0);
             EXPECT_TRUE(c.connection_log);
             EXPECT_EQ(c.connection_log_flags, 0);
         }},
        {"letters of lines 9, 10 and 12", "", config_text({{9, "ok xsn"}, {10, "NO t"}, {12, "OK cdwm"}}), 1, 0,
         0,
         [] {
             EXPECT_EQ(c.intro_exceptions, INTRO_EXCEPT_X | INTRO_EXCEPT_S | INTRO_EXCEPT_N);
             EXPECT_FALSE(c.new_user_welcome);
             EXPECT_EQ(c.new_user_actions, NEW_USER_TEXT);
             EXPECT_EQ(c.connection_log_flags, LOG_CONSOLE | LOG_DAILY | LOG_WEEKLY | LOG_MONTHLY);
         }},
        {"line 12 letters are cut at 11 characters", "", config_text({{12, "OK xxxxxxxxxxW"}}), 1, 0, 0,
         [] { EXPECT_EQ(c.connection_log_flags, LOG_WEEKLY); }},
        {"a twelfth letter on line 12 is not read", "", config_text({{12, "OK xxxxxxxxxxxW"}}), 1, 0, 0,
         [] { EXPECT_EQ(c.connection_log_flags, 0); }},
        {"a flag without letters keeps the word", config_text({{9, "OK XS"}}), config_text({{9, "NO"}}), 1, 0, 0,
         [] {
             EXPECT_FALSE(c.send_intro_text);
             EXPECT_EQ(c.intro_exceptions, 3);
         }},
    });
}

static std::function<void()> policy(int attempts, int word)
{
    return [=] {
        EXPECT_EQ(c.max_attempts, attempts);
        EXPECT_EQ(c.challenge_policy, word);
    };
}

TEST(FilterConfig, AttemptsAndChallengePolicy)
{
    const std::string earlier = config_text({{3, "3 RH"}});
    run_cases({
        {"only the digit clears the word", earlier, config_text({{3, "4"}}), 1, 0, 0, policy(4, 0)},
        {"10 is one attempt and the letters 0", earlier, config_text({{3, "10"}}), 1, 0, 0, policy(1, 0)},
        {"each letter adds its value", "", config_text({{3, "3 RR"}}), 1, 0, 0, policy(3, 4)},
        {"C of field 3 only while field 2 has none", "", config_text({{3, "3 C C"}}), 1, 0, 0, policy(3, 1)},
        {"C of field 3 alone", "", config_text({{3, "2 r c"}}), 1, 0, 0, policy(2, 3)},
        {"every letter", "", config_text({{3, "5 CRH CRHDN"}}), 1, 0, 0, policy(5, 1 + 2 + 4 + 8 + 16 + 32 + 64)},
        {"other characters are ignored", "", config_text({{3, "1 x- xh"}}), 1, 0, 0, policy(1, 16)},
        {"digit 0 fails and is kept", earlier, config_text({{3, "0 R"}}), 1, -1, 3, policy(0, 6)},
        {"digit 6 fails and is kept", earlier, config_text({{3, "6"}}), 1, -1, 3, policy(6, 6)},
        {"no digit fails", earlier, config_text({{3, "x"}}), 1, -1, 3, policy(3, 6)},
    });
}

TEST(FilterConfig, ReadingEndingEarlyKeepsLaterFields)
{
    const std::string earlier = config_text({{3, "3 RH"}, {9, "OK XS"}, {13, "OK"}}, {"1 CLOSED"});
    run_cases({
        {"a file of three lines", earlier, "**\nN0ABC\n3\n", 1, 0, 0,
         [] {
             EXPECT_STREQ(c.sysop_calls[0], "N0ABC");
             EXPECT_EQ(c.challenge_policy, 0);
             EXPECT_TRUE(c.send_intro_text);
             EXPECT_EQ(c.intro_exceptions, 3);
             EXPECT_TRUE(c.log_exclusions);
             EXPECT_EQ(c.port_method, METHOD_CLOSED);
         }},
        {"only comments and empty lines change nothing", earlier, "# nothing\n\n#\n", 1, 0, 0,
         [] {
             EXPECT_STREQ(c.sysop_calls[0], "N0SYS");
             EXPECT_EQ(c.challenge_policy, 6);
         }},
        {"a wrong line stops the reading", earlier, config_text({{2, "N0NEW"}, {6, "maybe"}, {13, "NO"}}), 1, -1,
         6,
         [] {
             EXPECT_STREQ(c.sysop_calls[0], "N0NEW");
             EXPECT_TRUE(c.log_exclusions);
             EXPECT_TRUE(c.config_loaded) << "set by the earlier reading, never cleared";
         }},
    });
}

TEST(FilterConfig, FaultsAreReportedWithPhysicalLineNumbers)
{
    run_cases({
        {"a comment first and no callsign", "", "# sysop's file\n**\n \n", 1, -1, 3, nullptr},
        {"empty lines and comments count", "", "\n\n# a\n**\nN0SYS\n#\n\n   \n", 1, -1, 8, nullptr},
        {"line 1 of blanks", "", " \t\n", 1, -1, 1, nullptr},
        {"a flag that is neither OK nor NO", "", "#\n" + config_text({{14, "YES"}}), 1, -1, 15, nullptr},
        {"a flag of blanks", "", config_text({{9, "  "}}), 1, -1, 9, nullptr},
        {"an unknown flag on a letters line", "", config_text({{10, "ON TM"}}), 1, -1, 10, nullptr},
        {"a port line with one field", "", config_text({}, {"1"}), 1, -1, 15, nullptr},
        {"an unknown method keyword", "", config_text({}, {"1 OPENED"}), 1, -1, 15,
         [] { EXPECT_EQ(c.port_method, 255); }},
        {"an unknown port name", "", config_text({}, {"2 OPEN", "145.000 OPEN"}), 1, -1, 16, nullptr},
        {"TODOS is a name like any other here", "", config_text({}, {"TODOS OPEN"}), 1, -1, 15, nullptr},
    });
}

TEST(FilterConfig, PortLineMethodsWithoutPasswordOnly)
{
    std::vector<ConfigCase> cases;
    for (const char *m : {"MD5", "md5", "6", "MD2", "FIXED", "5", "FLEXNET", "GUEST", "0", "15", "-1"})
        cases.push_back({m, "", config_text({}, {"# ports", std::string("1 ") + m}), 1, -1, 16, nullptr});
    for (const char *m : {"ABIERTO", "closed", "3", "bbs", "SOLOLEER", "12", "HOLD", "08"})
        cases.push_back({m, "", config_text({}, {std::string("1 ") + m}), 1, 1, 0, nullptr});
    run_cases(cases);
}

static std::function<void()> method_is(int method)
{
    return [=] { EXPECT_EQ(c.port_method, method); };
}

TEST(FilterConfig, PortLinesFindTheConnectionsPort)
{
    run_cases({
        {"the first matching line wins", "", config_text({}, {"2 HOLD", "1 CLOSED", "1 OPEN"}), 1, 1, 0,
         method_is(METHOD_CLOSED)},
        {"no later line is read", "", config_text({}, {"1 CLOSED", "1 MD5", "1"}), 1, 1, 0,
         method_is(METHOD_CLOSED)},
        {"no line for the port leaves the last method", "", config_text({}, {"1 CLOSED", "2 HOLD"}), 3, 0, 0,
         method_is(METHOD_HOLD)},
        {"port names through the port file", "", config_text({}, {"144.800 closed", "vhf excluido"}), 3, 1, 0,
         method_is(METHOD_EXCLUDED)},
        {"CONSOLE is port 0", "", config_text({}, {"1 OPEN", "CONSOLE SOLOLEER"}), 0, 1, 0,
         method_is(METHOD_READONLY)},
        {"0 is port 0", "", config_text({}, {"0 RETENIDOS"}), 0, 1, 0, method_is(METHOD_HOLD)},
        {"two-character tokens are numbers", "", config_text({}, {"HF CLOSED"}), 0, 1, 0,
         method_is(METHOD_CLOSED)},
        {"a signed number", "", config_text({}, {"+2 BBS"}), 2, 1, 0, method_is(METHOD_BBS)},
        {"a port line with more fields", "", config_text({}, {"\t433.500   CERRADO  the UHF port"}), 2, 1, 0,
         method_is(METHOD_CLOSED)},
    });
}

TEST(FilterConfig, LongLinesContinueAsFurtherLines)
{
    const std::string comment99 = "#" + std::string(98, 'c');
    const std::string comment100 = "#" + std::string(99, 'c');
    run_cases({
        {"99 characters and an empty piece", "", comment99 + "\n**\nN0SYS\n \n", 1, -1, 5, nullptr},
        {"100 characters give a significant rest", "", comment100 + "\nN0SYS\n3\n", 1, 0, 0,
         [] {
             EXPECT_STREQ(c.language_file, "c");
             EXPECT_STREQ(c.sysop_calls[0], "N0SYS");
         }},
        {"a long port line", "", config_text({}, {"1 CLOSED " + std::string(95, 'x') + "OPEN"}), 1, 1, 0,
         method_is(METHOD_CLOSED)},
        {"the rest of a long port line is a port line", "",
         config_text({}, {"2 CLOSED " + std::string(90, 'x') + "1 HOLD"}), 1, 1, 0, method_is(METHOD_HOLD)},
    });
}

// twenty_nine - a language file of 29 texts.
static std::string twenty_nine(const std::string &prefix)
{
    std::string s;
    for (int i = 1; i <= 29; i++)
        s += prefix + std::to_string(i) + "\n";
    return s;
}

TEST(FilterConfig, LanguageFileOfLineOne)
{
    const std::string long_name = std::string(60, 'L') + "MORE";
    run_cases({
        {"a name over 60 characters is cut", "", config_text({{1, long_name}}), 1, 0, 0,
         [] { EXPECT_EQ(std::string(c.language_file), std::string(60, 'L')); }},
    });
    for (const char *name : {"spanish.txt", "s*anish.txt", "*spanish.txt", "**"}) {
        HostDir h;
        h.write(std::string("morvel/") + name, twenty_nine("S"));
        h.write("morvel/config.prt", config_text({{1, name}}));
        load_filter_config();
        EXPECT_STREQ(c.language_file, name);
        EXPECT_EQ(std::string(msg(1)) == "S1", name[0] != '*' && name[1] != '*') << name;
    }
}

TEST(FilterConfig, WrongLanguageFileDoesNotStopTheReading)
{
    HostDir h;
    h.write("morvel/short.txt", "only\nthree\ntexts\n");
    h.write("morvel/config.prt", config_text({{1, "short.txt"}, {5, "OK"}}, {"1 CLOSED"}));
    connection_info.port = 1;
    EXPECT_EQ(load_filter_config(), 1);
    EXPECT_TRUE(c.texts_by_language);
    EXPECT_EQ(c.port_method, METHOD_CLOSED);
    EXPECT_STREQ(msg(1), "File");
}

TEST(FilterConfig, MissingFileIsError3AndChangesNothing)
{
    HostDir h;
    verdict = VERDICT_REFUSED;
    EXPECT_EQ(load_filter_config(), -1);
    EXPECT_TRUE(reported(h, 3, 0));
    EXPECT_EQ(report_verdict(), VERDICT_ADMITTED);
    EXPECT_EQ(verdict, VERDICT_REFUSED) << "a reader never decides";
    EXPECT_FALSE(c.config_loaded);
    EXPECT_EQ(c.max_attempts, 3);
}

// Each option line is found by its place: a row out of order would read
// line 9's letters into line 10's word. The load-time values are what the
// rows' default lines read as.
TEST(FilterConfig, OptionRowsStandAtTheirRolesWithTheirDefaults)
{
    HostDir h;
    for (int role = 1; role <= CONFIG_OPTION_LINES; role++) {
        ASSERT_NE(config_option(role), nullptr) << role;
        EXPECT_EQ(config_option(role)->role, role);
    }
    EXPECT_EQ(config_option(0), nullptr);
    EXPECT_EQ(config_option(CONFIG_OPTION_LINES + 1), nullptr) << "a port line";
    EXPECT_STREQ(c.language_file, "**");
    EXPECT_EQ(c.sysop_count, 0);
    EXPECT_EQ(c.max_attempts, 3);
    EXPECT_EQ(c.challenge_policy, 0);
    EXPECT_STREQ(c.password_prompt, "PASSWORD>");
    EXPECT_FALSE(c.send_open_text || c.send_intro_text || c.connection_log || c.log_password_failures);
    EXPECT_EQ(c.port_method, METHOD_OPEN);
    EXPECT_TRUE(nothing_reported(h));
}

TEST(FilterConfig, MethodKeywordsInBothLanguages)
{
    HostDir h;
    const char *const spanish[] = {"ABIERTO",  "CERRADO", "EXCLUIDO", "FRASE",    "NORMAL",
                                   "MD2",      "TABLA",   "BBS",      "FLEXNET",  "FORWARD",
                                   "SOLOLEER", "RETENIDOS", "FORWARD5", "GUEST"};
    const char *const english[] = {"OPEN",     "CLOSED", "EXCLUDED", "FIXED",   "NORMAL",
                                   "MD5",      "TABLE",  "BBS",      "FLEXNET", "FORWARD",
                                   "READONLY", "HOLD",   "FORWARD5", "GUEST"};
    for (int i = 0; i < 14; i++) {
        EXPECT_EQ(method_from_keyword(spanish[i], 1, false), i + 1) << spanish[i];
        EXPECT_EQ(method_from_keyword(english[i], 1, true), i + 1) << english[i];
    }
    EXPECT_TRUE(nothing_reported(h));
    EXPECT_EQ(method_from_keyword("open", 8, false), -1) << "callers upper-case first";
    EXPECT_TRUE(reported(h, 5, 8));
    h.write_basic_config({});   // an error of users.prt makes the reporter read it
    EXPECT_EQ(method_from_keyword("MD4", 21, true), -1);
    EXPECT_TRUE(reported(h, 7, 21));
}

TEST(FilterConfig, MorvelVariableNamesTheDirectory)
{
    HostDir h;
    const struct {
        const char *value;   // null: unset
        const char *path;
    } cases[] = {
        {nullptr, "morvel\\config.prt"},
        {"", "morvel\\config.prt"},
        {"c:\\bbs\\filter\\", "C:\\BBS\\FILTER\\config.prt"},
        {"c:\\bbs\\filter", "C:\\BBS\\FILTER\\config.prt"},
        {"c:\\bbs\\filter\\\\", "C:\\BBS\\FILTER\\\\config.prt"},
        {"d:\\filtro\\é", "D:\\FILTRO\\é\\config.prt"},
    };
    for (const auto &k : cases) {
        if (k.value)
            setenv("MORVEL", k.value, 1);
        else
            unsetenv("MORVEL");
        char path[FILTER_PATH_MAX];
        config_file_path("config.prt", path, sizeof path);
        EXPECT_STREQ(path, k.path) << (k.value ? k.value : "unset");
    }
    setenv("MORVEL", std::string(FILTER_PATH_MAX, 'x').c_str(), 1);
    char path[FILTER_PATH_MAX] = "old";
    config_file_path("config.prt", path, sizeof path);
    EXPECT_STREQ(path, "") << "a path that does not fit opens nothing";
}

TEST(FilterConfig, MorvelVariableFindsTheFileInAnyCase)
{
    HostDir h;
    h.make_dir("config");
    h.write("config/config.prt", config_text({{2, "N0MORV"}}));
    h.write("morvel/config.prt", config_text({{2, "N0HOME"}}));
    // The upper-cased absolute path differs in case from the real one; the
    // platform layer finds it as the host's file system would.
    setenv("MORVEL", (h.root() + "/config\\").c_str(), 1);
    EXPECT_EQ(load_filter_config(), 0);
    EXPECT_STREQ(c.sysop_calls[0], "N0MORV");
    EXPECT_TRUE(nothing_reported(h)) << "error.prt stays in morvel";

    setenv("MORVEL", (h.root() + "/elsewhere\\").c_str(), 1);
    EXPECT_EQ(load_filter_config(), -1);
    EXPECT_TRUE(reported(h, 3, 0));
}

TEST(FilterConfig, ErrorMarkersGoOnceTheFileIsRightAgain)
{
    HostDir h;
    h.write("morvel/ERROR3.TMP", "");
    h.write("morvel/ERROR5.TMP", "");
    h.write("morvel/config.prt", "**\n \n");
    EXPECT_EQ(load_filter_config(), -1);
    EXPECT_FALSE(h.exists("morvel/ERROR3.TMP")) << "the file opened";
    EXPECT_TRUE(h.exists("morvel/ERROR5.TMP")) << "its fault is mailed once";

    h.write_basic_config({"1 OPEN"});
    connection_info.port = 1;
    EXPECT_EQ(load_filter_config(), 1);
    EXPECT_FALSE(h.exists("morvel/ERROR5.TMP"));
}
