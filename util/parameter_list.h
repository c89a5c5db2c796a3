// The parameter-file tree: named numbers, number vectors, strings and nested lists, and the
// reader of the line-oriented text format they are written in (the colour-theme file uses it).
#pragma once

#include <string>
#include <vector>

class UTL_StringExtractor;

// One named entry of a parameter file. The reader never makes a bare item; it is the common
// base through which a list owns and deletes its entries.
class UTL_ParameterItem {
public:
    enum Kind { ITEM = 0, NUMBER = 1, NUMBER_VECTOR = 2, STRING = 3, LIST = 4 };

    explicit UTL_ParameterItem(const std::string& name = std::string(), int kind = ITEM)
        : m_name(name), m_kind(kind) {}
    virtual ~UTL_ParameterItem() = default;
    UTL_ParameterItem(const UTL_ParameterItem&) = delete;
    UTL_ParameterItem& operator=(const UTL_ParameterItem&) = delete;

    std::string m_name;
    int m_kind;
};

class UTL_ParameterNumber : public UTL_ParameterItem {
public:
    explicit UTL_ParameterNumber(const std::string& name = std::string(), float value = 0.0f)
        : UTL_ParameterItem(name, NUMBER), m_value(value) {}

    float m_value;
};

class UTL_ParameterNumberVector : public UTL_ParameterItem {
public:
    explicit UTL_ParameterNumberVector(const std::string& name = std::string())
        : UTL_ParameterItem(name, NUMBER_VECTOR) {}

    std::vector<float> m_values;  // in file order
};

class UTL_ParameterString : public UTL_ParameterItem {
public:
    explicit UTL_ParameterString(const std::string& name = std::string(),
                                 const std::string& value = std::string())
        : UTL_ParameterItem(name, STRING), m_value(value) {}

    std::string m_value;
};

// A named list of entries in file order; a whole file is read into one list with an empty name.
// Lookups compare names exactly and answer with the first entry of that name.
class UTL_ParameterList : public UTL_ParameterItem {
public:
    // Lists nested deeper than this below the list a file is read into are kept, with their
    // names, as empty lists: their lines up to their own "}" are skipped. It bounds the reader's
    // recursion, so hostile text cannot overflow the stack.
    static constexpr int MAX_NESTING_DEPTH = 64;

    UTL_ParameterList() : UTL_ParameterItem(std::string(), LIST) {}
    explicit UTL_ParameterList(const std::string& name) : UTL_ParameterItem(name, LIST) {}
    ~UTL_ParameterList() override;

    // Appends the entries of the file to this list. A file that cannot be opened adds nothing.
    // The file is read up to its first NUL byte; anything after one is not seen.
    void read_from_file(const char* path);
    // Appends the entries of a NUL-terminated text.
    void read(char* text);
    // Reads entries from the lines until this list's closing "}" or the end of the text.
    void read(UTL_StringExtractor* lines);

    // The kind of entry a value text makes, from its first character.
    static int get_token_type(const std::string& value);

    // Deletes all entries.
    void clear();

    // The first entry with the name, or null. The typed lookups answer null when the first
    // entry of that name is of another kind, even if a later one would fit.
    UTL_ParameterItem* find(const std::string& name) const;
    UTL_ParameterList* find_list(const std::string& name) const;
    UTL_ParameterNumberVector* find_number_vector(const std::string& name) const;
    UTL_ParameterNumber* find_number(const std::string& name) const;

    // The number's value, 0 when there is no number of that name.
    float get_number(const std::string& name) const;
    // The vector's values. NOTE: a missing entry (or one of another kind) answers an empty
    // vector shared by all callers, so a caller that guessed wrong reads nothing instead of
    // crashing.
    const std::vector<float>& get_number_vector(const std::string& name) const;

    std::vector<UTL_ParameterItem*> m_items;  // owned

private:
    void read(UTL_StringExtractor* lines, int depth);
    UTL_ParameterItem* make_item(const std::string& name, const std::string& value,
                                 UTL_StringExtractor* lines, int depth);
};
