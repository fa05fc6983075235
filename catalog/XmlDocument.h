// The little the catalogue needs of an XML document, over the MSXML 3.0 DOM.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <msxml2.h>

#include <afxstr.h>

// COM must be initialised on the calling thread. Every interface handed out belongs to the
// caller; S_FALSE is a lookup that found nothing, and a success: test results with FAILED().

// Parses text up to its first NUL byte, in the encoding the text declares. S_OK and the
// document, or E_FAIL and null. Dispatches the messages queued for the thread.
HRESULT LoadXmlDocument(const char* text, IXMLDOMDocument** document);

// Pumps the thread's messages until the document is complete, then drains the queue.
HRESULT WaitForDocumentReady(IXMLDOMDocument* document);

// The document's parse-error code: a negative value (or failing query) means the text did not parse.
HRESULT CheckParseError(IXMLDOMDocument* document);

// The first child of any node kind whose whole name equals name, ignoring case.
// S_OK and the child; S_FALSE and null when none matches; E_FAIL and null.
HRESULT FindChildByName(IXMLDOMNode* parent, const char* name, IXMLDOMNode** child);

// The node's name in the ANSI code page ("#text", "#comment", a PI's target...).
HRESULT GetNodeName(IXMLDOMNode* node, CString* name);

// The attribute's value in the ANSI code page; the name is matched exactly.
// S_OK; S_FALSE (value empty) when the attribute is absent; E_FAIL (value empty) for a node
// without attributes or a value that is not a string; E_INVALIDARG for a null argument.
HRESULT GetAttributeText(IXMLDOMNode* node, const char* name, CString* value);

// A new BSTR (the caller frees it) of an ANSI string of at most 259 characters;
// null for a longer or null string.
BSTR AnsiToBstr(const char* text);
