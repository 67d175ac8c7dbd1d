#include "backup/PathList.h"

#include <gtest/gtest.h>

#include <string>

#include "backup/SaveRules.h"
#include "backup/Utf16Text.h"

namespace bexlo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Status = PathListRead::Status;

Bytes Utf16Le(std::u16string_view text) {
    Bytes bytes;
    AppendUtf16Le(bytes, text);
    return bytes;
}

// The file's bytes with the first `from` in its text replaced by `to`.
Bytes Replaced(std::u16string text, std::u16string_view from, std::u16string_view to) {
    text.replace(text.find(from), from.size(), to);
    return Utf16Le(text);
}

std::vector<std::wstring> Items(int count) {
    std::vector<std::wstring> items;
    for (int i = 1; i <= count; ++i) {
        items.push_back(L"C:\\Item" + std::to_wstring(i));
    }
    return items;
}

TEST(PathList, TheSavedExampleIsByteForByteTheDocumentedFile) {
    const Bytes bytes = PathListBytes(L"E:\\FilesBackup", {L"C:\\Work", L"D:\\Photos\\2006"});
    const Bytes expected = Utf16Le(
        u"[TARGET_PATH]\n[ 0] #E:\\FilesBackup\n\n[SOURCE_PATH_ 2]"
        u"\n[ 1] #C:\\Work# [ 1]\n"
        u"\n[ 2] #D:\\Photos\\2006# [ 2]\n");
    EXPECT_EQ(bytes, expected);
    // No byte-order mark, no terminating NUL; the header is 104 bytes.
    EXPECT_EQ(bytes[104], '\n');

    const PathListRead read = ReadPathList(bytes);
    ASSERT_EQ(read.status, Status::Usable);
    EXPECT_EQ(read.target, L"E:\\FilesBackup");
    EXPECT_EQ(read.sources, (std::vector<std::wstring>{L"C:\\Work", L"D:\\Photos\\2006"}));
}

TEST(PathList, CountsBelowTenHaveALeadingSpaceAndTheListStopsAt99) {
    const Bytes five = PathListBytes(L"E:\\FilesBackup", Items(5));
    const std::u16string text = Utf16TextUpToNul(five);
    EXPECT_NE(text.find(u"[SOURCE_PATH_ 5]"), std::u16string::npos);
    EXPECT_NE(text.find(u"\n[ 5] #C:\\Item5# [ 5]\n"), std::u16string::npos);
    EXPECT_EQ(ReadPathList(five).sources, Items(5));

    const Bytes full = PathListBytes(L"E:\\FilesBackup", Items(99));
    EXPECT_NE(Utf16TextUpToNul(full).find(u"[SOURCE_PATH_99]"), std::u16string::npos);
    EXPECT_EQ(ReadPathList(full).sources, Items(99));

    // Only the first 99 of a longer list are saved.
    EXPECT_EQ(PathListBytes(L"E:\\FilesBackup", Items(120)), full);
}

TEST(PathList, DestinationsUpToThePathLimitReadBackAndLongerOnesAreRefused) {
    for (std::size_t length : {213u, 259u}) {
        const std::wstring target = L"E:\\" + std::wstring(length - 3, L'd');
        const PathListRead read = ReadPathList(PathListBytes(target, {L"C:\\Work"}));
        ASSERT_EQ(read.status, Status::Usable) << length;
        EXPECT_EQ(read.target, target);
        EXPECT_EQ(read.sources, std::vector<std::wstring>{L"C:\\Work"});
    }
    for (std::size_t length : {260u, 1000u}) {
        const std::wstring target = L"E:\\" + std::wstring(length - 3, L'd');
        EXPECT_EQ(ReadPathList(PathListBytes(target, {L"C:\\Work"})).status, Status::PathLost);
    }
    const std::wstring longest = L"C:\\" + std::wstring(256, L's');
    EXPECT_EQ(ReadPathList(PathListBytes(L"E:\\B", {longest})).sources,
              std::vector<std::wstring>{longest});
    EXPECT_EQ(ReadPathList(PathListBytes(L"E:\\B", {longest + L"s"})).status, Status::BadRecord);
    EXPECT_EQ(ReadPathList(PathListBytes(L"E:\\B", {std::wstring(1000, L's')})).status,
              Status::BadRecord);
}

