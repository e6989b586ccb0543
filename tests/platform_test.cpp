// Path lookup without regard to case, creation with the spelling given, and the test hooks.
#include "platform/platform.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

TEST(Platform, MixedCaseLookupFindsTheFileOnDisk)
{
    HostDir h;
    h.make_dir("morvel/Texts");
    h.write("morvel/Texts/Intro3.prt", "hello\n");
    for (const char *p : {"morvel\\Texts\\Intro3.prt", "MORVEL\\TEXTS\\INTRO3.PRT", "Morvel\\texts\\intro3.PRT"}) {
        FILE *f = plat_fopen(p, "rt");
        ASSERT_NE(f, nullptr) << p;
        char line[16] = "";
        ASSERT_NE(fgets(line, sizeof line, f), nullptr);
        EXPECT_STREQ(line, "hello\n");
        fclose(f);
        EXPECT_TRUE(plat_exists(p));
    }
}

TEST(Platform, NewFileKeepsTheSpellingGivenAndIsFoundInAnyCase)
{
    HostDir h;
    FILE *f = plat_fopen("morvel\\N0CALL1.tmp", "wt");
    ASSERT_NE(f, nullptr);
    fputs("ABCDE\n", f);
    fclose(f);
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{"N0CALL1.tmp"});
    EXPECT_TRUE(plat_exists("morvel\\N0CALL1.TMP"));
    f = plat_fopen("MORVEL\\n0call1.TMP", "rt");
    ASSERT_NE(f, nullptr);
    fclose(f);
    // Rewriting under another spelling writes the same file, never a second one.
    f = plat_fopen("morvel\\N0CALL1.TMP", "wt");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{"N0CALL1.tmp"});
    EXPECT_TRUE(plat_remove("morvel\\n0call1.TMP"));
    EXPECT_FALSE(plat_exists("morvel\\N0CALL1.tmp"));
    EXPECT_TRUE(plat_remove("morvel\\N0CALL1.tmp")) << "removing a missing file is no failure";
}

TEST(Platform, DirectoriesHiddenFilesAndExclusiveCreate)
{
    HostDir h;
    EXPECT_TRUE(plat_make_directory("MORVEL\\logcnx"));
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{"logcnx"});
    EXPECT_FALSE(plat_make_directory("morvel\\no\\such")) << "one level only";
    EXPECT_TRUE(plat_create_hidden("morvel\\ERROR5.TMP"));
    EXPECT_TRUE(plat_exists("morvel\\error5.tmp"));
    bool existed = true;
    FILE *f = plat_fopen_exclusive("MAIL\\MAIL.lck", &existed);
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(existed);
    fclose(f);
    EXPECT_EQ(plat_fopen_exclusive("mail\\mail.LCK", &existed), nullptr);
    EXPECT_TRUE(existed);
}

TEST(Platform, FailingPathHookAndAbsolutePaths)
{
    HostDir h;
    h.write("morvel/config.prt", "x\n");
    plat_test_fail_open("MORVEL\\CONFIG.PRT");
    EXPECT_EQ(plat_fopen("morvel\\config.prt", "rt"), nullptr);
    plat_test_fail_open(nullptr);
    FILE *f = plat_fopen("morvel\\config.prt", "rt");
    ASSERT_NE(f, nullptr);
    fclose(f);
    std::string upper = h.root();
    for (char &c : upper)
        c = (char)toupper((unsigned char)c);
    EXPECT_TRUE(plat_exists((upper + "\\MORVEL\\CONFIG.PRT").c_str()));
}

TEST(Platform, RandomGeneratorIsRepeatableFromItsSeed)
{
    plat_seed_random(1765229405UL);
    long a[5];
    for (long &x : a) {
        x = plat_random();
        EXPECT_GE(x, 0);
        EXPECT_LE(x, 0x7FFFFFFFL);
    }
    plat_seed_random(1765229405UL);
    for (long x : a)
        EXPECT_EQ(plat_random(), x);
}
