#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/SimState.h"

namespace bexlo {

enum class SimAction { Press, KeyOut, KeyIn, Attach, Detach, BridgeSilent, BridgeAnswers, List };

// One command of the control surface, such as "press E", "key E off" or "bridge E on".
struct SimCommand {
    SimAction action = SimAction::List;
    char letter = 0;  // upper case; 0 for list
};

std::optional<SimCommand> ParseSimCommand(const std::vector<std::string>& words,
                                          std::string& error);

// Changes the enclosure that owns the command's letter; false with `error` when there is none
// or a press is made on a detached enclosure.
bool ApplySimCommand(const SimCommand& command, SimState& state, std::string& error);

// One line for a person: letters, family, attached, key, pending presses and a silent bridge.
std::string DescribeEnclosure(const SimEnclosure& enclosure);

inline constexpr char kSimUsage[] =
    "usage: BexloSim [--folder DIR] [press E | key E off|on | detach E | attach E |\n"
    "                bridge E off|on | list]\n"
    "With no command a window shows the enclosures.\n";

}  // namespace bexlo
