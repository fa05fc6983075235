// Finding a child by name and reading names and attributes of DOM nodes.
#include "XmlDocument.h"

#include <mbstring.h>

#include "ComPtr.h"

namespace {

const int kNameBufferLength = 260;

}  // namespace

HRESULT FindChildByName(IXMLDOMNode* parent, const char* name, IXMLDOMNode** child)
{
    if (!child)
        return E_INVALIDARG;
    *child = NULL;
    if (!parent || !name)
        return E_FAIL;

    ComPtr<IXMLDOMNodeList> children;
    long length = 0;
    if (FAILED(parent->get_childNodes(children.Receive())) || !children || FAILED(children->get_length(&length)))
        return E_FAIL;
    CString candidateName;
    for (long index = 0; index < length; ++index) {
        ComPtr<IXMLDOMNode> candidate;
        if (FAILED(children->get_item(index, candidate.Receive())) || !candidate)
            return E_FAIL;
        // Every node kind takes part; a node whose name cannot be read is passed over.
        if (SUCCEEDED(GetNodeName(candidate.Get(), &candidateName)) &&
            _mbsicmp(reinterpret_cast<const unsigned char*>(candidateName.GetString()),
                     reinterpret_cast<const unsigned char*>(name)) == 0) {
            *child = candidate.Detach();
            return S_OK;
        }
    }
    return S_FALSE;
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
    if (!node || !name || !value)
        return E_INVALIDARG;
    value->Empty();

    ComPtr<IXMLDOMNamedNodeMap> attributes;
    ComPtr<IXMLDOMNode> attribute;
    // Text and comment nodes answer S_FALSE and no map.
    node->get_attributes(attributes.Receive());
    if (!attributes)
        return E_FAIL;
    Bstr wideName(AnsiToBstr(name));
    HRESULT hr = attributes->getNamedItem(wideName.Get(), attribute.Receive());
    if (!attribute) {
        // Absent: S_FALSE, also from a DOM that would say S_OK without a node.
        return SUCCEEDED(hr) ? S_FALSE : hr;
    }
    Variant nodeValue;
    hr = attribute->get_nodeValue(nodeValue.Receive());
    if (FAILED(hr) || nodeValue.Get().vt != VT_BSTR)
        return E_FAIL;
    *value = nodeValue.Get().bstrVal;
    return S_OK;
}

BSTR AnsiToBstr(const char* text)
{
    WCHAR buffer[kNameBufferLength];
    if (!text || !MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, kNameBufferLength))
        return NULL;
    return SysAllocString(buffer);
}
