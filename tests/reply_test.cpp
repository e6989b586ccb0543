// The bounded reply helper: it stops at its limit and always leaves a NUL.
#include "common/reply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(Reply, AppendStopsAtTheLimitAndKeepsTheGuard)
{
    enum { GUARD = 32 };
    static char buf[REPLY_CAPACITY + GUARD];
    memset(buf, 0xA5, sizeof buf);
    buf[0] = '\0';
    reply_set_limit(REPLY_CAPACITY);
    std::string chunk(1000, 'x');
    for (int i = 0; i < 10; i++)
        reply_append(buf, chunk.c_str());
    EXPECT_EQ(strlen(buf), (size_t)REPLY_CAPACITY - 1);
    for (int i = 0; i < GUARD; i++)
        EXPECT_EQ((unsigned char)buf[REPLY_CAPACITY + i], 0xA5);
    reply_replace(buf, "{MORVEL-4.0}\n");
    EXPECT_STREQ(buf, "{MORVEL-4.0}\n");
    reply_appendf(buf, "%s %d", "PASSWORD>", 5);
    EXPECT_STREQ(buf, "{MORVEL-4.0}\nPASSWORD> 5");
}

TEST(Reply, AnUnterminatedBufferIsCutAtTheLimit)
{
    char buf[16];
    memset(buf, 'y', sizeof buf);
    reply_set_limit(sizeof buf);
    reply_append(buf, "more");
    EXPECT_EQ(buf[15], '\0');
    reply_set_limit(REPLY_CAPACITY);
}
