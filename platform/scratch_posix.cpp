// scratch_posix.cpp - the scratch files of the layers above the system, on POSIX systems.
#include "platform/platform_internal.h"

// The temporary directory of the C library.
FILE *plat_scratch_stream(void)
{
    return tmpfile();
}
