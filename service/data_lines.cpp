// UTL_DataLines: data lines of edge lists and people files, CSV fields, notes of skipped lines.
#include "service/data_lines.h"

#include <cctype>

bool UTL_DataLines::next(std::string& line) {
    while (std::getline(m_in, line)) {
        ++m_line_number;
        if (line.size() > kMaxLine) {
            skip_line(m_line_number, "longer than " + std::to_string(kMaxLine) + " bytes");
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] != '#' && line[first] != '%') return true;
    }
    return false;
}

std::vector<std::string> UTL_DataLines::notes(const char* one, const char* many) const {
    std::vector<std::string> out = m_notes;
    if (m_skipped > m_notes.size()) {
        out.push_back(m_name + ": " + counted(m_skipped - m_notes.size(), one, many) +
                      " more skipped");
    }
    return out;
}

void UTL_DataLines::skip_line(size_t number, const std::string& reason) {
    if (++m_skipped <= kToldSkips) {
        m_notes.push_back(m_name + ": line " + std::to_string(number) + ": " + reason);
    }
}

std::vector<std::string> UTL_DataLines::split_csv(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string UTL_DataLines::trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string with_commas(unsigned long long n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string counted(unsigned long long n, const char* one, const char* many) {
    return with_commas(n) + " " + (n == 1 ? one : many);
}
