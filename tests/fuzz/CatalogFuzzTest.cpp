// Mutated catalogue texts parsed as a fetch would store them: each parse either succeeds or fails,
// leaves a model whose counts and records are consistent, leaves the text alone, and is released
// by Clear().
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "../catalog/CatalogTestSupport.h"
#include "CatalogText.h"
#include "FuzzSupport.h"

namespace {

const int kCiCases = 1500;
const uint64_t kCiFirstSeed = 0xCA7000;

std::vector<std::string> BaseTexts()
{
    std::vector<CatalogEntry> many;
    for (int i = 0; i < 30; ++i)
        many.push_back({"База " + std::to_string(i), "db/" + std::to_string(i) + ".pack", i % 3 ? "161, 160" : "-"});
    return {
        CatalogXml("https://files.example/update",
                   {{"База Тэлми", "db/telmi.pack", "161, 160"}, {"Общая", "db/common.pack"},
                    {"Пустой доступ", "db/empty.pack", ""}, {"Пробелы", "db/blank.pack", "   "},
                    {"Креспа", "Database\\крес.pack", "65"}},
                   {{"Установка", "setup.exe"}, {"Справка", "doc/справка.chm"}}),
        CatalogXml("", many, {}),
        // Other cases of the element names, the lists in the other order, other element names.
        "<LATEST base=\"http://h\"><Files><f name=\"a\" path=\"b\"/></Files>"
        "<DATABASES><d name=\"x\" path=\"y\" access=\"65,161\"/></DATABASES></LATEST>",
        u8"<?xml version=\"1.0\" encoding=\"utf-8\"?><latest base=\"https://х.example\"><databases>"
        u8"<database name=\"Ломта\" path=\"ломта.pack\" access=\" 164 \"/></databases>"
        u8"<files><file name=\"Файл\" path=\"файл.txt\"/></files></latest>",
    };
}

// ---- mutations ----

std::string Snippet(FuzzRandom& random)
{
    static const char* const snippets[] = {
        "<", ">", "&", "\"", "'", "=", "/", "&amp;", "&#0;", "&#x10FFFF;", "&#xD800;", "&undefined;", "&lt;",
        "<!-- comment -->", "<!--", "-->", "<![CDATA[x<y&z]]>", "<![CDATA[", "]]>", "<?pi data?>",
        "<x/>", "</databases>", "<databases>", "</latest>", "<latest>",
        "<database name=\"Новая\" path=\"новая.pack\"/>", "<file name=\"без пути\"/>", "<file path=\"без имени\"/>",
        " name=\"dup\"", " path=\"\"", " access=\" 1 , 2 \"", " access=\"\t65\"", " base=\"second\"",
        "<!DOCTYPE latest [<!ENTITY e \"zz\">]>", "&e;", "\xEF\xBB\xBF", "<?xml version=\"1.0\"?>",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>", "<?xml version=\"1.0\" encoding=\"x-unknown\"?>",
        "\r\n", "\t", " ", "\xFF\xFE", "\xC0\x80", "\xD0"};
    if (random.OneIn(20))
        return std::string(1, '\0');
    return random.Pick(snippets);
}

std::string LongRun(FuzzRandom& random)
{
    static const char fills[] = {'A', '\xDF' /* Я */, ' ', ',', '&'};
    const size_t size = random.OneIn(30) ? (1u << 20) : random.OneIn(3) ? 65536 : 1000;
    return std::string(size, random.Pick(fills));
}

// A new value for an attribute: keeps the document well-formed more often than byte changes do.
void ReplaceValue(std::string& text, FuzzRandom& random)
{
    static const char* const values[] = {"", " ", "   ", ",", ",,", " 161 , 160 ", "161,,160", "\t65", "65 ",
                                         "&amp;&lt;&gt;&quot;", "&#1071;&#x42F;", "Новая база", "a\\..\\b",
                                         "C:\\x", "%s%n", "\xFF"};
    size_t open = text.find("=\"", random.Below(text.size() + 1));
    if (open == std::string::npos)
        open = text.find("=\"");
    const size_t close = open == std::string::npos ? open : text.find('"', open + 2);
    if (close != std::string::npos)
        text.replace(open + 2, close - open - 2, random.OneIn(8) ? LongRun(random) : random.Pick(values));
}

void MutateText(std::string& text, FuzzRandom& random)
{
    static const char bytes[] = {'<', '>', '&', '"', '\'', '/', '=', '!', '?', '\0', '\xFF', ' ', '\xE0', '-'};
    switch (random.Below(11)) {
    case 0:
        FlipBit(text, random);
        break;
    case 1:
        if (!text.empty())
            text[random.Below(text.size())] = random.OneIn(4) ? static_cast<char>(random.Next()) : random.Pick(bytes);
        break;
    case 2:
        Truncate(text, random);
        break;
    case 3:
    case 4:
        InsertAt(text, random, Snippet(random));
        break;
    case 5: {
        // A long run behind a quotation mark (inside a value or right after one), or a long attribute.
        size_t quote = text.find('"', random.Below(text.size() + 1));
        const std::string run = LongRun(random);
        text.insert(quote == std::string::npos ? text.size() : quote + 1,
                    random.OneIn(2) ? run : " long=\"" + run + "\"");
        break;
    }
    case 6: {
        static const size_t depths[] = {2, 50, 255, 256, 257, 1000, 3000};
        const size_t depth = random.Pick(depths);
        std::string nest;
        for (size_t i = 0; i < depth; ++i)
            nest += "<n>";
        for (size_t i = 0; i < depth; ++i)
            nest += "</n>";
        const size_t list = text.find("<databases>");
        if (list != std::string::npos && random.OneIn(2))
            text.insert(list + 11, nest);
        else
            InsertAt(text, random, nest);
        break;
    }
    case 7: {
        const size_t at = random.Below(text.size() + 1);
        text.erase(at, random.Below(64));
        break;
    }
    case 8: {
        const size_t at = random.Below(text.size() + 1);
        InsertAt(text, random, text.substr(at, random.Below(200)));
        break;
    }
    default:
        ReplaceValue(text, random);
        break;
    }
}

// ---- what every parse must leave ----

// Holds after success and after failure alike: the text untouched, counts that match the arrays,
// records readable, `selected` 0, and `access` either "" or ",...," without blanks.
void CheckModel(const UpdateCatalog& catalog, const std::string& text)
{
    ASSERT_TRUE(catalog.xmlText != nullptr);
    ASSERT_EQ(static_cast<int>(text.size() + 1), catalog.xmlSize);
    EXPECT_TRUE(memcmp(catalog.xmlText, text.data(), text.size()) == 0 && catalog.xmlText[text.size()] == '\0')
        << "the parse changed the text";
    ASSERT_GE(catalog.databaseCount, 0);
    ASSERT_GE(catalog.fileCount, 0);
    ASSERT_TRUE(catalog.databaseCount == 0 || catalog.databases != nullptr);
    ASSERT_TRUE(catalog.fileCount == 0 || catalog.files != nullptr);
    for (int i = 0; i < catalog.databaseCount; ++i) {
        const CatalogDatabase& record = catalog.databases[i];
        EXPECT_EQ(0, record.selected) << "database " << i;
        const std::string access(record.access);
        EXPECT_TRUE(access.empty() || (access.size() >= 2 && access.front() == ',' && access.back() == ',' &&
                                       access.find(' ') == std::string::npos))
            << "database " << i << " access \"" << access << "\"";
    }
}

}  // namespace

