// A sample update site on disk: the packs, the plain offline-update files and latest.xml,
// as the demo, the HTTPS tests and the job benchmark serve it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CatalogText.h"
#include "PackWriter.h"

struct SitePack {
    // Relative to the base URL; flat, as the offline update stores it.
    std::string path;
    PackLayout layout;
    // A database's access list, "-" for none (every kit).
    std::string access = "-";
};

struct SamplePlainFile {
    CatalogEntry entry;
    std::string data;
};

struct SampleSite {
    // Kits take it; the catalogue does not list it.
    SitePack initial;
    // Each listed under its pack's name.
    std::vector<SitePack> databases;
    std::vector<SamplePlainFile> files;
};

// 09:30 UTC on March 1 + `day`, 2024.
FILETIME SiteTime(int day);

// `size` bytes of GeneratedByte(`seed`, ...), dated `day`.
PackedFile GeneratedFile(const std::string& name, uint64_t size, uint32_t seed, int day);

// Writes the site into `siteFolder`\ulvooffline\update (made as needed), latest.xml
// naming `base`; a pack or a file already there with its size is kept. *written (may be
// null) counts the bytes written. False when something cannot be written.
bool WriteSampleSite(const std::string& siteFolder, const std::string& base, const SampleSite& site,
                     uint64_t* written = nullptr);
