#include "CatalogFetch.h"

#include <mbstring.h>

#include <new>

#include "Check.h"
#include "ServerAccess.h"

HINTERNET OpenUpdateSession()
{
    return InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, NULL, NULL, 0);
}

HRESULT FetchCatalogText(HINTERNET session, const char* url, char** text, DWORD* size)
{
    HRESULT hr = E_FAIL;
    HINTERNET request = NULL;
    char* body = NULL;
    DWORD status = 0;
    DWORD contentLength = 0;
    DWORD length = 0;
    DWORD received = 0;
    char contentType[256];

    *text = NULL;
    *size = 0;
    request = InternetOpenUrlA(session, url, NULL, 0, kFileRequestFlags, 0);
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

    // Each read asks for everything still missing; a body that ends early is refused.
    while (received < contentLength) {
        DWORD got = 0;
        CHECK(InternetReadFile(request, body + received, contentLength - received, &got));
        CHECK(got > 0 && got <= contentLength - received);
        received += got;
    }

    *text = body;
    *size = contentLength;
    body = NULL;
    hr = S_OK;

CleanUp:
    if (request)
        InternetCloseHandle(request);
    delete[] body;
    return hr;
}
