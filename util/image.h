// GFX_Image, the in-memory picture textures are made from, and the serializer interface of the
// image readers (TGA, SGI, JPEG, PNG). Row 0 is the first row a TGA or SGI file stores (the bottom
// one) and the bottom row of a JPEG picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class UTL_File;

class GFX_Image {
public:
    enum FileType : int {
        FILE_UNKNOWN = 0x1000,
        FILE_BMP = 0x1001,
        FILE_SGI = 0x1002,
        FILE_TGA = 0x1004,
        FILE_JPEG = 0x1008,
        FILE_PNG = 0x1010,
        FILE_WEBP = 0x1020,
        FILE_GIF = 0x1040,
    };

    // The longest side any reader accepts: 16384 x 16384 x 4 bytes still fits a signed 32-bit
    // count, and no texture or photo of this system comes near it.
    static constexpr uint32_t MAX_SIDE = 16384;

    GFX_Image() = default;
    explicit GFX_Image(const std::string& path);
    virtual ~GFX_Image();
    GFX_Image(const GFX_Image&) = delete;
    GFX_Image& operator=(const GFX_Image&) = delete;

    // Reads the file with the serializer its extension names; an unknown extension leaves the
    // image as it is. A file that does not decode leaves the empty image (no pixels, size 0).
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
    virtual ~GFX_ImageSerializer() { delete[] m_pixels; }
    // Opens path itself, decodes it, and hands over a new[] pixel array in GFX_Image's layout
    // (or null when nothing decodes) with its depth and size. The caller owns the array.
    virtual void read(const std::string& path, unsigned char** pixels, unsigned char& bits,
                      unsigned int& width, unsigned int& height) = 0;
    virtual void write(const std::string& path, unsigned char* pixels, unsigned char bits,
                       unsigned int width, unsigned int height) = 0;

    // Decodes an image held in memory through exactly the code that read() runs on a file (the
    // fuzzers and tests use it). data is borrowed for the call. Nothing decodes gives null pixels
    // and depth and size 0.
    void read_memory(const unsigned char* data, size_t size, unsigned char** pixels,
                     unsigned char& bits, unsigned int& width, unsigned int& height);

protected:
    // Decodes the open file into m_pixels, m_bits, m_width and m_height; leaves m_pixels null
    // when the file holds nothing it can decode.
    virtual void decode(UTL_File& file) = 0;
    // read() for the concrete readers: opens path, decodes it and hands the result over. A file
    // that cannot be opened leaves the out-parameters unchanged.
    void read_file(const std::string& path, unsigned char** pixels, unsigned char& bits,
                   unsigned int& width, unsigned int& height);
    // Passes the decoded image to the caller and forgets it.
    void hand_over(unsigned char** pixels, unsigned char& bits, unsigned int& width,
                   unsigned int& height);

    // A new[] array of n bytes in m_pixels, zeroed so rows a short file does not reach stay
    // black instead of showing old heap memory (a reader that fills every byte or fails may
    // skip that); false when memory is short.
    bool allocate(size_t n, bool zeroed = true);

    // Forgets the pixel pointer without freeing it (the caller owns it now).
    void clean() {
        m_pixels = nullptr;
        m_bits = 0;
        m_width = 0;
        m_height = 0;
    }

    unsigned char* m_pixels = nullptr;
    unsigned char m_bits = 0;
    unsigned int m_width = 0;
    unsigned int m_height = 0;
    bool m_host_order = false;
};
