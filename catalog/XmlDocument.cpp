// Loading a document from memory and knowing whether it parsed.
#include "XmlDocument.h"

#include <cstring>

#include "MemoryStream.h"

namespace {

// MinGW's libuuid has no DOMDocument 3.0 class id. A name of our own keeps a later libuuid
// that adds it from defining the same symbol twice.
const CLSID kClsidDomDocument30 = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};

const long kReadyStateComplete = 4;

}  // namespace

HRESULT LoadXmlDocument(const char* text, IXMLDOMDocument** document)
{
    HRESULT hr = E_FAIL;
    MemoryStream stream;  // keeps its first reference until the end of this scope
    IXMLDOMDocument* loaded = NULL;
    IStream* streamRef = NULL;
    IPersistStreamInit* persist = NULL;

    if (!document)
        return E_INVALIDARG;
    *document = NULL;
    if (!text)
        return E_FAIL;

    CoCreateInstance(kClsidDomDocument30, NULL, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                     reinterpret_cast<void**>(&loaded));
    if (!loaded)
        return E_FAIL;

    stream.Init(text, static_cast<ULONG>(strlen(text)));
    stream.QueryInterface(IID_IStream, reinterpret_cast<void**>(&streamRef));
    if (!streamRef)
        goto CleanUp;
    loaded->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist));
    if (!persist)
        goto CleanUp;

    if (SUCCEEDED(persist->Load(streamRef)))
        WaitForDocumentReady(loaded);
    // A failed Load may still leave a verdict in the parse error; that verdict decides.
    if (SUCCEEDED(CheckParseError(loaded))) {
        *document = loaded;
        loaded = NULL;
        hr = S_OK;
    }

CleanUp:
    if (persist)
        persist->Release();
    if (streamRef)
        streamRef->Release();
    if (loaded)
        loaded->Release();
    return hr;
}

HRESULT WaitForDocumentReady(IXMLDOMDocument* document)
{
    long state = 0;
    MSG message;
    HRESULT hr = document->get_readyState(&state);
    if (FAILED(hr))
        return hr;
    // An asynchronous parser completes through the thread's messages.
    while (state != kReadyStateComplete) {
        GetMessageA(&message, NULL, 0, 0);
        DispatchMessageA(&message);
        hr = document->get_readyState(&state);
        if (FAILED(hr))
            return hr;
    }
    while (PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE)) {
        GetMessageA(&message, NULL, 0, 0);
        DispatchMessageA(&message);
    }
    return S_OK;
}

HRESULT CheckParseError(IXMLDOMDocument* document)
{
    IXMLDOMParseError* error = NULL;
    long code = 0;
    HRESULT hr = document->get_parseError(&error);
    if (FAILED(hr))
        return hr;
    if (!error)
        return E_FAIL;
    hr = error->get_errorCode(&code);
    error->Release();
    return FAILED(hr) ? hr : static_cast<HRESULT>(code);
}
