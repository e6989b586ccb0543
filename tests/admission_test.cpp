// admission_test.cpp - new connections: every access method, the open and
// exclusion texts, the admission texts and their order.
#include "auth/admission.h"
#include "auth/port_method.h"
#include "filter/connection.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>
#include <string>

namespace {

const char *const STATE = "morvel/N0ABC0.TMP";
const char *const EXCLUSION_LOG = "morvel/logexcld.prt";

struct MethodCase {
    const char *method;        // as written in the station's entry line
    int flags;
    int verdict;
    const char *reply;         // what follows the reply tag, as a pattern
    const char *state;         // the state file, as a pattern; null: none
    bool exclusion_logged;
};

// Each row: station N0ABC-0 on port 1, listed with the method for every port.
const MethodCase method_cases[] = {
    {"1", 0, 0, "\nHello N0ABC", nullptr, false},
    {"OPEN", 0, 0, "\nHello N0ABC", nullptr, false},
    {"2", 0, 2, "\nThis port is closed\\.\n", nullptr, false},
    {"3", 0, 2, "", nullptr, true},
    {"4", 0, 1, "\nPASSWORD> ", "Secret12\n4 \nN0ABC-0 1 4 [0-9]+ W:[0-9a-f]{8}\n", false},
    {"5", 0, 1, "\nPASSWORD> [1-8] [1-8] [1-8] [1-8] [1-8]\n",
     "[A-Za-z0-9]{5}\nN0ABC-0 1 5 [0-9]+ P:[0-9a-f]{8}:8:[0-7](\\.[0-7]){4}\n", false},
    {"6", 0, 1, "\nPASSWORD> [1-8] [1-8] [1-8] [1-8] [1-8] \\[[0-9]{10}\\]\n",
     "[A-Za-z0-9]{5} [0-9a-f]{32}\n6 \n[0-9a-f]{32}\nN0ABC-0 1 6 [0-9]+ P:[0-9a-f]{8}:8:[0-7](\\.[0-7]){4}\n", false},
    {"7", 0, 1, "\nPASSWORD_8> [1-5] [1-5] [1-5] [1-5] [1-5]\n",
     "[a-e]{5}\n7\nN0ABC-0 1 7 [0-9]+ P:[0-9a-f]{8}:5:[0-4](\\.[0-4]){4}\n", false},
    {"8", 0, 2, "", nullptr, true},
    {"8", 0x10, 0, "", nullptr, false},
    {"9", 0, 1, "\nPASSWORD> [0-9]{5}\n", "[0-9]+ [0-9]{5}\n9 \nN0ABC-0 1 9 [0-9]+ E:[0-9a-f]{8}:[0-9]{5}\n", false},
    {"10", 0, 1, "\n!\\[[0-9]{10}\\]\n", "XXXXX [0-9a-f]{32}\n10\n[0-9a-f]{32} \nN0ABC-0 1 10 [0-9]+\n", false},
    {"11", 0, 3, "", nullptr, false},
    {"12", 0, 4, "", nullptr, false},
    {"13", 0, 1, "\n!\\[[0-9]{10}\\]\n", "XXXXX [0-9a-f]{32}\n10\n[0-9a-f]{32} \nN0ABC-0 1 13 [0-9]+\n", false},
    {"14", 0, 11, "", nullptr, false},
    {"0", 0, 0, "\nHello N0ABC", nullptr, false},
    {"15", 0, 0, "\nHello N0ABC", nullptr, false},
    {"99", 0, 0, "\nHello N0ABC", nullptr, false},
    {"-1", 0, 0, "\nHello N0ABC", nullptr, false},   // the byte 255
};

TEST(Admission, EveryAccessMethodOnANewConnection)
{
    for (const auto &c : method_cases) {
        SCOPED_TRACE(std::string("method ") + c.method + " flags " + std::to_string(c.flags));
        HostDir h;
        FilterOptions o;
        o.ports = {"1 HOLD"};   // shows through should the station's own line be missed
        write_filter_config(h, o);
        std::string password = std::string(c.method) == "9" ? "12345" : "Secret12";
        h.write_users(std::string("N0ABC\n* ") + c.method + " " + password + "\n-\n");
        h.write("morvel/N0ABC.ent", "Hello N0ABC");
        h.write("morvel/info.prt", "This port is closed.\n");
        h.write("morvel/N0ABC.TBL", "8 abcde\n");
        auto r = h.connect("N0ABC-0", 1, c.flags);
        EXPECT_EQ(r.result, c.verdict);
        ASSERT_EQ(r.reply.rfind(TAG, 0), 0u) << r.reply;
        std::string after = r.reply.substr(TAG.size());
        EXPECT_TRUE(std::regex_match(after, std::regex(c.reply))) << "reply after the tag: [" << after << "]";
        if (c.state)
            EXPECT_TRUE(std::regex_match(h.read(STATE), std::regex(c.state))) << "[" << h.read(STATE) << "]";
        else
            EXPECT_FALSE(h.exists(STATE));
        EXPECT_EQ(h.exists(EXCLUSION_LOG), c.exclusion_logged);
        EXPECT_FALSE(h.exists("morvel/error.prt")) << h.read("morvel/error.prt");
    }
}

// Numbers above 14 cannot all be written in users.prt (three characters read
// as a keyword), so the highest is run directly.
TEST(Admission, MethodNumber255ActsAsOpen)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write("morvel/N0ABC.ent", "Hello N0ABC");
    h.connect("N0ABC-0", 1);   // decodes the station and reads config.prt
    char reply[256] = "";
    verdict = 9;
    apply_access_method(255, reply);
    EXPECT_EQ(verdict, 0);
    EXPECT_STREQ(reply, "\nHello N0ABC");
}

