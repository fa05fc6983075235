#include "PackFormat.h"

#include <cstring>

#include "RelativePath.h"

bool IsContainedPackName(const char* field, size_t fieldSize)
{
    return memchr(field, '\0', fieldSize) != nullptr && IsContainedRelativePath(field);
}
