#include "RelativePath.h"

#include <windows.h>

namespace {

bool IsSeparator(char ch) { return ch == '\\' || ch == '/'; }

bool LeadsUpward(const char* begin, const char* end)
{
    int dots = 0;
    for (const char* at = begin; at < end; ++at) {
        if (*at == '.')
            ++dots;
        else if (*at != ' ')
            return false;
    }
    return dots >= 2;
}

}  // namespace

bool IsContainedRelativePath(const char* name)
{
    if (!name || IsSeparator(name[0]))
        return false;
    const char* componentStart = name;
    for (const char* at = name;; ++at) {
        if (*at != '\0' && IsDBCSLeadByte(static_cast<BYTE>(*at)) && at[1] != '\0') {
            ++at;  // a trail byte is never a separator
            continue;
        }
        if (*at == ':')
            return false;
        if (*at == '\0' || IsSeparator(*at)) {
            if (LeadsUpward(componentStart, at))
                return false;
            if (*at == '\0')
                return true;
            componentStart = at + 1;
        }
    }
}
