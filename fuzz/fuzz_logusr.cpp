// logusr.prt, read for the station logs.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    fuzz_write("morvel/logusr.prt", data, size);
    fuzz_connect("N0CALL-9", 2, 0, 2);
    fuzz_connect("N0CALL-0", 0, 0, 2);
    return 0;
}
