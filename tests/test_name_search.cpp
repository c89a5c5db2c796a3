// Names as a person types them: folding (case, accents, compatibility forms), matching at the
// start of any word, the order of the matches, and the characters and width of a label cut
// to fit.
#include "gfx/text_layout.h"
#include "util/name_index.h"
#include "util/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> found(const UTL_NameIndex& index, const std::vector<std::string>& names,
                               const std::string& query, size_t max = 8) {
    std::vector<std::string> out;
    for (size_t i : index.find(query, max)) out.push_back(names.at(i));
    return out;
}

}  // namespace

TEST(NameSearch, FindsTypedTextAtTheStartOfAnyWordIgnoringCaseAndAccents) {
    const std::vector<std::string> names = {
        "Zoë Ñúñez",
        "Åsa Öberg",
        "Nuala Kerr",
        "Jean-Luc Picard",
        "Zoe\xCC\x88 N\xCC\x83u\xCC\x81n\xCC\x83"
        "ez",  // the first, decomposed
        "STRASSE Straße",
        "Søren Łukasiewicz",
        "佐藤 美咲",
        "Bad \xFF\xC0 bytes",
        "",
    };
    UTL_NameIndex index;
    for (const std::string& n : names) index.add(n);

    EXPECT_EQ(found(index, names, "ober"), std::vector<std::string>{"Åsa Öberg"});
    EXPECT_EQ(found(index, names, "ÖBERG"), std::vector<std::string>{"Åsa Öberg"});
    EXPECT_EQ(found(index, names, "  asa"), std::vector<std::string>{"Åsa Öberg"});
    // A name whose first word matches comes before one whose later word does; names that
    // fold alike keep the order they were added in.
    EXPECT_EQ(found(index, names, "nu"),
              (std::vector<std::string>{"Nuala Kerr", "Zoë Ñúñez", names[4]}));
    EXPECT_EQ(found(index, names, "zoe nu").size(), 2u);  // across the space between words
    EXPECT_EQ(found(index, names, "luc"), std::vector<std::string>{"Jean-Luc Picard"});
    EXPECT_EQ(found(index, names, "strasse").size(), 1u);
    EXPECT_EQ(found(index, names, "straße").size(), 1u);
    EXPECT_EQ(found(index, names, "soren luk").size(), 1u);
    EXPECT_EQ(found(index, names, "美咲"), std::vector<std::string>{"佐藤 美咲"});
    EXPECT_EQ(found(index, names, "藤"), std::vector<std::string>{"佐藤 美咲"});
    EXPECT_EQ(found(index, names, "bytes"), std::vector<std::string>{"Bad \xFF\xC0 bytes"});

    // Only word starts: the middle of a word finds nothing, nor does an empty query.
    EXPECT_TRUE(found(index, names, "berg").empty());
    EXPECT_TRUE(found(index, names, "ñez").empty());
    EXPECT_TRUE(found(index, names, "").empty());
    EXPECT_TRUE(found(index, names, "   ").empty());
    EXPECT_TRUE(found(index, names, "\xFF").size() <= 1u);  // malformed: at most the bad name
    EXPECT_EQ(found(index, names, "nu", 1).size(), 1u);
}

TEST(NameSearch, ManyMatchesComeInNameOrderAndStopAtTheLimit) {
    UTL_NameIndex index;
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i) names.push_back("Person " + std::to_string(4999 - i));
    names.push_back("Peter Pan");
    for (const std::string& n : names) index.add(n);
    const std::vector<std::string> f = found(index, names, "pe");
    ASSERT_EQ(f.size(), 8u);
    EXPECT_EQ(f[0], "Person 0");
    EXPECT_EQ(f[1], "Person 1");
    EXPECT_EQ(f[2], "Person 10");
    EXPECT_EQ(found(index, names, "pan"), std::vector<std::string>{"Peter Pan"});
}

TEST(NameSearch, LabelsKeepPrintableCharactersAndCutToWidthWithAnEllipsis) {
    // Malformed bytes and control characters each become one replacement mark.
    EXPECT_EQ(label_chars("a\tb\xFF"
                          "c\n",
                          10),
              (std::vector<std::uint32_t>{'a', 0xFFFD, 'b', 0xFFFD, 'c', 0xFFFD}));
    EXPECT_EQ(label_chars("abcdef", 4), (std::vector<std::uint32_t>{'a', 'b', 'c', kEllipsisChar}));
    EXPECT_TRUE(label_chars("", 4).empty());
    // A name of megabytes: no more than the limit is decoded or kept.
    const std::string huge(4 << 20, 'x');
    EXPECT_EQ(label_chars(huge, 100).size(), 100u);
    EXPECT_EQ(label_chars(huge, 100).back(), kEllipsisChar);
    EXPECT_EQ(decode_utf8(encode_utf8({0x5F, 0xE9, 0x65E5, 0x1F600})),
              (std::vector<std::uint32_t>{0x5F, 0xE9, 0x65E5, 0x1F600}));

    auto advance = [](std::uint32_t ch) { return ch == kEllipsisChar ? 3.0f : 10.0f; };
    const std::vector<std::uint32_t> ten(10, 'm');
    GFX_LineLayout line = layout_line(ten, 100.0f, advance);
    EXPECT_FALSE(line.m_cut);
    EXPECT_FLOAT_EQ(line.m_width, 100.0f);
    EXPECT_FLOAT_EQ(line.m_x[9], 90.0f);
    line = layout_line(ten, 99.0f, advance);
    ASSERT_TRUE(line.m_cut);
    EXPECT_EQ(line.m_chars.size(), 10u);  // nine and the ellipsis
    EXPECT_EQ(line.m_chars.back(), kEllipsisChar);
    EXPECT_FLOAT_EQ(line.m_width, 93.0f);
    EXPECT_EQ(layout_line(ten, 92.9f, advance).m_chars.size(), 9u);
    line = layout_line(ten, 1.0f, advance);  // not even the ellipsis fits: it alone is left
    EXPECT_EQ(line.m_chars, std::vector<std::uint32_t>{kEllipsisChar});
    // Advances that are not sizes count as nothing.
    line = layout_line(ten, 1e9f, [](std::uint32_t) { return -1.0f / 0.0f; });
    EXPECT_FLOAT_EQ(line.m_width, 0.0f);
}
