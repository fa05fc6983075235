#include "PackStream.h"

#include "PackExtract.h"
#include "ServerAccess.h"

namespace {

// Its header and entry table name its version, and its digests prove its bytes.
const HttpRules kPackRules = {kPackRequestFlags, ~0ull, false, nullptr, false, true};

CString WithSlashes(const char* url)
{
    CString slashed(url);
    slashed.Replace('\\', '/');
    return slashed;
}

}  // namespace

PackStream::PackStream(const TransferEnv& env, const char* url) : HttpSource(env, WithSlashes(url), kPackRules) {}

HRESULT PackStream::Extract(const char* targetDir, const char* packFolder, ProgressSink& progress,
                            const CancelToken& cancel)
{
    return ExtractPack(*this, targetDir, packFolder, progress, cancel);
}
