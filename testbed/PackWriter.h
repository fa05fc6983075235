// Builds pack archives for tests, sound or deliberately broken.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct PackedFile {
    std::string name;
    std::string data;
    // When non-zero, the data is generated: this many bytes of GeneratedByte(seed, i).
    uint64_t generatedSize = 0;
    uint32_t seed = 0;
    FILETIME time = {0, 0};
    bool wrongDigest = false;
    // When 16 bytes long, stored as the entry's digest instead of the computed one.
    std::string digest;
    // The name fills all 256 bytes of its field, with no NUL.
    bool nameWithoutNul = false;

    uint64_t Size() const { return generatedSize ? generatedSize : data.size(); }
};

struct PackLayout {
    std::string packName;
    std::vector<PackedFile> files;
    bool packNameWithoutNul = false;
    // Written instead of the real number of entries when set.
    bool overrideEntryCount = false;
    uint32_t entryCount = 0;
};

inline PackedFile PackFile(std::string name, std::string data, FILETIME time = {0, 0})
{
    PackedFile file;
    file.name = std::move(name);
    file.data = std::move(data);
    file.time = time;
    return file;
}

// The byte at `index` of a generated file.
inline char GeneratedByte(uint32_t seed, uint64_t index)
{
    uint64_t x = (index >> 3) * 0x9E3779B97F4A7C15ull + seed;
    x ^= x >> 29;
    return static_cast<char>(x >> (8 * (index & 7)));
}
std::string GeneratedData(uint32_t seed, uint64_t size);

FILETIME MakeFileTime(uint64_t ticks);
std::string Md5(const std::string& data);

// The whole pack in memory.
std::string BuildPack(const PackLayout& layout);
// Streams the pack to a file (for packs too big to hold); false when it cannot be written.
bool WritePackFile(const std::string& path, const PackLayout& layout);
uint64_t PackSize(const PackLayout& layout);
