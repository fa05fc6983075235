#include "PackStream.h"

#include "ServerAccess.h"

namespace {

const HttpRules kPackRules = {kPackRequestFlags, ~0ull, false, nullptr, false};

CString WithSlashes(const char* url)
{
    CString slashed(url);
    slashed.Replace('\\', '/');
    return slashed;
}

}  // namespace

PackStream::PackStream(const TransferEnv& env, const char* url) : HttpSource(env, WithSlashes(url), kPackRules) {}
