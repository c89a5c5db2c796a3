// UTL_DataLines: the line reader shared by edge lists and people files: data lines with their
// numbers, blank lines and "#" or "%" comments passed over, CSV fields and the skipped-line notes.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

class UTL_DataLines {
public:
    // Lines longer than this belong to no edge list or people file and are skipped unread.
    static constexpr size_t kMaxLine = 4096;
    // How many skipped lines are told one by one before the rest are only counted.
    static constexpr size_t kToldSkips = 5;

    // Reads from in (borrowed); name starts the messages, usually the file's path.
    UTL_DataLines(std::istream& in, const std::string& name) : m_in(in), m_name(name) {}

    // The next line that is neither blank nor a comment, its CR taken off. A line over kMaxLine
    // is skipped with a note. False at the end of the input.
    bool next(std::string& line);
    // The number of the line next() answered last, from 1.
    size_t line_number() const { return m_line_number; }

    // Notes that the line just read was skipped, and why.
    void skip(const std::string& reason) { skip_line(m_line_number, reason); }
    size_t skipped() const { return m_skipped; }
    // The first kToldSkips skips as "NAME: line N: REASON", then one line that counts the rest
    // as "NAME: N lines more skipped" (one and many name what a line is); nothing when no line
    // was skipped.
    std::vector<std::string> notes(const char* one, const char* many) const;

    // One CSV line's fields; double quotes enclose fields with commas, "" is a quote.
    static std::vector<std::string> split_csv(const std::string& line);
    static std::string trim(const std::string& s);

private:
    void skip_line(size_t number, const std::string& reason);

    std::istream& m_in;
    std::string m_name;
    size_t m_line_number = 0;
    size_t m_skipped = 0;
    std::vector<std::string> m_notes;
};

// The lines of a text of several, such as a reader's warning; none for "".
std::vector<std::string> split_lines(const std::string& text);

// A count with thousands separators, "1,045": for messages people read.
std::string with_commas(unsigned long long n);
// A count and what it counts, "1 self-loop", "2,310 self-loops".
std::string counted(unsigned long long n, const char* one, const char* many);
