// across_calls_test.cpp - sequences of calls on one loaded library: what one
// station's call leaves in memory must never decide another's, and every
// fallback to the port's method ends.
#include "auth/admission.h"
#include "auth/port_method.h"
#include "config/filter_config.h"
#include "filter/connection.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"
#include "support/report_fixture.h"
#include "support/reported_error.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const char *const STATE = "morvel/N0CALL1.TMP";

struct FallbackCase {
    const char *what;
    const char *users;                        // users.prt while the challenge is put
    std::function<void(HostDir &)> change;    // what happens before the wrong answer
};

// A station of port 3 is challenged; a station on port 4 then meets the
// faulty port line "4 TABLE", which leaves TABLE in port_method; then the
// station's own method finds no password. Its fallback is port 3's own
// method, HOLD (verdict 4): never port 4's, whose TABLE would fall back to
// itself without end.
TEST(AcrossCalls, FallbackAfterAnotherPortsFaultyLineIsThePortsOwnMethod)
{
    const FallbackCase cases[] = {
        {"the table loses today's row", "N0CALL-1\n3 TABLE\n-\n",
         [](HostDir &h) { h.write("morvel/N0CALL1.TBL", "7 Seventh\n"); }},
        {"the answer comes after midnight", "N0CALL-1\n3 TABLE\n-\n",
         [](HostDir &h) { h.set_clock(2026, 12, 9, 0, 0, 1, 0); }},
        {"the table is gone (error 4)", "N0CALL-1\n3 TABLE\n-\n",
         [](HostDir &h) { h.remove("morvel/N0CALL1.TBL"); }},
        {"the entry loses its password (error 7)", "N0CALL-1\n3 NORMAL Secret12\n-\n",
         [](HostDir &h) { h.write_users("N0CALL-1\n3 NORMAL\n-\n"); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        h.set_clock(2026, 12, 8, 23, 55, 0, 0);
        h.write_basic_config({"3 HOLD", "4 TABLE"});
        h.write_users(c.users);
        h.write("morvel/N0CALL1.TBL", "8 Eighth\n");
        ASSERT_EQ(h.connect("N0CALL-1", 3).result, 1);
        EXPECT_EQ(h.connect("N0XYZ-0", 4).result, 0);
        EXPECT_TRUE(reported(h, 5, 17));
        c.change(h);
        auto r = h.answer("N0CALL-1", 1, "wrong", 3);
        EXPECT_EQ(r.result, 4);
        EXPECT_EQ(r.reply, "");
    }
}

// The sequence as a sysop would meet it, with an OPEN port: the station is
// let in by its port's method.
TEST(AcrossCalls, StaleTablePortMethodDoesNotRecurse)
{
    HostDir h;
    h.write_basic_config({"3 OPEN", "4 TABLE"});
    h.write_users("N0CALL-1\n3 TABLE\n-\n");
    h.write("morvel/N0CALL1.TBL", "8 Eighth\n");
    ASSERT_EQ(h.connect("N0CALL-1", 3).result, 1);
    EXPECT_EQ(h.connect("N0XYZ-0", 4).result, 0);
    EXPECT_EQ(filter_config.port_method, METHOD_TABLE) << "the fault this test is about";
    h.write("morvel/N0CALL1.TBL", "7 Seventh\n");
    EXPECT_EQ(h.answer("N0CALL-1", 1, "wrong", 3).result, 0);
}

// A users.prt fault in the station's own entry leaves it to the port's
// method, on a new connection as on an answer; a partner BBS logging in has
// no port method and is refused.
TEST(AcrossCalls, UsersFaultLeavesTheStationToThePortMethod)
{
    HostDir h;
    h.write_basic_config({"1 HOLD"});
    h.write_users("N0CALL-1\n1 FLEXNET 1234\n-\n");
    EXPECT_EQ(h.connect("N0CALL-1", 1).result, 4);
    EXPECT_TRUE(reported(h, 7, 2));
    EXPECT_EQ(h.forward("N0CALL-1", "![1234567890]", 1).result, 2);
}

// run_port_method itself, for port_method values a port line may not name
// (left there by a faulty port line): a refusal that ends the pending
// challenge, and no method run. The six a port line may name run as usual.
TEST(AcrossCalls, PortMethodNoPortLineMayNameRefuses)
{
    struct { uint8_t method; int verdict; bool state_kept; } cases[] = {
        {0, 2, false},                 {METHOD_FIXED, 2, false},     {METHOD_NORMAL, 2, false},
        {METHOD_MD5, 2, false},        {METHOD_TABLE, 2, false},     {METHOD_FLEXNET, 2, false},
        {METHOD_FORWARD, 2, false},    {METHOD_FORWARD5, 2, false},  {METHOD_GUEST, 2, false},
        {15, 2, false},                {255, 2, false},              {METHOD_OPEN, 0, true},
        {METHOD_EXCLUDED, 2, true},    {METHOD_BBS, 2, true},        {METHOD_READONLY, 3, true},
        {METHOD_HOLD, 4, true},        {METHOD_CLOSED, 2, true},
    };
    for (const auto &c : cases) {
        HostDir h;
        h.write(STATE, "abcde\n");
        as_station("N0CALL", 1, 3);
        filter_config.port_method = c.method;
        verdict = 99;
        Reply reply;
        run_port_method(reply);
        EXPECT_EQ(verdict, c.verdict) << (int)c.method;
        EXPECT_EQ(h.exists(STATE), c.state_kept) << (int)c.method;
        if (!c.state_kept) {
            EXPECT_STREQ(reply.text, "") << (int)c.method;
        }
    }
}

struct StaleEntryCase {
    const char *what;
    const char *method;    // N0CALL-1's method while it is challenged
    const char *users;     // users.prt when it answers
};

// N0CALL-1 is challenged, then N0OTH-1 is looked up (its password is now in
// memory), then N0CALL-1's entry goes. Its wrong answer must not get a fresh
// challenge drawn from N0OTH's password: it is refused and its challenge ends.
TEST(AcrossCalls, AnsweringStationWithoutEntryIsRefused)
{
    const StaleEntryCase cases[] = {
        {"entry removed", "NORMAL", "N0OTH-1\n* NORMAL OtherPass\n-\n"},
        {"no line for the port any more", "MD5", "N0CALL-1\n2 MD5 Secret12\n-\nN0OTH-1\n* NORMAL OtherPass\n-\n"},
        {"users.prt removed", "NORMAL", nullptr},
        {"entry without password", "MD5", "N0CALL-1\n1 OPEN\n-\nN0OTH-1\n* NORMAL OtherPass\n-\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        h.write_basic_config({"1 OPEN"});
        h.write_users(std::string("N0CALL-1\n* ") + c.method + " Secret12\n-\nN0OTH-1\n* NORMAL OtherPass\n-\n");
        ASSERT_EQ(h.connect("N0CALL-1", 1).result, 1);
        ASSERT_TRUE(h.exists(STATE));
        ASSERT_EQ(h.connect("N0OTH-1", 1).result, 1);
        if (c.users)
            h.write_users(c.users);
        else
            h.remove("morvel/users.prt");
        auto r = h.answer("N0CALL-1", 1, "wrong", 1);
        EXPECT_EQ(r.result, 2);
        EXPECT_EQ(r.reply, "");
        EXPECT_FALSE(h.exists(STATE));
    }
}

} // namespace
