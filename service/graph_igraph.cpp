// UTL_IgraphReader: the glue to igraph's GraphML, GML and Pajek readers: handlers that return
// instead of aborting, the text handed over as a memory stream, and the graph's vertex
// attributes and edges copied out.
#include "service/graph_igraph.h"

#include "service/data_lines.h"

#include <igraph.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

// --- igraph's handlers ---------------------------------------------------------------------

// What igraph reported during one read.
struct Reports {
    std::string error;
    std::vector<std::string> warnings;
    size_t more_warnings = 0;
};

// igraph keeps its handlers and attribute table in globals (Debian builds it without thread-
// local storage), so one read at a time sets them, under this lock.
std::mutex g_igraph_lock;
Reports* g_reports = nullptr;

// igraph's error handlers are called where an error is raised and again on its way out with an
// empty reason: the first reason is the one to tell. The handler must free what igraph
// allocated so far, as igraph's own returning handler does.
void on_error(const char* reason, const char*, int, igraph_error_t code) {
    if (g_reports && g_reports->error.empty()) {
        g_reports->error = reason && *reason ? reason : igraph_strerror(code);
    }
    IGRAPH_FINALLY_FREE();
}

void on_warning(const char* reason, const char*, int) {
    if (!g_reports || !reason) return;
    if (g_reports->warnings.size() < 10) {
        g_reports->warnings.push_back(reason);
    } else {
        ++g_reports->more_warnings;
    }
}

// One read's hold on igraph: its handlers and the C attribute table installed, the previous
// ones put back afterwards.
class IgraphTurn {
public:
    explicit IgraphTurn(Reports& reports) : m_lock(g_igraph_lock) {
        g_reports = &reports;
        m_error = igraph_set_error_handler(on_error);
        m_warning = igraph_set_warning_handler(on_warning);
        m_table = igraph_set_attribute_table(&igraph_cattribute_table);
    }
    ~IgraphTurn() {
        igraph_set_attribute_table(m_table);
        igraph_set_warning_handler(m_warning);
        igraph_set_error_handler(m_error);
        g_reports = nullptr;
    }
    IgraphTurn(const IgraphTurn&) = delete;
    IgraphTurn& operator=(const IgraphTurn&) = delete;

private:
    std::lock_guard<std::mutex> m_lock;
    igraph_error_handler_t* m_error;
    igraph_warning_handler_t* m_warning;
    igraph_attribute_table_t* m_table;
};

// --- Text helpers ----------------------------------------------------------------------------

std::string lower(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string number_text(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) {
        return std::to_string(static_cast<long long>(v));
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

void append_utf8(std::string& out, unsigned long c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// NOTE: igraph 0.10 decodes only the named entities in GML strings, while NetworkX writes '&',
// '"' and every non-ASCII character as numeric references ("&#38;", "&#235;"). Those are
// decoded here; anything else stays as written.
std::string decode_numeric_entities(const std::string& s) {
    if (s.find("&#") == std::string::npos) return s;
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (s.compare(i, 2, "&#") == 0) {
            const bool hex = i + 2 < s.size() && (s[i + 2] == 'x' || s[i + 2] == 'X');
            size_t j = i + (hex ? 3 : 2);
            unsigned long code = 0;
            const size_t digits_from = j;
            while (j < s.size() && j - digits_from < 8 &&
                   (hex ? std::isxdigit(static_cast<unsigned char>(s[j]))
                        : std::isdigit(static_cast<unsigned char>(s[j])))) {
                code = code * (hex ? 16 : 10) +
                       (std::isdigit(static_cast<unsigned char>(s[j]))
                            ? s[j] - '0'
                            : std::tolower(static_cast<unsigned char>(s[j])) - 'a' + 10);
                ++j;
            }
            const bool valid = j > digits_from && j < s.size() && s[j] == ';' && code > 0 &&
                               code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
            if (valid) {
                append_utf8(out, code);
                i = j + 1;
                continue;
            }
        }
        out += s[i++];
    }
    return out;
}

// The first entity reference left in a decoded string ("&zz;"), or "": GML escapes every '&'
// itself, so one that is left is an entity igraph does not know.
std::string entity_left(const std::string& s) {
    for (size_t at = s.find('&'); at != std::string::npos; at = s.find('&', at + 1)) {
        size_t end = at + 1;
        while (end < s.size() && end - at < 32 &&
               (std::isalnum(static_cast<unsigned char>(s[end])) || s[end] == '#'))
            ++end;
        if (end > at + 1 && end < s.size() && s[end] == ';') return s.substr(at, end + 1 - at);
    }
    return "";
}

// --- Pajek vertex lines --------------------------------------------------------------------

// One word of a Pajek line: where it starts and ends in the line, and its text without quotes.
struct Word {
    size_t from, to;
    std::string text;
};

std::vector<Word> pajek_words(const std::string& line) {
    std::vector<Word> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i >= line.size()) break;
        Word w{i, i, ""};
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            w.to = close == std::string::npos ? line.size() : close + 1;
            w.text = line.substr(i + 1, (close == std::string::npos ? line.size() : close) - i - 1);
        } else {
            while (w.to < line.size() && !std::isspace(static_cast<unsigned char>(line[w.to])))
                ++w.to;
            w.text = line.substr(i, w.to - i);
        }
        i = w.to;
        words.push_back(std::move(w));
    }
    return words;
}

