// filter_config.cpp - config.prt and the access-method keywords.
#include "config/filter_config.h"
#include "common/filter_dir.h"

#include <cstdio>
#include <cstring>

FilterConfig filter_config;

// Placeholder until config.prt is read: no port is filtered.
int8_t load_filter_config(char *) { return 0; }
int method_from_keyword(const char *, int, char *, bool) { return -1; }
void config_file_path(const char *name, char *out, size_t size) { snprintf(out, size, "%s\\%s", FILTER_DIR, name); }

void filter_config_reset(void)
{
    memset(&filter_config, 0, sizeof filter_config);
    strcpy(filter_config.language_file, "**");
    filter_config.max_attempts = 3;
    strcpy(filter_config.password_prompt, "PASSWORD>");
    filter_config.port_method = METHOD_OPEN;
}
