#include "KeptFile.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>

#include <cstring>

#include "ByteProgress.h"
#include "CancelToken.h"
#include "HeldFiles.h"

HRESULT VerifyKeptFile(const char* path, const PackEntry& entry, BYTE* scratch, DWORD scratchSize,
                       ByteProgress& progress, const CancelToken& cancel, bool* kept)
{
    HRESULT hr = S_OK;
    CryptoPP::Weak1::MD5 md5;
    BYTE digest[CryptoPP::Weak1::MD5::DIGESTSIZE];
    LARGE_INTEGER size;
    DWORD remaining = entry.fileSize;
    bool same = false;

    *kept = false;
    HANDLE file = OpenHeldFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE)
        return S_OK;
    if (!GetFileSizeEx(file, &size) || size.QuadPart != entry.fileSize)
        goto CleanUp;
    while (remaining > 0) {
        DWORD wanted = remaining < scratchSize ? remaining : scratchSize;
        DWORD got = 0;
        if (!ReadFile(file, scratch, wanted, &got, NULL) || got != wanted)
            goto CleanUp;
        md5.Update(scratch, got);
        remaining -= got;
        progress.Add(got);
        if (cancel.IsCancelled()) {
            hr = E_ABORT;
            goto CleanUp;
        }
        progress.ReportIfDue();
    }
    md5.Final(digest);
    same = memcmp(digest, entry.md5, sizeof(digest)) == 0;

CleanUp:
    CloseHandle(file);
    // Stamped as a fresh download leaves it, so that the folder ends the same either way.
    *kept = same && StampFile(path, entry.fileTime, false);
    // Only a kept file's bytes count as done; the others are counted as they arrive.
    if (!*kept && hr == S_OK)
        progress.TakeBack(entry.fileSize - remaining);
    return hr;
}
