// filter_dir.h - the filter's own directory, relative to the host's working
// directory, and the choice of a file in it.
#ifndef FILTER_FILTER_DIR_H
#define FILTER_FILTER_DIR_H

#include "platform/platform.h"

#define FILTER_DIR "morvel"

// Room for any path the filter builds from its directory and a name.
enum { FILTER_PATH_MAX = 400 };

// open_filter_file - name in the filter directory, or in its sub-directory
// language when language is given and the file exists there; each file
// opened or tried is traced when traced is set. False when it does not open.
bool open_filter_file(const char *name, const char *language, bool traced, PlatText *text);

// open_specific_else_general - the file of one port or station (specific,
// such as "intro3.prt" or "N0CALL1.TBL"), else the general one ("intro.prt",
// "N0CALL.TBL"), each as open_filter_file opens it; only the chosen one is open.
bool open_specific_else_general(const char *specific, const char *general, const char *language, bool traced,
                                PlatText *text);

#endif
