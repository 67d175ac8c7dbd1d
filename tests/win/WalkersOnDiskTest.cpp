// The walkers on real folders: C: holds the sources, the mapped drive E: the backup.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "backup/Walkers.h"
#include "backup/WindowsFileSystem.h"
#include "framework/NameCase.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

class StillBar : public ProgressFeedback {
public:
    int BarPosition() override { return 0; }
    void SlowDown() override {}
    void Copied(std::uint64_t) override {}
};

std::string Contents(const std::wstring& path) {
    auto bytes = ReadFileBytes(path, 16 << 20);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
}

FILETIME WriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

bool SameTime(FILETIME a, FILETIME b) {
    return ::CompareFileTime(&a, &b) == 0;
}

class WalkersOnDisk : public testing::Test {
protected:
    void SetUp() override {
        test::RemoveTree(kSource);
        test::RemoveTree(kBackup);
        ::CreateDirectoryW(kSource, nullptr);
        ::CreateDirectoryW((std::wstring(kSource) + L"\\Work").c_str(), nullptr);
        ::CreateDirectoryW((std::wstring(kSource) + L"\\Work\\sub").c_str(), nullptr);
        ::CreateDirectoryW((std::wstring(kSource) + L"\\Work\\empty").c_str(), nullptr);
        ::CreateDirectoryW(kBackup, nullptr);
        test::WriteBytes(Src(L"Work\\a.txt"), "alpha");
        std::string binary;
        for (int i = 0; i < 70000; ++i) {
            binary.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
        }
        test::WriteBytes(Src(L"Work\\sub\\b.bin"), binary);
        test::WriteBytes(Src(L"notes.txt"), "a single file");
        // Large enough for the platform's own copy.
        test::WriteBytes(Src(L"Work\\sub\\large.bin"), std::string(5 << 20, '\x5A') + binary);
    }
    void TearDown() override {
        test::RemoveTree(kSource);
        test::RemoveTree(kBackup);
    }

    static std::wstring Src(const wchar_t* rest) { return std::wstring(kSource) + L"\\" + rest; }
    static std::wstring Bak(const wchar_t* rest) { return std::wstring(kBackup) + L"\\" + rest; }

    int Copy(const wchar_t* item) { return Walker().CopyItem(Src(item), kBackup); }
    int Sync(const wchar_t* item) { return Walker().SyncItem(Src(item), kBackup); }
    BackupWalker Walker() { return BackupWalker(fs, present, bar, 0); }

    static constexpr wchar_t kSource[] = L"C:\\bexlo-walk";
    static constexpr wchar_t kBackup[] = L"E:\\FilesBackup";
    WindowsFileSystem fs;
    std::atomic<int> present{1};
    StillBar bar;
};

