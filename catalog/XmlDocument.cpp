// Loading a document from memory and knowing whether it parsed.
#include "XmlDocument.h"

#include <cstring>

#include "ComPtr.h"
#include "MemoryStream.h"

namespace {

// MinGW's libuuid has no DOMDocument 3.0 class id. A name of our own keeps a later libuuid
// that adds it from defining the same symbol twice.
const CLSID kClsidDomDocument30 = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};

const long kReadyStateComplete = 4;

}  // namespace

HRESULT LoadXmlDocument(const char* text, IXMLDOMDocument** document)
{
    if (!document)
        return E_INVALIDARG;
    *document = NULL;
    if (!text)
        return E_FAIL;

    MemoryStream stream;  // keeps its first reference until the end of this scope
    ComPtr<IXMLDOMDocument> loaded;
    ComPtr<IStream> streamRef;
    ComPtr<IPersistStreamInit> persist;
    CoCreateInstance(kClsidDomDocument30, NULL, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                     reinterpret_cast<void**>(loaded.Receive()));
    if (!loaded)
        return E_FAIL;
    stream.Init(text, static_cast<ULONG>(strlen(text)));
    stream.QueryInterface(IID_IStream, reinterpret_cast<void**>(streamRef.Receive()));
    loaded->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(persist.Receive()));
    if (!streamRef || !persist)
        return E_FAIL;
    if (SUCCEEDED(persist->Load(streamRef.Get())))
        WaitForDocumentReady(loaded.Get());
    // A failed Load may still leave a verdict in the parse error; that verdict decides.
    if (FAILED(CheckParseError(loaded.Get())))
        return E_FAIL;
    *document = loaded.Detach();
    return S_OK;
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
    ComPtr<IXMLDOMParseError> error;
    long code = 0;
    HRESULT hr = document->get_parseError(error.Receive());
    if (FAILED(hr))
        return hr;
    if (!error)
        return E_FAIL;
    hr = error->get_errorCode(&code);
    return FAILED(hr) ? hr : static_cast<HRESULT>(code);
}
