// Shared pieces of the pack extraction tests.
#pragma once

#include <string>

#include "CancelToken.h"
#include "MemorySource.h"
#include "PackExtract.h"
#include "PackWriter.h"
#include "ProgressSink.h"
#include "TestFiles.h"

// A typical small pack: two levels of directories, both separators, an empty file.
inline PackLayout SamplePack()
{
    PackLayout layout;
    layout.packName = "Bin";
    layout.files.push_back(PackFile("readme.txt", "hello pack\r\n", MakeFileTime(0x01D5000000000000ull)));
    layout.files.push_back(PackFile("a\\b\\c.txt", "nested with backslashes", MakeFileTime(0x01D6000000000000ull)));
    layout.files.push_back(PackFile("a/b/d.bin", GeneratedData(7, 5000), MakeFileTime(0x01D7000000000000ull)));
    layout.files.push_back(PackFile("empty.dat", "", MakeFileTime(0x01D8000000000000ull)));
    return layout;
}

// Unpacks `pack`, held in memory, below `targetDir`.
inline HRESULT ExtractFromMemory(const std::string& pack, const std::string& targetDir,
                                 ProgressSink* progress = nullptr, CancelToken* cancel = nullptr)
{
    CancelToken never;
    NoProgress unseen;
    MemorySource source(pack);
    return ExtractPack(source, targetDir.c_str(), nullptr, progress ? *progress : unseen,
                       cancel ? *cancel : never);
}

inline bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}
