// UTL_StringExtractor and UTL_StringTokenizer: line and token splitting over separator tables.
#include "util/string_tokenizer.h"

#include <cstring>

namespace {

inline bool is_separator(const bool* table, char c) { return table[static_cast<unsigned char>(c)]; }

}  // namespace

UTL_StringExtractor::UTL_StringExtractor(const char* text)
    : m_text(text ? text : ""), m_length(std::strlen(m_text)) {
    std::memset(m_separators, 0, sizeof(m_separators));
    m_separators[static_cast<unsigned char>('\n')] = true;
    m_separators[static_cast<unsigned char>('\r')] = true;
}

std::string UTL_StringExtractor::next() {
    while (m_position < m_length && is_separator(m_separators, m_text[m_position])) ++m_position;
    const size_t start = m_position;
    while (m_position < m_length && !is_separator(m_separators, m_text[m_position])) ++m_position;
    return std::string(m_text + start, m_position - start);
}

UTL_StringTokenizer::UTL_StringTokenizer(const std::string& line) : m_line(line) {
    std::memset(m_separators, 0, sizeof(m_separators));
    m_separators[static_cast<unsigned char>(' ')] = true;
    m_separators[static_cast<unsigned char>('\t')] = true;
    m_separators[static_cast<unsigned char>('\n')] = true;
    m_separators[static_cast<unsigned char>('\r')] = true;
}

std::string UTL_StringTokenizer::next() {
    const size_t length = m_line.size();
    while (m_position < length && is_separator(m_separators, m_line[m_position])) ++m_position;
    const size_t start = m_position;
    while (m_position < length && !is_separator(m_separators, m_line[m_position])) ++m_position;
    return m_line.substr(start, m_position - start);
}

std::string UTL_StringTokenizer::remaining() const { return m_line.substr(m_position); }
