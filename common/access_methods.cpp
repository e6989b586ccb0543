// access_methods.cpp - looking up a row of the access-method table.
#include "common/access_methods.h"

#include <cstring>

const AccessMethod *find_access_method(unsigned id)
{
    for (int i = 0; i < access_method_count; i++)
        if (access_methods[i].id == id)
            return &access_methods[i];
    return nullptr;
}

const AccessMethod *access_method_by_keyword(const char *keyword)
{
    for (int i = 0; i < access_method_count; i++)
        if (strcmp(keyword, access_methods[i].spanish) == 0 || strcmp(keyword, access_methods[i].english) == 0)
            return &access_methods[i];
    return nullptr;
}

const AccessMethod *access_method_by_kind(int kind)
{
    for (int i = 0; i < access_method_count; i++)
        if (access_methods[i].challenge_kind == kind)
            return &access_methods[i];
    return nullptr;
}

const char *method_name(unsigned id)
{
    const AccessMethod *m = find_access_method(id);
    return m ? m->english : nullptr;
}
