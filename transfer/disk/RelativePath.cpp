#include "RelativePath.h"

#include <windows.h>

#include <cstring>

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

// Windows opens a device, not a file, for these names in any folder, whatever the
// extension: "NUL", "nul.txt" and "a\\NUL." all name the null device.
bool NamesDevice(const char* begin, const char* end)
{
    const char* baseEnd = begin;
    while (baseEnd < end && *baseEnd != '.')
        ++baseEnd;
    while (baseEnd > begin && baseEnd[-1] == ' ')
        --baseEnd;
    size_t length = static_cast<size_t>(baseEnd - begin);
    char base[8] = "";
    if (length < 3 || length > 7)
        return false;
    for (size_t i = 0; i < length; ++i)
        base[i] = static_cast<char>(begin[i] >= 'a' && begin[i] <= 'z' ? begin[i] - 32 : begin[i]);
    base[length] = '\0';
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : devices) {
        if (strcmp(base, device) == 0)
            return true;
    }
    return length == 4 && (strncmp(base, "COM", 3) == 0 || strncmp(base, "LPT", 3) == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

}  // namespace

bool IsContainedRelativePath(const char* name)
{
    if (!name)
        return false;
    // Joined behind the folder, one leading separator still names a place inside it
    // ("target\\/files/a.bin"); two would start a UNC name.
    if (IsSeparator(name[0])) {
        if (IsSeparator(name[1]))
            return false;
        ++name;
    }
    const char* componentStart = name;
    for (const char* at = name;; ++at) {
        if (*at != '\0' && IsDBCSLeadByte(static_cast<BYTE>(*at)) && at[1] != '\0') {
            ++at;  // a trail byte is never a separator
            continue;
        }
        if (*at == ':')
            return false;
        if (*at == '\0' || IsSeparator(*at)) {
            if (LeadsUpward(componentStart, at) || NamesDevice(componentStart, at))
                return false;
            if (*at == '\0')
                return true;
            componentStart = at + 1;
        }
    }
}

bool JoinCatalogPath(const char* baseUrl, const char* folder, const char* path, CString* url, CString* localPath)
{
    if (!IsContainedRelativePath(path))
        return false;
    url->Format("%s/%s", baseUrl, path);
    localPath->Format("%s/%s", folder, path);
    return true;
}
