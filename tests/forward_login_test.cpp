// forward_login_test.cpp - this BBS logs in to a partner and answers the
// partner's "![digits]" challenge with a digest of the shared password.
#include "support/challenge_reply.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

namespace {

void set_up_partners(HostDir &h)
{
    write_filter_config(h, FilterOptions());
    h.write_users("N0FWD\n* FORWARD Shared1\n-\n"
                  "N0FW5\n* FORWARD5 Shared5\n-\n"
                  "N0PLN\n* NORMAL Shared1\n-\n");
}

struct ForwardCase {
    const char *partner;
    const char *line;
    int result;
    std::string reply;   // the whole reply after the call
};

TEST(ForwardLogin, AnswersTheChallengesOfForwardPartnersOnly)
{
    const std::string prefill = "text the host left in the buffer";
    const ForwardCase cases[] = {
        {"N0FWD-0", "N0BBS> ![0123456789]", 0, digest_text(false, "0123456789Shared1") + "\n"},
        {"N0FW5-0", "![9876543210]", 0, digest_text(true, "9876543210Shared5") + "\n"},
        {"N0FWD-0", "[0123456789", 0, digest_text(false, "0123456789Shared1") + "\n"},
        {"N0FWD-0", "[abcdefghij] [0123456789]", 0, digest_text(false, "abcdefghijShared1") + "\n"},
        {"N0PLN-0", "![0123456789]", 2, prefill},
        {"N0XYZ-0", "![0123456789]", 2, prefill},
        {"N0FWD-0", "no challenge here", 2, prefill},
        {"N0FWD-0", "![012345678]", 2, prefill},
        {"N0FWD-0", "![01234567890]", 2, prefill},
        {"N0FWD-0", "", 2, prefill},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.partner) + " sends \"" + c.line + "\"");
        HostDir h;
        set_up_partners(h);
        auto r = h.svc({"bbs", c.partner, "0", "0", "-1", "0", "1", c.line}, 1, prefill);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.reply, c.reply);
        EXPECT_FALSE(h.exists("morvel/error.prt"));
    }
}

// Two BBSs running this filter: one puts the forward challenge, the other
// answers it, and the first admits the answer. One host directory plays both:
// while it plays the answering side, the challenge it put as the other is
// set aside, since the answering BBS has no such challenge pending.
TEST(ForwardLogin, AnswerOfOnePartnerPassesTheOthersChallenge)
{
    for (const char *method : {"FORWARD", "FORWARD5"}) {
        SCOPED_TRACE(method);
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users(std::string("N0FWD\n* ") + method + " Shared1\n-\n");
        auto challenge = h.connect("N0FWD-0", 1, 0x10);
        ASSERT_EQ(challenge.result, 1);
        std::string pending = h.read("morvel/N0FWD0.TMP");
        h.remove("morvel/N0FWD0.TMP");
        auto answer = h.forward("N0FWD-0", challenge.reply.substr(TAG.size()));
        h.write("morvel/N0FWD0.TMP", pending);
        ASSERT_EQ(answer.result, 0);
        auto r = h.answer("N0FWD-0", 1, answer.reply.substr(0, 32), 1, 0x10);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.reply, "");
        EXPECT_FALSE(h.exists("morvel/N0FWD0.TMP"));
    }
}

TEST(ForwardLogin, UnreadableConfigurationRefuses)
{
    HostDir h;
    h.write_users("N0FWD\n* FORWARD Shared1\n-\n");
    auto r = h.forward("N0FWD-0", "![0123456789]");
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.reply, "");
}

} // namespace
