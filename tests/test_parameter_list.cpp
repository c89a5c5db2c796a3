// The parameter text format: the grammar of names, values and nested lists, line ends, value
// conversion, lookups, and malformed or hostile text.
#include "util/parameter_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// The tree as one line: name=value; numbers %g, vectors [a b], strings 'text', lists {...}.
std::string dump(const UTL_ParameterList& list) {
    std::string out;
    char buf[32];
    for (const UTL_ParameterItem* item : list.m_items) {
        out += item->m_name + "=";
        if (auto* n = dynamic_cast<const UTL_ParameterNumber*>(item)) {
            std::snprintf(buf, sizeof buf, "%g", n->m_value);
            out += buf;
        } else if (auto* v = dynamic_cast<const UTL_ParameterNumberVector*>(item)) {
            out += "[";
            for (float f : v->m_values) std::snprintf(buf, sizeof buf, " %g", f), out += buf;
            out += " ]";
        } else if (auto* s = dynamic_cast<const UTL_ParameterString*>(item)) {
            out += "'" + s->m_value + "'";
        } else if (auto* l = dynamic_cast<const UTL_ParameterList*>(item)) {
            out += "{" + dump(*l) + "}";
        }
        out += ";";
    }
    return out;
}

std::string parse(std::string text) {
    UTL_ParameterList list;
    list.read(&text[0]);
    return dump(list);
}

}  // namespace

TEST(ParameterList, LinesFollowTheNameValueGrammar) {
    EXPECT_EQ(parse(""), "");
    EXPECT_EQ(parse("\n  \t \r\n// comment\n   //another\n"), "");
    EXPECT_EQ(parse("name\n// comment keeps the name\n  value on the next line\n"),
              "name='value on the next line';");
    EXPECT_EQ(parse("outer\n{ ignored\n  inner { ignored\n    x 1\n  }\n  y 2\n}\nafter 3\n"),
              "outer={inner={x=1;};y=2;};after=3;");
    // "a }" closes the list and drops the name; at the top level reading stops.
    EXPECT_EQ(parse("l {\n a }\n b 1\n}\nc 2\n"), "l={};b=1;");
    EXPECT_EQ(parse("{\n5\n"), "{=5;");                     // a lone "{" is a name
    EXPECT_EQ(parse("key //x\n7\na /\n"), "key=7;a='/';");  // a lone "/" is not a comment
}

TEST(ParameterList, ValuesConvertByTheirFirstCharacter) {
    EXPECT_EQ(parse("a 1 2 3\nb 5 // five\nc -\nd -x\ne -2.5e2xyz\nf 1e\ng 1e999\nh 1e-999\n"),
              "a=1;b=5;c=0;d=0;e=-250;f=1;g=inf;h=0;");
    // Decimal only, whatever sscanf would also take.
    EXPECT_EQ(parse("a 0x10\nb -inf\nc .5\nd +5\n"), "a=0;b=0;c='.5';d='+5';");
    EXPECT_EQ(
        parse("v [ 0.5 4 1 ]\nw [ ]\nx [ 1 2]\ny [ 1 ] 2\nz [ 1,2 ]\nu [1 2 ]\nt [ .5 5. ]\n"),
        "v=[ 0.5 4 1 ];w=[ ];x=[ 1 2 ];y=[ 1 ];z=[ 1 ];u=[ 0 2 ];t=[ 0.5 5 ];");
    EXPECT_EQ(parse("a hello   world\nb \"x y\"\nc \"x\" // c\nd \"x\"  \ne \"a \"b\" c\"\nf \"\n"),
              "a='hello   world';b='x y';c='x\" // c';d='x\"  ';e='a \"b\" c';f='';");
}

TEST(ParameterList, LookupsAnswerTheFirstEntryOfAName) {
    std::string text = "k first\nk 2\nn 1\nn 9\nl {\n}\n";
    UTL_ParameterList list;
    list.read(&text[0]);
    EXPECT_EQ(list.find("k"), list.m_items[0]);
    EXPECT_EQ(list.find_number("k"), nullptr);  // a later number of that name is not seen
    EXPECT_EQ(list.get_number("n"), 1.0f);
    EXPECT_EQ(list.find("N"), nullptr);
    EXPECT_EQ(list.find_number_vector("l"), nullptr);
    EXPECT_NE(list.find_list("l"), nullptr);
    // Missing or mistyped entries read as nothing rather than crashing.
    EXPECT_EQ(list.get_number("missing"), 0.0f);
    EXPECT_TRUE(list.get_number_vector("missing").empty());
    EXPECT_TRUE(list.get_number_vector("n").empty());
    list.clear();
    EXPECT_EQ(list.find("k"), nullptr);
}

TEST(ParameterList, LineEndsAndHighBytesDoNotChangeTheTree) {
    const std::string lf =
        "T {\n  C [ 0 0.5 1 ]\n  Title \"Gr\xFC\xDF\"\n  \xE4\xB8\xAD \xC3\xA9t\xC3\xA9 "
        "\xE2\x82\xAC\n}\n";
    std::string crlf, cr;
    for (char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
    const std::string expected =
        "T={C=[ 0 0.5 1 ];Title='Gr\xFC\xDF';\xE4\xB8\xAD='\xC3\xA9t\xC3\xA9 \xE2\x82\xAC';};";
    EXPECT_EQ(parse(lf), expected);
    EXPECT_EQ(parse(crlf), expected);
    EXPECT_EQ(parse(cr), expected);
}

TEST(ParameterList, HostileTextEndsQuietly) {
    EXPECT_EQ(parse("a {\n b {\n  c 1\n"), "a={b={c=1;};};");  // missing "}"
    EXPECT_EQ(parse("x 1\n}\ny 2\n"), "x=1;");                 // stray "}"
    EXPECT_EQ(parse("}}}}\n} {\n{ }\n"), "");

    // Deep nesting: lists past the limit are kept empty and skipped to their own "}", even
    // when it follows a name, a comment or a nested "{", and reading resumes after it.
    std::string deep;
    for (int i = 0; i < UTL_ParameterList::MAX_NESTING_DEPTH; ++i) deep += "l {\n";
    deep += "skipped {\n a {\n n 1 } // in a's value\n }\n l " + std::string(20000, '{') +
            "\n b }\n}\nback 5\n";
    UTL_ParameterList list;
    list.read(&deep[0]);
    const UTL_ParameterList* level = &list;
    for (int i = 0; i < UTL_ParameterList::MAX_NESTING_DEPTH && level; ++i)
        level = level->find_list("l");
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(dump(*level), "skipped={};back=5;");

    std::string nested;
    for (int i = 0; i < 20000; ++i) nested += "l {\n";
    EXPECT_FALSE(parse(nested).empty());

    std::string long_line =
        "v [" + std::string(2000000, ' ') + "1 ]\ns " + std::string(1 << 20, 'x');
    EXPECT_EQ(parse(long_line).size(), 13u + (1u << 20));
}

TEST(ParameterList, ReadFromFileAppendsAndStopsAtANul) {
    UTL_ParameterList list;
    list.read_from_file("./no/such/file.txt");
    list.read_from_file(nullptr);
    EXPECT_TRUE(list.m_items.empty());

    const std::string path = testing::TempDir() + "nimbra_params_nul.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite("a 1\r\nb 2\n\0c 3\n", 1, 15, f);
    std::fclose(f);
    list.read_from_file(path.c_str());
    list.read_from_file(path.c_str());
    std::remove(path.c_str());
    EXPECT_EQ(dump(list), "a=1;b=2;a=1;b=2;");
}
