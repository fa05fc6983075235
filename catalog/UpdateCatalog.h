// The parsed update catalogue latest.xml: base URL, databases and offline-update files.
#pragma once

#include <windows.h>

#include <afxstr.h>

struct CatalogDatabase {
    CString name;    // caption while downloading; also written into ZebDbLst.ini
    CString path;    // the pack, relative to baseUrl
    CString access;  // "" (every kit) or ",code,code," with blanks removed
    int selected = 0;
};

struct CatalogFile {
    CString name;
    CString path;  // relative to baseUrl, and to the target folder when stored
};

class UpdateCatalog {
public:
    UpdateCatalog() = default;
    ~UpdateCatalog() { Clear(); }
    UpdateCatalog(const UpdateCatalog&) = delete;
    UpdateCatalog& operator=(const UpdateCatalog&) = delete;

    // Builds baseUrl and both lists from xmlText. S_OK also when the document has no
    // "latest" element (the catalogue then stays empty); a negative result leaves a
    // partial model, which the next Clear() or the destructor releases.
    HRESULT ParseCatalog();

    // Frees the text and both lists and empties baseUrl.
    void Clear();
    // Takes ownership of `text` (size bytes, the last one a NUL) after Clear().
    void StoreText(char* text, int size);
    // Clear(), then takes over everything `other` holds, leaving it empty.
    void TakeFrom(UpdateCatalog& other);

    char* xmlText = nullptr;  // as downloaded, followed by one NUL
    int xmlSize = 0;          // Content-Length + 1
    CString baseUrl;
    int databaseCount = 0;
    CatalogDatabase* databases = nullptr;
    int fileCount = 0;
    CatalogFile* files = nullptr;
};
