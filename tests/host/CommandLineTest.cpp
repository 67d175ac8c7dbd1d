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