// Prepares a Pajek file for igraph: a "*Vertices N" over the limit is refused before igraph
// makes room for N, and the "key value" pairs NetworkX adds to vertex lines for the node's
// attributes, which igraph's grammar refuses, are taken out (those of the person attributes,
// kept in extras by vertex number). Lines keep their numbers, so igraph's messages still fit.
bool prepare_pajek(const std::string& text, const std::string& name, const UTL_GraphLimits& limits,
                   std::string& out, std::unordered_map<long, UTL_GraphNode>& extras,
                   std::string& error) {
    out.reserve(text.size());
    bool vertices = false;
    size_t line_number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        ++line_number;
        start = end + 1;

        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '*') {
            const std::vector<Word> words = pajek_words(line.substr(first + 1));
            vertices = !words.empty() && lower(words[0].text) == "vertices";
            if (vertices && words.size() > 1) {
                const std::string& count = words[1].text;
                const bool digits =
                    !count.empty() && count.find_first_not_of("0123456789") == std::string::npos;
                // Anything else is igraph's to refuse.
                if (digits && (count.size() > 18 || std::stoull(count) > limits.m_max_people)) {
                    error = name + ": line " + std::to_string(line_number) + ": " +
                            (count.size() > 18 ? count.substr(0, 24)
                                               : with_commas(std::stoull(count))) +
                            " vertices, more than the " + with_commas(limits.m_max_people) +
                            " a graph file may hold";
                    return false;
                }
            }
            out.append(line).append(end < text.size() ? "\n" : "");
            continue;
        }
        std::vector<Word> words;
        if (vertices) words = pajek_words(line);
        // Words 0 and 1 are the vertex number and its label; a pair of ours comes after them.
        std::vector<bool> drop(words.size(), false);
        bool dropped = false;
        for (size_t k = 2; k + 1 < words.size(); ++k) {
            if (!UTL_GraphData::is_person_attribute(words[k].text)) continue;
            const long number = std::strtol(words[0].text.c_str(), nullptr, 10);
            extras[number].m_attributes.emplace_back(words[k].text, words[k + 1].text);
            drop[k] = drop[k + 1] = dropped = true;
            ++k;
        }
        if (!dropped) {
            out.append(line);
        } else {
            for (size_t k = 0; k < words.size(); ++k) {
                if (drop[k]) continue;
                out.append(line, words[k].from, words[k].to - words[k].from).append(" ");
            }
        }
        out.append(end < text.size() ? "\n" : "");
    }
    return true;
}

// --- The graph's attributes ----------------------------------------------------------------

// The values of a vertex attribute as text: strings as they are, numbers written out; false
// for other kinds.
bool vertex_values(const igraph_t& graph, const char* attribute, igraph_attribute_type_t type,
                   std::vector<std::string>& values) {
    const igraph_integer_t n = igraph_vcount(&graph);
    values.assign(static_cast<size_t>(n), std::string());
    if (type == IGRAPH_ATTRIBUTE_STRING) {
        igraph_strvector_t v;
        if (igraph_strvector_init(&v, 0) != IGRAPH_SUCCESS) return false;
        const bool ok =
            igraph_cattribute_VASV(&graph, attribute, igraph_vss_all(), &v) == IGRAPH_SUCCESS;
        for (igraph_integer_t i = 0; ok && i < n && i < igraph_strvector_size(&v); ++i) {
            values[i] = igraph_strvector_get(&v, i);
        }
        igraph_strvector_destroy(&v);
        return ok;
    }
    if (type == IGRAPH_ATTRIBUTE_NUMERIC) {
        igraph_vector_t v;
        if (igraph_vector_init(&v, 0) != IGRAPH_SUCCESS) return false;
        const bool ok =
            igraph_cattribute_VANV(&graph, attribute, igraph_vss_all(), &v) == IGRAPH_SUCCESS;
        for (igraph_integer_t i = 0; ok && i < n && i < igraph_vector_size(&v); ++i) {
            // A missing GraphML or GML value of a numeric attribute reads as NaN.
            if (!std::isnan(VECTOR(v)[i])) values[i] = number_text(VECTOR(v)[i]);
        }
        igraph_vector_destroy(&v);
        return ok;
    }
    return false;
}

