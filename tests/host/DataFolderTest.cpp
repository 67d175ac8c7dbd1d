#include "framework/DataFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace bexlo {
namespace {

using State = FolderLook::State;
using Why = FolderVerdict::Why;

constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";
constexpr wchar_t kSystem[] = L"S-1-5-18";
constexpr wchar_t kTrustedInstaller[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// An account of this PC: the person running the program, or anyone else.
constexpr wchar_t kPerson[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";

TEST(DataFolder, ComesFromTheRegistrysProgramFilesAndFromTheFixedFolderWhenThatNamesNoFolder) {
    EXPECT_EQ(DataFolderIn(L"D:\\Program Files"), L"D:\\Program Files\\Travenor\\BXL");
    EXPECT_EQ(DataFolderIn(L"e:\\Programme\\"), L"e:\\Programme\\Travenor\\BXL");
    EXPECT_EQ(DataFolderIn(L"C:\\Program Files"), kFixedDataFolder);
    // Nothing the program could then write in its working folder, on a share, at a drive's root
    // (which lets every user make folders) or somewhere a path climbs to.
    for (const wchar_t* value :
         {L"", L"Program Files", L"\\Program Files", L"\\\\server\\share\\Program Files", L"D:",
          L"D:\\", L"D:Program Files", L"D:\\Program Files\\..\\Users\\Public",
          L"D:\\.\\Program Files", L"D:\\Program Files\\\\x", L"D:\\Pro*gram Files",
          L"D:/Program Files", L"1:\\Program Files"}) {
        EXPECT_EQ(DataFolderIn(value), kFixedDataFolder) << testing::PrintToString(value);
    }
    // A folder whose data files could not be named within the platform's path limit.
    EXPECT_EQ(DataFolderIn(L"D:\\" + std::wstring(240, L'p')), kFixedDataFolder);
}

// Disks described by what each folder shows; the first failure stops the look.
struct Disk {
    std::map<std::wstring, FolderLook> folders;
    std::vector<std::wstring> looked;

    FolderVerdict Judge(const std::wstring& dataFolder, const std::wstring& windowsOwner) {
        const std::vector<std::wstring> chain = FoldersDownTo(dataFolder);
        return JudgeFolders(
            chain,
            [this](const std::wstring& folder) {
                looked.push_back(folder);
                const auto found = folders.find(folder);
                return found != folders.end() ? found->second : FolderLook{State::Missing, {}};
            },
            windowsOwner);
    }
};

Disk StandardPc() {
    Disk disk;
    disk.folders = {{L"D:\\Program Files", {State::Folder, kTrustedInstaller}},
                    {L"D:\\Program Files\\Travenor", {State::Folder, kAdministrators}},
                    {L"D:\\Program Files\\Travenor\\BXL", {State::Folder, kSystem}}};
    return disk;
}

TEST(DataFolder, IsRefusedWhenAFolderFromProgramFilesDownIsALinkOrBelongsToSomeoneElse) {
    constexpr wchar_t kData[] = L"D:\\Program Files\\Travenor\\BXL";
    {
        Disk disk = StandardPc();
        EXPECT_TRUE(disk.Judge(kData, kTrustedInstaller).Trusted());
        EXPECT_EQ(disk.looked, (std::vector<std::wstring>{L"D:\\Program Files",
                                                          L"D:\\Program Files\\Travenor", kData}));
    }
    {
        SCOPED_TRACE("the fixed folder on a PC whose Windows is on D:, made first by a person");
        Disk disk;
        disk.folders = {{L"C:\\Program Files", {State::Folder, kPerson}},
                        {L"C:\\Program Files\\Travenor", {State::Folder, kPerson}},
                        {kFixedDataFolder, {State::Folder, kAdministrators}}};
        const FolderVerdict verdict = disk.Judge(kFixedDataFolder, kTrustedInstaller);
        EXPECT_EQ(verdict.why, Why::Owner);
        EXPECT_EQ(verdict.folder, L"C:\\Program Files");
        EXPECT_EQ(verdict.ownerSid, kPerson);
    }
    {
        SCOPED_TRACE(
            "the data folder owned by the person's own account, which any program of theirs "
            "without elevation has");
        Disk disk = StandardPc();
        disk.folders[kData] = {State::Folder, kPerson};
        const FolderVerdict verdict = disk.Judge(kData, kTrustedInstaller);
        EXPECT_EQ(verdict.why, Why::Owner);
        EXPECT_EQ(verdict.folder, kData);
    }
    {
        SCOPED_TRACE("a link in the middle: what lies behind it is never looked at");
        Disk disk = StandardPc();
        disk.folders[L"D:\\Program Files\\Travenor"] = {State::Link, {}};
        const FolderVerdict verdict = disk.Judge(kData, kTrustedInstaller);
        EXPECT_EQ(verdict.why, Why::Link);
        EXPECT_EQ(verdict.folder, L"D:\\Program Files\\Travenor");
        EXPECT_EQ(disk.looked.size(), 2u);
    }
    {
        Disk disk = StandardPc();
        disk.folders[kData] = {State::Unreadable, {}};
        EXPECT_EQ(disk.Judge(kData, kTrustedInstaller).why, Why::Unreadable);
        disk.folders.erase(kData);
        EXPECT_EQ(disk.Judge(kData, kTrustedInstaller).why, Why::Missing);
        disk.folders[kData] = {State::Folder, L""};
        EXPECT_EQ(disk.Judge(kData, L"").why, Why::Owner) << "an owner that names no one";
    }
    {
        SCOPED_TRACE("a file system that shows one owner for everything, the Windows folder's");
        Disk disk;
        for (const wchar_t* folder :
             {L"C:\\Program Files", L"C:\\Program Files\\Travenor", kFixedDataFolder}) {
            disk.folders[folder] = {State::Folder, kPerson};
        }
        EXPECT_TRUE(disk.Judge(kFixedDataFolder, kPerson).Trusted());
        EXPECT_EQ(disk.Judge(kFixedDataFolder, kTrustedInstaller).why, Why::Owner);
    }
}

}  // namespace
}  // namespace bexlo
