// Finding a child by name and reading names and attributes of DOM nodes.
#include "XmlDocument.h"

#include <mbstring.h>

namespace {

const int kNameBufferLength = 260;

}  // namespace

HRESULT FindChildByName(IXMLDOMNode* parent, const char* name, IXMLDOMNode** child)
{
    HRESULT hr = E_FAIL;
    IXMLDOMNodeList* children = NULL;
    IXMLDOMNode* candidate = NULL;
    long length = 0;
    CString candidateName;

    if (!child)
        return E_INVALIDARG;
    *child = NULL;
    if (!parent || !name)
        return E_FAIL;

    if (FAILED(parent->get_childNodes(&children)) || !children)
        goto CleanUp;
    if (FAILED(children->get_length(&length)))
        goto CleanUp;

    hr = S_FALSE;
    for (long index = 0; index < length; ++index) {
        if (FAILED(children->get_item(index, &candidate)) || !candidate) {
            hr = E_FAIL;
            goto CleanUp;
        }
        // Every node kind takes part; a node whose name cannot be read is passed over.
        if (SUCCEEDED(GetNodeName(candidate, &candidateName)) &&
            _mbsicmp(reinterpret_cast<const unsigned char*>(candidateName.GetString()),
                     reinterpret_cast<const unsigned char*>(name)) == 0) {
            *child = candidate;
            candidate = NULL;
            hr = S_OK;
            goto CleanUp;
        }
        candidate->Release();
        candidate = NULL;
    }

CleanUp:
    if (candidate)
        candidate->Release();
    if (children)
        children->Release();
    return hr;
}

HRESULT GetNodeName(IXMLDOMNode* node, CString* name)
{
    BSTR text = NULL;
    if (!node || !name)
        return E_INVALIDARG;
    name->Empty();
    HRESULT hr = node->get_nodeName(&text);
    if (FAILED(hr))
        return hr;
    *name = text;
    SysFreeString(text);
    return S_OK;
}

HRESULT GetAttributeText(IXMLDOMNode* node, const char* name, CString* value)
{
    HRESULT hr = E_FAIL;
    IXMLDOMNamedNodeMap* attributes = NULL;
    IXMLDOMNode* attribute = NULL;
    BSTR wideName = NULL;
    VARIANT nodeValue;

    if (!node || !name || !value)
        return E_INVALIDARG;
    value->Empty();
    VariantInit(&nodeValue);

    // Text and comment nodes answer S_FALSE and no map.
    node->get_attributes(&attributes);
    if (!attributes) {
        hr = E_FAIL;
        goto CleanUp;
    }
    wideName = AnsiToBstr(name);
    hr = attributes->getNamedItem(wideName, &attribute);
    attributes->Release();
    attributes = NULL;
    if (!attribute) {
        // Absent: S_FALSE, also from a DOM that would say S_OK without a node.
        if (SUCCEEDED(hr))
            hr = S_FALSE;
        goto CleanUp;
    }

    hr = attribute->get_nodeValue(&nodeValue);
    if (SUCCEEDED(hr) && nodeValue.vt == VT_BSTR) {
        *value = nodeValue.bstrVal;
        hr = S_OK;
    } else {
        hr = E_FAIL;
    }

CleanUp:
    if (attribute)
        attribute->Release();
    if (attributes)
        attributes->Release();
    SysFreeString(wideName);
    VariantClear(&nodeValue);
    return hr;
}

BSTR AnsiToBstr(const char* text)
{
    WCHAR buffer[kNameBufferLength];
    if (!text || !MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, kNameBufferLength))
        return NULL;
    return SysAllocString(buffer);
}
