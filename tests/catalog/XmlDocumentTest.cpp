// Document loading, child lookup and attribute reading against the platform's MSXML 3.0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "XmlDocument.h"

namespace {

// A loaded document, released at the end of the test.
class XmlDocumentTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (IUnknown* reference : references)
            reference->Release();
    }

    IXMLDOMDocument* Load(const char* text)
    {
        IXMLDOMDocument* document = nullptr;
        EXPECT_EQ(S_OK, LoadXmlDocument(text, &document));
        if (document)
            references.push_back(document);
        return document;
    }

    IXMLDOMNode* Child(IXMLDOMNode* parent, const char* name)
    {
        IXMLDOMNode* child = nullptr;
        EXPECT_EQ(S_OK, FindChildByName(parent, name, &child)) << name;
        if (child)
            references.push_back(child);
        return child;
    }

    IXMLDOMNode* ChildAt(IXMLDOMNode* parent, long index)
    {
        IXMLDOMNodeList* children = nullptr;
        IXMLDOMNode* child = nullptr;
        EXPECT_EQ(S_OK, parent->get_childNodes(&children));
        if (children) {
            EXPECT_EQ(S_OK, children->get_item(index, &child));
            children->Release();
        }
        if (child)
            references.push_back(child);
        return child;
    }

    static std::string NameOf(IXMLDOMNode* node)
    {
        CString name("stale");
        EXPECT_EQ(S_OK, GetNodeName(node, &name));
        return std::string(name);
    }

    std::vector<IUnknown*> references;
};

TEST_F(XmlDocumentTest, TextThatIsNotWellFormedDoesNotLoad)
{
    const char* const texts[] = {"", "<", "plain text", "<a><b></a>", "<?xml version=\"1.0\"?>"};
    for (const char* text : texts) {
        IXMLDOMDocument* document = reinterpret_cast<IXMLDOMDocument*>(1);
        EXPECT_EQ(E_FAIL, LoadXmlDocument(text, &document)) << text;
        EXPECT_EQ(nullptr, document) << text;
    }
}

TEST_F(XmlDocumentTest, BytesAfterTheFirstNulNeverReachTheParser)
{
    // Whole, this would not be well-formed; up to the NUL it is.
    const char good[] = "<a x=\"1\"/>\0<<<garbage";
    IXMLDOMDocument* document = Load(good);
    ASSERT_NE(nullptr, document);
    CString value;
    EXPECT_EQ(S_OK, GetAttributeText(Child(document, "a"), "x", &value));
    EXPECT_STREQ("1", value);

    // And the other way round: the part after the NUL cannot complete the document.
    const char cut[] = "<a>\0</a>";
    IXMLDOMDocument* none = nullptr;
    EXPECT_EQ(E_FAIL, LoadXmlDocument(cut, &none));
    EXPECT_EQ(nullptr, none);
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
    HWND window = CreateWindowA("XmlDocumentTestCounter", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    int dispatched = 0;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&dispatched));

    for (int i = 0; i < 3; ++i)
        PostMessageA(window, WM_APP, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 1, 0, 0);
    PostQuitMessage(0);

    ASSERT_NE(nullptr, Load("<a/>"));
    EXPECT_EQ(3, dispatched);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) << "left in the queue: " << message.message;
    DestroyWindow(window);
}

TEST_F(XmlDocumentTest, FindChildMatchesTheWholeNameInAnyCase)
{
    IXMLDOMDocument* document = Load(
        "<?xml version=\"1.0\"?>\r\n<!-- latest -->\r\n"
        "<LATEST xmlns:z=\"urn:z\"><z:databases/><Databases n=\"2\"/><DATABASES n=\"3\"/></LATEST>");
    ASSERT_NE(nullptr, document);

    IXMLDOMNode* latest = Child(document, "latest");
    ASSERT_NE(nullptr, latest);
    EXPECT_EQ("LATEST", NameOf(latest));

    // The prefixed element is passed over; the first of the other two wins.
    CString n;
    EXPECT_EQ(S_OK, GetAttributeText(Child(latest, "databases"), "n", &n));
    EXPECT_STREQ("2", n);

    // Other node kinds take part under the names the DOM gives them.
    EXPECT_EQ("xml", NameOf(Child(document, "XML")));
    EXPECT_EQ("#comment", NameOf(Child(document, "#comment")));
}

