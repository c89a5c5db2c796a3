// UTL_File: the thin stdio wrapper every reader and writer of the system goes through.
#pragma once

#include <cstdio>
#include <string>

class UTL_File {
public:
    enum Mode { READ = 0, WRITE = 1, READ_WRITE = 2 };

    UTL_File() = default;
    virtual ~UTL_File();
    UTL_File(const UTL_File&) = delete;
    UTL_File& operator=(const UTL_File&) = delete;

    // Mode 0 "rb", 1 "wb", 2 "r+b"; any other mode opens nothing. Returns the stream or null.
    FILE* open(const std::string& path, int mode);
    // Reads size bytes of memory as if they were a file (mode 0 only), so a decoder can be fed
    // from memory through the same calls. data is borrowed until close().
    FILE* open_memory(const void* data, size_t size);
    void close();
    bool is_open() const { return m_stream != nullptr; }
    // The open stream, for libraries that read stdio streams themselves (libjpeg).
    FILE* stream() const { return m_stream; }

    // fread of up to n bytes; the count read, 0 when closed.
    int read(void* buffer, int n);
    void write(const void* buffer, int n);
    // Absolute seek from the start of the file.
    void seek(int offset);
    // Size of the open file in bytes (the position is kept); -1 when closed.
    long size();

    // The rest of the file in a new[] array with a NUL appended; size receives the byte count
    // plus 1. The caller delete[]s it. A closed file gives an array holding only the NUL.
    char* read_string(int& size);

private:
    FILE* m_stream = nullptr;
};
