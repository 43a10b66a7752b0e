#include <gtest/gtest.h>

#include <string>

#include "FilesTestSupport.h"
#include "XmlReader.h"

namespace {

using vxfw::XmlReader;

const std::string kTwoB =
    "<!DOCTYPE A>\n<A>\n  <b x=\"1\"/>\n  <b x = \"2\" ></b>\n</A>\n";

class XmlReaderTest : public ::testing::Test {
protected:
    // Loads `content` from a file; the reader's error, "" on success.
    std::string load(const std::string& content, const std::string& expected = "A") {
        fwtest::writeFile(path_, content);
        const bool loaded = reader_.load(path_, expected);
        const std::string error = reader_.lastError();
        EXPECT_EQ(loaded, error.empty()) << error;
        return error;
    }

    fwtest::TempDir dir_;
    const std::string path_ = dir_ / "doc.xml";
    XmlReader reader_;
};

TEST_F(XmlReaderTest, DocumentsAcceptedAndRefused) {
    struct Case {
        std::string content;
        const char* expected;
        const char* error;
    };
    const Case cases[] = {
        {kTwoB, "A", ""},
        {kTwoB, "", ""},
        {kTwoB, "B", "wrong document type"},
        {"<!-- first -->\n<!DOCTYPE A><!-- after -->\n<A/>", "A", ""},
        {"< !DOCTYPE A ><A\n/>", "A", ""},
        {"<!DOCTYPE A><A>&amp;&#65;</A>", "A", ""},
        {"<!DOCTYPE A><B/>", "A", "doc type consistency error"},
        {"<!DOCTYPE A><B/>", "", "doc type consistency error"},
        {"<!DOCTYPE A>", "A", "doc type consistency error"},
        {"<!DOCTYPE A><A><b></A>", "A", "parse error"},
        {"<!DOCTYPE A><A></A></A>", "A", "parse error"},
        {"<!DOCTYPE A><A><b/>", "A", "open tags remaining"},
        {"<!DOCTYPE A><A><!-- unclosed", "A", "open tags remaining"},
        {"<?xml version=\"1.0\"?><!DOCTYPE A><A/>", "A", "parse error"},
        {"\xEF\xBB\xBF" + kTwoB, "A", "parse error"},
        {"<!DOCTYPE A SYSTEM \"a.dtd\"><A/>", "A", "parse error"},
        {"<!DOCTYPE A><A x='1'/>", "A", "parse error"},
        {"<!DOCTYPE A><A><a-b/></A>", "A", "parse error"},
        {"<!DOCTYPE A><A><a:b/></A>", "A", "parse error"},
        {"<!DOCTYPE A><A><v\xC3\xA9/></A>", "A", "parse error"},
        {"<!DOCTYPE A><A><![CDATA[x]]></A>", "A", "parse error"},
        {"<!DOCTYPE A><A x=\"1/>", "A", "parse error"},
        {"<!DOCTYPE A><A/><!DOCTYPE B>", "A", "parse error"},
        {"<!doctype A><A/>", "A", "parse error"},
        {"<!DOCTYPE A>\n", "A", "doc type consistency error"},
        {"", "A", "invalid file size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(load(c.content, c.expected), c.error);
        if (!*c.error) continue;
        EXPECT_EQ(reader_.getValue("b:x"), "");
        EXPECT_EQ(reader_.lastError(), "no configuration loaded");
    }
    EXPECT_FALSE(reader_.load("", "A"));
    EXPECT_EQ(reader_.lastError(), "no file name given");
}

TEST_F(XmlReaderTest, LookupsByPath) {
    ASSERT_EQ(load(kTwoB), "");
    struct Case {
        const char* path;
        const char* value;
        const char* error;
    };
    const Case lookups[] = {
        {"b[1]:x", "2", ""},
        {"b:x", "1", ""},
        {"b[0]:x", "1", ""},
        {"b[-3]:x", "1", ""},
        {"b[ 1]:x", "2", ""},
        {"b[1x]:x", "2", ""},
        {"/b[1]/:x", "2", ""},
        {"b[2]:x", "", "path not found"},
        {"b[99999999999999]:x", "", "path not found"},
        {"b:y", "", "attribute not found"},
        {"B:x", "", "path not found"},
        {"b[1:x", "", "path not found"},
        {"/:x", "", "attribute not found"},
        {"", "", "path not found"},
        {":", "", "path not found"},
        {"/", "", "path not found"},
        {":/:/", "", "path not found"},
    };
    for (const Case& c : lookups) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(reader_.getValue(c.path), c.value);
        EXPECT_EQ(reader_.lastError(), c.error);
        EXPECT_EQ(reader_.lastError(), "");  // read once
    }
}

TEST_F(XmlReaderTest, ElementTextIsKeptAsWritten) {
    const std::pair<const char*, const char*> cases[] = {
        {"<v>12</v>", "12"},
        {"<v> 12 </v>", " 12 "},
        {"<v>\t12\r\n</v>", "\t12\r\n"},
        {"<v>a<!-- note -->b</v>", "a<!-- note -->b"},
        {"<v>a/b=\"q\"=&amp;</v>", "abq&amp;"},
        {"<v>x<w>inner</w>y</v>", "xy"},
        {"<v>\xC3\xA9\x80\xFF</v>", "\xC3\xA9\x80\xFF"},
        {"<v n=\"\xFF\x80 '&lt;'\"/>", "\xFF\x80 '&lt;'"},
        {"<v></v>", ""},
    };
    for (const auto& [element, text] : cases) {
        SCOPED_TRACE(element);
        ASSERT_EQ(load(std::string("<!DOCTYPE A><A>") + element + "</A>"), "");
        const bool attribute = std::string(element).find("n=") != std::string::npos;
        EXPECT_EQ(reader_.getValue(attribute ? "v:n" : "v"), text);
        EXPECT_EQ(reader_.lastError(), "");
    }
    ASSERT_EQ(load("<!DOCTYPE A><A><v><w><u>deep</u></w></v></A>"), "");
    EXPECT_EQ(reader_.getValue("v/w/u"), "deep");
}

TEST_F(XmlReaderTest, StateAcrossLoads) {
    EXPECT_EQ(reader_.getValue("b:x"), "");
    EXPECT_EQ(reader_.lastError(), "no configuration loaded");

    ASSERT_EQ(load(kTwoB), "");
    // A load that fails before parsing keeps the tree.
    EXPECT_FALSE(reader_.load(dir_ / "missing.xml", "A"));
    EXPECT_EQ(reader_.getValue("b[1]:x"), "2");
    // A successful load leaves an older error for lastError to give.
    EXPECT_FALSE(reader_.load(dir_ / "missing.xml", "A"));
    fwtest::writeFile(path_, kTwoB);
    EXPECT_TRUE(reader_.load(path_, "A"));
    EXPECT_EQ(reader_.lastError(), "could not open file");
    EXPECT_FALSE(reader_.load(dir_.path(), "A"));
    EXPECT_EQ(reader_.lastError(), "could not open file");
    // A failed parse leaves nothing to look up.
    EXPECT_EQ(load("<!DOCTYPE A><A>"), "open tags remaining");
    EXPECT_EQ(reader_.getValue("b:x"), "");
    EXPECT_EQ(reader_.lastError(), "no configuration loaded");
}

}  // namespace
