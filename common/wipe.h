// wipe.h - clearing buffers that held a password or an expected answer.
#ifndef FILTER_WIPE_H
#define FILTER_WIPE_H

#include <cstddef>

// wipe - set size bytes to zero in a way the compiler may not drop as a dead
// store, even when the buffer is a local about to go out of scope.
void wipe(void *buffer, size_t size);

#endif
