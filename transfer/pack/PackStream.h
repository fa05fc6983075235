// A pack on the update server, as the source its unpacking reads (ExtractPack).
#pragma once

#include "HttpSource.h"

// The pack at `url`, every `\` of which becomes `/`, asked for with the pack's request
// flags: any length is accepted, since its format, not its headers, says what it holds.
class PackStream : public HttpSource {
public:
    PackStream(const TransferEnv& env, const char* url);

    // Unpacks the pack below `targetDir` (ExtractPack, of which this is the pack's own name).
    HRESULT Extract(const char* targetDir, const char* packFolder, ProgressSink& progress, const CancelToken& cancel);
};
