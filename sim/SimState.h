#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bexlo {

// The simulator's file of enclosures, beside its stand-in vendor libraries.
inline constexpr wchar_t kSimStateFileName[] = L"enclosures.txt";

// One simulated enclosure: a disk in a bridge of one family, with its button and key.
// The run messages of family 1 and 2 bridges, as the simulator records them.
inline constexpr int kSimRunFailed = 0x60;
inline constexpr int kSimRunComplete = 0x61;
inline constexpr int kSimItemStarting = 0x62;

struct SimEnclosure {
    int family = 1;
    // The drive letters of its partitions, 'A'..'Z'; the first is the one its bridge reports.
    std::string letters;
    std::uint32_t signature = 0;
    // The starting byte offset of each partition, one per letter.
    std::vector<std::uint64_t> offsets;
    // The volume serial the run scripts give its drives.
    std::uint32_t serial = 0;
    bool keyPresent = true;
    bool attached = true;
    // Button presses made but not yet reported to the program.
    int presses = 0;
    // N of "\\.\PhysicalDriveN".
    int physical = 1;
    // The last run message the program sent the bridge: 0 none, else one of the codes below.
    int runMessage = 0;
    // Its partition table: a classic one gives 12-byte mounted-devices records, GPT
    // "DMIO:ID:" and a GUID.
    bool gpt = false;
    // An enclosure seen before its bridge answered: its drives are present, but the vendor
    // libraries do not report it and its bridge answers no command.
    bool bridgeSilent = false;

    bool operator==(const SimEnclosure&) const = default;
};

// The machine around the enclosures: its system disk's partition table ("mbr", "gpt", or "wine":
// records holding a path, as Wine keeps them), and whether every volume answers the
// device-number query with 0, as under Wine.
struct SimMachine {
    std::string table = "mbr";
    bool wineNumbers = false;

    bool operator==(const SimMachine&) const = default;
};

struct SimState {
    std::vector<SimEnclosure> enclosures;
    SimMachine machine;

    bool operator==(const SimState&) const = default;
};

// Line by line: "enclosure field=value ...", at most one "machine table=mbr|gpt|wine
// numbers=disk|wine", blank lines and '#' comments. On error `error` names the line and nothing
// is returned.
std::optional<SimState> ParseSimState(std::string_view text, std::string& error);
std::string FormatSimState(const SimState& state);

// The enclosure that owns the drive letter, attached or not.
SimEnclosure* FindEnclosure(SimState& state, char letter);
// The attached enclosure whose partition is drive `drive` (0 = A).
SimEnclosure* AttachedOnDrive(SimState& state, int drive);
SimEnclosure* AttachedOnPhysical(SimState& state, int physical);
// Bit n for each of the enclosure's drives.
std::uint32_t DriveMask(const SimEnclosure& enclosure);

// Where the state lives: the simulator's file, or memory in tests. Several processes share it.
class SimStateAccess {
public:
    virtual ~SimStateAccess() = default;

    // Runs `change` on the current state under the store's lock; the state it leaves is kept
    // when it returns true. False when the state cannot be read or written.
    virtual bool Modify(const std::function<bool(SimState&)>& change) = 0;

    std::optional<SimState> Read();
};

}  // namespace bexlo
