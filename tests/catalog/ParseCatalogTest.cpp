// latest.xml texts parsed by the platform's MSXML 3.0, each compared with the whole model it must give.
#include <gtest/gtest.h>

#include <string>

#include "CatalogTestSupport.h"

namespace {

// A text with embedded NULs, all of its bytes.
template <size_t N>
std::string Bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

TEST(ParseCatalog, ACatalogueReadsIntoTheModelInDocumentOrder)
{
    // Records are indented and separated by line breaks: white space makes no records.
    // Only blanks leave an access list; a tab survives the XML parser only as a reference.
    // The file list comes first; duplicates stay; other children and attributes are ignored.
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<latest base=\"https://files.example/offline\" version=\"7\">\r\n"
        "  <info>ignored</info>\r\n"
        "  <files>\r\n"
        "    <file name=\"Setup\" path=\"setup/setup.exe\"/>\r\n"
        "    <extra name=\"Readme\" path=\"readme.txt\" size=\"12\"><child/></extra>\r\n"
        "  </files>\r\n"
        "  <databases>\r\n"
        "\t<database name=\"Laws\" path=\"db/laws.pack\" access=\"161, 160\"/>\r\n"
        "\t<database name=\"All\" path=\"db/all.pack\"/>\r\n"
        "\t<database name=\"Empty\" path=\"db/empty.pack\" access=\"\"/>\r\n"
        "\t<database name=\"None\" path=\"db/none.pack\" access=\"   \"/>\r\n"
        "\t<database name=\"One\" path=\"db/one.pack\" access=\" 65 \"/>\r\n"
        "\t<database name=\"Tab\" path=\"db/tab.pack\" access=\"163,&#9;164\"/>\r\n"
        "\t<database name=\"Laws\" path=\"db/laws.pack\" access=\"161,160\">text below a record</database>\r\n"
        "  </databases>\r\n"
        "</latest>\r\n";
    UpdateCatalog catalog;
    ASSERT_EQ(S_OK, StoreAndParse(catalog, text));
    EXPECT_EQ("base=https://files.example/offline\n"
              "databases=7\n"
              "  Laws|db/laws.pack|,161,160,|0\n"
              "  All|db/all.pack||0\n"
              "  Empty|db/empty.pack||0\n"
              "  None|db/none.pack|,,|0\n"
              "  One|db/one.pack|,65,|0\n"
              "  Tab|db/tab.pack|,163,\t164,|0\n"
              "  Laws|db/laws.pack|,161,160,|0\n"
              "files=2\n"
              "  Setup|setup/setup.exe\n"
              "  Readme|readme.txt\n",
              Describe(catalog));
    EXPECT_EQ(static_cast<int>(text.size() + 1), catalog.xmlSize);
}

TEST(ParseCatalog, ElementNamesMatchInAnyCaseAttributeNamesExactly)
{
    UpdateCatalog catalog;
    ASSERT_EQ(S_OK, StoreAndParse(catalog,
                                  "<LATEST base=\"b\"><Databases><DB name=\"d\" path=\"p\" access=\"65\"/></Databases>"
                                  "<FILES><F name=\"f\" path=\"q\"/></FILES></LATEST>"));
    EXPECT_EQ("base=b\ndatabases=1\n  d|p|,65,|0\nfiles=1\n  f|q\n", Describe(catalog));

    const char* const wrongCase[] = {
        "<latest><databases><d Name=\"d\" path=\"p\"/></databases></latest>",
        "<latest><databases><d name=\"d\" PATH=\"p\"/></databases></latest>",
        "<latest><files><f Name=\"f\" path=\"p\"/></files></latest>",
        "<latest><files><f name=\"f\" Path=\"p\"/></files></latest>",
    };
    for (const char* text : wrongCase)
        EXPECT_EQ(E_FAIL, StoreAndParse(catalog, text)) << text;

    // "Base" and "Access" are not the attributes read, so they count as absent.
    ASSERT_EQ(S_OK, StoreAndParse(catalog,
                                  "<latest Base=\"b\"><databases><d name=\"d\" path=\"p\" Access=\"65\"/>"
                                  "</databases></latest>"));
    EXPECT_EQ("base=\ndatabases=1\n  d|p||0\nfiles=0 (no list)\n", Describe(catalog));
}

TEST(ParseCatalog, WithoutLatestOrItsListsTheCatalogueStaysEmpty)
{
    struct Case {
        const char* text;
        const char* model;
    };
    const Case cases[] = {
        {"<catalog base=\"b\"><databases><d name=\"d\" path=\"p\"/></databases></catalog>",
         "base=\ndatabases=0 (no list)\nfiles=0 (no list)\n"},
        {"<x:latest xmlns:x=\"urn:x\" base=\"b\"/>", "base=\ndatabases=0 (no list)\nfiles=0 (no list)\n"},
        // An empty element gives an empty list, not a missing one.
        {"<latest><databases>\r\n  </databases></latest>", "base=\ndatabases=0\nfiles=0 (no list)\n"},
        {"<latest base=\"\"><files/></latest>", "base=\ndatabases=0 (no list)\nfiles=0\n"},
    };
    for (const Case& c : cases) {
        UpdateCatalog catalog;
        EXPECT_EQ(S_OK, StoreAndParse(catalog, c.text)) << c.text;
        EXPECT_EQ(c.model, Describe(catalog)) << c.text;
    }
}

TEST(ParseCatalog, OnlyTheFirstListOfEachKindIsRead)
{
    UpdateCatalog catalog;
    ASSERT_EQ(S_OK, StoreAndParse(catalog,
                                  "<latest base=\"b\">"
                                  "<databases><d name=\"first\" path=\"1\"/></databases>"
                                  "<files><f name=\"first\" path=\"1\"/></files>"
                                  "<databases><d name=\"second\" path=\"2\"/><d name=\"third\" path=\"3\"/></databases>"
                                  "<files><f name=\"broken\"/></files>"
                                  "</latest>"));
    EXPECT_EQ("base=b\ndatabases=1\n  first|1||0\nfiles=1\n  first|1\n", Describe(catalog));
}

TEST(ParseCatalog, ACommentOrTextAmongTheRecordsFailsTheParse)
{
    const char* const texts[] = {
        "<latest><databases><d name=\"a\" path=\"1\"/><!-- b --><d name=\"c\" path=\"3\"/></databases></latest>",
        "<latest><databases><d name=\"a\" path=\"1\"/>stray<d name=\"c\" path=\"3\"/></databases></latest>",
        "<latest><databases><d name=\"a\" path=\"1\"/><?pi x?><d name=\"c\" path=\"3\"/></databases></latest>",
    };
    for (const char* text : texts) {
        UpdateCatalog catalog;
        EXPECT_EQ(E_FAIL, StoreAndParse(catalog, text)) << text;
        // The list holds every child node; the records after the failing one stay empty.
        EXPECT_EQ("base=\ndatabases=3\n  a|1||0\n  |||0\n  |||0\nfiles=0 (no list)\n", Describe(catalog)) << text;
    }
}

TEST(ParseCatalog, AFailedParseLeavesThePartialModelUntilClear)
{
    UpdateCatalog catalog;
    EXPECT_EQ(E_FAIL, StoreAndParse(catalog,
                                    "<latest base=\"b\">"
                                    "<files><f name=\"f1\" path=\"p1\"/><f name=\"f2\" path=\"p2\"/></files>"
                                    "<databases><d name=\"d1\" path=\"q1\" access=\"65\"/>"
                                    "<d name=\"d2\" access=\"161\"/><d name=\"d3\" path=\"q3\"/></databases>"
                                    "</latest>"));
    // The failing record kept its name; the file list, read after the databases, was never reached.
    EXPECT_EQ("base=b\ndatabases=3\n  d1|q1|,65,|0\n  d2|||0\n  |||0\nfiles=0 (no list)\n", Describe(catalog));

    EXPECT_EQ(E_FAIL, StoreAndParse(catalog,
                                    "<latest><databases><d name=\"d1\" path=\"q1\"/></databases>"
                                    "<files><f name=\"f1\" path=\"p1\"/><f path=\"p2\"/></files></latest>"));
    EXPECT_EQ("base=\ndatabases=1\n  d1|q1||0\nfiles=2\n  f1|p1\n  |\n", Describe(catalog));

    catalog.Clear();
    EXPECT_EQ(nullptr, catalog.xmlText);
    EXPECT_EQ(0, catalog.xmlSize);
    EXPECT_EQ("base=\ndatabases=0 (no list)\nfiles=0 (no list)\n", Describe(catalog));
    // Nothing stored: nothing to parse.
    EXPECT_EQ(E_FAIL, catalog.ParseCatalog());
}

TEST(ParseCatalog, TheParserSeesTheTextUpToTheFirstNul)
{
    UpdateCatalog catalog;
    std::string text = Bytes("<latest base=\"b\"/>\0<files><f name=\"x\" path=\"y\"/></files>");
    ASSERT_EQ(S_OK, StoreAndParse(catalog, text));
    EXPECT_EQ("base=b\ndatabases=0 (no list)\nfiles=0 (no list)\n", Describe(catalog));
    EXPECT_EQ(static_cast<int>(text.size() + 1), catalog.xmlSize);

    EXPECT_EQ(E_FAIL, StoreAndParse(catalog, Bytes("<latest base=\"b\">\0</latest>")));
}

TEST(ParseCatalog, DeclaredEncodingsReachTheModelAsCp1251)
{
    ASSERT_EQ(1251u, GetACP()) << "Wine needs LC_ALL=ru_RU.UTF-8";
    const std::string expected =
        "base=https://файлы.example/база\ndatabases=1\n  Законы России|db/законы.pack|,161,|0\n"
        "files=1\n  Установка|Установка/setup.exe\n";

    // The literals below are compiled to CP1251, so this text is in the encoding it declares.
    UpdateCatalog cp1251;
    ASSERT_EQ(S_OK, StoreAndParse(cp1251,
                                  "<?xml version=\"1.0\" encoding=\"windows-1251\"?>"
                                  "<latest base=\"https://файлы.example/база\"><databases>"
                                  "<d name=\"Законы России\" path=\"db/законы.pack\" access=\"161\"/></databases>"
                                  "<files><f name=\"Установка\" path=\"Установка/setup.exe\"/></files></latest>"));
    EXPECT_EQ(expected, Describe(cp1251));

    UpdateCatalog utf8;
    ASSERT_EQ(S_OK, StoreAndParse(utf8,
                                  u8"<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                  u8"<latest base=\"https://файлы.example/база\"><databases>"
                                  u8"<d name=\"Законы России\" path=\"db/законы.pack\" access=\"161\"/></databases>"
                                  u8"<files><f name=\"Установка\" path=\"Установка/setup.exe\"/></files></latest>"));
    EXPECT_EQ(expected, Describe(utf8));
}

}  // namespace
