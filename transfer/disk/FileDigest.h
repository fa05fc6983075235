// The MD5 digest (RFC 1321) of a file's bytes, as a pack's entry holds it: one code for
// the files received and the files an earlier run left.
#pragma once

#include <windows.h>

#include <cstring>

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>

class FileDigest {
public:
    void Restart() { md5_.Restart(); }
    void Update(const BYTE* data, DWORD size) { md5_.Update(data, size); }
    // Ends the digest of the bytes since Restart (or construction) and compares it.
    bool Matches(const BYTE (&expected)[16])
    {
        BYTE digest[CryptoPP::Weak1::MD5::DIGESTSIZE];
        md5_.Final(digest);
        return memcmp(digest, expected, sizeof(digest)) == 0;
    }

private:
    CryptoPP::Weak1::MD5 md5_;
};
