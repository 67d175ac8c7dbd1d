#include "sim/SimCommand.h"

namespace bexlo {

namespace {

// "E", "e" or "E:".
char ParseLetter(const std::string& word) {
    if (word.empty() || word.size() > 2 || (word.size() == 2 && word[1] != ':')) {
        return 0;
    }
    const char letter = static_cast<char>(word[0] & ~0x20);
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

}  // namespace

std::optional<SimCommand> ParseSimCommand(const std::vector<std::string>& words,
                                          std::string& error) {
    if (words.size() == 1 && words[0] == "list") {
        return SimCommand{};
    }
    const char letter = words.size() >= 2 ? ParseLetter(words[1]) : 0;
    if (words.size() >= 2 && letter == 0) {
        error = "'" + words[1] + "' is not a drive letter";
        return std::nullopt;
    }
    if (words.size() == 2 && words[0] == "press") {
        return SimCommand{SimAction::Press, letter};
    }
    if (words.size() == 2 && words[0] == "attach") {
        return SimCommand{SimAction::Attach, letter};
    }
    if (words.size() == 2 && words[0] == "detach") {
        return SimCommand{SimAction::Detach, letter};
    }
    if (words.size() == 3 && words[0] == "key" && (words[2] == "on" || words[2] == "off")) {
        return SimCommand{words[2] == "on" ? SimAction::KeyIn : SimAction::KeyOut, letter};
    }
    if (words.size() == 3 && words[0] == "bridge" && (words[2] == "on" || words[2] == "off")) {
        return SimCommand{words[2] == "on" ? SimAction::BridgeAnswers : SimAction::BridgeSilent,
                          letter};
    }
    error = kSimUsage;
    return std::nullopt;
}

bool ApplySimCommand(const SimCommand& command, SimState& state, std::string& error) {
    if (command.action == SimAction::List) {
        return true;
    }
    SimEnclosure* enclosure = FindEnclosure(state, command.letter);
    if (enclosure == nullptr) {
        error = std::string("no enclosure has drive ") + command.letter;
        return false;
    }
    switch (command.action) {
        case SimAction::Press:
            if (!enclosure->attached) {
                error = std::string("the enclosure of drive ") + command.letter + " is detached";
                return false;
            }
            ++enclosure->presses;
            break;
        case SimAction::KeyOut:
        case SimAction::KeyIn:
            enclosure->keyPresent = command.action == SimAction::KeyIn;
            break;
        case SimAction::Attach:
        case SimAction::Detach:
            enclosure->attached = command.action == SimAction::Attach;
            break;
        case SimAction::BridgeSilent:
        case SimAction::BridgeAnswers:
            enclosure->bridgeSilent = command.action == SimAction::BridgeSilent;
            break;
        case SimAction::List:
            break;
    }
    return true;
}

std::string DescribeEnclosure(const SimEnclosure& enclosure) {
    std::string drives;
    for (char letter : enclosure.letters) {
        drives += std::string(drives.empty() ? "" : " ") + letter + ":";
    }
    return drives + "  family " + std::to_string(enclosure.family) + "  " +
           (enclosure.attached ? "attached" : "detached") + "  key " +
           (enclosure.keyPresent ? "in" : "out") + "  presses " +
           std::to_string(enclosure.presses) + (enclosure.bridgeSilent ? "  bridge silent" : "");
}

}  // namespace bexlo
