// users.prt as written by a sysop, for stations on several ports and the console.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    fuzz_write("morvel/users.prt", data, size);
    int challenge = fuzz_connect("N0CALL-1", 1, 0, 2);
    fuzz_expect(challenge == 1, "N0CALL-1 challenged by its entry in users.prt");
    fuzz_connect("N0CALL-0", 0, 0, 2);
    fuzz_connect("N0CALL-5", 3, 0, 2);
    fuzz_answer("N0CALL-1", 1, 1, "secret");
    fuzz_svc({"bbs", "N0CALL-6", "0", "0", "-1", "0", "1", "![1234567890]"}, 1);
    fuzz_check_sound();
    return 0;
}
