#include "PackWriter.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "PackFormat.h"

namespace {

void CopyName(char (&field)[256], const std::string& name, bool withoutNul)
{
    memset(field, 0, sizeof(field));
    if (withoutNul) {
        for (size_t i = 0; i < sizeof(field); ++i)
            field[i] = i < name.size() ? name[i] : 'x';
    } else {
        memcpy(field, name.data(), std::min(name.size(), sizeof(field) - 1));
    }
}

// Calls `sink` with the data of `file` in pieces of at most 4 MiB.
void ForEachPiece(const PackedFile& file, const std::function<void(const std::string&)>& sink)
{
    if (!file.generatedSize) {
        sink(file.data);
        return;
    }
    const uint64_t pieceSize = 4 << 20;
    std::string piece;
    for (uint64_t offset = 0; offset < file.generatedSize; offset += pieceSize) {
        uint64_t size = std::min(pieceSize, file.generatedSize - offset);
        piece.resize(static_cast<size_t>(size));
        for (uint64_t i = 0; i < size; ++i)
            piece[static_cast<size_t>(i)] = GeneratedByte(file.seed, offset + i);
        sink(piece);
    }
}

void WritePack(const PackLayout& layout, const std::function<void(const void*, size_t)>& out)
{
    PackHeader header = {};
    memcpy(header.reserved, "test pack", 9);
    CopyName(header.packName, layout.packName, layout.packNameWithoutNul);
    header.entryCount = layout.overrideEntryCount ? layout.entryCount : static_cast<DWORD>(layout.files.size());
    out(&header, sizeof(header));

    for (const PackedFile& file : layout.files) {
        PackEntry entry = {};
        entry.fileSize = static_cast<DWORD>(file.Size());
        entry.fileTime = file.time;
        CryptoPP::Weak1::MD5 md5;
        ForEachPiece(file, [&](const std::string& piece) {
            md5.Update(reinterpret_cast<const CryptoPP::byte*>(piece.data()), piece.size());
        });
        md5.Final(entry.md5);
        if (file.digest.size() == sizeof(entry.md5))
            memcpy(entry.md5, file.digest.data(), sizeof(entry.md5));
        if (file.wrongDigest)
            entry.md5[0] ^= 0xFF;
        CopyName(entry.fileName, file.name, file.nameWithoutNul);
        out(&entry, sizeof(entry));
    }
    for (const PackedFile& file : layout.files)
        ForEachPiece(file, [&](const std::string& piece) { out(piece.data(), piece.size()); });
}

}  // namespace

std::string GeneratedData(uint32_t seed, uint64_t size)
{
    std::string data(static_cast<size_t>(size), '\0');
    for (uint64_t i = 0; i < size; ++i)
        data[static_cast<size_t>(i)] = GeneratedByte(seed, i);
    return data;
}

FILETIME MakeFileTime(uint64_t ticks)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

std::string Md5(const std::string& data)
{
    CryptoPP::Weak1::MD5 md5;
    std::string digest(16, '\0');
    md5.CalculateDigest(reinterpret_cast<CryptoPP::byte*>(&digest[0]),
                        reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
    return digest;
}

std::string BuildPack(const PackLayout& layout)
{
    std::string pack;
    WritePack(layout, [&](const void* data, size_t size) { pack.append(static_cast<const char*>(data), size); });
    return pack;
}

bool WritePackFile(const std::string& path, const PackLayout& layout)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = true;
    WritePack(layout, [&](const void* data, size_t size) {
        ok = ok && fwrite(data, 1, size, file) == size;
    });
    return fclose(file) == 0 && ok;
}

uint64_t PackSize(const PackLayout& layout)
{
    uint64_t size = sizeof(PackHeader) + sizeof(PackEntry) * layout.files.size();
    for (const PackedFile& file : layout.files)
        size += file.Size();
    return size;
}
