// Texts sent to callers: intro, information, open, exclusion, guest, station texts.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    const char *files[] = {"morvel/intro.prt", "morvel/info.prt", "morvel/open2.prt", "morvel/excluded.prt",
                           "morvel/guest.prt", "morvel/N0CALL9.ent", "morvel/newtxt.prt", "morvel/newmsg.prt"};
    for (const char *f : files)
        fuzz_write(f, data, size);
    fuzz_connect("N0CALL-9", 2, 0x40, 1);
    fuzz_connect("N0CALL-9", 1, 0, 2);
    fuzz_connect("N0CALL-8", 2, 0, 2);
    fuzz_check_sound();
    return 0;
}
