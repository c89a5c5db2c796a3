// The parameter text format: line and token splitting, the grammar of names, values and nested
// lists, value conversion, lookups, and text that is malformed or hostile.
#include "util/parameter_list.h"
#include "util/string_tokenizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Parses a text into a fresh top-level list.
struct Parsed {
    UTL_ParameterList list;
    explicit Parsed(std::string text) { list.read(&text[0]); }
};

// The tree as one line of text, so that two parses can be compared whole.
std::string dump(const UTL_ParameterItem* item) {
    std::string out = item->m_name + ":";
    switch (item->m_kind) {
        case UTL_ParameterItem::NUMBER:
            out += std::to_string(static_cast<const UTL_ParameterNumber*>(item)->m_value);
            break;
        case UTL_ParameterItem::NUMBER_VECTOR:
            out += "[";
            for (float v : static_cast<const UTL_ParameterNumberVector*>(item)->m_values)
                out += std::to_string(v) + " ";
            out += "]";
            break;
        case UTL_ParameterItem::STRING:
            out += "'" + static_cast<const UTL_ParameterString*>(item)->m_value + "'";
            break;
        case UTL_ParameterItem::LIST:
            out += "{";
            for (const UTL_ParameterItem* child : static_cast<const UTL_ParameterList*>(item)->m_items)
                out += dump(child) + ";";
            out += "}";
            break;
    }
    return out;
}

std::string string_of(const UTL_ParameterList& list, const std::string& name) {
    const UTL_ParameterItem* item = list.find(name);
    if (!item || item->m_kind != UTL_ParameterItem::STRING) return "<not a string>";
    return static_cast<const UTL_ParameterString*>(item)->m_value;
}

std::string temp_file(const std::string& name, const std::string& bytes) {
    const std::string path = testing::TempDir() + "nimbra_params_" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

}  // namespace

TEST(ParameterTokenizers, SplitLinesAndTokensAtTheirSeparatorsOnly) {
    UTL_StringExtractor lines("\n\r\nfirst line\r\n\r\n\rsecond\tline\n\nlast");
    EXPECT_EQ(lines.next(), "first line");
    EXPECT_EQ(lines.next(), "second\tline");
    EXPECT_EQ(lines.next(), "last");
    EXPECT_EQ(lines.next(), "");
    EXPECT_EQ(lines.next(), "");

    UTL_StringTokenizer tokens("  a,b {x} \t\"q\xE9\xA0\" [1]  ");
    EXPECT_EQ(tokens.next(), "a,b");
    EXPECT_EQ(tokens.remaining(), " {x} \t\"q\xE9\xA0\" [1]  ");
    EXPECT_EQ(tokens.next(), "{x}");
    EXPECT_EQ(tokens.next(), "\"q\xE9\xA0\"");
    EXPECT_EQ(tokens.next(), "[1]");
    EXPECT_EQ(tokens.remaining(), "  ");
    EXPECT_EQ(tokens.next(), "");
    EXPECT_EQ(tokens.remaining(), "");

    EXPECT_EQ(UTL_StringExtractor("").next(), "");
    EXPECT_EQ(UTL_StringExtractor(nullptr).next(), "");
}

TEST(ParameterList, KindOfAValueComesFromItsFirstCharacter) {
    EXPECT_EQ(UTL_ParameterList::get_token_type("{"), 4);
    EXPECT_EQ(UTL_ParameterList::get_token_type("0.5"), 1);
    EXPECT_EQ(UTL_ParameterList::get_token_type("9"), 1);
    EXPECT_EQ(UTL_ParameterList::get_token_type("-x"), 1);
    EXPECT_EQ(UTL_ParameterList::get_token_type("[1"), 2);
    EXPECT_EQ(UTL_ParameterList::get_token_type("+5"), 3);
    EXPECT_EQ(UTL_ParameterList::get_token_type(".5"), 3);
    EXPECT_EQ(UTL_ParameterList::get_token_type("\"1\""), 3);
    EXPECT_EQ(UTL_ParameterList::get_token_type(""), 3);
}