TEST_F(XmlDocumentTest, FindChildReportsNothingFoundAsSfalse)
{
    IXMLDOMDocument* document = Load("<a><b/>text</a>");
    ASSERT_NE(nullptr, document);
    IXMLDOMNode* a = Child(document, "a");
    ASSERT_NE(nullptr, a);

    IXMLDOMNode* child = reinterpret_cast<IXMLDOMNode*>(1);
    EXPECT_EQ(S_FALSE, FindChildByName(a, "c", &child));
    EXPECT_EQ(nullptr, child);
    // b has no children at all.
    child = reinterpret_cast<IXMLDOMNode*>(1);
    EXPECT_EQ(S_FALSE, FindChildByName(Child(a, "b"), "b", &child));
    EXPECT_EQ(nullptr, child);

    EXPECT_EQ("#text", NameOf(Child(a, "#TEXT")));
}

TEST_F(XmlDocumentTest, AProcessingInstructionBeforeTheElementIsFoundFirst)
{
    IXMLDOMDocument* document = Load("<?latest base=\"pi\"?><latest base=\"element\"/>");
    ASSERT_NE(nullptr, document);
    IXMLDOMNode* found = Child(document, "latest");
    ASSERT_NE(nullptr, found);
    DOMNodeType type = NODE_INVALID;
    EXPECT_EQ(S_OK, found->get_nodeType(&type));
    EXPECT_EQ(NODE_PROCESSING_INSTRUCTION, type);
}

TEST_F(XmlDocumentTest, AttributesAreMatchedExactly)
{
    IXMLDOMDocument* document = Load("<r name=\"value\" empty=\"\" Mixed=\"M\"/>");
    ASSERT_NE(nullptr, document);
    IXMLDOMNode* r = Child(document, "r");
    ASSERT_NE(nullptr, r);

    CString value("stale");
    EXPECT_EQ(S_OK, GetAttributeText(r, "name", &value));
    EXPECT_STREQ("value", value);

    value = "stale";
    EXPECT_EQ(S_OK, GetAttributeText(r, "empty", &value));
    EXPECT_STREQ("", value);

    value = "stale";
    EXPECT_EQ(S_OK, GetAttributeText(r, "Mixed", &value));
    EXPECT_STREQ("M", value);

    const char* const absent[] = {"NAME", "Name", "mixed", "missing"};
    for (const char* name : absent) {
        value = "stale";
        EXPECT_EQ(S_FALSE, GetAttributeText(r, name, &value)) << name;
        EXPECT_STREQ("", value) << name;
    }
}

TEST_F(XmlDocumentTest, NodesWithoutAttributesFail)
{
    IXMLDOMDocument* document = Load("<r><!--note-->text</r>");
    ASSERT_NE(nullptr, document);
    IXMLDOMNode* r = Child(document, "r");
    ASSERT_NE(nullptr, r);

    for (long index = 0; index < 2; ++index) {
        IXMLDOMNode* node = ChildAt(r, index);
        ASSERT_NE(nullptr, node);
        CString value("stale");
        EXPECT_EQ(E_FAIL, GetAttributeText(node, "name", &value)) << NameOf(node);
        EXPECT_STREQ("", value);
    }
}

TEST_F(XmlDocumentTest, NullArgumentsAreRefusedAndLeaveTheOutStringAlone)
{
    IXMLDOMDocument* document = Load("<r a=\"1\"/>");
    ASSERT_NE(nullptr, document);
    IXMLDOMNode* r = Child(document, "r");
    CString value("stale");

    EXPECT_EQ(E_INVALIDARG, GetAttributeText(nullptr, "a", &value));
    EXPECT_EQ(E_INVALIDARG, GetAttributeText(r, nullptr, &value));
    EXPECT_EQ(E_INVALIDARG, GetAttributeText(r, "a", nullptr));
    EXPECT_EQ(E_INVALIDARG, GetNodeName(nullptr, &value));
    EXPECT_EQ(E_INVALIDARG, GetNodeName(r, nullptr));
    EXPECT_STREQ("stale", value);
}

TEST_F(XmlDocumentTest, AnAttributeNameTooLongToConvertFindsNothing)
{
    std::string longName(300, 'a');
    std::string text = "<r " + longName + "=\"1\"/>";
    IXMLDOMDocument* document = Load(text.c_str());
    ASSERT_NE(nullptr, document);
    CString value("stale");
    EXPECT_NE(S_OK, GetAttributeText(Child(document, "r"), longName.c_str(), &value));
    EXPECT_STREQ("", value);

    // 259 characters still fit.
    std::string longest(259, 'b');
    text = "<r " + longest + "=\"2\"/>";
    document = Load(text.c_str());
    ASSERT_NE(nullptr, document);
    EXPECT_EQ(S_OK, GetAttributeText(Child(document, "r"), longest.c_str(), &value));
    EXPECT_STREQ("2", value);
}

}  // namespace
