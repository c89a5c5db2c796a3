// UTL_NameIndex: the names of the people on the globe folded for search (case, accents and
// compatibility forms ignored), and the lookup of a typed text at the start of any word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A name folded for search: each character lower-cased by Unicode case folding, accents and
// other marks dropped ("Ñúñez" -> "nunez", "Straße" -> "strasse"), with the positions where a
// word begins (after anything that is not a letter, mark or digit, and at every CJK character,
// since names in those scripts have no spaces). Malformed UTF-8 folds as U+FFFD.
struct UTL_FoldedName {
    std::u32string m_chars;
    std::vector<std::uint32_t> m_word_starts;  // indexes into m_chars, ascending
};
UTL_FoldedName fold_name(const std::string& utf8);
// A letter, a mark or a digit of any script: a character a name is made of.
bool is_name_char(std::uint32_t ch);

// Names are added once and looked up many times (once per key typed), so the folding happens
// when a name is added. Not thread-safe; the controller's main thread uses it.
class UTL_NameIndex {
public:
    void clear() { m_entries.clear(); }
    // The name gets the next number, counting from 0.
    void add(const std::string& utf8_name);
    std::size_t size() const { return m_entries.size(); }

    // The numbers of at most max names with a word that starts with the folded query, best
    // first: names whose first word matches, then the others, each group in the order of the
    // folded names (ties by number). Leading spaces of the query are ignored; an empty query
    // finds nothing.
    std::vector<std::size_t> find(const std::string& utf8_query, std::size_t max) const;

private:
    std::vector<UTL_FoldedName> m_entries;
};
