// Shared pieces of the pack extraction tests.
#pragma once

#include <string>

#include "CancelToken.h"
#include "PackStream.h"
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

inline HRESULT ExtractLocalPack(const std::string& packPath, const std::string& targetDir,
                                ProgressSink* progress = nullptr, CancelToken* cancel = nullptr)
{
    CancelToken never;
    NoProgress unseen;
    PackStream stream;
    stream.SetSource(packPath.c_str(), NULL);
    return stream.Extract(targetDir.c_str(), progress ? *progress : unseen, cancel ? *cancel : never);
}

inline bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}