TEST(PathList, DamagedFilesAreUnusableWithTheRunsOwnOutcome) {
    const Bytes good = PathListBytes(L"E:\\FilesBackup", {L"C:\\Work", L"D:\\Photos\\2006"});
    const std::u16string text = Utf16TextUpToNul(good);

    // Missing markers, an empty destination, a byte-order mark or CR LF: "No Path File".
    EXPECT_EQ(ReadPathList({}).status, Status::PathLost);
    Bytes withBom{0xFF, 0xFE};
    withBom.insert(withBom.end(), good.begin(), good.end());
    EXPECT_EQ(ReadPathList(withBom).status, Status::PathLost);
    std::u16string crlf;
    for (char16_t c : text) {
        crlf += c == u'\n' ? std::u16string(u"\r\n") : std::u16string(1, c);
    }
    EXPECT_EQ(ReadPathList(Utf16Le(crlf)).status, Status::PathLost);
    EXPECT_EQ(ReadPathList(PathListBytes(L"", {L"C:\\Work"})).status, Status::PathLost);
    EXPECT_EQ(ReadPathList(Utf16Le(u"[TARGET_PATH]\n[ 0] #\n[SOURCE_PATH_ 1]")).status,
              Status::PathLost);
    // Cut inside the header.
    for (std::size_t cut = 0; cut < 76; ++cut) {
        EXPECT_EQ(ReadPathList(Bytes(good.begin(), good.begin() + cut)).status, Status::PathLost)
            << cut;
    }

    // An unreadable count, with the destination already known for the run's checks.
    for (std::u16string_view count : {u"  ", u"x1", u"1x", u"A5", u"-1"}) {
        const PathListRead read =
            ReadPathList(Replaced(text, u" 2]", std::u16string(count) + u"]"));
        EXPECT_EQ(read.status, Status::BadCount);
        EXPECT_EQ(read.target, L"E:\\FilesBackup");
    }
    EXPECT_EQ(ReadPathList(Bytes(good.begin(), good.begin() + 100)).status, Status::BadCount);

    // A count above the records, a record numbered wrongly, a file cut inside a record.
    EXPECT_EQ(ReadPathList(Replaced(text, u" 2]", u" 3]")).status, Status::BadRecord);
    EXPECT_EQ(ReadPathList(Replaced(text, u"[ 2] #", u"[ 3] #")).status, Status::BadRecord);
    EXPECT_EQ(ReadPathList(Replaced(text, u"C:\\Work", u"")).status, Status::BadRecord)
        << "a record without a path";
    for (std::size_t cut = 104; cut < good.size() - 1; ++cut) {
        const PathListRead read = ReadPathList(Bytes(good.begin(), good.begin() + cut));
        EXPECT_EQ(read.status, Status::BadRecord) << cut;
        EXPECT_TRUE(read.sources.empty());
    }

    // A count below the records reads only the counted ones.
    EXPECT_EQ(ReadPathList(Replaced(text, u" 2]", u" 1]")).sources,
              std::vector<std::wstring>{L"C:\\Work"});
}

TEST(PathList, ThingsASaveNeverWritesStillReadTheWayTheyAlwaysHave) {
    // An odd last byte reads as a character of its own, as from a zeroed buffer.
    Bytes odd = PathListBytes(L"E:\\FilesBackup", {L"C:\\Work"});
    odd.pop_back();
    EXPECT_EQ(ReadPathList(odd).sources, std::vector<std::wstring>{L"C:\\Work"});
    // Count 0 is a list without items: the run copies nothing.
    const PathListRead none = ReadPathList(PathListBytes(L"E:\\FilesBackup", {}));
    EXPECT_EQ(none.status, Status::Usable);
    EXPECT_TRUE(none.sources.empty());
    // A destination holding the source marker does not cut the destination short.
    const std::wstring tricky = L"E:\\x[SOURCE_PATH_ 1]y";
    EXPECT_EQ(ReadPathList(PathListBytes(tricky, {L"C:\\Work"})).target, tricky);
    // Anything after the text ends at the first NUL.
    Bytes padded = PathListBytes(L"E:\\FilesBackup", {L"C:\\Work"});
    padded.resize(padded.size() + 3000, 0);
    EXPECT_EQ(ReadPathList(padded).status, Status::Usable);
}

// Save writes only lists the next press can read and back up without mixing sources.
TEST(SaveRules, SaveRefusesWhatAPressCouldNotReadOrWouldMix) {
    using Why = SaveRefusal::Why;
    const std::wstring target = L"E:\\FilesBackup";
    const std::wstring longest = L"C:\\" + std::wstring(kMaxPathChars - 3, L'a');
    EXPECT_FALSE(CheckSavedPaths(target, {L"C:\\Work\\Documents", L"D:\\Photos", longest}));
    const Bytes saved = PathListBytes(target, {longest});
    EXPECT_EQ(ReadPathList(saved).sources, std::vector<std::wstring>{longest});

    const std::wstring tooLong = longest + L"b";
    const std::pair<std::vector<std::wstring>, SaveRefusal> refused[] = {
        {{L"C:\\Work", tooLong}, {Why::TooLong, {tooLong}}},
        {{L"E:\\FilesBackup\\Old"}, {Why::Overlaps, {L"E:\\FilesBackup\\Old"}}},
        {{L"C:\\Work\\Documents", L"D:\\Photos", L"D:\\Archive\\DOCUMENTS"},
         {Why::SameName, {L"C:\\Work\\Documents", L"D:\\Archive\\DOCUMENTS"}}},
        {{L"C:\\Été", L"D:\\été"}, {Why::SameName, {L"C:\\Été", L"D:\\été"}}},
        {{L"C:\\Work", L"D:\\Old\\BEXLO VERSIONS"},
         {Why::VersionsName, {L"D:\\Old\\BEXLO VERSIONS"}}},
    };
    for (const auto& [sources, want] : refused) {
        const std::optional<SaveRefusal> got = CheckSavedPaths(target, sources);
        ASSERT_TRUE(got) << sources.back().size();
        EXPECT_EQ(got->why, want.why);
        EXPECT_EQ(got->paths, want.paths);
    }
    EXPECT_EQ(CheckSavedPaths(L"E:\\" + std::wstring(kMaxPathChars, L'd'), {L"C:\\Work"})->why,
              Why::TooLong);
    EXPECT_FALSE(CheckSavedPaths(target, {L"C:\\Straße", L"D:\\STRASSE"}));
}

}  // namespace
}  // namespace bexlo
