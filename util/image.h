// GFX_Image, the in-memory picture textures are made from, and the serializer interface of the
// image readers (TGA, SGI, JPEG). Row 0 is the first row stored in the file.
#pragma once

#include <cstdint>
#include <string>

class GFX_Image {
public:
    enum FileType : int {
        FILE_UNKNOWN = 0x1000,
        FILE_BMP = 0x1001,
        FILE_SGI = 0x1002,
        FILE_TGA = 0x1004,
        FILE_JPEG = 0x1008,
    };

    GFX_Image() = default;
    explicit GFX_Image(const std::string& path);
    virtual ~GFX_Image();
    GFX_Image(const GFX_Image&) = delete;
    GFX_Image& operator=(const GFX_Image&) = delete;

    // Reads the file with the serializer its extension names; an unknown extension leaves the
    // image as it is. A file that does not decode leaves no pixels.
    void read(const std::string& path);
    static int get_file_type_by_name(const std::string& path);

    // Takes ownership of a new[] pixel array of width * height * bits / 8 bytes.
    void set_pixels(unsigned char* pixels, uint8_t bits, uint32_t width, uint32_t height);
    void clear();
    bool has_pixels() const { return m_pixels != nullptr; }

    uint32_t m_width = 0;
    uint32_t m_height = 0;
    uint8_t m_bits_per_pixel = 0;
    unsigned char* m_pixels = nullptr;  // owned, new[]
};

// A reader (or writer) of one image file format. While it works on one image it holds the
// pixel pointer, depth and size; read() hands the pixels over to the caller and forgets them.
class GFX_ImageSerializer {
public:
    virtual ~GFX_ImageSerializer() = default;
    // Opens path itself, decodes it, and hands over a new[] pixel array in GFX_Image's layout
    // (or null when nothing decodes) with its depth and size. The caller owns the array.
    virtual void read(const std::string& path, unsigned char** pixels, unsigned char& bits,
                      unsigned int& width, unsigned int& height) = 0;
    virtual void write(const std::string& path, unsigned char* pixels, unsigned char bits,
                       unsigned int width, unsigned int height) = 0;

protected:
    // Forgets the pixel pointer without freeing it (the caller owns it now).
    void clean() { m_pixels = nullptr; m_bits = 0; m_width = 0; m_height = 0; }

    unsigned char* m_pixels = nullptr;
    unsigned char m_bits = 0;
    unsigned int m_width = 0;
    unsigned int m_height = 0;
    bool m_host_order = false;
};