// The rules a new row of the method table must keep: a port's method is what a
// station falls back on when its password cannot be had, so it never asks for
// one; a keyword names one method; a number in a file reaches only the
// numbered rows.
TEST(Admission, MethodTableRowsKeepTheirRules)
{
    std::set<std::string> keywords;
    for (int i = 0; i < access_method_count; i++) {
        const AccessMethod &m = access_methods[i];
        SCOPED_TRACE(m.english);
        EXPECT_FALSE(m.needs_password && m.port_may_name);
        EXPECT_TRUE(m.needs_password || !m.password_length);
        EXPECT_TRUE(m.run != nullptr);
        EXPECT_EQ(find_access_method(m.id), &m);
        EXPECT_TRUE(m.id < METHOD_UNKNOWN || m.id >= METHOD_KEYWORD_ONLY);
        keywords.insert(m.english);
        if (strcmp(m.spanish, m.english) != 0)
            keywords.insert(m.spanish);
    }
    size_t distinct = 0;
    for (int i = 0; i < access_method_count; i++)
        distinct += strcmp(access_methods[i].spanish, access_methods[i].english) != 0 ? 2 : 1;
    EXPECT_EQ(keywords.size(), distinct) << "a keyword names two methods";
}

TEST(Admission, PortWithoutPortLineAdmitsEveryoneWithTheAdmissionTexts)
{
    HostDir h;
    FilterOptions o;
    o.ports = {"2 EXCLUDED"};
    write_filter_config(h, o);
    h.write_users("N0ABC\n* EXCLUDED\n-\n");
    h.write("morvel/N0ABC.ent", "Hello N0ABC");
    auto r = h.connect("N0ABC-0", 1);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.reply, TAG + "\nHello N0ABC");
}

TEST(Admission, StationWithoutLineForThePortGetsThePortMethod)
{
    HostDir h;
    FilterOptions o;
    o.ports = {"1 READONLY", "2 HOLD"};
    write_filter_config(h, o);
    h.write_users("N0ABC\n2 NORMAL Secret12\n-\n");
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 3) << "no line for port 1";
    EXPECT_EQ(h.connect("N0XYZ-0", 2).result, 4) << "no entry at all";
    h.remove("morvel/users.prt");
    EXPECT_EQ(h.connect("N0ABC-0", 2).result, 4) << "no users.prt";
}

TEST(Admission, OpenTextPerPortWinsOverTheGeneralOne)
{
    HostDir h;
    FilterOptions o;
    o.open_text = true;
    write_filter_config(h, o);
    h.write("morvel/open.prt", "Welcome to every port\n");
    h.write("morvel/open1.prt", "Welcome to port 1\n");
    EXPECT_EQ(h.connect("N0ABC-0", 1).reply, TAG + "\nWelcome to port 1\n");
    EXPECT_EQ(h.connect("N0ABC-0", 2).reply, TAG + "\nWelcome to every port\n");
}

