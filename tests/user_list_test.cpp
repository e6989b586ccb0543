// users.prt as sysops write it: which entry a station gets, which line of
// it applies to the port, and the mistakes reported with their line number.
#include "config/filter_config.h"
#include "config/user_list.h"
#include "filter/connection.h"
#include "support/host_dir.h"
#include "support/reported_error.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

struct PatternCase {
    const char *pattern;
    const char *key;
    bool match;
};

TEST(UserList, CallsignPatterns)
{
    const PatternCase cases[] = {
        {"N0CALL", "N0CALL", true},       {"N0CALL", "N0CAL", false},       {"N0CAL", "N0CALL", false},
        {"N0C?LL", "N0CALL", true},       {"N0*ALL", "N0CALL", true},       {"N0*ALL", "N0CCALL", false},
        {"N0CALL*", "N0CALL-1", true},    {"N0CALL*", "N0CALL", false},     {"N0*", "N0CALL-15", true},
        {"N0CALL-?", "N0CALL-9", true},   {"N0CALL-?", "N0CALL-10", false}, {"N0CALL-*", "N0CALL-10", true},
        {"*", "N", true},                 {"*", "N0CALL", false},           {"?", "N", true},
        {"", "", true},                   {"", "N", false},                 {"n0call", "N0CALL", false},
        {"*0CALL", "N0CALL", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(match_call_pattern(c.pattern, c.key), c.match) << c.pattern << " / " << c.key;
}

// station - the connection being decided.
static void station(const char *callsign, int ssid, int port)
{
    strcpy(connection_info.callsign, callsign);
    connection_info.ssid = (uint8_t)ssid;
    connection_info.port = (int8_t)port;
}

struct EntryCase {
    const char *name;
    std::string users;
    const char *callsign;
    int ssid, port;
    int result;
    int method;            // after the lookup
    const char *password;  // after the lookup; "" when no line gave one
    int error_line;        // of error 7, 0 for none
};

static void run_cases(const EntryCase *cases, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const EntryCase &k = cases[i];
        SCOPED_TRACE(k.name);
        HostDir h;
        h.write_basic_config({});   // the reporter reads it to find the sysops
        h.write_users(k.users);
        station(k.callsign, k.ssid, k.port);
        // What the lookup of another station left: never part of this one's entry.
        strcpy(user_entry.password, "old");
        user_entry.method = 77;
        EXPECT_EQ(find_user_entry(), k.result);
        EXPECT_EQ(user_entry.method, k.method);
        EXPECT_STREQ(user_entry.password, k.password);
        if (k.error_line) {
            EXPECT_TRUE(reported(h, 7, k.error_line));
        } else {
            EXPECT_TRUE(nothing_reported(h));
        }
    }
}

TEST(UserList, WhichHeaderTheStationGets)
{
    const std::string bare = "N0CALL\n1 NORMAL bare1\n-\n";
    const std::string ssid5 = "N0CALL-5\n1 FIXED ssid5\n-\n";
    const EntryCase cases[] = {
        {"SSID header after the bare one", bare + ssid5, "N0CALL", 5, 1, 1, METHOD_FIXED, "ssid5", 0},
        {"SSID header before the bare one", ssid5 + bare, "N0CALL", 5, 1, 1, METHOD_FIXED, "ssid5", 0},
        {"other SSIDs take the bare header", ssid5 + bare, "N0CALL", 4, 1, 1, METHOD_NORMAL, "bare1", 0},
        {"SSID 0 is written -0", bare + "N0CALL-0\n1 FIXED zero\n-\n", "N0CALL", 0, 1, 1, METHOD_FIXED, "zero",
         0},
        {"a trailing star beats the bare header", bare + "n0call*\n1 FIXED star\n-\n", "N0CALL", 0, 1, 1,
         METHOD_FIXED, "star", 0},
        {"a short trailing star too", bare + "N0*\n1 FIXED star\n-\n", "N0CALL", 3, 1, 1, METHOD_FIXED, "star", 0},
        {"-? takes SSIDs 0 to 9", bare + "N0CALL-?\n1 FIXED one\n-\n", "N0CALL", 9, 1, 1, METHOD_FIXED, "one", 0},
        {"-? leaves SSID 10 to the bare header", bare + "N0CALL-?\n1 FIXED one\n-\n", "N0CALL", 10, 1, 1,
         METHOD_NORMAL, "bare1", 0},
        {"-* takes every SSID", bare + "N0CALL-*\n1 FIXED any\n-\n", "N0CALL", 15, 1, 1, METHOD_FIXED, "any", 0},
        {"a lone star catches no station", "*\n1 FIXED star\n-\n", "N0CALL", 1, 1, 0, 0, "", 0},
        {"? patterns", "N0C?LL\n1 FIXED q\n-\n", "N0CALL", 1, 1, 1, METHOD_FIXED, "q", 0},
        {"no entry", bare, "N0ABC", 1, 1, 0, 0, "", 0},
        {"a pattern over 11 characters never matches", "N0CALL-1****X\n1 FIXED long\n-\n" + bare, "N0CALL", 1, 1,
         1, METHOD_NORMAL, "bare1", 0},
        {"comments and blank lines between entries", "# users\n\n  \nN0ABC\n1 OPEN\n-\n# me\n" + bare, "N0CALL",
         1, 1, 1, METHOD_NORMAL, "bare1", 0},
    };
    run_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(UserList, ConsoleEntry)
{
    const std::string users = "N0ABC\n"
                              "CONSOLE NORMAL inside\n"
                              "-\n"
                              "N0DEF\n"
                              "1 OPEN\n"
                              "CONSOLE\n"
                              "0 FIXED late\n"
                              "-------------------------------\n"
                              "CONSOL-ENTRY-WITH-A-LONG-NAME\n"
                              "0 FIXED console\n"
                              "-\n"
                              "N0SYS\n"
                              "0 FIXED sysop\n"
                              "-\n";
    const EntryCase cases[] = {
        {"the first console header at a header position", users, "N0XYZ", 0, 0, 1, METHOD_FIXED, "console", 0},
        {"a station's own entry before the console's", users, "N0SYS", 0, 0, 1, METHOD_FIXED, "sysop", 0},
        {"the console entry is for port 0 only", users, "N0XYZ", 0, 1, 0, 0, "", 0},
        {"a console header at the start", "CONSOLE\n* OPEN\n-\n", "N0XYZ", 1, 0, 1, METHOD_OPEN, "", 0},
        {"no console header at a header position", "N0ABC\nCONSOLE OPEN\n-\n", "N0XYZ", 1, 0, 0, 0, "", 0},
    };
    run_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(UserList, WhichLineAppliesToThePort)
{
    const EntryCase cases[] = {
        {"the first line for the port wins", "N0CALL\n2 NORMAL two\n1 FIXED first\n1 NORMAL second\n-\n",
         "N0CALL", 1, 1, 1, METHOD_FIXED, "first", 0},
        {"star matches any port", "N0CALL\n* MD5 anyport\n-\n", "N0CALL", 1, 7, 1, METHOD_MD5, "anyport", 0},
        {"TODOS matches any port", "N0CALL\ntodos FLEXNET 02468\n-\n", "N0CALL", 1, 3, 1, METHOD_FLEXNET,
         "02468", 0},
        {"ALL matches any port", "N0CALL\nALL ABIERTO\n-\n", "N0CALL", 1, 0, 1, METHOD_OPEN, "", 0},
        {"port names through the port file", "N0CALL\n144.800 OPEN\nvhf frase Secret\n-\n", "N0CALL", 1, 3, 1,
         METHOD_FIXED, "Secret", 0},
        {"CONSOLE as a port", "N0CALL\n1 OPEN\nconsole HOLD\n-\n", "N0CALL", 1, 0, 1, METHOD_HOLD, "", 0},
        {"no line for the port leaves the last method", "N0CALL\n1 OPEN\n2 HOLD\n-\n3 FIXED x\n", "N0CALL", 1, 3,
         0, METHOD_HOLD, "", 0},
        {"an entry without end line ends with the file", "N0CALL\n1 OPEN\n", "N0CALL", 1, 3, 0, METHOD_OPEN, "",
         0},
        {"methods by number are not range-checked", "N0CALL\n1 99\n-\n", "N0CALL", 1, 1, 1, 99, "", 0},
        {"a negative method number is a byte", "N0CALL\n1 -1\n-\n", "N0CALL", 1, 1, 1, 255, "", 0},
        {"a method number needing a password", "N0CALL\n1 5 Pass5\n-\n", "N0CALL", 1, 1, 1, METHOD_NORMAL,
         "Pass5", 0},
        {"a third field of other methods is ignored", "N0CALL\n1 GUEST something\n-\n", "N0CALL", 1, 1, 1,
         METHOD_GUEST, "", 0},
        {"the password keeps its case", "N0CALL\n1 forward5 MixedCase.Pw\n-\n", "N0CALL", 1, 1, 1,
         METHOD_FORWARD5, "MixedCase.Pw", 0},
        {"FLEXNET with 5 characters", "N0CALL\n1 FLEXNET 12345 rest\n-\n", "N0CALL", 1, 1, 1, METHOD_FLEXNET,
         "12345", 0},
    };
    run_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(UserList, FaultsInTheStationsEntry)
{
    const EntryCase cases[] = {
        {"FLEXNET with 4 characters", "N0CALL\n1 FLEXNET 1234\n-\n", "N0CALL", 1, 1, -1, METHOD_FLEXNET, "", 2},
        {"FLEXNET with 6 characters", "# x\nN0CALL\n1 FLEXNET 123456\n-\n", "N0CALL", 1, 1, -1, METHOD_FLEXNET,
         "", 3},
        {"FLEXNET with a letter", "N0CALL\n1 FLEXNET 1234e\n-\n", "N0CALL", 1, 1, -1, METHOD_FLEXNET, "", 2},
        {"a password method without password", "N0CALL\n\n1 NORMAL\n-\n", "N0CALL", 1, 1, -1, METHOD_NORMAL, "",
         3},
        {"a line of blanks before the match", "N0CALL\n2 OPEN\n   \n1 OPEN\n-\n", "N0CALL", 1, 1, -1, METHOD_OPEN,
         "", 3},
        {"a line of one field", "N0CALL\n1\n-\n", "N0CALL", 1, 1, -1, 0, "", 2},
        {"no end line runs into the next header", "N0CALL\n2 OPEN\nN0ABC\n1 OPEN\n-\n", "N0CALL", 1, 1, -1,
         METHOD_OPEN, "", 3},
        {"an unknown method keyword", "N0CALL\n1 OPENED\n-\n", "N0CALL", 1, 1, -1, 255, "", 2},
        {"an unknown method on another port's line", "N0CALL\n2 OPENED\n1 OPEN\n-\n", "N0CALL", 1, 1, -1, 255,
         "", 2},
        {"an unknown port name", "#\n#\nN0CALL\n145.000 OPEN\n-\n", "N0CALL", 1, 1, -1, 0, "", 4},
        {"the matching line ends the search before a bad one", "N0CALL\n1 OPEN\n1\n-\n", "N0CALL", 1, 1, 1,
         METHOD_OPEN, "", 0},
        {"faults in other entries are not seen", "N0ABC\n1\n-\nN0CALL\n1 OPEN\n-\n", "N0CALL", 1, 1, 1, METHOD_OPEN,
         "", 0},
    };
    run_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(UserList, MissingFileIsNoError)
{
    HostDir h;
    station("N0CALL", 1, 1);
    EXPECT_EQ(find_user_entry(), 0);
    EXPECT_TRUE(nothing_reported(h));
}

TEST(UserList, FoundThroughTheMorvelVariable)
{
    HostDir h;
    h.make_dir("Filter");
    h.write("Filter/Users.prt", "N0CALL\n1 NORMAL viaenv\n-\n");
    h.write_users("N0CALL\n1 NORMAL home\n-\n");
    setenv("MORVEL", (h.root() + "/filter\\").c_str(), 1);
    station("N0CALL", 0, 1);
    EXPECT_EQ(find_user_entry(), 1);
    EXPECT_STREQ(user_entry.password, "viaenv");
}

TEST(UserList, ErrorMarkerGoesOnceTheEntryIsReadWithoutFault)
{
    HostDir h;
    h.write_basic_config({});
    station("N0CALL", 0, 1);
    h.write("morvel/ERROR7.TMP", "");
    h.write_users("N0CALL\n1 FLEXNET 1234\n-\n");
    EXPECT_EQ(find_user_entry(), -1);
    EXPECT_TRUE(h.exists("morvel/ERROR7.TMP"));

    h.write_users("N0ABC\n1 OPEN\n-\n");
    EXPECT_EQ(find_user_entry(), 0) << "no entry for the station is no fault";
    EXPECT_FALSE(h.exists("morvel/ERROR7.TMP"));
}
