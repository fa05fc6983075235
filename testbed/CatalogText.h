// latest.xml texts for tests.
#pragma once

#include <string>
#include <vector>

struct CatalogEntry {
    std::string name;
    std::string path;
    // Written as the "access" attribute unless it is "-" (no attribute at all).
    std::string access = "-";
};

inline std::string CatalogXml(const std::string& base, const std::vector<CatalogEntry>& databases,
                              const std::vector<CatalogEntry>& files)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<latest base=\"" + base + "\">\r\n";
    xml += "  <databases>\r\n";
    for (const CatalogEntry& database : databases) {
        xml += "    <database name=\"" + database.name + "\" path=\"" + database.path + "\"";
        if (database.access != "-")
            xml += " access=\"" + database.access + "\"";
        xml += "/>\r\n";
    }
    xml += "  </databases>\r\n  <files>\r\n";
    for (const CatalogEntry& file : files)
        xml += "    <file name=\"" + file.name + "\" path=\"" + file.path + "\"/>\r\n";
    xml += "  </files>\r\n</latest>\r\n";
    return xml;
}
