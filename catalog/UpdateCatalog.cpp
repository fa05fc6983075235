// The catalogue model: parsing latest.xml into the base URL and the two record lists.
#include "UpdateCatalog.h"

#include <new>

#include "ComPtr.h"
#include "XmlDocument.h"

namespace {

// "" stays ""; anything else loses its blanks (0x20 only) and gains a comma at each end,
// so a kit's code can be looked for as ",code,".
void NormaliseAccess(const CString& read, CString* access)
{
    access->Empty();
    if (read.IsEmpty())
        return;
    CString codes(read);
    for (int at = codes.Find(' '); at >= 0; at = codes.Find(' ', at))
        codes.Delete(at);
    access->Format(",%s,", codes.GetString());
}

// The child list of a record-list element and its length; the caller releases the list.
HRESULT OpenRecordList(IXMLDOMNode* element, IXMLDOMNodeList** records, long* length)
{
    HRESULT hr = element->get_childNodes(records);
    if (FAILED(hr))
        return hr;
    if (!*records)
        return E_FAIL;
    hr = (*records)->get_length(length);
    if (SUCCEEDED(hr) && *length < 0)
        hr = E_FAIL;
    return hr;
}

HRESULT ReadDatabaseRecord(IXMLDOMNode* node, CatalogDatabase* record)
{
    CString access;
    if (GetAttributeText(node, "name", &record->name) != S_OK)
        return E_FAIL;
    if (GetAttributeText(node, "path", &record->path) != S_OK)
        return E_FAIL;
    if (FAILED(GetAttributeText(node, "access", &access)))
        return E_FAIL;
    NormaliseAccess(access, &record->access);
    return S_OK;
}

HRESULT ReadFileRecord(IXMLDOMNode* node, CatalogFile* record)
{
    if (GetAttributeText(node, "name", &record->name) != S_OK)
        return E_FAIL;
    HRESULT hr = GetAttributeText(node, "path", &record->path);
    if (FAILED(hr))
        return hr;
    return hr == S_OK ? S_OK : E_FAIL;
}

// The records are visited front to back with nextNode: the same nodes in the same
// order as get_item(0 .. length - 1), but Wine's get_item walks the list from its
// start on every call, which makes an indexed loop quadratic in the catalogue size.
HRESULT NextRecord(IXMLDOMNodeList* records, IXMLDOMNode** node)
{
    *node = NULL;
    HRESULT hr = records->nextNode(node);
    return SUCCEEDED(hr) && *node ? S_OK : E_FAIL;
}

// Fills one list in document order. The count and the array are stored in the catalogue
// first, so that a failure leaves the records read so far for Clear() to release.
template <typename Record>
HRESULT ReadRecords(IXMLDOMNode* element, Record*& records, int& count,
                    HRESULT (*readRecord)(IXMLDOMNode*, Record*))
{
    ComPtr<IXMLDOMNodeList> list;
    long length = 0;
    HRESULT hr = OpenRecordList(element, list.Receive(), &length);
    if (FAILED(hr))
        return hr;
    records = new (std::nothrow) Record[length];
    if (!records)
        return E_OUTOFMEMORY;
    count = static_cast<int>(length);
    for (long index = 0; index < length; ++index) {
        ComPtr<IXMLDOMNode> node;
        // A record that cannot be fetched stays empty; the others are still read.
        if (FAILED(NextRecord(list.Get(), node.Receive())))
            continue;
        hr = readRecord(node.Get(), &records[index]);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

}  // namespace

HRESULT UpdateCatalog::ParseCatalog()
{
    if (!xmlText)
        return E_FAIL;
    ComPtr<IXMLDOMDocument> document;
    ComPtr<IXMLDOMNode> latest;
    HRESULT hr = LoadXmlDocument(xmlText, document.Receive());
    if (FAILED(hr))
        return hr;
    hr = FindChildByName(document.Get(), "latest", latest.Receive());
    // No "latest": an empty catalogue, and no error.
    if (hr != S_OK)
        return SUCCEEDED(hr) ? S_OK : hr;
    if (FAILED(GetAttributeText(latest.Get(), "base", &baseUrl)))
        return E_FAIL;
    {
        ComPtr<IXMLDOMNode> list;
        hr = FindChildByName(latest.Get(), "databases", list.Receive());
        if (hr == S_OK)
            hr = ReadRecords(list.Get(), databases, databaseCount, ReadDatabaseRecord);
        if (FAILED(hr))
            return hr;
    }
    ComPtr<IXMLDOMNode> list;
    hr = FindChildByName(latest.Get(), "files", list.Receive());
    if (FAILED(hr))
        return hr;
    return hr == S_OK ? ReadRecords(list.Get(), files, fileCount, ReadFileRecord) : S_OK;
}

void UpdateCatalog::Clear()
{
    delete[] xmlText;
    xmlText = nullptr;
    xmlSize = 0;
    baseUrl.Empty();
    delete[] databases;
    databases = nullptr;
    databaseCount = 0;
    delete[] files;
    files = nullptr;
    fileCount = 0;
}

void UpdateCatalog::StoreText(char* text, int size)
{
    Clear();
    xmlText = text;
    xmlSize = size;
}

void UpdateCatalog::TakeFrom(UpdateCatalog& other)
{
    Clear();
    xmlText = other.xmlText;
    xmlSize = other.xmlSize;
    baseUrl = other.baseUrl;
    databaseCount = other.databaseCount;
    databases = other.databases;
    fileCount = other.fileCount;
    files = other.files;
    other.xmlText = nullptr;
    other.databases = nullptr;
    other.files = nullptr;
    other.Clear();
}
