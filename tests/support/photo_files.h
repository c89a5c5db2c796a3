// Real JPEG photos for the photo tests and benchmark, made by ImageMagick's convert in a private
// temporary directory that is removed with the object.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

class PhotoDir {
public:
    PhotoDir() {
        char name[] = "/tmp/nimbra-photos-XXXXXX";
        if (mkdtemp(name) != nullptr) m_path = name;
    }
    ~PhotoDir() {
        if (!m_path.empty()) std::system(("rm -rf '" + m_path + "'").c_str());
    }
    PhotoDir(const PhotoDir&) = delete;
    PhotoDir& operator=(const PhotoDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

    // Runs convert with the arguments (e.g. "-size 300x200 xc:lime") writing name; returns the
    // file's bytes, empty when convert failed.
    std::string make(const std::string& name, const std::string& convert_args) const {
        const std::string out = file(name);
        const std::string command = "convert " + convert_args + " -quality 95 '" + out + "'";
        if (std::system(command.c_str()) != 0) return "";
        return read(out);
    }

    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

private:
    std::string m_path;
};
