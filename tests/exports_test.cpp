// The built module: loaded by path as the host does, exporting exactly the two entry points
// and holding none of the layers the tools and tests put over the system. (On Windows
// tests/check_dll_tables.sh checks the export and import tables and the layers.)
#include "support/host_dir.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

typedef int (*svc_main_fn)(int, char **, char *, int);

// Module - the filter module loaded by path, unloaded at the end of the test.
struct Module {
#if defined(_WIN32)
    HMODULE handle = nullptr;
    Module()
    {
        std::string path = FILTER_MODULE_PATH;
        for (char &c : path)
            if (c == '/')
                c = '\\';
        handle = LoadLibraryA(path.c_str());
    }
    ~Module() { if (handle) FreeLibrary(handle); }
    void *symbol(const char *name) const { return (void *)GetProcAddress(handle, name); }
    std::string error() const { return "LoadLibrary error " + std::to_string(GetLastError()); }
#else
    void *handle = nullptr;
    Module() { handle = dlopen(FILTER_MODULE_PATH, RTLD_NOW | RTLD_LOCAL); }
    ~Module() { if (handle) dlclose(handle); }
    void *symbol(const char *name) const { return dlsym(handle, name); }
    std::string error() const { const char *e = dlerror(); return e ? e : "no error text"; }
#endif
};

#if !defined(_WIN32)
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

// A name of each layer that the tools' and the tests' libraries put in the
// table of operations over the system's entries: the module has the system's only.
const char *const layer_names[] = {"plat_test_", "fault_open", "plat_dry_run", "overlay_", "plat_fix_clock",
                                   "fixed_local_time", "plat_scratch_stream"};

// The layers (dry run, fixed clock, injected faults) live in the tools' and the
// tests' libraries only: the module holds neither a symbol of theirs, in any
// symbol table, nor their names anywhere in its bytes (debug information included).
TEST(Exports, ModuleHoldsNoTestHook)
{
    std::string cmd = std::string("nm -a ") + FILTER_MODULE_PATH + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512];
    int symbols = 0;
    while (fgets(line, sizeof line, p)) {
        symbols++;
        for (const char *name : layer_names)
            EXPECT_EQ(strstr(line, name), nullptr) << line;
    }
    pclose(p);
    EXPECT_GT(symbols, 2) << "nm read the module's symbols";

    FILE *f = fopen(FILTER_MODULE_PATH, "rb");
    ASSERT_NE(f, nullptr);
    std::string bytes;
    char block[65536];
    for (size_t n; (n = fread(block, 1, sizeof block, f)) > 0;)
        bytes.append(block, n);
    fclose(f);
    EXPECT_GT(bytes.size(), 0u);
    for (const char *name : layer_names)
        EXPECT_EQ(bytes.find(name), std::string::npos) << name;
}
#endif

TEST(Exports, LoadedModuleAnswersANewConnection)
{
    HostDir h;
    Module m;
    ASSERT_NE(m.handle, nullptr) << m.error();
    auto svc = (svc_main_fn)m.symbol("svc_main");
    ASSERT_NE(svc, nullptr) << "svc_main is found by its plain name";
    ASSERT_NE(m.symbol("dll_main"), nullptr) << "dll_main is found by its plain name";
    std::string a[] = {"bbs", "N0CALL-1", "0", "0", "2", "0", "1", ""};
    char *argv[8];
    for (int i = 0; i < 8; i++)
        argv[i] = &a[i][0];
    char reply[4096] = "old";
    int v = svc(8, argv, reply, 1);
    EXPECT_EQ(std::string(reply).rfind("{MORVEL-4.0}\n", 0), 0u);
    EXPECT_EQ(v, 0);
}
