// logusr.prt, read for the station logs.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    fuzz_write("morvel/logusr.prt", data, size);
    int guest = fuzz_connect("N0CALL-9", 2, 0, 2);
    fuzz_expect(guest == 11, "N0CALL-9 admitted as a guest, so that its connection is logged");
    fuzz_connect("N0CALL-0", 0, 0, 2);
    fuzz_check_sound();
    return 0;
}