TEST(ParameterList, BlankAndCommentOnlyTextsGiveAnEmptyList) {
    EXPECT_TRUE(Parsed("").list.m_items.empty());
    EXPECT_TRUE(Parsed("\n\n  \t \r\n// a comment\n   //another one\n").list.m_items.empty());
    Parsed lone_slash("a /\n");  // a lone "/" is an ordinary value
    EXPECT_EQ(string_of(lone_slash.list, "a"), "/");
}

TEST(ParameterList, NamesAndValuesFollowTheLineGrammar) {
    Parsed p(
        "name\n"
        "// a comment between a name and its value keeps the name pending\n"
        "  value on the next line\n"
        "outer\n"
        "{ ignored text after the brace\n"
        "  inner { ignored too\n"
        "    x 1\n"
        "  }\n"
        "  y 2\n"
        "}\n"
        "after 3\n"
        "a }\n"
        "never seen 4\n");
    EXPECT_EQ(p.list.m_name, "");
    EXPECT_EQ(p.list.m_kind, 4);
    EXPECT_EQ(string_of(p.list, "name"), "value on the next line");
    const UTL_ParameterList* outer = p.list.find_list("outer");
    ASSERT_NE(outer, nullptr);
    ASSERT_EQ(outer->m_items.size(), 2u);
    const UTL_ParameterList* inner = outer->find_list("inner");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->get_number("x"), 1.0f);
    EXPECT_EQ(outer->get_number("y"), 2.0f);
    EXPECT_EQ(p.list.get_number("after"), 3.0f);
    // "a }" closes the top level: the name is dropped and later lines are not read.
    EXPECT_EQ(p.list.m_items.size(), 3u);
    EXPECT_EQ(p.list.find("a"), nullptr);
    EXPECT_EQ(p.list.find("never"), nullptr);

    // A line holding only "{" does not open a list: "{" becomes the pending name.
    Parsed brace("{\n5\n");
    EXPECT_EQ(brace.list.get_number("{"), 5.0f);
    // A comment cannot start a value on the name's line; "//x" is still a comment.
    Parsed comment("key //x\n7\n");
    EXPECT_EQ(comment.list.get_number("key"), 7.0f);
}

TEST(ParameterList, NumbersConvertTheirLeadingDecimalText) {
    Parsed p(
        "a 1 2 3\n"
        "five 5 // five\n"
        "dash -\n"
        "minus_x -x\n"
        "neg -2.5e2xyz\n"
        "frac 0.125\n"
        "exp 1e\n"
        "huge 1e999\n"
        "tiny 1e-999\n"
        "hex 0x10\n"
        "inf -inf\n"
        "dot .5\n"
        "plus +5\n");
    EXPECT_EQ(p.list.get_number("a"), 1.0f);
    EXPECT_EQ(p.list.get_number("five"), 5.0f);
    EXPECT_EQ(p.list.get_number("dash"), 0.0f);
    EXPECT_EQ(p.list.get_number("minus_x"), 0.0f);
    EXPECT_EQ(p.list.get_number("neg"), -250.0f);
    EXPECT_EQ(p.list.get_number("frac"), 0.125f);
    EXPECT_EQ(p.list.get_number("exp"), 1.0f);
    EXPECT_TRUE(std::isinf(p.list.get_number("huge")));
    EXPECT_EQ(p.list.get_number("tiny"), 0.0f);
    EXPECT_EQ(p.list.get_number("hex"), 0.0f);  // decimal only
    EXPECT_EQ(p.list.get_number("inf"), 0.0f);
    EXPECT_EQ(p.list.find_number("dot"), nullptr);
    EXPECT_EQ(string_of(p.list, "dot"), ".5");
    EXPECT_EQ(string_of(p.list, "plus"), "+5");
}

