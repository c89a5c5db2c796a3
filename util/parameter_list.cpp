// UTL_ParameterList: reading the parameter text format into a tree, and looking entries up.
#include "util/parameter_list.h"

#include "util/file.h"
#include "util/string_tokenizer.h"

#include <charconv>
#include <limits>
#include <memory>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_comment(const std::string& token) {
    return token.size() >= 2 && token[0] == '/' && token[1] == '/';
}

// Converts the longest leading part of the text of the form: optional sign, decimal digits with
// an optional "." fraction, optional exponent. Text after it is ignored; 0 when no digit leads.
// NOTE: written by hand rather than with sscanf("%f") so that the decimal mark is "." whatever
// the process locale, and so that "-inf", "-nan" or hexadecimal texts do not become numbers.
float scan_number(const std::string& text) {
    const char* s = text.c_str();
    const char* end = s + text.size();
    const char* p = s;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
    const char* digits = p;

    // Decimal magnitude of the first non-zero digit, to tell overflow from underflow.
    long magnitude = 0;
    bool nonzero = false;
    long leading_zeros = 0;
    long integer_digits = 0;
    while (p < end && is_digit(*p)) {
        if (nonzero) ++integer_digits;
        else if (*p != '0') {
            nonzero = true;
            integer_digits = 1;
        }
        ++p;
    }
    bool any_digit = p > digits;
    if (p < end && *p == '.') {
        ++p;
        const char* fraction = p;
        while (p < end && is_digit(*p)) {
            if (!nonzero) {
                if (*p == '0') ++leading_zeros;
                else nonzero = true;
            }
            ++p;
        }
        any_digit = any_digit || p > fraction;
    }
    if (!any_digit) return 0.0f;
    magnitude = integer_digits > 0 ? integer_digits - 1 : -(leading_zeros + 1);

    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        bool exp_negative = false;
        if (q < end && (*q == '+' || *q == '-')) exp_negative = (*q++ == '-');
        if (q < end && is_digit(*q)) {
            long exponent = 0;
            while (q < end && is_digit(*q)) {
                if (exponent < 1000000) exponent = exponent * 10 + (*q - '0');
                ++q;
            }
            magnitude += exp_negative ? -exponent : exponent;
            p = q;
        }
    }

    float value = 0.0f;
    const auto result = std::from_chars(digits, p, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        value = magnitude > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    } else if (result.ec != std::errc()) {
        value = 0.0f;
    }
    return negative ? -value : value;
}

// Skips the lines of a list that is nested too deeply, up to and including its own "}", by the
// same grammar the reader follows but without recursion or items.
void skip_list(UTL_StringExtractor* lines) {
    long depth = 1;
    bool pending = false;
    for (;;) {
        const std::string line = lines->next();
        if (line.empty()) return;
        UTL_StringTokenizer tokens(line);
        for (;;) {
            const std::string token = tokens.next();
            if (token.empty() || is_comment(token)) break;
            if (token == "}") {
                pending = false;
                if (--depth == 0) return;
                continue;
            }
            if (!pending) {
                pending = true;
                continue;
            }
            if (token[0] == '{') ++depth;
            pending = false;
            break;
        }
    }
}

}  // namespace

// ---- construction and destruction ----

UTL_ParameterList::~UTL_ParameterList() { clear(); }

void UTL_ParameterList::clear() {
    for (UTL_ParameterItem* item : m_items) delete item;
    m_items.clear();
}

// ---- reading ----

void UTL_ParameterList::read_from_file(const char* path) {
    if (!path) return;
    UTL_File file;
    if (!file.open(path, UTL_File::READ)) return;
    int size = 0;
    char* text = file.read_string(size);
    read(text);
    delete[] text;
    file.close();
}

void UTL_ParameterList::read(char* text) {
    UTL_StringExtractor lines(text);
    read(&lines);
}

void UTL_ParameterList::read(UTL_StringExtractor* lines) { read(lines, 0); }

