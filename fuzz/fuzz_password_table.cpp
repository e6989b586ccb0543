// A station's password table.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    fuzz_write("morvel/N0CALL3.TBL", data, size);
    int challenge = fuzz_connect("N0CALL-3", 1, 0, 2);
    fuzz_expect(challenge == 1, "N0CALL-3 challenged from today's row of its table");
    fuzz_answer("N0CALL-3", 1, 1, "wrong");
    fuzz_check_sound();
    return 0;
}
