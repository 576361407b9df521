// The five memory-file callbacks the music stream reads through: reads and
// seeks at and past both ends, and independence of two opens.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <numeric>

#include "data/music.h"

namespace {

// Ten bytes 0..9 as the music source while a test runs.
class MusicMemoryFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::iota(bytes_.begin(), bytes_.end(), 0);
        g_pMusicData = bytes_.data();
        g_nMusicSize = static_cast<int32_t>(bytes_.size());
        file_ = MemoryFileOpen("ignored");
        ASSERT_NE(file_, nullptr);
    }
    void TearDown() override {
        MemoryFileClose(file_);
        g_pMusicData = nullptr;
        g_nMusicSize = 0;
    }
    std::array<unsigned char, 10> bytes_{};
    void* file_ = nullptr;
};

TEST_F(MusicMemoryFile, OpenReadsTheGlobalsIntoAFreshRecord) {
    auto* record = static_cast<MemoryFile*>(file_);
    EXPECT_EQ(record->m_nSize, 10);
    EXPECT_EQ(record->m_nPosition, 0);
    EXPECT_EQ(record->m_pData, bytes_.data());
    EXPECT_EQ(MemoryFileTell(file_), 0);
}

TEST_F(MusicMemoryFile, ReadsStopAtTheEnd) {
    unsigned char buf[16] = {};
    EXPECT_EQ(MemoryFileRead(buf, 4, file_), 4);
    EXPECT_EQ(buf[3], 3);
    EXPECT_EQ(MemoryFileTell(file_), 4);
    // Across the end: only what is left.
    std::fill(std::begin(buf), std::end(buf), 0xAA);
    EXPECT_EQ(MemoryFileRead(buf, 8, file_), 6);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(buf[5], 9);
    EXPECT_EQ(buf[6], 0xAA) << "nothing written past what was read";
    // At the end: nothing, and the position stays.
    EXPECT_EQ(MemoryFileRead(buf, 1, file_), 0);
    EXPECT_EQ(MemoryFileTell(file_), 10);
    // Exactly to the end.
    MemoryFileSeek(file_, 7, 0);
    EXPECT_EQ(MemoryFileRead(buf, 3, file_), 3);
    EXPECT_EQ(MemoryFileTell(file_), 10);
    // A count so large that position + count would overflow.
    MemoryFileSeek(file_, 2, 0);
    EXPECT_EQ(MemoryFileRead(buf, INT_MAX, file_), 8);
    // Nothing asked, nothing read; a negative count reads nothing.
    MemoryFileSeek(file_, 0, 0);
    EXPECT_EQ(MemoryFileRead(buf, 0, file_), 0);
    EXPECT_EQ(MemoryFileRead(buf, -5, file_), 0);
    EXPECT_EQ(MemoryFileTell(file_), 0);
}

TEST_F(MusicMemoryFile, SeeksClampToTheData) {
    EXPECT_EQ(MemoryFileSeek(file_, 3, 0), 3);
    EXPECT_EQ(MemoryFileSeek(file_, 2, 1), 5);
    EXPECT_EQ(MemoryFileSeek(file_, -1, 1), 4);
    EXPECT_EQ(MemoryFileSeek(file_, -4, 2), 6);
    EXPECT_EQ(MemoryFileSeek(file_, 0, 2), 10) << "from the end with offset 0 is the size";
    EXPECT_EQ(MemoryFileSeek(file_, 25, 0), 10) << "past the end stops at the size";
    EXPECT_EQ(MemoryFileSeek(file_, 3, 2), 10);
    EXPECT_EQ(MemoryFileSeek(file_, INT_MAX, 1), 10);
    // Before the start stops at 0, and the next read is the first byte.
    EXPECT_EQ(MemoryFileSeek(file_, -3, 0), 0);
    EXPECT_EQ(MemoryFileSeek(file_, -30, 2), 0);
    MemoryFileSeek(file_, 1, 0);
    EXPECT_EQ(MemoryFileSeek(file_, INT_MIN, 1), 0);
    unsigned char b = 0xFF;
    EXPECT_EQ(MemoryFileRead(&b, 1, file_), 1);
    EXPECT_EQ(b, 0);
    // An unknown origin leaves the position as it was.
    MemoryFileSeek(file_, 7, 0);
    EXPECT_EQ(MemoryFileSeek(file_, 2, 3), 7);
    EXPECT_EQ(MemoryFileSeek(file_, 2, -1), 7);
    EXPECT_EQ(MemoryFileTell(file_), 7);
}

TEST_F(MusicMemoryFile, TwoOpensReadIndependently) {
    void* other = MemoryFileOpen(nullptr);
    ASSERT_NE(other, file_);
    unsigned char a[3] = {}, b[3] = {};
    MemoryFileSeek(file_, 6, 0);
    EXPECT_EQ(MemoryFileRead(a, 3, file_), 3);
    EXPECT_EQ(MemoryFileRead(b, 3, other), 3);
    EXPECT_EQ(a[0], 6);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(MemoryFileTell(file_), 9);
    EXPECT_EQ(MemoryFileTell(other), 3);
    MemoryFileClose(other);
    EXPECT_EQ(MemoryFileTell(file_), 9) << "closing one leaves the other";
}

TEST_F(MusicMemoryFile, EmptySourceReadsNothing) {
    g_nMusicSize = 0;
    void* empty = MemoryFileOpen(nullptr);
    unsigned char b = 0;
    EXPECT_EQ(MemoryFileRead(&b, 1, empty), 0);
    EXPECT_EQ(MemoryFileSeek(empty, 5, 0), 0);
    EXPECT_EQ(MemoryFileSeek(empty, -5, 2), 0);
    MemoryFileClose(empty);
}

}  // namespace
