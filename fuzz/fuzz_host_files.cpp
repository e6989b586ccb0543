// The host's start-up file, port file, user file and language list.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    std::vector<std::string> parts = fuzz_split(data, size, 4);
    parts.resize(4);
    fuzz_write_text("init.srv", parts[0]);
    fuzz_write_text("system/port.sys", parts[1]);
    fuzz_write_text("system/inf.sys", parts[2]);
    fuzz_write_text("system/langue.sys", parts[3]);
    fuzz_write_text("morvel/config.prt",
                    "**\nN0SYS\n3\nPASSWORD>\nOK\nOK\nOK\nOK\nOK\nOK TM\nOK\nOK\nOK\nOK\n144.800 OPEN\nVHF BBS\n");
    fuzz_connect("N0CALL-1", 1, 0, 1);
    fuzz_connect("N0CALL-3", 3, 0, 1);
    fuzz_check_sound();
    return 0;
}
