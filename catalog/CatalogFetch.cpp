#include "CatalogFetch.h"

#include <new>

#include "HttpSource.h"
#include "ServerAccess.h"
#include "UpdateCatalog.h"

namespace {

const HttpRules kCatalogRules = {kFileRequestFlags, kMaxCatalogSize, true, "text/xml", true, false};

}  // namespace

HINTERNET OpenUpdateSession()
{
    return InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, NULL, NULL, 0);
}

HRESULT FetchCatalogText(const TransferEnv& env, const char* url, char** text, DWORD* size)
{
    HttpSource source(env, url, kCatalogRules);
    char* body = NULL;
    DWORD received = 0;

    *text = NULL;
    *size = 0;
    HRESULT hr = source.Open();
    // Once, and again from the start whenever the catalogue changed between two attempts.
    while (SUCCEEDED(hr)) {
        const DWORD length = static_cast<DWORD>(source.Length());
        delete[] body;
        body = new (std::nothrow) char[length + 1];
        if (!body)
            return E_FAIL;
        body[length] = '\0';
        received = 0;
        do {
            DWORD got = 0;
            hr = source.Read(body + received, length - received, &got);
            received += hr == S_OK ? got : 0;
        } while (hr == S_OK && received < length);
        if (hr == S_OK) {
            *text = body;
            *size = length;
            return S_OK;
        }
        if (hr != S_RESOURCE_CHANGED)
            break;
    }
    delete[] body;
    return hr;
}

HRESULT FetchAndParseCatalog(const TransferEnv& env, const char* url, UpdateCatalog* catalog)
{
    // The request and the parser build strings, which throw when memory runs out.
    try {
        char* text = NULL;
        DWORD size = 0;
        HRESULT hr = FetchCatalogText(env, url, &text, &size);
        if (FAILED(hr))
            return hr;
        // The catalogue already held stays until a new text has arrived whole.
        catalog->Clear();
        catalog->StoreText(text, static_cast<int>(size + 1));
        return catalog->ParseCatalog();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
