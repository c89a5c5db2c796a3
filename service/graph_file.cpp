// UTL_GraphFile: format recognition, the limits on a file's size, the reader for each format,
// and the whole load of graph file, people file and ego.
#include "service/graph_file.h"

#include "service/data_lines.h"
#include "service/edge_list.h"
#include "service/graph_gexf.h"
#include "service/graph_igraph.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// How much of a file's start format recognition looks at.
constexpr size_t kHeadBytes = 4096;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string extension_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return lower(path.substr(dot + 1));
}

// The first line of head that is neither blank nor a "%" comment, without its leading spaces.
std::string first_line(const std::string& head) {
    for (size_t start = 0; start < head.size();) {
        size_t end = head.find('\n', start);
        if (end == std::string::npos) end = head.size();
        const size_t first = head.find_first_not_of(" \t\r", start);
        if (first < end && head[first] != '%') return head.substr(first, end - first);
        start = end + 1;
    }
    return "";
}

// A GML file: the word "graph" followed by "[" (after a "Creator" line or comments, maybe).
bool looks_like_gml(const std::string& head) {
    for (size_t at = head.find("graph"); at != std::string::npos; at = head.find("graph", at + 1)) {
        if (at > 0 && !std::isspace(static_cast<unsigned char>(head[at - 1]))) continue;
        size_t next = at + 5;
        while (next < head.size() && std::isspace(static_cast<unsigned char>(head[next]))) ++next;
        if (next < head.size() && head[next] == '[') return true;
    }
    return false;
}

}  // namespace

UTL_GraphFormat UTL_GraphFile::detect(const std::string& head, const std::string& path) {
    size_t start = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < head.size() && std::isspace(static_cast<unsigned char>(head[start]))) ++start;
    if (start < head.size() && head[start] == '<') {
        const size_t graphml = head.find("<graphml", start), gexf = head.find("<gexf", start);
        if (graphml != std::string::npos && graphml < gexf) return UTL_GraphFormat::kGraphML;
        if (gexf != std::string::npos) return UTL_GraphFormat::kGexf;
    } else {
        const std::string line = lower(first_line(head));
        for (const char* section : {"*vertices", "*network", "*arcs", "*edges", "*matrix"}) {
            if (line.compare(0, std::strlen(section), section) == 0) return UTL_GraphFormat::kPajek;
        }
        if (looks_like_gml(head)) return UTL_GraphFormat::kGml;
    }
    const std::string ext = extension_of(path);
    if (ext == "graphml") return UTL_GraphFormat::kGraphML;
    if (ext == "gexf") return UTL_GraphFormat::kGexf;
    if (ext == "gml") return UTL_GraphFormat::kGml;
    if (ext == "net" || ext == "paj") return UTL_GraphFormat::kPajek;
    return UTL_GraphFormat::kEdgeList;
}

const char* UTL_GraphFile::format_name(UTL_GraphFormat format) {
    switch (format) {
        case UTL_GraphFormat::kGraphML:
            return "GraphML";
        case UTL_GraphFormat::kGexf:
            return "GEXF";
        case UTL_GraphFormat::kGml:
            return "GML";
        case UTL_GraphFormat::kPajek:
            return "Pajek";
        default:
            return "edge list";
    }
}

bool UTL_GraphFile::read(const std::string& path, const UTL_GraphLimits& limits,
                         UTL_GraphData& data, UTL_GraphFormat& format, std::string& error) {
    struct stat st;
    std::ifstream in;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) in.open(path, std::ios::binary);
    if (!in.is_open()) {
        error = path + ": cannot open the graph file";
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > limits.m_max_file_bytes) {
        error = path + ": " + with_commas(st.st_size) + " bytes, more than the " +
                with_commas(limits.m_max_file_bytes) + " a graph file may have";
        return false;
    }
    std::string head(kHeadBytes, '\0');
    in.read(&head[0], head.size());
    head.resize(static_cast<size_t>(in.gcount()));
    format = detect(head, path);
    if (format == UTL_GraphFormat::kGml &&
        static_cast<std::uint64_t>(st.st_size) > limits.m_max_gml_bytes) {
        error = path + ": " + with_commas(st.st_size) + " bytes, more than the " +
                with_commas(limits.m_max_gml_bytes) + " a GML file may have";
        return false;
    }
    in.clear();
    in.seekg(0);
    if (format == UTL_GraphFormat::kEdgeList) {
        return UTL_EdgeListReader::read(in, path, limits, data, error);
    }
    std::string text;
    text.reserve(static_cast<size_t>(st.st_size));
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (format == UTL_GraphFormat::kGexf) {
        return UTL_GexfReader::read(std::move(text), path, limits, data, error);
    }
    return UTL_IgraphReader::read(text, format, path, limits, data, error);
}

bool UTL_GraphFile::load(const UTL_GraphSource& source, UTL_SocialNetwork& network,
                         std::string& error, std::vector<std::string>& warnings) {
    const std::string& path = source.m_graph_file;
    UTL_GraphData data;
    UTL_GraphFormat format;
    if (!read(path, source.m_limits, data, format, error) ||
        !data.add_to(network, source.m_mutual_only, source.m_limits, path, error, warnings)) {
        return false;
    }
    if (!source.m_people_file.empty()) {
        std::string warning;
        if (!network.read_people(source.m_people_file, error, warning)) return false;
        for (const std::string& line : split_lines(warning)) warnings.push_back(line);
    }
    if (source.m_ego.empty() ? network.choose_ego() : network.set_ego(source.m_ego)) return true;
    if (network.find(source.m_ego)) {
        error = path + ": person " + source.m_ego + " has no friendships in this file";
    } else {
        error = path + ": no person " + source.m_ego + " in this file";
    }
    return false;
}
