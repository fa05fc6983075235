#include "SampleSite.h"

#include "TestFiles.h"

namespace {

uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return UINT64_MAX;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

FILETIME SiteTime(int day)
{
    SYSTEMTIME time = {2024, 3, 0, static_cast<WORD>(1 + day), 9, 30, 0, 0};
    FILETIME result;
    SystemTimeToFileTime(&time, &result);
    return result;
}

PackedFile GeneratedFile(const std::string& name, uint64_t size, uint32_t seed, int day)
{
    PackedFile file = PackFile(name, "", SiteTime(day));
    file.generatedSize = size;
    file.seed = seed;
    return file;
}

bool WriteSampleSite(const std::string& siteFolder, const std::string& base, const SampleSite& site,
                     uint64_t* written)
{
    const std::string update = siteFolder + "\\ulvooffline\\update";
    for (const std::string& dir : {siteFolder, siteFolder + "\\ulvooffline", update})
        CreateDirectoryA(dir.c_str(), NULL);
    uint64_t bytes = 0;
    bool ok = true;
    std::vector<CatalogEntry> databases;
    std::vector<CatalogEntry> files;
    std::vector<const SitePack*> packs = {&site.initial};
    for (const SitePack& pack : site.databases) {
        packs.push_back(&pack);
        databases.push_back({pack.layout.packName, pack.path, pack.access});
    }
    for (const SitePack* pack : packs) {
        const std::string path = update + "\\" + pack->path;
        if (FileSize(path) == PackSize(pack->layout))
            continue;
        ok = ok && WritePackFile(path, pack->layout);
        bytes += PackSize(pack->layout);
    }
    for (const SamplePlainFile& file : site.files) {
        const std::string path = update + "\\" + file.entry.path;
        files.push_back(file.entry);
        if (FileSize(path) == file.data.size())
            continue;
        ok = ok && WriteWholeFile(path, file.data);
        bytes += file.data.size();
    }
    ok = ok && WriteWholeFile(update + "\\latest.xml", CatalogXml(base, databases, files));
    if (written)
        *written = bytes;
    return ok;
}