TEST_F(WalkersOnDisk, CopyMakesAnExactCopyAndOverwritesReadOnlyCopies) {
    ASSERT_EQ(Copy(L"Work"), 1);
    ASSERT_EQ(Copy(L"notes.txt"), 1);
    for (const wchar_t* file :
         {L"Work\\a.txt", L"Work\\sub\\b.bin", L"Work\\sub\\large.bin", L"notes.txt"}) {
        SCOPED_TRACE(std::string(file, file + std::wcslen(file)));
        EXPECT_EQ(Contents(Bak(file)), Contents(Src(file)));
        EXPECT_TRUE(SameTime(WriteTime(Bak(file)), WriteTime(Src(file))));
    }
    EXPECT_NE(::GetFileAttributesW(Bak(L"Work\\empty").c_str()), INVALID_FILE_ATTRIBUTES);

    // A read-only source makes a read-only copy, which the next Copy still replaces.
    for (const wchar_t* file : {L"Work\\a.txt", L"Work\\sub\\large.bin"}) {
        ::SetFileAttributesW(Src(file).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    ASSERT_EQ(Copy(L"Work"), 1);
    EXPECT_TRUE(::GetFileAttributesW(Bak(L"Work\\sub\\large.bin").c_str()) &
                FILE_ATTRIBUTE_READONLY);
    for (const wchar_t* file : {L"Work\\a.txt", L"Work\\sub\\large.bin"}) {
        ::SetFileAttributesW(Src(file).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    test::WriteBytes(Src(L"Work\\a.txt"), "alpha, second edition");
    test::WriteBytes(Src(L"Work\\sub\\large.bin"), std::string(5 << 20, '\x33'));
    ASSERT_EQ(Copy(L"Work"), 1);
    EXPECT_EQ(Contents(Bak(L"Work\\a.txt")), "alpha, second edition");
    EXPECT_EQ(Contents(Bak(L"Work\\sub\\large.bin")), std::string(5 << 20, '\x33'));

    // No copy in progress was left behind under any name.
    WIN32_FIND_DATAW entry;
    UniqueFindHandle partial(::FindFirstFileW(Bak(L"Work\\*.bexlo-partial").c_str(), &entry));
    EXPECT_FALSE(partial);
}

// Which way a merge copies is the walkers' own affair; what the disk adds is its clock.
TEST_F(WalkersOnDisk, SynchronizeTakesTimesUnderTwoSecondsApartAsEqual) {
    ASSERT_EQ(Copy(L"Work"), 1);
    test::WriteBytes(Src(L"Work\\sub\\same.txt"), "source side");
    test::WriteBytes(Bak(L"Work\\sub\\same.txt"), "backup side");
    test::ShiftLastWrite(Bak(L"Work\\sub\\same.txt"), 1);
    ASSERT_EQ(Sync(L"Work"), 1);
    EXPECT_EQ(Contents(Src(L"Work\\sub\\same.txt")), "source side");
    EXPECT_EQ(Contents(Bak(L"Work\\sub\\same.txt")), "backup side");
}

// Paths of 300 characters and more go through the platform's long form, in both modes.
TEST_F(WalkersOnDisk, PathsPastThePlainLimitAreCopiedAndSynchronized) {
    std::wstring deep = Src(L"Work");
    while (deep.size() < 300) {
        deep += L"\\a-rather-long-folder-name";
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    }
    const std::wstring file = L"\\\\?\\" + deep + L"\\deep.txt";
    test::WriteBytes(file, "deep");
    ASSERT_EQ(Copy(L"Work"), 1);
    const std::wstring copy =
        L"\\\\?\\" + std::wstring(kBackup) + deep.substr(std::wcslen(kSource)) + L"\\deep.txt";
    EXPECT_EQ(Contents(copy), "deep");

    test::WriteBytes(copy, "edited in the backup");
    test::ShiftLastWrite(copy, 60);
    ASSERT_EQ(Sync(L"Work"), 1);
    EXPECT_EQ(Contents(file), "edited in the backup");
}

// A name that differs from its backup copy's in the case of a non-ASCII letter is the same
// file: the newer words win on both sides, as the platform's own comparison says.
TEST_F(WalkersOnDisk, SynchronizeTakesNamesDifferingInCaseForOneFile) {
    test::WriteBytes(Src(L"Work\\\u00C9t\u00E9.txt"), "older words");
    ::CreateDirectoryW(Bak(L"Work").c_str(), nullptr);
    test::WriteBytes(Bak(L"Work\\\u00E9t\u00E9.txt"), "newer words");
    test::ShiftLastWrite(Bak(L"Work\\\u00E9t\u00E9.txt"), 60);
    ASSERT_EQ(Sync(L"Work"), 1);
    EXPECT_EQ(Contents(Src(L"Work\\\u00C9t\u00E9.txt")), "newer words");
    EXPECT_EQ(Contents(Bak(L"Work\\\u00E9t\u00E9.txt")), "newer words");

    // The fold agrees with the platform's ordinal comparison for every unit.
    int disagreements = 0;
    for (unsigned unit = 1; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit < 0xE000) {
            continue;
        }
        const wchar_t one = static_cast<wchar_t>(unit);
        const std::wstring folded = FoldCase(std::wstring_view(&one, 1));
        if (::CompareStringOrdinal(&one, 1, folded.data(), 1, TRUE) != CSTR_EQUAL) {
            ++disagreements;
        }
    }
    EXPECT_EQ(disagreements, 0);
}

TEST_F(WalkersOnDisk, ALinkBackIntoTheTreeIsNotFollowed) {
    if (!::CreateSymbolicLinkW(Src(L"Work\\sub\\loop").c_str(), Src(L"Work").c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        GTEST_SKIP() << "this system makes no directory links";
    }
    EXPECT_EQ(Copy(L"Work"), 1);
    EXPECT_EQ(Contents(Bak(L"Work\\a.txt")), "alpha");
    EXPECT_EQ(::GetFileAttributesW(Bak(L"Work\\sub\\loop\\sub").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WalkersOnDisk, WholeFileWritesLeaveTheOldFileOrTheNew) {
    const std::wstring file = Src(L"path.txt");
    const std::uint8_t first[] = {1, 2, 3};
    const std::uint8_t second[] = {9, 8, 7, 6};
    ASSERT_TRUE(WriteFileReplacing(file, first));
    ASSERT_TRUE(WriteFileReplacing(file, second));
    EXPECT_EQ(Contents(file), std::string("\x09\x08\x07\x06"));
    EXPECT_EQ(::GetFileAttributesW((file + L".new").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(WriteFileReplacing(Src(L"no-such-folder\\path.txt"), first));
    EXPECT_EQ(ReadFileBytes(file, 2)->size(), 2u);
    EXPECT_FALSE(ReadFileBytes(Src(L"missing.txt"), 10));
}

}  // namespace
}  // namespace bexlo
