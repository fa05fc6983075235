// Writes a sample update site: latest.xml, initial.pack, database packs and plain
// offline-update files, for trying the tool against a local server.
//   make_sample.exe <site folder> <base URL>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CatalogText.h"
#include "PackWriter.h"
#include "TestFiles.h"

namespace {

struct SampleDatabase {
    const char* name;
    const char* file;  // ASCII, so the URL needs no encoding
    const char* access;  // "-" for none: every kit
    uint64_t size;
};

// Each kit gets a different set: two databases of its own, some shared, one common to all.
const SampleDatabase kDatabases[] = {
    {"Общая", "common", "-", 3 << 20},          {"ТэлмиОсн", "telmi", "161", 2 << 20},
    {"ТэлмиВарно", "telmi-varno", "161, 160", 1 << 20}, {"Варно", "varno", "160", 2 << 20},
    {"Брисс", "briss", "164", 3 << 20},          {"БриссЛомта", "briss-lomta", "164,163", 1 << 20},
    {"Ломта", "lomta", "163", 2 << 20},          {"Креспа", "krespa", "65", 4 << 20},
    {"Архив", "archive", "1610", 1 << 20},
};

FILETIME SampleTime(int day)
{
    SYSTEMTIME time = {2024, 3, 0, static_cast<WORD>(1 + day), 9, 30, 0, 0};
    FILETIME result;
    SystemTimeToFileTime(&time, &result);
    return result;
}

bool WritePack(const std::string& path, const std::string& packName, const std::vector<PackedFile>& files)
{
    PackLayout layout;
    layout.packName = packName;
    layout.files = files;
    return WritePackFile(path, layout);
}

PackedFile Generated(const std::string& name, uint64_t size, uint32_t seed, int day)
{
    PackedFile file = PackFile(name, "", SampleTime(day));
    file.generatedSize = size;
    file.seed = seed;
    return file;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: make_sample <site folder> <base URL>\n");
        return 2;
    }
    const std::string site = argv[1];
    const std::string base = argv[2];
    const std::string update = site + "\\ulvooffline\\update";
    // Flat paths: the offline update stores each item under its path and makes no folders.
    for (const std::string& dir : {site, site + "\\ulvooffline", update})
        CreateDirectoryA(dir.c_str(), NULL);

    bool ok = WritePack(update + "\\initial.pack", "Программа",
                        {PackFile("readme.txt", "Пример комплекта для проверки загрузки.\r\n", SampleTime(0)),
                         Generated("zeb.exe", 6 << 20, 1, 1), Generated("lib\\core.dll", 5 << 20, 2, 2)});

    std::vector<CatalogEntry> databases;
    uint32_t seed = 10;
    for (const SampleDatabase& database : kDatabases) {
        std::string path = std::string(database.file) + ".pack";
        ok = ok && WritePack(update + "\\" + path, database.name,
                             {PackFile(std::string(database.name) + ".ini", "[База]\r\n", SampleTime(3)),
                              Generated(std::string("data\\") + database.name + ".dat", database.size, seed++, 4)});
        databases.push_back({database.name, path, database.access});
    }

    std::vector<CatalogEntry> files = {{"Обновление программы", "update.exe"},
                                       {"Список изменений", "changes.txt"}};
    ok = ok && WriteWholeFile(update + "\\update.exe", GeneratedData(99, 3 << 20));
    ok = ok && WriteWholeFile(update + "\\changes.txt", "Версия 2024.3\r\n");
    ok = ok && WriteWholeFile(update + "\\latest.xml", CatalogXml(base, databases, files));
    if (!ok) {
        fprintf(stderr, "make_sample: cannot write the site below %s\n", site.c_str());
        return 1;
    }
    return 0;
}
