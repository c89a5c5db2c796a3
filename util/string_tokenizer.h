// UTL_StringExtractor and UTL_StringTokenizer: split a text into lines and a line into tokens,
// the two steps of reading a parameter file.
#pragma once

#include <string>

// Hands out the lines of a NUL-terminated text one by one. Blank lines are skipped, so an empty
// string means the text is used up. Line ends may be LF, CR or CR LF.
class UTL_StringExtractor {
public:
    // Borrows the text: it must outlive the extractor and is read up to its first NUL.
    explicit UTL_StringExtractor(const char* text);
    virtual ~UTL_StringExtractor() = default;

    // The next non-empty line without its line end; empty only at the end of the text.
    std::string next();

private:
    const char* m_text;
    size_t m_length;
    size_t m_position = 0;
    bool m_separators[256];
};

// Splits one line into tokens at spaces, tabs, CR and LF. Every other byte, including those above
// 127, braces, brackets, quotes and commas, belongs to a token.
class UTL_StringTokenizer {
public:
    explicit UTL_StringTokenizer(const std::string& line);
    virtual ~UTL_StringTokenizer() = default;

    // The next token, or an empty string when none is left.
    std::string next();
    // The line from just after the last token handed out to its end, separators included.
    std::string remaining() const;

private:
    std::string m_line;
    size_t m_position = 0;
    bool m_separators[256];
};