// Copies the nodes and edges of a graph igraph has read into data. unknown_entity: the first
// entity a GML string keeps, and how many strings keep one.
bool copy_graph(const igraph_t& graph, UTL_GraphFormat format, UTL_GraphData& data,
                std::string& unknown_entity, size_t& unknown_entities) {
    const igraph_integer_t n = igraph_vcount(&graph);
    data.m_nodes.resize(static_cast<size_t>(n));
    for (igraph_integer_t i = 0; i < n; ++i) data.m_nodes[i].m_id = std::to_string(i + 1);

    igraph_strvector_t gnames, vnames, enames;
    igraph_vector_int_t gtypes, vtypes, etypes;
    igraph_strvector_init(&gnames, 0);
    igraph_strvector_init(&vnames, 0);
    igraph_strvector_init(&enames, 0);
    igraph_vector_int_init(&gtypes, 0);
    igraph_vector_int_init(&vtypes, 0);
    igraph_vector_int_init(&etypes, 0);
    bool ok = igraph_cattribute_list(&graph, &gnames, &gtypes, &vnames, &vtypes, &enames,
                                     &etypes) == IGRAPH_SUCCESS;
    std::vector<std::string> values;
    for (igraph_integer_t a = 0; ok && a < igraph_strvector_size(&vnames); ++a) {
        const std::string attribute = igraph_strvector_get(&vnames, a);
        const auto type = static_cast<igraph_attribute_type_t>(VECTOR(vtypes)[a]);
        // Pajek's vertex label comes as "id" and again as "name"; GML's label as "label".
        const bool is_id = attribute == "id" && format != UTL_GraphFormat::kPajek;
        const bool is_label = (format == UTL_GraphFormat::kPajek && attribute == "id") ||
                              (format == UTL_GraphFormat::kGml && attribute == "label");
        const bool is_person = !is_id && !is_label && format != UTL_GraphFormat::kPajek &&
                               UTL_GraphData::is_person_attribute(attribute);
        if (!is_id && !is_label && !is_person) continue;
        if (!vertex_values(graph, attribute.c_str(), type, values)) continue;
        for (igraph_integer_t i = 0; i < n; ++i) {
            UTL_GraphNode& node = data.m_nodes[i];
            std::string value = format == UTL_GraphFormat::kGml ? decode_numeric_entities(values[i])
                                                                : std::move(values[i]);
            if (format == UTL_GraphFormat::kGml && value.find('&') != std::string::npos) {
                const std::string entity = entity_left(value);
                if (!entity.empty() && unknown_entities++ == 0) unknown_entity = entity;
            }
            if (is_id) {
                if (!value.empty()) node.m_id = std::move(value);
            } else if (is_label) {
                node.m_has_label = !value.empty();
                node.m_label = std::move(value);
            } else {
                node.m_attributes.emplace_back(attribute, std::move(value));
            }
        }
    }
    igraph_strvector_destroy(&gnames);
    igraph_strvector_destroy(&vnames);
    igraph_strvector_destroy(&enames);
    igraph_vector_int_destroy(&gtypes);
    igraph_vector_int_destroy(&vtypes);
    igraph_vector_int_destroy(&etypes);
    if (!ok) return false;

    igraph_vector_int_t edges;
    if (igraph_vector_int_init(&edges, 0) != IGRAPH_SUCCESS) return false;
    ok = igraph_get_edgelist(&graph, &edges, false) == IGRAPH_SUCCESS;
    const bool directed = igraph_is_directed(&graph);
    const igraph_integer_t m = ok ? igraph_vector_int_size(&edges) / 2 : 0;
    data.m_edges.reserve(static_cast<size_t>(m));
    for (igraph_integer_t e = 0; e < m; ++e) {
        data.m_edges.push_back(UTL_GraphEdge{static_cast<std::uint32_t>(VECTOR(edges)[2 * e]),
                                             static_cast<std::uint32_t>(VECTOR(edges)[2 * e + 1]),
                                             directed});
    }
    igraph_vector_int_destroy(&edges);
    return ok;
}

