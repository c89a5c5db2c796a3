// UTL_NameIndex: folding through utf8proc's Unicode tables, and the word-start lookup.
#include "util/name_index.h"

#include "util/utf8.h"

#include <utf8proc.h>

#include <algorithm>

namespace {

// Letters that carry their accent inside the letter (no decomposition separates it) but that
// a person types without it.
std::uint32_t plain_letter(std::uint32_t ch) {
    switch (ch) {
        case 0x00F8:  // ø
            return 'o';
        case 0x0142:  // ł
            return 'l';
        case 0x0111:  // đ
        case 0x00F0:  // ð
            return 'd';
        case 0x0127:  // ħ
            return 'h';
        case 0x0131:  // dotless ı
            return 'i';
        default:
            return ch;
    }
}

// Scripts written without spaces between names: every character may start a search.
bool is_cjk(std::uint32_t ch) {
    return (ch >= 0x3040 && ch <= 0x30FF) ||  // kana
           (ch >= 0x3400 && ch <= 0x9FFF) ||  // ideographs
           (ch >= 0xAC00 && ch <= 0xD7AF) ||  // hangul syllables
           (ch >= 0xF900 && ch <= 0xFAFF) || (ch >= 0x20000 && ch <= 0x3FFFF);
}

constexpr utf8proc_option_t kFoldOptions =
    static_cast<utf8proc_option_t>(UTF8PROC_COMPAT | UTF8PROC_DECOMPOSE | UTF8PROC_CASEFOLD |
                                   UTF8PROC_STRIPMARK | UTF8PROC_IGNORE);

// Appends the folded form of one character; answers how many characters it gave.
size_t fold_char(std::uint32_t ch, std::u32string& out) {
    utf8proc_int32_t buf[32];
    int boundclass = 0;
    const utf8proc_ssize_t n = utf8proc_decompose_char(static_cast<utf8proc_int32_t>(ch), buf, 32,
                                                       kFoldOptions, &boundclass);
    if (n < 0 || n > 32) {  // an error, or a decomposition longer than any known one
        out.push_back(ch);
        return 1;
    }
    for (utf8proc_ssize_t i = 0; i < n; ++i)
        out.push_back(plain_letter(static_cast<std::uint32_t>(buf[i])));
    return static_cast<size_t>(n);
}

}  // namespace

bool is_name_char(std::uint32_t ch) {
    if (ch > 0x10FFFF) return false;
    const utf8proc_category_t c = utf8proc_category(static_cast<utf8proc_int32_t>(ch));
    return c >= UTF8PROC_CATEGORY_LU && c <= UTF8PROC_CATEGORY_NO;  // letters, marks, numbers
}

UTL_FoldedName fold_name(const std::string& utf8) {
    UTL_FoldedName f;
    const std::vector<std::uint32_t> chars = decode_utf8(utf8);
    f.m_chars.reserve(chars.size());
    bool after_word_char = false;
    for (std::uint32_t ch : chars) {
        const size_t at = f.m_chars.size();
        const bool word = is_name_char(ch);
        const size_t n = fold_char(ch, f.m_chars);
        if (n > 0 && word && (!after_word_char || is_cjk(ch)))
            f.m_word_starts.push_back(static_cast<std::uint32_t>(at));
        // A dropped mark belongs to the letter before it and does not end the word.
        if (n > 0 || !word) after_word_char = word;
    }
    return f;
}

void UTL_NameIndex::add(const std::string& utf8_name) { m_entries.push_back(fold_name(utf8_name)); }

std::vector<std::size_t> UTL_NameIndex::find(const std::string& utf8_query, std::size_t max) const {
    std::u32string q = fold_name(utf8_query).m_chars;
    const size_t first = q.find_first_not_of(U" \t");
    q.erase(0, first == std::u32string::npos ? q.size() : first);
    std::vector<std::size_t> found;
    if (q.empty() || max == 0) return found;

    // Rank 0: the name's first word matches; rank 1: a later word does.
    std::vector<unsigned char> rank(m_entries.size(), 2);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const UTL_FoldedName& e = m_entries[i];
        for (size_t k = 0; k < e.m_word_starts.size(); ++k) {
            const size_t at = e.m_word_starts[k];
            if (e.m_chars.size() - at >= q.size() && e.m_chars.compare(at, q.size(), q) == 0) {
                rank[i] = k == 0 ? 0 : 1;
                found.push_back(i);
                break;
            }
        }
    }
    auto better = [&](std::size_t a, std::size_t b) {
        if (rank[a] != rank[b]) return rank[a] < rank[b];
        const int c = m_entries[a].m_chars.compare(m_entries[b].m_chars);
        return c != 0 ? c < 0 : a < b;
    };
    const size_t keep = std::min(max, found.size());
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(keep), found.end(),
                      better);
    found.resize(keep);
    return found;
}
