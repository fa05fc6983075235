#include "PackFormat.h"

#include <cstring>

namespace {

bool IsSeparator(char ch) { return ch == '\\' || ch == '/'; }

// A component of dots and blanks only, with at least two dots, resolves to "..".
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

bool IsContainedPackName(const char* field, size_t fieldSize)
{
    const char* end = static_cast<const char*>(memchr(field, '\0', fieldSize));
    if (!end)
        return false;
    if (IsSeparator(field[0]))
        return false;
    const char* componentStart = field;
    for (const char* at = field; at <= end; ++at) {
        if (at < end && IsDBCSLeadByte(static_cast<BYTE>(*at)) && at + 1 < end) {
            ++at;  // a trail byte is never a separator
            continue;
        }
        if (at < end && *at == ':')
            return false;
        if (at == end || IsSeparator(*at)) {
            if (LeadsUpward(componentStart, at))
                return false;
            componentStart = at + 1;
        }
    }
    return true;
}
