#include "app/CommandLine.h"

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

    EXPECT_FALSE(SimulatorFolderAllowed(L"D:\\enclosures", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"C:\\Program Files\\Bexlo", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"C:\\Program Files\\Bexlo\\simulator", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"C:\\Program Files\\Bexlo\\sim\\..\\..\\Temp", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"C:\\Program Files\\Bexlo\\sim.\\..\\x", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"C:\\Users\\me\\Program Files\\Bexlo\\sim", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"D:\\Program Files\\Bexlo\\sim", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"sim", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"\\\\server\\share\\Bexlo\\sim", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"C:\\..\\Program Files\\Bexlo\\sim", program));
    EXPECT_FALSE(SimulatorFolderAllowed(L"", program));
}

TEST(CommandLine, TheExitOptionStandsAlone) {
    EXPECT_FALSE(ExitRequested(L""));
    EXPECT_FALSE(ExitRequested(L"/simulate"));
    EXPECT_FALSE(ExitRequested(L"/exited"));
    EXPECT_FALSE(ExitRequested(L"/simulate=C:\\exit"));
    EXPECT_TRUE(ExitRequested(L"/exit"));
    EXPECT_TRUE(ExitRequested(L" /EXIT "));
    EXPECT_TRUE(ExitRequested(L"/simulate \"/exit\""));
}

}  // namespace
}  // namespace bexlo
