#include "sim/SimCommand.h"
#include "sim/SimState.h"

#include <gtest/gtest.h>

namespace bexlo {
namespace {

const char kTwoEnclosures[] =
    "# the bench\n"
    "enclosure family=1 letters=EF signature=0x1234ABCD offsets=32256,1048576 serial=0x0000BE7C "
    "key=present attached=yes presses=0 physical=2\n"
    "\n"
    "enclosure family=10 letters=H signature=77 offsets=1048576 physical=3 key=absent "
    "attached=no presses=4 run=complete  # trailing comment\n";

SimState Parsed(const std::string& text) {
    std::string error;
    auto state = ParseSimState(text, error);
    EXPECT_TRUE(state) << error;
    return state.value_or(SimState{});
}

TEST(SimStateFormat, ReadsEveryFieldAndTheDefaults) {
    const SimState state = Parsed(kTwoEnclosures);
    ASSERT_EQ(state.enclosures.size(), 2u);
    const SimEnclosure& first = state.enclosures[0];
    EXPECT_EQ(first.family, 1);
    EXPECT_EQ(first.letters, "EF");
    EXPECT_EQ(first.signature, 0x1234ABCDu);
    EXPECT_EQ(first.offsets, (std::vector<std::uint64_t>{32256, 1048576}));
    EXPECT_EQ(first.serial, 0xBE7Cu);
    EXPECT_TRUE(first.keyPresent);
    EXPECT_TRUE(first.attached);
    EXPECT_EQ(first.physical, 2);
    const SimEnclosure& second = state.enclosures[1];
    EXPECT_EQ(second.signature, 77u);
    EXPECT_FALSE(second.keyPresent);
    EXPECT_FALSE(second.attached);
    EXPECT_EQ(second.presses, 4);
    EXPECT_EQ(second.serial, 0u);
    EXPECT_EQ(first.runMessage, 0);
    EXPECT_EQ(second.runMessage, kSimRunComplete);

    const SimState minimal =
        Parsed("enclosure family=5 letters=G signature=0x9 offsets=0 physical=7\n");
    ASSERT_EQ(minimal.enclosures.size(), 1u);
    EXPECT_TRUE(minimal.enclosures[0].keyPresent);
    EXPECT_TRUE(minimal.enclosures[0].attached);
    EXPECT_EQ(minimal.enclosures[0].presses, 0);
}

TEST(SimStateFormat, RoundTripsThroughItsOwnText) {
    const SimState state = Parsed(kTwoEnclosures);
    const std::string text = FormatSimState(state);
    EXPECT_EQ(Parsed(text), state);
    EXPECT_EQ(FormatSimState(Parsed(text)), text);
    EXPECT_NE(text.find("enclosure family=1 letters=EF signature=0x1234ABCD "
                        "offsets=32256,1048576 serial=0x0000BE7C key=present attached=yes "
                        "presses=0 physical=2 run=none\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(Parsed(FormatSimState(SimState{})), SimState{});
}

// GPT enclosures and system disks, and Wine's own answers, round-trip through the file; a file
// that names none of them reads and writes as before.
TEST(SimStateFormat, DescribesPartitionTablesAndWinesAnswers) {
    const SimState state = Parsed(std::string(kTwoEnclosures) +
                                  "machine table=gpt numbers=wine\n"
                                  "enclosure family=3 letters=K signature=0x0B0B0B0B "
                                  "offsets=1048576 physical=7 table=gpt\n");
    EXPECT_EQ(state.machine.table, "gpt");
    EXPECT_TRUE(state.machine.wineNumbers);
    EXPECT_TRUE(state.enclosures.back().gpt);
    EXPECT_FALSE(state.enclosures.front().gpt);
    EXPECT_EQ(Parsed(FormatSimState(state)), state);
    EXPECT_EQ(FormatSimState(Parsed(kTwoEnclosures)).find("machine"), std::string::npos);

    std::string error;
    EXPECT_FALSE(ParseSimState("machine table=zfs\n", error));
    EXPECT_EQ(error, "line 1: machine takes table=mbr|gpt|wine and numbers=disk|wine");
}

TEST(SimStateFormat, AcceptsWindowsLineEndsAByteOrderMarkAndTabs) {
    const SimState state = Parsed(
        "\xEF\xBB\xBF# first\r\nenclosure\tfamily=2 letters=K signature=0x2 offsets=32256 "
        "physical=4\r\n\r\n");
    ASSERT_EQ(state.enclosures.size(), 1u);
    EXPECT_EQ(state.enclosures[0].family, 2);
    EXPECT_EQ(state.enclosures[0].physical, 4);
}

TEST(SimStateFormat, NamesTheLineOfEveryMalformedEntry) {
    const std::string good = "enclosure family=1 letters=E signature=0x1 offsets=32256 physical=2";
    struct Case {
        std::string line;
        std::string complaint;
    };
    const Case cases[] = {
        {"enclose family=1", "starting with 'enclosure'"},
        {"enclosure family", "'family' is not field=value"},
        {"enclosure colour=red", "unknown field 'colour'"},
        {"enclosure family=1 family=2", "'family' given twice"},
        {"enclosure letters=G signature=0x2 offsets=0 physical=3", "missing field 'family'"},
        {"enclosure family=1 signature=0x2 offsets=0 physical=3", "missing field 'letters'"},
        {"enclosure family=1 letters=G offsets=0 physical=3", "missing field 'signature'"},
        {"enclosure family=1 letters=G signature=0x2 physical=3", "missing field 'offsets'"},
        {"enclosure family=1 letters=G signature=0x2 offsets=0", "missing field 'physical'"},
        {"enclosure family=0", "family must be 1..10"},
        {"enclosure family=11", "family must be 1..10"},
        {"enclosure family=1x", "family must be 1..10"},
        {"enclosure letters=g", "distinct drive letters"},
        {"enclosure letters=GG", "distinct drive letters"},
        {"enclosure letters=", "distinct drive letters"},
        {"enclosure letters=G:", "distinct drive letters"},
        {"enclosure signature=0", "nonzero 32-bit"},
        {"enclosure signature=0x100000000", "nonzero 32-bit"},
        {"enclosure signature=0x", "nonzero 32-bit"},
        {"enclosure offsets=32256,,0", "byte offsets"},
        {"enclosure offsets=-1", "byte offsets"},
        {"enclosure family=1 letters=GH signature=0x2 offsets=0 physical=3",
         "one offset per drive letter"},
        {"enclosure serial=banana", "serial must be"},
        {"enclosure key=yes", "key must be present or absent"},
        {"enclosure attached=present", "attached must be yes or no"},
        {"enclosure presses=-1", "presses must be"},
        {"enclosure physical=0", "physical must be 1..99"},
        {"enclosure physical=100", "physical must be 1..99"},
        {"enclosure family=2 letters=GE signature=0x2 offsets=0,0 physical=3",
         "drive E already belongs to line 2"},
        {"enclosure family=2 letters=G signature=0x00000001 offsets=0 physical=3",
         "signature 0x00000001 already belongs to line 2"},
        {"enclosure family=2 letters=G signature=0x2 offsets=0 physical=2",
         "physical drive 2 already belongs to line 2"},
    };
    for (const Case& entry : cases) {
        std::string error;
        const auto state = ParseSimState("# bench\n" + good + "\n" + entry.line + "\n", error);
        EXPECT_FALSE(state) << entry.line;
        EXPECT_EQ(error.rfind("line 3: ", 0), 0u) << error;
        EXPECT_NE(error.find(entry.complaint), std::string::npos) << entry.line << " -> " << error;
    }
}

TEST(SimCommands, ParseTheControlSurfaceWords) {
    std::string error;
    auto press = ParseSimCommand({"press", "e:"}, error);
    ASSERT_TRUE(press);
    EXPECT_EQ(press->action, SimAction::Press);
    EXPECT_EQ(press->letter, 'E');
    EXPECT_EQ(ParseSimCommand({"key", "F", "off"}, error)->action, SimAction::KeyOut);
    EXPECT_EQ(ParseSimCommand({"key", "F", "on"}, error)->action, SimAction::KeyIn);
    EXPECT_EQ(ParseSimCommand({"attach", "F"}, error)->action, SimAction::Attach);
    EXPECT_EQ(ParseSimCommand({"detach", "F"}, error)->action, SimAction::Detach);
    EXPECT_EQ(ParseSimCommand({"list"}, error)->action, SimAction::List);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"press"}, {"press", "EF"}, {"key", "E", "maybe"}, {"jump", "E"}, {"list", "E"}}) {
        error.clear();
        EXPECT_FALSE(ParseSimCommand(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimCommands, ChangeTheEnclosureThatOwnsTheLetter) {
    SimState state = Parsed(kTwoEnclosures);
    std::string error;
    EXPECT_TRUE(ApplySimCommand({SimAction::Press, 'F'}, state, error));
    EXPECT_TRUE(ApplySimCommand({SimAction::Press, 'E'}, state, error));
    EXPECT_EQ(state.enclosures[0].presses, 2);
    EXPECT_TRUE(ApplySimCommand({SimAction::KeyOut, 'E'}, state, error));
    EXPECT_FALSE(state.enclosures[0].keyPresent);
    EXPECT_TRUE(ApplySimCommand({SimAction::Detach, 'F'}, state, error));
    EXPECT_FALSE(state.enclosures[0].attached);
    EXPECT_EQ(DescribeEnclosure(state.enclosures[0]),
              "E: F:  family 1  detached  key out  presses 2");

    // A detached enclosure's button is out of reach; unknown letters name what is wrong.
    EXPECT_FALSE(ApplySimCommand({SimAction::Press, 'H'}, state, error));
    EXPECT_NE(error.find("detached"), std::string::npos);
    EXPECT_FALSE(ApplySimCommand({SimAction::Attach, 'Q'}, state, error));
    EXPECT_NE(error.find("no enclosure has drive Q"), std::string::npos);
    EXPECT_TRUE(ApplySimCommand({SimAction::Attach, 'H'}, state, error));
    EXPECT_TRUE(state.enclosures[1].attached);
}

}  // namespace
}  // namespace bexlo
