#include "app/CommandLine.h"
#include "app/SimulatorOption.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

TEST(CommandLine, TheSimulatorOptionNamesItsFolder) {
    const std::wstring program = L"C:\\Program Files\\Bexlo";
    EXPECT_EQ(SimulatorFolder(L"", program), std::nullopt);
    EXPECT_EQ(SimulatorFolder(L"/other", program), std::nullopt);
    EXPECT_EQ(SimulatorFolder(L"/simulated", program), std::nullopt);
    EXPECT_EQ(SimulatorFolder(L"/simulate=", program), std::nullopt);
    EXPECT_EQ(SimulatorFolder(L"/simulate", program), L"C:\\Program Files\\Bexlo\\sim");
    EXPECT_EQ(SimulatorFolder(L"  /SIMULATE  ", L"C:\\"), L"C:\\sim");
    EXPECT_EQ(SimulatorFolder(L"/x /simulate=D:\\enclosures", program), L"D:\\enclosures");
    EXPECT_EQ(SimulatorFolder(L"\"/simulate=D:\\my enclosures\" /x", program),
              L"D:\\my enclosures");
    EXPECT_EQ(SimulatorFolder(L"/simulate=\"D:\\a b\"", program), L"D:\\a b");
}

// The program runs as administrator and loads the stand-in libraries of the folder named: only
// the simulator's own folder beside the program, or one inside it, is taken.
TEST(CommandLine, OnlyTheSimulatorFolderBesideTheProgramIsAllowed) {
    const std::wstring program = L"C:\\Program Files\\Bexlo";
    EXPECT_TRUE(SimulatorFolderAllowed(L"C:\\Program Files\\Bexlo\\sim", program));
    EXPECT_TRUE(SimulatorFolderAllowed(L"c:/program files/bexlo/SIM/", program));
    EXPECT_TRUE(SimulatorFolderAllowed(L"C:\\Program Files\\Bexlo\\sim\\bench\\.", program));
    EXPECT_TRUE(SimulatorFolderAllowed(L"C:\\Program Files\\Bexlo\\x\\..\\sim\\a", program));
    EXPECT_TRUE(SimulatorFolderAllowed(L"Z:\\build\\bin\\sim\\test", L"Z:\\build\\bin\\"));

    for (const wchar_t* refused :
         {L"D:\\enclosures", L"C:\\Program Files\\Bexlo", L"C:\\Program Files\\Bexlo\\simulator",
          L"C:\\Program Files\\Bexlo\\sim\\..\\..\\Temp", L"C:\\Program Files\\Bexlo\\sim.\\..\\x",
          L"C:\\Users\\me\\Program Files\\Bexlo\\sim", L"D:\\Program Files\\Bexlo\\sim", L"sim",
          L"\\\\server\\share\\Bexlo\\sim", L"C:\\..\\Program Files\\Bexlo\\sim", L""}) {
        EXPECT_FALSE(SimulatorFolderAllowed(refused, program)) << testing::PrintToString(refused);
    }
}

TEST(CommandLine, TheExitOptionStandsAlone) {
    for (const wchar_t* other : {L"", L"/simulate", L"/exited", L"/simulate=C:\\exit"}) {
        EXPECT_FALSE(ExitRequested(other)) << testing::PrintToString(other);
    }
    for (const wchar_t* exit : {L"/exit", L" /EXIT ", L"/simulate \"/exit\""}) {
        EXPECT_TRUE(ExitRequested(exit)) << testing::PrintToString(exit);
    }
}

}  // namespace
}  // namespace bexlo
