// DownloadDialog::OpenInternetSession and FetchCatalog: latest.xml into memory, then parsed.
#include <mbstring.h>

#include <new>

#include "CatalogUrl.h"
#include "DownloadDialog.h"
#include "ServerAccess.h"

namespace {

// A real catalogue is a few MiB; anything far larger is refused before allocating.
const DWORD kMaxCatalogSize = 64u << 20;

}  // namespace

HRESULT DownloadDialog::OpenInternetSession()
{
    if (internetSession)
        return S_OK;
    internetSession = InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, NULL, NULL, 0);
    return internetSession ? S_OK : E_FAIL;
}

HRESULT DownloadDialog::FetchCatalog()
{
    HRESULT hr = E_FAIL;
    HINTERNET request = NULL;
    char* body = NULL;
    DWORD status = 0;
    DWORD contentLength = 0;
    DWORD length = 0;
    DWORD remaining = 0;
    char* writeAt = NULL;
    char contentType[256];

    // The document load dispatches queued messages; none of them may start another fetch.
    if (fetchingCatalog)
        return E_FAIL;
    fetchingCatalog = true;

#define CHECK(condition) do { if (!(condition)) { hr = E_FAIL; goto CleanUp; } } while (0)
    hr = OpenInternetSession();
    if (FAILED(hr))
        goto CleanUp;

    request = InternetOpenUrlA(internetSession, CatalogUrl(), NULL, 0, kFileRequestFlags, 0);
    CHECK(request);

    length = sizeof(status);
    CHECK(HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL));
    CHECK(status == HTTP_STATUS_OK);

    length = sizeof(contentLength);
    CHECK(HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &contentLength, &length,
                         NULL));
    CHECK(contentLength > 0 && contentLength <= kMaxCatalogSize);

    length = sizeof(contentType);
    CHECK(HttpQueryInfoA(request, HTTP_QUERY_CONTENT_TYPE, contentType, &length, NULL));
    contentType[length < sizeof(contentType) ? length : sizeof(contentType) - 1] = '\0';
    CHECK(_mbsstr(reinterpret_cast<unsigned char*>(contentType),
                  reinterpret_cast<const unsigned char*>("text/xml")) ==
          reinterpret_cast<unsigned char*>(contentType));

    body = new (std::nothrow) char[contentLength + 1];
    CHECK(body);
    body[contentLength] = '\0';

    // Each read asks for everything still missing; a body that ends early is refused,
    // and the catalogue already held stays as it was.
    remaining = contentLength;
    writeAt = body;
    while (remaining > 0) {
        DWORD got = 0;
        CHECK(InternetReadFile(request, writeAt, remaining, &got));
        CHECK(got > 0);
        writeAt += got;
        remaining -= got;
    }

    catalog.Clear();
    catalog.StoreText(body, static_cast<int>(contentLength + 1));
    body = NULL;
    hr = catalog.ParseCatalog();

CleanUp:
#undef CHECK
    if (request)
        InternetCloseHandle(request);
    delete[] body;
    fetchingCatalog = false;
    return hr;
}
