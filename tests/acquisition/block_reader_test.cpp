// The main pass's block reader: the blocks served from reads of several blocks are, block for
// block, what reading the file one block at a time gives, at the end of the file too.
#include "acquisition/block_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/ts_file.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

using Blocks = std::vector<std::vector<uint8_t>>;

fs::path writeFile(std::size_t bytes) {
    const fs::path p =
        fs::temp_directory_path() /
        ("orv-block-reader-" + std::to_string(::getpid()) + "-" + std::to_string(bytes) + ".bin");
    std::vector<char> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);  // no period of a block size
    std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(bytes));
    return p;
}

// The file is cut to this size once the first block has been taken; none when 0.
void cutAfterFirstBlock(const Blocks& blocks, const fs::path& p, uint64_t cut) {
    if (cut != 0 && blocks.size() == 1) fs::resize_file(p, cut);
}

// One read of blockBytes per block, as the main pass used to read: until a short one.
Blocks readOneByOne(const fs::path& p, uint64_t offset, std::size_t blockBytes, uint64_t cut) {
    std::optional<TsFile> file = TsFile::open(p.string());
    EXPECT_TRUE(file && file->seek(offset));
    Blocks blocks;
    std::vector<uint8_t> buffer(blockBytes);
    for (;;) {
        const std::optional<std::size_t> got = file->read(buffer.data(), blockBytes);
        EXPECT_TRUE(got.has_value());
        blocks.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*got));
        if (*got < blockBytes) return blocks;
        cutAfterFirstBlock(blocks, p, cut);
    }
}

Blocks readThroughReader(const fs::path& p, uint64_t offset, std::size_t blockBytes,
                         std::size_t bufferBytes, uint64_t cut) {
    std::optional<TsFile> file = TsFile::open(p.string());
    EXPECT_TRUE(file && file->seek(offset));
    std::vector<uint8_t> buffer(bufferBytes);
    BlockReader reader(*file, offset, buffer, blockBytes);
    Blocks blocks;
    for (;;) {
        const std::optional<std::span<const uint8_t>> block = reader.next();
        EXPECT_TRUE(block.has_value());
        if (!block) return blocks;
        blocks.emplace_back(block->begin(), block->end());
        if (block->size() < blockBytes) return blocks;
        cutAfterFirstBlock(blocks, p, cut);
    }
}

TEST(BlockReaderTest, ServesTheBlocksOfOneReadPerBlock) {
    constexpr std::size_t kMain = 400 * 188;       // the analysis block
    constexpr std::size_t kBuffer = 40'000 * 188;  // the offline source's buffer
    constexpr std::size_t kPerRead = kBlockReadBytes / kMain * kMain;  // 8 blocks
    struct Case {
        std::size_t fileBytes;
        uint64_t offset;
        std::size_t blockBytes;
        std::size_t bufferBytes;
        std::size_t blocks;  // expected, the short or empty last one included
        uint64_t cut = 0;    // the file shrinks to this size after the first block
    };
    const Case cases[] = {
        {3 * kMain, 0, kMain, kBuffer, 4},                // whole blocks: an empty one ends
        {kPerRead, 0, kMain, kBuffer, 9},                 // exactly one read
        {kPerRead + kMain + 100, 0, kMain, kBuffer, 10},  // into a second read, short end
        {2 * kPerRead + 7, 7, kMain, kBuffer, 17},        // starting after leading bytes
        {kPerRead - 1, 0, kMain, kBuffer, 8},             // the first read is short
        {1'000'003, 0, 40 * 188, kBuffer, 133},           // the capture's 40-packet blocks
        {5 * kMain + 9, 0, kMain, 5 * kMain / 2, 6},      // a buffer of two and a half blocks
        {kBuffer + 50, 0, kBuffer, kBuffer, 2},           // blocks larger than one read
        {100, 0, kMain, kBuffer, 1},                      // less than a block
        // A file cut during the pass ends where it now ends, also inside what was read ahead.
        {3 * kPerRead, 0, kMain, kBuffer, 5, 4 * kMain},
        {3 * kPerRead, 0, kMain, kBuffer, 3, 3 * kMain - 5},
        {3 * kPerRead, 0, kMain, kBuffer, 2, kMain / 2},
        {3 * kPerRead, 0, kMain, kBuffer, 11, 10 * kMain + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("file " + std::to_string(c.fileBytes) + ", block " +
                     std::to_string(c.blockBytes) + ", buffer " + std::to_string(c.bufferBytes));
        fs::path p = writeFile(c.fileBytes);
        const Blocks expected = readOneByOne(p, c.offset, c.blockBytes, c.cut);
        p = writeFile(c.fileBytes);
        const Blocks got = readThroughReader(p, c.offset, c.blockBytes, c.bufferBytes, c.cut);
        fs::remove(p);
        EXPECT_EQ(expected.size(), c.blocks);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].size(), expected[i].size()) << "block " << i;
            EXPECT_TRUE(got[i] == expected[i]) << "block " << i << " holds other bytes";
        }
    }
}

}  // namespace
}  // namespace orv
