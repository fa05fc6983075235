// Helpers for the catalogue tests: storing a text the way a fetch does, and the model as one string.
#pragma once

#include <cstring>
#include <string>

#include "UpdateCatalog.h"

// Stores text (embedded NULs included) plus one NUL, as a download of text.size() bytes would be.
inline HRESULT StoreAndParse(UpdateCatalog& catalog, const std::string& text)
{
    char* buffer = new char[text.size() + 1];
    memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    catalog.StoreText(buffer, static_cast<int>(text.size() + 1));
    return catalog.ParseCatalog();
}

// The whole model, one line per field or record, so that a test compares it with one golden text.
// A list that was never allocated shows as "(no list)" after its count.
inline std::string Describe(const UpdateCatalog& catalog)
{
    std::string out = "base=" + std::string(catalog.baseUrl) + "\n";
    out += "databases=" + std::to_string(catalog.databaseCount) + (catalog.databases ? "" : " (no list)") + "\n";
    for (int i = 0; catalog.databases && i < catalog.databaseCount; ++i) {
        const CatalogDatabase& d = catalog.databases[i];
        out += "  " + std::string(d.name) + "|" + std::string(d.path) + "|" + std::string(d.access) + "|" +
               std::to_string(d.selected) + "\n";
    }
    out += "files=" + std::to_string(catalog.fileCount) + (catalog.files ? "" : " (no list)") + "\n";
    for (int i = 0; catalog.files && i < catalog.fileCount; ++i)
        out += "  " + std::string(catalog.files[i].name) + "|" + std::string(catalog.files[i].path) + "\n";
    return out;
}
