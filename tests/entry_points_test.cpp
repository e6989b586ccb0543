// The two entry points: argument counts, callsign forms, the reply tag and the clock.
#include "common/reply.h"
#include "config/messages.h"
#include "filter/call_clock.h"
#include "filter/connection.h"
#include "filter/entry_points.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

TEST(EntryPoints, ArgcOneChangesNothingButTheClock)
{
    HostDir h;
    auto r = h.svc({"bbs"});
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.reply, "");
    EXPECT_STREQ(version_text, "4.0");
    EXPECT_STREQ(call_clock.time_stamp, "21:30:05 08-12-2026");
    EXPECT_STREQ(call_banner, "[MORVEL v4.0] - 21:30:05 08-12-2026");
    EXPECT_STREQ(reply_tag, "{MORVEL-4.0}\n");
    EXPECT_EQ(call_clock.day, 8);
    EXPECT_EQ(call_clock.month, 12);
    EXPECT_EQ(call_clock.year, 2026);
    EXPECT_EQ(call_clock.hundredths, 27);
}

TEST(EntryPoints, CommandEventWithoutMemoryIsNotRun)
{
    HostDir h;
    EXPECT_EQ(h.svc({"bbs", "-off"}, 0).result, 0);
    EXPECT_FALSE(h.exists("morvel/morvel.sta"));
}

struct CallsignCase {
    const char *argument;
    int result;          // -1: decoded, the connection goes on
    const char *callsign;
    int ssid;
};

TEST(EntryPoints, CallsignArgumentForms)
{
    const CallsignCase cases[] = {
        {"N0CALL", 2, "", 0},          {"N0CALL-0", -1, "N0CALL", 0}, {"N0CALL-15", -1, "N0CALL", 15},
        {"-5", 2, "", 0},              {"N0CALL5", 2, "", 0},         {"N0CALLX-1", 2, "", 0},
        {"n0call-1", -1, "n0call", 1}, {"N0CALL/1", 2, "", 0},        {"N0CALL-", 2, "", 0},
        {"", 2, "", 0},                {"N0CALL-257", -1, "N0CALL", 1},
    };
    for (const auto &c : cases) {
        HostDir h;
        auto r = h.connect(c.argument);
        if (c.result == 2) {
            EXPECT_EQ(r.result, 2) << c.argument;
            EXPECT_EQ(r.reply, "") << c.argument << ": a malformed call leaves the reply untouched";
        } else {
            EXPECT_EQ(r.reply.rfind("{MORVEL-4.0}\n", 0), 0u) << c.argument;
            EXPECT_STREQ(connection_info.callsign, c.callsign) << c.argument;
            EXPECT_EQ(connection_info.ssid, c.ssid) << c.argument;
        }
    }
}

TEST(EntryPoints, DecodesEveryFieldToItsWidth)
{
    HostDir h;
    h.svc({"bbs", "N0CALL-1", "0", "65552", "-1", "9", "200", "![1234567890]"});
    EXPECT_EQ(connection_info.station_flags, 0x10);
    EXPECT_EQ(connection_info.connection_count, -1);
    EXPECT_EQ(connection_info.port, -56);
    EXPECT_STREQ(connection_info.answer_text, "![1234567890]");
    std::string long_answer(120, 'a');
    h.answer("N0CALL-1", 1, long_answer);
    EXPECT_EQ(std::string(connection_info.answer_text), std::string(80, 'a'));
    // A new connection leaves the answer of the earlier call as it was.
    h.connect("N0CALL-1");
    EXPECT_EQ(std::string(connection_info.answer_text), std::string(80, 'a'));
}

TEST(EntryPoints, ReplyTagReplacesEarlierContent)
{
    HostDir h;
    auto r = h.svc({"bbs", "N0CALL-1", "0", "0", "2", "0", "1", ""}, 1, "left over from the host");
    EXPECT_EQ(r.reply, "{MORVEL-4.0}\n");
    // A malformed call leaves the host's content alone.
    EXPECT_EQ(h.svc({"bbs", "N0CALL", "0", "0", "2", "0", "1", ""}, 1, "left over").reply, "left over");
}

TEST(EntryPoints, ShortArgumentVectorsAreTakenAsEmpty)
{
    HostDir h;
    for (int argc = 4; argc <= 7; argc++) {
        std::vector<std::string> args = {"bbs", "N0CALL-1", "0", "0", "2", "0", "3"};
        args.resize(argc);
        auto r = h.svc(args);
        EXPECT_EQ(r.result, 0) << argc;
        EXPECT_EQ(r.reply, "{MORVEL-4.0}\n") << argc;
    }
}

// A null callsign pointer is as malformed as an empty callsign; a command
// event without its word is no command.
TEST(EntryPoints, NullCallsignPointer)
{
    HostDir h;
    h.write_basic_config({"1 OPEN"});
    char bbs[] = "bbs", zero[] = "0", two[] = "2", port[] = "1", empty[] = "";
    char *connection[] = {bbs, nullptr, zero, zero, two, zero, port, empty};
    char reply[REPLY_CAPACITY] = "untouched";
    EXPECT_EQ(svc_main(8, connection, reply, 1), 2);
    EXPECT_EQ(svc_main(4, connection, reply, 1), 2);
    EXPECT_STREQ(reply, "untouched");
    char *command[] = {bbs, nullptr, zero};
    EXPECT_EQ(svc_main(3, command, reply, 1), 0);
    EXPECT_EQ(dll_main(3, command), 0);
    EXPECT_STREQ(reply, "untouched");
}

TEST(EntryPoints, ConnectionWithoutMemoryReportsErrorThirteen)
{
    HostDir h;
    h.write_basic_config({"1 OPEN"});
    auto r = h.svc({"bbs", "N0CALL-1", "0", "0", "2", "0", "1", ""}, 0);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.reply, "");
    EXPECT_EQ(h.svc({"bbs", "N0CALL", "0", "0", "2", "0", "1", ""}, 0).result, 2);
}

TEST(EntryPoints, DllMainRunsCommandsAndReturnsZero)
{
    HostDir h;
    EXPECT_EQ(h.dll_command("bbs"), 0);
    EXPECT_EQ(h.dll_command("-nothing", "3"), 0);
}
