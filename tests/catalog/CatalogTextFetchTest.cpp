#include "ServerTest.h"

#include "CatalogFetch.h"
#include "CatalogText.h"

namespace {

class CatalogTextFetch : public ServerTest {
protected:
    // Serves `response` and fetches it; the text, or "" after a failure (which must leave none).
    HRESULT Fetch(const HttpResponse& response, std::string* text = nullptr)
    {
        server.Serve("/latest.xml", response);
        char* body = reinterpret_cast<char*>(1);
        DWORD size = 1;
        HRESULT hr = FetchCatalogText(Env(), server.Url("/latest.xml").c_str(), &body, &size);
        if (FAILED(hr)) {
            EXPECT_EQ(nullptr, body);
            EXPECT_EQ(0u, size);
            return hr;
        }
        EXPECT_EQ('\0', body[size]);
        if (text)
            *text = std::string(body, size);
        delete[] body;
        return hr;
    }

    const std::string xml =
        CatalogXml("http://files.example/base", {{"Первая", "db/1.pack", "161, 160"}}, {{"setup", "setup.exe"}});
};

}  // namespace

TEST_F(CatalogTextFetch, TheWholeBodyArrivesFromAPlainGet)
{
    std::string text;
    ASSERT_EQ(S_OK, Fetch(HttpResponse::Ok(xml, "text/xml; charset=windows-1251"), &text));
    EXPECT_EQ(xml, text);
    // In many small pieces and after a redirect, the same bytes in order.
    HttpResponse pieces = HttpResponse::Ok(xml, "text/xml");
    pieces.pieceSize = 7;
    server.Serve("/moved.xml", pieces);
    ASSERT_EQ(S_OK, Fetch(HttpResponse::Redirect(302, server.Url("/moved.xml")), &text));
    EXPECT_EQ(xml, text);
    for (const HttpRequestRecord& request : server.Requests()) {
        EXPECT_EQ("GET", request.method);
        EXPECT_EQ("Zeb application", request.Header("User-Agent"));
        EXPECT_EQ("no-cache", request.Header("Pragma"));
        EXPECT_FALSE(request.HasHeader("Cookie"));
    }
}

TEST_F(CatalogTextFetch, AnswersThatBreakTheRulesFail)
{
    std::vector<std::pair<std::string, HttpResponse>> cases;
    cases.emplace_back("404", HttpResponse::WithStatus("404 Not Found"));
    cases.emplace_back("application/xml", HttpResponse::Ok(xml, "application/xml"));
    cases.emplace_back("TEXT/XML", HttpResponse::Ok(xml, "TEXT/XML"));
    cases.emplace_back("type later", HttpResponse::Ok(xml, "application/x; text/xml"));
    cases.emplace_back("no type", HttpResponse::Ok(xml));
    cases.emplace_back("long type", HttpResponse::Ok(xml, "text/xml; p=" + std::string(260, 'x')));
    cases.emplace_back("length 0", HttpResponse::Ok("", "text/xml"));
    HttpResponse chunked = HttpResponse::Ok(xml, "text/xml");
    chunked.chunked = true;
    cases.emplace_back("chunked", chunked);
    HttpResponse cut = HttpResponse::Ok(xml, "text/xml");
    cut.closeAfterBytes = 100;
    cases.emplace_back("body cut short", cut);
    HttpResponse huge = HttpResponse::Ok(xml, "text/xml");
    huge.contentLengthText = "4000000000";
    huge.closeAfterBytes = 100;
    cases.emplace_back("huge length", huge);
    for (const auto& entry : cases)
        EXPECT_EQ(E_FAIL, Fetch(entry.second)) << entry.first;
}