TEST(ParameterList, VectorsNeedFreeStandingBrackets) {
    Parsed p(
        "v [ 0.2 0.4 1 ]\n"
        "empty [ ]\n"
        "joined [ 1 2]\n"
        "after [ 1 ] 2 3\n"
        "commas [ 1,2,3 ]\n"
        "glued [1 2 ]\n"
        "open [ 4 5\n"
        "dot [ .5 5. +1 ]\n");
    EXPECT_EQ(p.list.get_number_vector("v"), (std::vector<float>{0.2f, 0.4f, 1.0f}));
    EXPECT_TRUE(p.list.get_number_vector("empty").empty());
    ASSERT_NE(p.list.find_number_vector("empty"), nullptr);
    EXPECT_EQ(p.list.get_number_vector("joined"), (std::vector<float>{1, 2}));
    EXPECT_EQ(p.list.get_number_vector("after"), (std::vector<float>{1}));
    EXPECT_EQ(p.list.get_number_vector("commas"), (std::vector<float>{1}));
    // "[1" is not the bracket token: it still adds an element, and that element is 0.
    EXPECT_EQ(p.list.get_number_vector("glued"), (std::vector<float>{0, 2}));
    EXPECT_EQ(p.list.get_number_vector("open"), (std::vector<float>{4, 5}));
    EXPECT_EQ(p.list.get_number_vector("dot"), (std::vector<float>{0.5f, 5.0f, 1.0f}));
}

TEST(ParameterList, StringsLoseOneLeadingAndOneTrailingQuoteOnly) {
    Parsed p(
        "a hello   world\n"
        "q \"x y\"\n"
        "c \"x\" // c\n"
        "t \"x\"  \n"
        "inner \"a \"b\" c\"\n"
        "lone \"\n"
        "two \"\"\n");
    EXPECT_EQ(string_of(p.list, "a"), "hello   world");
    EXPECT_EQ(string_of(p.list, "q"), "x y");
    EXPECT_EQ(string_of(p.list, "c"), "x\" // c");
    EXPECT_EQ(string_of(p.list, "t"), "x\"  ");
    EXPECT_EQ(string_of(p.list, "inner"), "a \"b\" c");
    EXPECT_EQ(string_of(p.list, "lone"), "");
    EXPECT_EQ(string_of(p.list, "two"), "");
}

TEST(ParameterList, LookupsAnswerTheFirstEntryOfAName) {
    Parsed p(
        "k first\n"
        "k 2\n"
        "n 1\n"
        "n 9\n"
        "Case 3\n"
        "l {\n}\n");
    EXPECT_EQ(string_of(p.list, "k"), "first");
    EXPECT_EQ(p.list.find_number("k"), nullptr);  // a later number of that name is not seen
    EXPECT_EQ(p.list.get_number("k"), 0.0f);
    EXPECT_EQ(p.list.get_number("n"), 1.0f);
    EXPECT_EQ(p.list.find("case"), nullptr);
    EXPECT_EQ(p.list.find("Cas"), nullptr);
    EXPECT_EQ(p.list.find_list("n"), nullptr);
    EXPECT_EQ(p.list.find_number_vector("l"), nullptr);
    EXPECT_NE(p.list.find_list("l"), nullptr);
    // A missing vector, or an entry of another kind, reads as empty rather than crashing.
    EXPECT_TRUE(p.list.get_number_vector("missing").empty());
    EXPECT_TRUE(p.list.get_number_vector("n").empty());
    EXPECT_EQ(p.list.get_number("missing"), 0.0f);

    p.list.clear();
    EXPECT_TRUE(p.list.m_items.empty());
    EXPECT_EQ(p.list.find("k"), nullptr);
}

