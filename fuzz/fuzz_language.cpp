// A language file named in config.prt.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    fuzz_write_text("morvel/config.prt",
                    "lang.txt\nN0SYS\n3\nPASSWORD>\nNO\nNO\nNO\nNO\nNO\nNO\nOK\nOK C\nOK\nOK\n1 OPEN\n0 OPEN\n");
    fuzz_write("morvel/lang.txt", data, size);
    fuzz_connect("N0CALL-1", 1, 0, 1);
    fuzz_connect("N0CALL-0", 0, 0, 2);
    fuzz_check_sound();
    return 0;
}
