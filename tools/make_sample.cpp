// Writes a sample update site: latest.xml, initial.pack, database packs and plain
// offline-update files, for trying the tool against a local server.
//   make_sample.exe <site folder> <base URL>
#include <windows.h>

#include <cstdio>
#include <string>

#include "SampleSite.h"
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: make_sample <site folder> <base URL>\n");
        return 2;
    }
    SampleSite site;
    site.initial.path = "initial.pack";
    site.initial.layout.packName = "Программа";
    site.initial.layout.files = {PackFile("readme.txt", "Пример комплекта для проверки загрузки.\r\n", SiteTime(0)),
                                 GeneratedFile("zeb.exe", 6 << 20, 1, 1), GeneratedFile("lib\\core.dll", 5 << 20, 2, 2)};
    uint32_t seed = 10;
    for (const SampleDatabase& database : kDatabases) {
        SitePack pack;
        pack.path = std::string(database.file) + ".pack";
        pack.layout.packName = database.name;
        pack.layout.files = {PackFile(std::string(database.name) + ".ini", "[База]\r\n", SiteTime(3)),
                             GeneratedFile(std::string("data\\") + database.name + ".dat", database.size, seed++, 4)};
        pack.access = database.access;
        site.databases.push_back(pack);
    }
    site.files = {{{"Обновление программы", "update.exe"}, GeneratedData(99, 3 << 20)},
                  {{"Список изменений", "changes.txt"}, "Версия 2024.3\r\n"}};
    if (!WriteSampleSite(argv[1], argv[2], site)) {
        fprintf(stderr, "make_sample: cannot write the site below %s\n", argv[1]);
        return 1;
    }
    return 0;
}
