#include <gtest/gtest.h>

#include <cstring>

#include "fs/resource_fs.h"
#include "host/host.h"

namespace {

const std::uint8_t block_a[] = {1, 2, 3, 4, 5};
const std::uint8_t block_b[] = {9};

class ResourceFileSystemTest : public ::testing::Test {
 protected:
  void TearDown() override { host_set_embedded_blocks({}); }
};

TEST_F(ResourceFileSystemTest, FirstNameIsTheFirstFileSystemBlock) {
  static const EmbeddedBlock blocks[] = {
      {"Icon", 101, block_b, 1}, {"FileSystem", 102, block_a, 5}, {"FileSystem", 7, block_b, 1}};
  host_set_embedded_blocks(blocks);
  ResourceFileSystem fs;
  EXPECT_STREQ(fs.first_resource_name().c_str(), "102");
  EXPECT_TRUE(fs.is_file("102"));
  EXPECT_TRUE(fs.is_file("7"));
  EXPECT_FALSE(fs.is_file("101"));  // another type
  EXPECT_EQ(fs.file_size("102"), 5u);
  EXPECT_EQ(fs.file_size("103"), ~std::uint64_t{0});
  EXPECT_EQ(fs.open("abc", mode_read), nullptr);  // not a number: 0, no block
  EXPECT_EQ(fs.open("", mode_read), nullptr);
  EXPECT_FALSE(fs.remove("102"));
  EXPECT_EQ(fs.find_first("*"), nullptr);
  EXPECT_EQ(fs.reserved("102", 0), 0);
  // Only the low 16 bits of the number count.
  EXPECT_TRUE(fs.is_file(NameString(std::to_string(65536 + 102))));
}

TEST_F(ResourceFileSystemTest, NoBlocksGiveTheEmptyName) {
  host_set_embedded_blocks({});
  ResourceFileSystem fs;
  EXPECT_STREQ(fs.first_resource_name().c_str(), "");
  EXPECT_EQ(fs.open(fs.first_resource_name(), mode_read), nullptr);
}

TEST_F(ResourceFileSystemTest, StreamReadsTheBlockFromMemory) {
  static const EmbeddedBlock blocks[] = {{"FileSystem", 102, block_a, 5}};
  host_set_embedded_blocks(blocks);
  ResourceFileSystem fs;
  StreamPtr s(fs.open("102", mode_write));  // the mode is ignored
  ASSERT_TRUE(s);
  EXPECT_EQ(s->mode, mode_read);
  EXPECT_EQ(s->size(), 5u);
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(s->read(buffer, 3), 3u);
  EXPECT_EQ(s->read(buffer + 3, 8), 2u);
  EXPECT_EQ(std::memcmp(buffer, block_a, 5), 0);
  EXPECT_EQ(s->read(buffer, 1), 0u);
  EXPECT_EQ(s->write(buffer, 1), 0u);
  EXPECT_FALSE(s->set_size(1));
  EXPECT_TRUE(s->seek(5));
  EXPECT_FALSE(s->seek(6));
  EXPECT_FALSE(s->seek(std::uint64_t{1} << 32));
  EXPECT_EQ(s->tell(), 5u);
  EXPECT_TRUE(s->seek(1));
  EXPECT_EQ(s->read(buffer, 1), 1u);
  EXPECT_EQ(buffer[0], 2);
}

}  // namespace
