// UTL_File: open modes, chunked whole-file reading.
#include "util/file.h"

#include <cstring>

UTL_File::~UTL_File() { close(); }

FILE* UTL_File::open(const std::string& path, int mode) {
    close();
    const char* how = nullptr;
    switch (mode) {
        case READ:
            how = "rb";
            break;
        case WRITE:
            how = "wb";
            break;
        case READ_WRITE:
            how = "r+b";
            break;
        default:
            return nullptr;
    }
    m_stream = std::fopen(path.c_str(), how);
    return m_stream;
}

FILE* UTL_File::open_memory(const void* data, size_t size) {
    close();
    // fmemopen refuses an empty buffer; an empty file then simply does not open.
    if (data == nullptr || size == 0) return nullptr;
    m_stream = fmemopen(const_cast<void*>(data), size, "rb");
    return m_stream;
}

void UTL_File::close() {
    if (m_stream) std::fclose(m_stream);
    m_stream = nullptr;
}

int UTL_File::read(void* buffer, int n) {
    if (!m_stream || n <= 0) return 0;
    return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(n), m_stream));
}

void UTL_File::write(const void* buffer, int n) {
    if (!m_stream || n <= 0) return;
    std::fwrite(buffer, 1, static_cast<size_t>(n), m_stream);
}

void UTL_File::seek(int offset) {
    if (m_stream) std::fseek(m_stream, offset, SEEK_SET);
}

long UTL_File::size() {
    if (!m_stream) return -1;
    const long here = std::ftell(m_stream);
    if (std::fseek(m_stream, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(m_stream);
    std::fseek(m_stream, here, SEEK_SET);
    return end;
}

char* UTL_File::read_string(int& size) {
    // Reads in chunks of 65535 bytes; each full chunk grows the buffer by another chunk.
    const int chunk = 65535;
    int capacity = chunk;
    int used = 0;
    char* buffer = new char[capacity + 1];
    if (m_stream) {
        for (;;) {
            const int got = read(buffer + used, capacity - used);
            used += got;
            if (used < capacity) break;
            if (capacity > (1 << 30) - chunk)
                break;  // a file past 1 GiB is not a text file we read
            char* bigger = new char[capacity + chunk + 1];
            std::memcpy(bigger, buffer, static_cast<size_t>(used));
            delete[] buffer;
            buffer = bigger;
            capacity += chunk;
        }
    }
    buffer[used] = '\0';
    size = used + 1;
    return buffer;
}
