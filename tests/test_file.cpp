// UTL_File: whole-file reading across the chunk boundary, closed files and open modes.
#include "util/file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string temp_path(const char* name) { return ::testing::TempDir() + "nimbra_file_" + name; }

}  // namespace

TEST(File, ReadStringReturnsWholeContentPlusNulAcrossChunkBoundary) {
    // 65535 bytes fill the first chunk exactly, so the buffer has to grow once and the second
    // read comes back empty.
    const std::string path = temp_path("chunk.txt");
    std::string content(65535, 'x');
    for (size_t i = 0; i < content.size(); ++i) content[i] = char('a' + i % 26);
    {
        UTL_File out;
        ASSERT_TRUE(out.open(path, UTL_File::WRITE));
        out.write(content.data(), int(content.size()));
    }
    UTL_File in;
    ASSERT_TRUE(in.open(path, UTL_File::READ));
    int size = 0;
    char* text = in.read_string(size);
    EXPECT_EQ(size, 65536);
    EXPECT_EQ(std::memcmp(text, content.data(), content.size()), 0);
    EXPECT_EQ(text[65535], '\0');
    delete[] text;

    in.close();
    text = in.read_string(size);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(text[0], '\0');
    delete[] text;
    std::remove(path.c_str());
}

TEST(File, OpenModesSeekSizeAndClosedFile) {
    const std::string path = temp_path("modes.bin");
    std::remove(path.c_str());
    UTL_File f;
    EXPECT_EQ(f.open(path, UTL_File::READ_WRITE), nullptr);  // r+b needs an existing file
    EXPECT_EQ(f.open(path, 3), nullptr);
    EXPECT_FALSE(f.is_open());
    char c = 0;
    EXPECT_EQ(f.read(&c, 1), 0);
    EXPECT_EQ(f.size(), -1);

    ASSERT_TRUE(f.open(path, UTL_File::WRITE));
    f.write("abcdef", 6);
    f.close();
    ASSERT_TRUE(f.open(path, UTL_File::READ_WRITE));
    f.seek(2);
    f.write("XY", 2);
    f.seek(1);
    EXPECT_EQ(f.size(), 6);  // size() keeps the position
    char buf[8] = {};
    EXPECT_EQ(f.read(buf, 8), 5);
    EXPECT_STREQ(buf, "bXYef");
    f.close();
    std::remove(path.c_str());
}
