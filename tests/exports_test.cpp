// The built module: loaded by path as the host does, exporting exactly the two entry points.
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <string>

TEST(Exports, ModuleExportsExactlyTheTwoEntryPoints)
{
    std::string cmd = std::string("nm -D --defined-only ") + FILTER_MODULE_PATH;
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512];
    std::set<std::string> functions;
    while (fgets(line, sizeof line, p)) {
        char addr[64], type[8], name[400];
        if (sscanf(line, "%63s %7s %399s", addr, type, name) == 3 && (type[0] == 'T' || type[0] == 'W' ||
                                                                       type[0] == 'D' || type[0] == 'B'))
            functions.insert(name);
    }
    pclose(p);
    EXPECT_EQ(functions, (std::set<std::string>{"svc_main", "dll_main"}));
}

TEST(Exports, LoadedModuleAnswersANewConnection)
{
    HostDir h;
    void *m = dlopen(FILTER_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m, nullptr) << dlerror();
    auto svc = (int (*)(int, char **, char *, int))dlsym(m, "svc_main");
    ASSERT_NE(svc, nullptr);
    std::string a[] = {"bbs", "N0CALL-1", "0", "0", "2", "0", "1", ""};
    char *argv[8];
    for (int i = 0; i < 8; i++)
        argv[i] = &a[i][0];
    char reply[4096] = "old";
    int v = svc(8, argv, reply, 1);
    EXPECT_EQ(std::string(reply).rfind("{MORVEL-4.0}\n", 0), 0u);
    EXPECT_EQ(v, 0);
    dlclose(m);
}