// One list: a name, then a value that takes the rest of its line. A name may stand alone on its
// line; "//" starts a comment; "}" ends the list.
void UTL_ParameterList::read(UTL_StringExtractor* lines, int depth) {
    std::string pending;  // a token is never empty, so empty means no pending name
    for (;;) {
        const std::string line = lines->next();
        if (line.empty()) return;
        UTL_StringTokenizer tokens(line);
        for (;;) {
            const std::string token = tokens.next();
            if (token.empty() || is_comment(token)) break;
            if (token == "}") return;
            if (pending.empty()) {
                pending = token;
                continue;
            }
            m_items.push_back(make_item(pending, token + tokens.remaining(), lines, depth));
            pending.clear();
            break;
        }
    }
}

int UTL_ParameterList::get_token_type(const std::string& value) {
    if (value.empty()) return STRING;
    const char c = value[0];
    if (c == '{') return LIST;
    if (is_digit(c) || c == '-') return NUMBER;
    if (c == '[') return NUMBER_VECTOR;
    return STRING;
}

UTL_ParameterItem* UTL_ParameterList::make_item(const std::string& name, const std::string& value,
                                                UTL_StringExtractor* lines, int depth) {
    switch (get_token_type(value)) {
        case LIST: {
            // The sub-list reads its own lines first; text after "{" on this line is ignored.
            std::unique_ptr<UTL_ParameterList> list(new UTL_ParameterList(name));
            if (depth + 1 > MAX_NESTING_DEPTH) skip_list(lines);
            else list->read(lines, depth + 1);
            return list.release();
        }
        case NUMBER:
            return new UTL_ParameterNumber(name, scan_number(value));
        case NUMBER_VECTOR: {
            auto* vector = new UTL_ParameterNumberVector(name);
            UTL_StringTokenizer tokens(value);
            for (std::string token = tokens.next(); !token.empty(); token = tokens.next()) {
                if (token == "[") continue;
                if (token == "]") break;
                // A token that does not begin with a number ("[1", "x") still adds an element: 0.
                vector->m_values.push_back(scan_number(token));
            }
            return vector;
        }
        default: {
            // Only one leading and then one trailing double quote are removed; no escapes.
            std::string text = value;
            if (!text.empty() && text.front() == '"') text.erase(0, 1);
            if (!text.empty() && text.back() == '"') text.pop_back();
            return new UTL_ParameterString(name, text);
        }
    }
}

// ---- lookups ----
// NOTE: the kind is checked first, as the format asks; the dynamic_cast guards against an item
// built by hand with a kind code that does not match its class.

UTL_ParameterItem* UTL_ParameterList::find(const std::string& name) const {
    for (UTL_ParameterItem* item : m_items) {
        if (item->m_name == name) return item;
    }
    return nullptr;
}

UTL_ParameterList* UTL_ParameterList::find_list(const std::string& name) const {
    UTL_ParameterItem* item = find(name);
    return item && item->m_kind == LIST ? dynamic_cast<UTL_ParameterList*>(item) : nullptr;
}

UTL_ParameterNumberVector* UTL_ParameterList::find_number_vector(const std::string& name) const {
    UTL_ParameterItem* item = find(name);
    return item && item->m_kind == NUMBER_VECTOR ? dynamic_cast<UTL_ParameterNumberVector*>(item)
                                                 : nullptr;
}

UTL_ParameterNumber* UTL_ParameterList::find_number(const std::string& name) const {
    UTL_ParameterItem* item = find(name);
    return item && item->m_kind == NUMBER ? dynamic_cast<UTL_ParameterNumber*>(item) : nullptr;
}

float UTL_ParameterList::get_number(const std::string& name) const {
    const UTL_ParameterNumber* number = find_number(name);
    return number ? number->m_value : 0.0f;
}

const std::vector<float>& UTL_ParameterList::get_number_vector(const std::string& name) const {
    static const std::vector<float> none;
    const UTL_ParameterNumberVector* vector = find_number_vector(name);
    return vector ? vector->m_values : none;
}
