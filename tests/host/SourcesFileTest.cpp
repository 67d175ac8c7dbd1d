#include "backup/SourcesFile.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/host/RunSupport.h"

namespace bexlo {
namespace {

const PcPlaces kOldPc{L"ANNA-PC",
                      L"{6f1c2a7e-0000-4000-8000-000000000001}",
                      L"C:\\Users\\anna",
                      {{L"Documents", L"D:\\Docs"},
                       {L"Pictures", L"C:\\Users\\anna\\Pictures"},
                       {L"Desktop", L"C:\\Users\\anna\\Desktop"}}};
const PcPlaces kNewPc{L"NEW-PC",
                      L"{6f1c2a7e-0000-4000-8000-000000000002}",
                      L"C:\\Users\\ben",
                      {{L"Documents", L"C:\\Users\\ben\\Documents"}, {L"Pictures", L"E:\\Fotos"}}};

}  // namespace

// What a press writes reads back whole, names in any script included; what is not such a file
// gives nothing.
TEST(SourcesFile, APressWritesWhichPcAndWhichFoldersTheBackupCameFrom) {
    MemoryRun memory;
    memory.SaveUnchecked({L"C:\\Work", L"C:\\Photos \u00e9t\u00e9 \U0001F600"});
    memory.fs.AddFolder(L"C:\\Photos \u00e9t\u00e9 \U0001F600");
    RunInputs inputs;
    inputs.places = kOldPc;
    ASSERT_TRUE(memory.run.Start(inputs));
    memory.run.Join();
    const BackupSources expected{kOldPc, {L"C:\\Work", L"C:\\Photos \u00e9t\u00e9 \U0001F600"}};
    EXPECT_EQ(ReadSourcesFile(memory.fs, L"E:\\FilesBackup"), expected);

    std::vector<std::uint8_t> bytes = FormatSourcesFile(expected);
    EXPECT_EQ(ParseSourcesFile(bytes), expected);
    bytes[4] ^= 1;
    EXPECT_FALSE(ParseSourcesFile(bytes)) << "another header";
    EXPECT_FALSE(ParseSourcesFile(std::vector<std::uint8_t>{'P', 0, 'C', 0}));
}

// On a new PC a source goes back to its own path where the folder it lay in is here; from a known
// folder or the profile of the old PC that is not here, to the same place in this person's.
TEST(SourcesFile, ASourceGoesToThisPersonsKnownFolderWhereTheOldOneIsNotHere) {
    std::set<std::wstring> here = {L"C:\\Users\\ben", L"C:\\Users\\ben\\Documents", L"C:\\Work"};
    const auto exists = [&](const std::wstring& path) { return here.contains(path); };
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"D:\\Docs\\Taxes", L"C:\\Users\\ben\\Documents\\Taxes"},
        {L"C:\\Users\\anna\\Pictures\\Trip", L"E:\\Fotos\\Trip"},
        // No Desktop is known here: the profile stands for it.
        {L"C:\\Users\\anna\\Desktop\\Notes", L"C:\\Users\\ben\\Desktop\\Notes"},
        {L"C:\\USERS\\ANNA\\Projects", L"C:\\Users\\ben\\Projects"},
        {L"C:\\Work\\Reports", L"C:\\Work\\Reports"},
        {L"C:\\Users\\annabel\\Work", L"C:\\Users\\annabel\\Work"},
    };
    for (const auto& [source, placed] : cases) {
        EXPECT_EQ(PlaceOnThisPc(source, kOldPc, kNewPc, exists), placed) << source;
    }
    // On the same PC, or one that has the folders, nothing moves.
    here.insert(L"D:\\Docs");
    EXPECT_EQ(PlaceOnThisPc(L"D:\\Docs\\Taxes", kOldPc, kNewPc, exists), L"D:\\Docs\\Taxes");
}

}  // namespace bexlo
