// config.prt as written by a sysop, read at a new connection and an answer call.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    fuzz_write("morvel/config.prt", data, size);
    fuzz_connect("N0CALL-1", 1, 0, 1);
    fuzz_answer("N0CALL-1", 1, 1, "wrong");
    fuzz_connect("N9ZZZ-0", 0, 0, 2);
    fuzz_check_sound();
    return 0;
}