const char* format_name(UTL_GraphFormat format) {
    switch (format) {
        case UTL_GraphFormat::kGraphML:
            return "GraphML";
        case UTL_GraphFormat::kGml:
            return "GML";
        default:
            return "Pajek";
    }
}

}  // namespace

bool UTL_IgraphReader::read(const std::string& text, UTL_GraphFormat format,
                            const std::string& name, const UTL_GraphLimits& limits,
                            UTL_GraphData& data, std::string& error) {
    const std::string what = std::string("not readable as ") + format_name(format);
    std::string pajek;
    std::unordered_map<long, UTL_GraphNode> extras;
    if (format == UTL_GraphFormat::kPajek &&
        !prepare_pajek(text, name, limits, pajek, extras, error)) {
        return false;
    }
    const std::string& input = format == UTL_GraphFormat::kPajek ? pajek : text;
    if (input.empty()) {
        error = name + ": " + what + ": the file is empty";
        return false;
    }
    FILE* stream = fmemopen(const_cast<char*>(input.data()), input.size(), "rb");
    if (!stream) {
        error = name + ": " + what + ": cannot hand it to igraph";
        return false;
    }

    Reports reports;
    bool ok = false;
    std::string unknown_entity;
    size_t unknown_entities = 0;
    {
        IgraphTurn turn(reports);
        igraph_t graph;
        igraph_error_t status = IGRAPH_FAILURE;
        switch (format) {
            case UTL_GraphFormat::kGraphML:
                status = igraph_read_graph_graphml(&graph, stream, 0);
                break;
            case UTL_GraphFormat::kGml:
                status = igraph_read_graph_gml(&graph, stream);
                break;
            default:
                status = igraph_read_graph_pajek(&graph, stream);
                break;
        }
        if (status == IGRAPH_SUCCESS) {
            const size_t nodes = static_cast<size_t>(igraph_vcount(&graph));
            const size_t edges = static_cast<size_t>(igraph_ecount(&graph));
            if (nodes > limits.m_max_people) {
                error = name + ": " + with_commas(nodes) + " nodes, more than the " +
                        with_commas(limits.m_max_people) + " a graph file may hold";
            } else if (edges > limits.m_max_edges) {
                error = name + ": " + with_commas(edges) + " edges, more than the " +
                        with_commas(limits.m_max_edges) + " a graph file may hold";
            } else if (!copy_graph(graph, format, data, unknown_entity, unknown_entities)) {
                error = name + ": " + what + ": " +
                        (reports.error.empty() ? "igraph failed" : reports.error);
            } else {
                ok = true;
            }
            igraph_destroy(&graph);
        } else {
            error = name + ": " + what + ": " +
                    (reports.error.empty() ? igraph_strerror(status) : reports.error);
        }
    }
    std::fclose(stream);
    if (!ok) return false;

    for (auto& [number, node] : extras) {
        if (number < 1 || static_cast<size_t>(number) > data.m_nodes.size()) continue;
        auto& attributes = data.m_nodes[number - 1].m_attributes;
        attributes.insert(attributes.end(), node.m_attributes.begin(), node.m_attributes.end());
    }
    data.m_labels_may_be_uids = format != UTL_GraphFormat::kGraphML;
    for (const std::string& w : reports.warnings) {
        // igraph's word on the entities it leaves in GML strings names only the first, which is
        // often a numeric one decoded here; the entities still left are told below instead.
        if (format == UTL_GraphFormat::kGml && w.find("entities") != std::string::npos) continue;
        data.m_notes.push_back(name + ": " + format_name(format) + ": " + w);
    }
    if (unknown_entities > 0) {
        data.m_notes.push_back(
            name + ": GML: " + counted(unknown_entities, "string keeps", "strings keep") +
            " an unknown entity as written, the first '" + unknown_entity + "'");
    }
    if (reports.more_warnings > 0) {
        data.m_notes.push_back(name + ": " + format_name(format) + ": " +
                               with_commas(reports.more_warnings) + " more warnings");
    }
    return true;
}