TEST(Admission, OpenTextSwitchedOnButMissingIsError8WithoutAdmissionTexts)
{
    HostDir h;
    FilterOptions o;
    o.open_text = true;
    write_filter_config(h, o);
    h.write("morvel/N0ABC.ent", "Hello N0ABC");
    auto r = h.connect("N0ABC-0", 1);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.reply, TAG);
    EXPECT_NE(h.read("morvel/error.prt").find("*** ERROR 0018: File open.prt not found."), std::string::npos)
        << h.read("morvel/error.prt");
    EXPECT_TRUE(h.exists("morvel/ERROR8.TMP"));

    h.write("morvel/open.prt", "Welcome\n");
    EXPECT_EQ(h.connect("N0ABC-0", 1).reply, TAG + "\nWelcome\n" + "\nHello N0ABC");
    EXPECT_FALSE(h.exists("morvel/ERROR8.TMP")) << "the open text was shown again";
}

TEST(Admission, ExclusionTextPerPortThenGeneralAndTheExclusionLog)
{
    HostDir h;
    FilterOptions o;
    o.exclusion_text = true;
    o.ports = {"1 EXCLUDED", "2 EXCLUDED"};
    write_filter_config(h, o);
    h.write("morvel/excluded.prt", "Not here\n");
    h.write("morvel/exclud2.prt", "Not on port 2\n");
    auto r = h.connect("N0ABC-0", 1);
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.reply, TAG + "\nNot here\n");
    EXPECT_EQ(h.connect("N0ABC-0", 2).reply, TAG + "\nNot on port 2\n");
    std::string log = h.read(EXCLUSION_LOG);
    EXPECT_NE(log.find(log_entry("N0ABC", 0, 1)), std::string::npos) << log;
    EXPECT_NE(log.find(log_entry("N0ABC", 0, 2)), std::string::npos) << log;
}

TEST(Admission, ExclusionTextSwitchedOnButMissingIsError11AndNotLogged)
{
    HostDir h;
    FilterOptions o;
    o.exclusion_text = true;
    o.ports = {"1 BBS"};
    write_filter_config(h, o);
    auto r = h.connect("N0ABC-0", 1);
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.reply, TAG);
    EXPECT_FALSE(h.exists(EXCLUSION_LOG));
    EXPECT_NE(h.read("morvel/error.prt").find("*** ERROR 00111: File excluded.prt not found."), std::string::npos)
        << h.read("morvel/error.prt");
}

TEST(Admission, BbsPortLetsInFlaggedStationsSilently)
{
    HostDir h;
    FilterOptions o;
    o.open_text = true;
    o.ports = {"1 BBS", "2 OPEN"};
    write_filter_config(h, o);
    h.write("morvel/open.prt", "Welcome\n");
    h.write("morvel/N0BBX.ent", "Station text");
    h.write("morvel/intro.prt", "Intro\n");
    auto r = h.connect("N0BBX-0", 1, 0x10);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.reply, TAG);
    // Through OPEN a BBS gets only its station text from the admission texts.
    EXPECT_EQ(h.connect("N0BBX-0", 2, 0x10 | 0x40, 1).reply, TAG + "\nWelcome\n" + "\nStation text");
}

TEST(Admission, AdmissionTextsComeGuestIntroNewUserThenStation)
{
    HostDir h;
    FilterOptions o;
    o.guest_text = true;
    o.intro_text = true;
    o.welcome = "OK T";
    write_filter_config(h, o);
    h.write("morvel/guest.prt", "GUEST\n");
    h.write("morvel/intro.prt", "INTRO\n");
    h.write("morvel/newtxt.prt", "NEW USER\n");
    h.write("morvel/N0ABC0.ent", "STATION\n");
    auto r = h.connect("N0ABC-0", 1, 0x40, 1);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.reply, TAG + "\nGUEST\n" + "\nINTRO\n" + "\nNEW USER\n" + "\nSTATION\n");
    EXPECT_EQ(h.connect("N0ABC-0", 1, 0, 2).reply, TAG + "\nINTRO\n" + "\nSTATION\n")
        << "no guest flag, not a first connection";
}

} // namespace