TEST(CatalogFuzz, MutatedCataloguesParseOrFailWithAConsistentModel)
{
    const std::vector<std::string> bases = BaseTexts();
    for (size_t i = 0; i < bases.size(); ++i) {
        UpdateCatalog catalog;
        ASSERT_EQ(S_OK, StoreAndParse(catalog, bases[i])) << "unmutated text " << i;
        ASSERT_NO_FATAL_FAILURE(CheckModel(catalog, bases[i]));
        EXPECT_GT(catalog.databaseCount, 0) << "unmutated text " << i;
    }

    const FuzzTally tally = RunFuzzCases("catalogue", kCiCases, kCiFirstSeed, [&](FuzzRandom& random, size_t* bytes) {
        std::string text = bases[random.Below(bases.size())];
        for (int n = 1 + static_cast<int>(random.Below(2)); n > 0; --n)
            MutateText(text, random);
        *bytes = text.size();
        UpdateCatalog catalog;
        const HRESULT result = StoreAndParse(catalog, text);
        EXPECT_TRUE(result == S_OK || FAILED(result)) << std::hex << result;
        CheckModel(catalog, text);

        // The same text gives the same result and the same model, partial ones included.
        UpdateCatalog again;
        EXPECT_EQ(result, StoreAndParse(again, text));
        EXPECT_EQ(Describe(catalog), Describe(again));

        catalog.Clear();
        EXPECT_TRUE(!catalog.xmlText && catalog.xmlSize == 0 && catalog.baseUrl.IsEmpty() &&
                    catalog.databaseCount == 0 && !catalog.databases && catalog.fileCount == 0 && !catalog.files);
        return result;
    });
    printf("catalogue fuzz: %d cases from seed 0x%llx: %d S_OK, %d failed parses\n", tally.run,
           static_cast<unsigned long long>(tally.first), tally.succeeded, tally.run - tally.succeeded);
}
