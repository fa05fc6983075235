// Document loading, child lookup and attribute reading against the platform's MSXML 3.0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "XmlDocument.h"

namespace {

// Keeps every reference the test takes and releases them at the end.
class XmlDocumentTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (IUnknown* reference : references)
            reference->Release();
    }

    IXMLDOMNode* Load(const char* text)
    {
        IXMLDOMDocument* document = nullptr;
        EXPECT_EQ(S_OK, LoadXmlDocument(text, &document)) << text;
        return Keep(document);
    }

    IXMLDOMNode* Child(IXMLDOMNode* parent, const char* name)
    {
        IXMLDOMNode* child = nullptr;
        EXPECT_EQ(S_OK, FindChildByName(parent, name, &child)) << name;
        return Keep(child);
    }

    // The name the DOM gives the node, or "?".
    static std::string NameOf(IXMLDOMNode* node)
    {
        CString name("?");
        return node && SUCCEEDED(GetNodeName(node, &name)) ? std::string(name) : "?";
    }

    template <typename Node>
    Node* Keep(Node* node)
    {
        if (node)
            references.push_back(node);
        return node;
    }

    std::vector<IUnknown*> references;
};

TEST_F(XmlDocumentTest, TextThatIsNotWellFormedDoesNotLoad)
{
    const char* const texts[] = {"", "plain text", "<a><b></a>", "<?xml version=\"1.0\"?>", "<a/><b/>"};
    for (const char* text : texts) {
        IXMLDOMDocument* document = reinterpret_cast<IXMLDOMDocument*>(1);
        EXPECT_EQ(E_FAIL, LoadXmlDocument(text, &document)) << text;
        EXPECT_EQ(nullptr, document) << text;
    }
}

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        ++*reinterpret_cast<int*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(XmlDocumentTest, LoadingDispatchesEveryQueuedMessageIncludingQuit)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "XmlDocumentTestCounter";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA(windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    int dispatched = 0;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&dispatched));
    for (int i = 0; i < 3; ++i)
        PostMessageA(window, WM_APP, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 1, 0, 0);
    PostQuitMessage(0);

    EXPECT_NE(nullptr, Load("<a/>"));
    EXPECT_EQ(3, dispatched);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) << "left in the queue: " << message.message;
    DestroyWindow(window);
}

TEST_F(XmlDocumentTest, FindChildTakesTheFirstNodeOfAnyKindWhoseWholeNameMatches)
{
    IXMLDOMNode* document = Load(
        "<?xml version=\"1.0\"?>\r\n<!-- c -->\r\n<?Latest pi?>\r\n<LATEST/>");
    ASSERT_NE(nullptr, document);
    EXPECT_EQ("xml", NameOf(Child(document, "XML")));
    EXPECT_EQ("#comment", NameOf(Child(document, "#comment")));

    // A processing instruction with the wanted target stands first and is taken.
    IXMLDOMNode* pi = Child(document, "latest");
    DOMNodeType type = NODE_INVALID;
    ASSERT_NE(nullptr, pi);
    EXPECT_EQ(S_OK, pi->get_nodeType(&type));
    EXPECT_EQ(NODE_PROCESSING_INSTRUCTION, type);
}

TEST_F(XmlDocumentTest, FindChildSkipsPrefixedNamesAndReportsNothingFoundAsSfalse)
{
    IXMLDOMNode* document = Load("<LATEST xmlns:z=\"urn:z\"><z:databases/><Databases n=\"2\"/><DATABASES n=\"3\"/>"
                                 "<empty/>text</LATEST>");
    IXMLDOMNode* latest = Child(document, "latest");
    ASSERT_NE(nullptr, latest);
    // The prefixed element is passed over; of the other two the first wins.
    CString n;
    EXPECT_EQ(S_OK, GetAttributeText(Child(latest, "databases"), "n", &n));
    EXPECT_STREQ("2", n);
    EXPECT_EQ("#text", NameOf(Child(latest, "#TEXT")));

    IXMLDOMNode* child = reinterpret_cast<IXMLDOMNode*>(1);
    EXPECT_EQ(S_FALSE, FindChildByName(latest, "files", &child));
    EXPECT_EQ(nullptr, child);
    child = reinterpret_cast<IXMLDOMNode*>(1);
    EXPECT_EQ(S_FALSE, FindChildByName(Child(latest, "empty"), "empty", &child));
    EXPECT_EQ(nullptr, child);
}

TEST_F(XmlDocumentTest, AttributesAreReadByTheirExactName)
{
    IXMLDOMNode* r = Child(Load("<r name=\"value\" empty=\"\" Mixed=\"M\"><!--note-->text</r>"), "r");
    ASSERT_NE(nullptr, r);
    struct Case {
        const char* name;
        HRESULT result;
        const char* value;
    };
    const Case cases[] = {{"name", S_OK, "value"},   {"empty", S_OK, ""},      {"Mixed", S_OK, "M"},
                          {"NAME", S_FALSE, ""},     {"mixed", S_FALSE, ""},   {"missing", S_FALSE, ""}};
    for (const Case& c : cases) {
        CString value("stale");
        EXPECT_EQ(c.result, GetAttributeText(r, c.name, &value)) << c.name;
        EXPECT_STREQ(c.value, value) << c.name;
    }

    // A comment or text node has no attributes at all.
    const char* const kinds[] = {"#comment", "#text"};
    for (const char* kind : kinds) {
        CString value("stale");
        EXPECT_EQ(E_FAIL, GetAttributeText(Child(r, kind), "name", &value)) << kind;
        EXPECT_STREQ("", value) << kind;
    }
}

}  // namespace
