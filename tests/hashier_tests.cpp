// File fingerprints: the checksum rules, the per-path cache and the size from the file system.
#include <gtest/gtest.h>

#include <windows.h>

#include "TestSupport.h"
#include "inspection/Checksum.h"
#include "inspection/Hashier.h"
#include "tessel/FileAccessor.h"
#include "tessel/Unique.h"

using namespace velmora;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {
std::uint32_t Sum(const std::string& bytes, std::uint32_t from = 0) {
    return ChecksumUpdate(from, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
}  // namespace

TEST(Checksum, FollowsTheRotateAndAddRule) {
    EXPECT_EQ(Sum("abc"), 536871084u);
    EXPECT_EQ(Sum("b"), static_cast<std::uint32_t>('b'));
    EXPECT_EQ(Sum(std::string(1000, '\0')), 0u);
    // From 2147483645 the byte 1 is taken (2147483647) and the byte 2 skipped.
    EXPECT_EQ(Sum("\x01", 2147483645u), 2147483647u);
    EXPECT_EQ(Sum("\x02", 2147483645u), 2147483645u);
    // 31 bytes of 255 reach the fixed point, and nothing moves it.
    EXPECT_EQ(Sum(std::string(31, '\xff')), 2147483647u);
    EXPECT_EQ(Sum(std::string(100, '\xff')), 2147483647u);
    EXPECT_EQ(Sum(std::string(31, '\xff') + "any bytes at all\x01\x80"), 2147483647u);
    EXPECT_EQ(Sum(std::string(1, '\0'), 2147483647u), 2147483647u);
    // A whole walk never leaves 31 bits.
    std::string noise;
    for (int i = 0; i < 5000; ++i) noise += static_cast<char>((i * 131 + 7) & 0xFF);
    EXPECT_LE(Sum(noise), 2147483647u);
}

TEST(Checksum, SplitsAcrossBlocksLikeOneWalk) {
    std::string data;
    for (int i = 0; i < 3000; ++i) data += static_cast<char>((i * 97) & 0xFF);
    EXPECT_EQ(Sum(data.substr(1234), Sum(data.substr(0, 1234))), Sum(data));
}

TEST(Hashier, FingerprintsFilesAndKeepsTheFirstAnswer) {
    TempDir dir;
    CHashier hashier;
    std::int32_t size = -1;
    WriteBytes(dir / L"abc.txt", "abc");
    EXPECT_EQ(hashier.HashFromFullFileName(dir / L"abc.txt", size), 536871084);
    EXPECT_EQ(size, 3);
    WriteBytes(dir / L"abc.txt", "rewritten with other bytes");
    size = -1;
    EXPECT_EQ(hashier.HashFromFullFileName(dir / L"ABC.TXT", size), 536871084);  // same key in other case
    EXPECT_EQ(size, 3);
    WriteBytes(dir / L"zeros.bin", std::string(1000, '\0'));
    EXPECT_EQ(hashier.HashFromFullFileName(dir / L"zeros.bin", size), 0);
    EXPECT_EQ(size, 1000);
    WriteBytes(dir / L"empty.bin", "");
    EXPECT_EQ(hashier.HashFromFullFileName(dir / L"empty.bin", size), 0);
    EXPECT_EQ(size, 0);
    WriteBytes(dir / L"max.bin", std::string(40, '\xff'));
    EXPECT_EQ(hashier.HashFromFullFileName(dir / L"max.bin", size), 2147483647);
    EXPECT_EQ(size, 40);
}

TEST(Hashier, AMissingFileStaysMissingForTheRunWhileItsSizeIsSeen) {
    TempDir dir;
    CHashier hashier;
    const std::wstring later = dir / L"later.dll";
    std::int32_t size = -1;
    EXPECT_EQ(hashier.HashFromFullFileName(later, size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(FileSizeFromFullFileName(later), 0);
    WriteBytes(later, "abcdef");
    size = -1;
    EXPECT_EQ(hashier.HashFromFullFileName(later, size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(FileSizeFromFullFileName(later), 6);
    // A fresh calculator reads it.
    CHashier fresh;
    EXPECT_NE(fresh.HashFromFullFileName(later, size), 0);
    EXPECT_EQ(size, 6);
}

TEST(Hashier, UnreadableThingsGiveTheEmptyAnswer) {
    TempDir dir;
    CHashier hashier;
    std::int32_t size = -1;
    EXPECT_EQ(hashier.HashFromFullFileName(dir.Path(), size), 0);  // a folder
    EXPECT_EQ(size, 0);
    EXPECT_EQ(hashier.HashFromFullFileName(L"", size), 0);
    EXPECT_EQ(size, 0);
    WriteBytes(dir / L"locked.dll", "abc");
    tessel::UniqueFile lock(::CreateFileW((dir / L"locked.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    size = -1;
    EXPECT_EQ(hashier.HashFromFullFileName(dir / L"locked.dll", size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(FileSizeFromFullFileName(dir / L"locked.dll"), 3);  // the directory still tells
}

TEST(Hashier, ReadsLargeFilesInBlocks) {
    TempDir dir;
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 2654435761u) >> 24);
    WriteBytes(dir / L"big.dll", data);
    CHashier hashier;
    std::int32_t size = 0;
    EXPECT_EQ(static_cast<std::uint32_t>(hashier.HashFromFullFileName(dir / L"big.dll", size)), Sum(data));
    EXPECT_EQ(size, static_cast<std::int32_t>(data.size()));
}

TEST(FileSize, AsksForExactlyThatFileByItsUnicodeName) {
    TempDir dir;
    // Two names that the ANSI code page would both turn into "?.dll".
    WriteBytes(dir / L"\x4e2d.dll", "12345");
    WriteBytes(dir / L"\x0416.dll", "1");
    EXPECT_EQ(FileSizeFromFullFileName(dir / L"\x4e2d.dll"), 5);
    EXPECT_EQ(FileSizeFromFullFileName(dir / L"\x0416.dll"), 1);
    // A wildcard names no one file.
    EXPECT_EQ(FileSizeFromFullFileName(dir / L"*.dll"), 0);
    EXPECT_EQ(FileSizeFromFullFileName(dir / L"?.dll"), 0);
    EXPECT_EQ(FileSizeFromFullFileName(dir.Path()), 0);
    EXPECT_EQ(FileSizeFromFullFileName(dir / L"missing\\x.dll"), 0);
    EXPECT_EQ(FileSizeFromFullFileName(L""), 0);
}

TEST(FileSize, ReachesPathsLongerThanMaxPath) {
    TempDir dir;
    std::wstring deep = dir.Path();
    while (deep.size() < 280) deep += L"\\" + std::wstring(30, L'd');
    tessel::FileAccessor::Instance().CreateFolder(deep);
    const std::wstring file = deep + L"\\long.dll";
    WriteBytes(file, "abc");
    EXPECT_EQ(FileSizeFromFullFileName(file), 3);
    CHashier hashier;
    std::int32_t size = 0;
    EXPECT_EQ(hashier.HashFromFullFileName(file, size), 536871084);
    EXPECT_EQ(size, 3);
}

TEST(FileSize, IsTheSignedLow32BitsOfASparseHugeFile) {
    TempDir dir;
    const std::wstring file = dir / L"huge.bin";
    {
        tessel::UniqueFile f(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(f);
        LARGE_INTEGER at;
        at.QuadPart = 0x100000005LL;  // 4 GiB and 5 bytes
        if (!::SetFilePointerEx(f.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(f.get()))
            GTEST_SKIP() << "the file system here cannot make a 4 GiB file";
    }
    EXPECT_EQ(FileSizeFromFullFileName(file), 5);
}
