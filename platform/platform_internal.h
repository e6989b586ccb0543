// platform_internal.h - what the system-specific sources share with the rest
// of the platform layer and its layers.
#ifndef FILTER_PLATFORM_INTERNAL_H
#define FILTER_PLATFORM_INTERNAL_H

#include <cstddef>
#include <cstdio>
#include <ctime>

// plat_system_local_time - the real local time and hundredths of a second.
void plat_system_local_time(struct tm *out, int *hundredths);

// plat_system_random - bytes from the system's cryptographic generator; false on failure.
bool plat_system_random(void *buffer, size_t size);

// plat_scratch_stream - a new file of the system's temporary directory,
// open for reading and writing in binary, that goes away when closed; null
// when none can be made. The layers above the system keep data in these;
// linked with them (scratch_posix.cpp, scratch_windows.cpp), not into the module.
FILE *plat_scratch_stream(void);

// The system entries that standard C++ gives alike everywhere (platform_common.cpp).
int plat_std_close_stream(FILE *stream);
time_t plat_std_now_seconds(void);
const char *plat_std_getenv(const char *name);

// plat_forget_text_block - nothing read before this moment is served from the block.
void plat_forget_text_block(void);

#endif
