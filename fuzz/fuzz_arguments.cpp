// The connection arguments and command words, through svc_main and dll_main.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    std::vector<std::string> args = fuzz_split(data, size, 8);
    args.insert(args.begin(), "bbs");
    if (args.size() > 8)
        args.resize(8);
    fuzz_svc(args, 1);
    if (args.size() <= 3)
        fuzz_dll(args);
    fuzz_check_sound();
    return 0;
}
