// filter_dir.h - the filter's own directory, relative to the host's working directory.
#ifndef FILTER_FILTER_DIR_H
#define FILTER_FILTER_DIR_H

#define FILTER_DIR "morvel"

// Room for any path the filter builds from its directory and a name.
enum { FILTER_PATH_MAX = 400 };

#endif
