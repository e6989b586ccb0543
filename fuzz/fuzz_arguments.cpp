// The connection arguments and command words, through svc_main and dll_main.
#include "filter/entry_points.h"
#include "fuzz_host.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    std::vector<std::string> args = fuzz_split(data, size, 8);
    args.insert(args.begin(), "bbs");
    if (args.size() > 8)
        args.resize(8);
    fuzz_svc(args, 1);
    if (args.size() <= 3) {
        std::vector<char *> argv;
        for (auto &s : args)
            argv.push_back(&s[0]);
        argv.push_back(nullptr);
        dll_main((int)args.size(), argv.data());
    }
    return 0;
}