TEST(ParameterList, LineEndsAndHighBytesDoNotChangeTheTree) {
    const std::string lf =
        "NumThemes 1\nTheme_1 {\n  BackgroundColor [ 0 0.5 1 ]\n  Title \"Gr\xFC\xDF\"\n"
        "  \xE4\xB8\xAD \xC3\xA9t\xC3\xA9 d'\xE2\x82\xAC\n}\nlast 2\n";
    std::string crlf, cr;
    for (char c : lf) {
        if (c == '\n') { crlf += "\r\n"; cr += "\r"; }
        else { crlf += c; cr += c; }
    }
    Parsed a(lf), b(crlf), c(cr);
    EXPECT_EQ(dump(&a.list), dump(&b.list));
    EXPECT_EQ(dump(&a.list), dump(&c.list));
    const UTL_ParameterList* theme = a.list.find_list("Theme_1");
    ASSERT_NE(theme, nullptr);
    EXPECT_EQ(string_of(*theme, "Title"), "Gr\xFC\xDF");
    EXPECT_EQ(string_of(*theme, "\xE4\xB8\xAD"), "\xC3\xA9t\xC3\xA9 d'\xE2\x82\xAC");
    EXPECT_EQ(a.list.get_number("last"), 2.0f);
}

TEST(ParameterList, UnbalancedBracesEndListsSilently) {
    // Missing "}": the lists end with the text and keep what they read.
    Parsed open("a {\n b {\n  c 1\n");
    const UTL_ParameterList* a = open.list.find_list("a");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->find_list("b"), nullptr);
    EXPECT_EQ(a->find_list("b")->get_number("c"), 1.0f);

    // A stray top-level "}" ends the reading of the whole text.
    Parsed stray("x 1\n}\ny 2\n} } }\n");
    EXPECT_EQ(stray.list.m_items.size(), 1u);

    Parsed only_closers("}}}}\n} {\n{ }\n");
    EXPECT_TRUE(only_closers.list.m_items.empty());
}

TEST(ParameterList, DeepNestingStopsAtTheLimitAndResumesAfterTheSkippedList) {
    const int levels = 5000;
    std::string text;
    for (int i = 0; i < levels; ++i) text += "l {\n";
    text += "x 1\n";
    for (int i = 0; i < levels; ++i) text += "}\n";
    Parsed p(text);
    const UTL_ParameterList* list = &p.list;
    int depth = 0;
    while (const UTL_ParameterList* next = list->find_list("l")) {
        list = next;
        ++depth;
    }
    EXPECT_EQ(depth, UTL_ParameterList::MAX_NESTING_DEPTH + 1);
    EXPECT_TRUE(list->m_items.empty());  // the list past the limit is kept, empty

    // The skipped list's own "}" (after a nested name and value, a comment and a "{" value) is
    // found, so the entries after it land in the right list.
    std::string nested;
    for (int i = 0; i < UTL_ParameterList::MAX_NESTING_DEPTH; ++i) nested += "l {\n";
    nested +=
        "deep {\n"
        "  a {\n  n 1 } // stays in a's value text\n  }\n"
        "  b }\n"
        "back 5\n";
    Parsed q(nested);
    list = &q.list;
    for (int i = 0; i < UTL_ParameterList::MAX_NESTING_DEPTH; ++i) list = list->find_list("l");
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->find_list("deep"), nullptr);
    EXPECT_TRUE(list->find_list("deep")->m_items.empty());
    EXPECT_EQ(list->get_number("back"), 5.0f);
}

TEST(ParameterList, LongLinesAreReadWhole) {
    std::string text = "v [";
    for (int i = 0; i < 200000; ++i) text += " 1";
    text += " ]\ns " + std::string(1 << 20, 'x') + "\n";
    Parsed p(text);
    EXPECT_EQ(p.list.get_number_vector("v").size(), 200000u);
    EXPECT_EQ(string_of(p.list, "s").size(), size_t(1) << 20);
}

TEST(ParameterList, ReadFromFileAppendsAndStopsAtANul) {
    UTL_ParameterList list;
    list.read_from_file("./no/such/file.txt");
    list.read_from_file(nullptr);
    EXPECT_TRUE(list.m_items.empty());

    const std::string path = temp_file("nul.txt", std::string("a 1\r\nb 2\n\0c 3\n", 15));
    list.read_from_file(path.c_str());
    list.read_from_file(path.c_str());
    ASSERT_EQ(list.m_items.size(), 4u);  // appended twice; "c" after the NUL is not seen
    EXPECT_EQ(list.m_items[2]->m_name, "a");
    EXPECT_EQ(list.find("c"), nullptr);
    std::remove(path.c_str());
}
