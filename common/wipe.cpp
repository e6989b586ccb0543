// wipe.cpp - clearing secrets out of local buffers.
#include "common/wipe.h"

#include <cstring>

// Called through a volatile pointer, memset cannot be proven to have no
// effect, so the clearing of a buffer that is about to die stays in the code.
static void *(*const volatile clear_bytes)(void *, int, size_t) = memset;

void wipe(void *buffer, size_t size)
{
    clear_bytes(buffer, 0, size);
}
