#include "sim/SimCommand.h"
#include "sim/SimState.h"
#include "sim/SimulatedHardware.h"
#include "sim/SimulatedVendor.h"

#include <gtest/gtest.h>

#include <array>

namespace bexlo {
namespace {

const char kTwoEnclosures[] =
    "\xEF\xBB\xBF# the bench\r\n"
    "enclosure family=1 letters=EF signature=0x1234ABCD offsets=32256,1048576 serial=0x0000BE7C "
    "key=present attached=yes presses=0 physical=2 table=gpt bridge=silent\n"
    "\n"
    "enclosure\tfamily=10 letters=H signature=77 offsets=1048576 physical=3 key=absent "
    "attached=no presses=4 run=complete  # trailing comment\n"
    "machine table=gpt numbers=wine\n";

// The state in memory, as the simulator's file keeps it.
struct MemoryState : SimStateAccess {
    bool Modify(const std::function<bool(SimState&)>& change) override {
        SimState changed = state;
        if (change(changed)) {
            state = changed;
        }
        return true;
    }
    SimState state;
};

struct NoOtherDrives : SimPlatform {
    std::uint32_t LogicalDrives() override { return 0; }
    int DriveType(int) override { return 0; }
};

SimState Parsed(const std::string& text) {
    std::string error;
    auto state = ParseSimState(text, error);
    EXPECT_TRUE(state) << error;
    return state.value_or(SimState{});
}

TEST(SimStateFormat, ReadsEveryFieldAndRoundTripsThroughItsOwnText) {
    const SimState state = Parsed(kTwoEnclosures);
    ASSERT_EQ(state.enclosures.size(), 2u);
    const SimEnclosure& first = state.enclosures[0];
    EXPECT_EQ(first.letters, "EF");
    EXPECT_EQ(first.offsets, (std::vector<std::uint64_t>{32256, 1048576}));
    EXPECT_EQ(first.serial, 0xBE7Cu);
    EXPECT_TRUE(first.keyPresent);
    EXPECT_TRUE(first.gpt);
    EXPECT_TRUE(first.bridgeSilent);
    const SimEnclosure& second = state.enclosures[1];
    EXPECT_EQ(second.family, 10);
    EXPECT_EQ(second.signature, 77u);
    EXPECT_FALSE(second.attached);
    EXPECT_EQ(second.presses, 4);
    EXPECT_EQ(second.runMessage, kSimRunComplete);
    EXPECT_FALSE(second.gpt);
    EXPECT_FALSE(second.bridgeSilent);
    EXPECT_EQ(state.machine.table, "gpt");
    EXPECT_TRUE(state.machine.wineNumbers);

    const std::string text = FormatSimState(state);
    EXPECT_EQ(Parsed(text), state);
    EXPECT_EQ(FormatSimState(Parsed(text)), text);
    EXPECT_EQ(Parsed(FormatSimState(SimState{})), SimState{});
}

TEST(SimStateFormat, NamesTheLineOfEveryMalformedEntry) {
    const std::string good = "enclosure family=1 letters=E signature=0x1 offsets=32256 physical=2";
    const std::pair<std::string, std::string> cases[] = {
        {"enclose family=1", "starting with 'enclosure'"},
        {"enclosure colour=red", "unknown field 'colour'"},
        {"enclosure family=1 family=2", "'family' given twice"},
        {"enclosure family=1 letters=G signature=0x2 offsets=0", "missing field 'physical'"},
        {"enclosure family=11", "family must be 1..10"},
        {"enclosure letters=GG", "distinct drive letters"},
        {"enclosure signature=0x100000000", "nonzero 32-bit"},
        {"enclosure family=1 letters=GH signature=0x2 offsets=0 physical=3",
         "one offset per drive letter"},
        {"enclosure family=2 letters=GE signature=0x2 offsets=0,0 physical=3",
         "drive E already belongs to line 2"},
        {"machine table=zfs", "machine takes table=mbr|gpt|wine and numbers=disk|wine"},
    };
    for (const auto& [line, complaint] : cases) {
        std::string error;
        EXPECT_FALSE(ParseSimState("# bench\n" + good + "\n" + line + "\n", error)) << line;
        EXPECT_EQ(error.rfind("line 3: ", 0), 0u) << error;
        EXPECT_NE(error.find(complaint), std::string::npos) << line << " -> " << error;
    }
}

TEST(SimCommands, ChangeTheEnclosureThatOwnsTheLetter) {
    std::string error;
    const auto press = ParseSimCommand({"press", "e:"}, error);
    ASSERT_TRUE(press);
    EXPECT_EQ(press->action, SimAction::Press);
    EXPECT_EQ(press->letter, 'E');
    EXPECT_EQ(ParseSimCommand({"key", "F", "off"}, error)->action, SimAction::KeyOut);
    EXPECT_FALSE(ParseSimCommand({"key", "E", "maybe"}, error));
    EXPECT_FALSE(ParseSimCommand({"press", "EF"}, error));

    // E: is there before its bridge answers, and its family reports it only once it does.
    MemoryState memory;
    memory.state = Parsed(kTwoEnclosures);
    NoOtherDrives platform;
    SimulatedHardware hardware(memory, platform);
    SimulatedVendor vendor(memory);
    std::array<std::uint8_t, 4> letters{};
    const char familyOne[] = "USB\\VID_0402&PID_5627";
    EXPECT_EQ(hardware.LogicalDrives(), (1u << 4) | (1u << 5));
    EXPECT_EQ(vendor.X507EnumDevice(familyOne, 1, letters), 0);
    EXPECT_EQ(DescribeEnclosure(memory.state.enclosures[0]),
              "E: F:  family 1  attached  key in  presses 0  bridge silent");
    const auto answer = ParseSimCommand({"bridge", "E", "on"}, error);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(ApplySimCommand(*answer, memory.state, error));
    EXPECT_EQ(vendor.X507EnumDevice(familyOne, 1, letters), 1);
    EXPECT_EQ(letters[0], 'E');

    SimState state = memory.state;
    EXPECT_TRUE(ApplySimCommand({SimAction::Press, 'F'}, state, error));
    EXPECT_TRUE(ApplySimCommand({SimAction::KeyOut, 'E'}, state, error));
    EXPECT_TRUE(ApplySimCommand({SimAction::Detach, 'F'}, state, error));
    EXPECT_EQ(DescribeEnclosure(state.enclosures[0]),
              "E: F:  family 1  detached  key out  presses 1");
    // A detached enclosure's button is out of reach; unknown letters name what is wrong.
    EXPECT_FALSE(ApplySimCommand({SimAction::Press, 'H'}, state, error));
    EXPECT_NE(error.find("detached"), std::string::npos);
    EXPECT_FALSE(ApplySimCommand({SimAction::Attach, 'Q'}, state, error));
    EXPECT_NE(error.find("no enclosure has drive Q"), std::string::npos);
}

}  // namespace
}  // namespace bexlo
