#include "sim/SimState.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

namespace bexlo {

namespace {

constexpr int kMaxFamily = 10;
// Physical drive 0 is the simulated system disk; the handle encoding leaves room for 255.
constexpr int kMaxPhysical = 99;
constexpr int kMaxPresses = 1000000;

const std::vector<std::string_view> kFields = {"family",   "letters", "signature", "offsets",
                                               "serial",   "key",     "attached",  "presses",
                                               "physical", "run",     "table",     "bridge"};
// The names of the run messages, by code.
const std::map<int, std::string_view> kRunMessages = {{0, "none"},
                                                      {kSimRunFailed, "failed"},
                                                      {kSimRunComplete, "complete"},
                                                      {kSimItemStarting, "item"}};
const std::set<std::string_view> kRequired = {"family", "letters", "signature", "offsets",
                                              "physical"};

// Decimal, or hexadecimal after "0x".
template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) {
        return false;
    }
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> parts;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(separators, at), text.size());
        parts.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::string_view word : Split(line, " \t\r")) {
        if (!word.empty()) {
            words.push_back(word);
        }
    }
    return words;
}

// Fills one field; an empty result is success, else what is wrong with the value.
std::string SetField(SimEnclosure& enclosure, std::string_view name, std::string_view value) {
    if (name == "family") {
        return ParseNumber(value, enclosure.family) && enclosure.family >= 1 &&
                       enclosure.family <= kMaxFamily
                   ? ""
                   : "family must be 1..10";
    }
    if (name == "letters") {
        std::set<char> seen;
        for (char letter : value) {
            if (letter < 'A' || letter > 'Z' || !seen.insert(letter).second) {
                return "letters must be distinct drive letters A..Z";
            }
        }
        enclosure.letters = std::string(value);
        return value.empty() ? "letters must be distinct drive letters A..Z" : "";
    }
    if (name == "signature") {
        return ParseNumber(value, enclosure.signature) && enclosure.signature != 0
                   ? ""
                   : "signature must be a nonzero 32-bit number";
    }
    if (name == "offsets") {
        enclosure.offsets.clear();
        for (std::string_view part : Split(value, ",")) {
            std::uint64_t offset = 0;
            if (!ParseNumber(part, offset)) {
                return "offsets must be byte offsets separated by commas";
            }
            enclosure.offsets.push_back(offset);
        }
        return "";
    }
    if (name == "serial") {
        return ParseNumber(value, enclosure.serial) ? "" : "serial must be a 32-bit number";
    }
    if (name == "key" || name == "attached" || name == "bridge") {
        const bool isKey = name == "key";
        const bool isBridge = name == "bridge";
        const std::string_view yes = isKey ? "present" : isBridge ? "answers" : "yes";
        const std::string_view no = isKey ? "absent" : isBridge ? "silent" : "no";
        if (value != yes && value != no) {
            return std::string(name) + " must be " + std::string(yes) + " or " + std::string(no);
        }
        if (isBridge) {
            enclosure.bridgeSilent = value == no;
        } else {
            (isKey ? enclosure.keyPresent : enclosure.attached) = value == yes;
        }
        return "";
    }
    if (name == "presses") {
        return ParseNumber(value, enclosure.presses) && enclosure.presses >= 0 &&
                       enclosure.presses <= kMaxPresses
                   ? ""
                   : "presses must be a count of 0..1000000";
    }
    if (name == "table") {
        if (value != "mbr" && value != "gpt") {
            return "table must be mbr or gpt";
        }
        enclosure.gpt = value == "gpt";
        return "";
    }
    if (name == "run") {
        for (const auto& [code, text] : kRunMessages) {
            if (value == text) {
                enclosure.runMessage = code;
                return "";
            }
        }
        return "run must be none, item, complete or failed";
    }
    return ParseNumber(value, enclosure.physical) && enclosure.physical >= 1 &&
                   enclosure.physical <= kMaxPhysical
               ? ""
               : "physical must be 1..99 (0 is the system disk)";
}

std::string ParseMachine(const std::vector<std::string_view>& words, SimMachine& machine) {
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::size_t equals = words[i].find('=');
        const std::string_view name = words[i].substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : words[i].substr(equals + 1);
        if (name == "table" && (value == "mbr" || value == "gpt" || value == "wine")) {
            machine.table = std::string(value);
        } else if (name == "numbers" && (value == "disk" || value == "wine")) {
            machine.wineNumbers = value == "wine";
        } else {
            return "machine takes table=mbr|gpt|wine and numbers=disk|wine";
        }
    }
    return "";
}

std::string ParseLine(std::string_view line, SimEnclosure& enclosure) {
    const std::vector<std::string_view> words = Words(line);
    if (words.front() != "enclosure") {
        return "expected a line starting with 'enclosure'";
    }
    std::set<std::string_view> given;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::size_t equals = words[i].find('=');
        if (equals == std::string_view::npos) {
            return "'" + std::string(words[i]) + "' is not field=value";
        }
        const std::string_view name = words[i].substr(0, equals);
        if (std::find(kFields.begin(), kFields.end(), name) == kFields.end()) {
            return "unknown field '" + std::string(name) + "'";
        }
        if (!given.insert(name).second) {
            return "field '" + std::string(name) + "' given twice";
        }
        if (std::string problem = SetField(enclosure, name, words[i].substr(equals + 1));
            !problem.empty()) {
            return problem;
        }
    }
    for (std::string_view name : kRequired) {
        if (given.count(name) == 0) {
            return "missing field '" + std::string(name) + "'";
        }
    }
    if (enclosure.offsets.size() != enclosure.letters.size()) {
        return "offsets must give one offset per drive letter";
    }
    return "";
}

std::string Hex32(std::uint32_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += kDigits[(value >> shift) & 0xF];
    }
    return text;
}

}  // namespace

std::optional<SimState> ParseSimState(std::string_view text, std::string& error) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    SimState state;
    // Where each letter, signature and physical drive was first given.
    std::map<char, int> letterLines;
    std::map<std::uint32_t, int> signatureLines;
    std::map<int, int> physicalLines;
    int number = 0;
    for (std::string_view line : Split(text, "\n")) {
        ++number;
        line = line.substr(0, line.find('#'));
        if (Words(line).empty()) {
            continue;
        }
        const std::string where = "line " + std::to_string(number) + ": ";
        if (Words(line).front() == "machine") {
            if (std::string problem = ParseMachine(Words(line), state.machine); !problem.empty()) {
                error = where + problem;
                return std::nullopt;
            }
            continue;
        }
        SimEnclosure enclosure;
        if (std::string problem = ParseLine(line, enclosure); !problem.empty()) {
            error = where + problem;
            return std::nullopt;
        }
        for (char letter : enclosure.letters) {
            if (auto [at, added] = letterLines.emplace(letter, number); !added) {
                error = where + "drive " + letter + " already belongs to line " +
                        std::to_string(at->second);
                return std::nullopt;
            }
        }
        if (auto [at, added] = signatureLines.emplace(enclosure.signature, number); !added) {
            error = where + "signature " + Hex32(enclosure.signature) +
                    " already belongs to line " + std::to_string(at->second);
            return std::nullopt;
        }
        if (auto [at, added] = physicalLines.emplace(enclosure.physical, number); !added) {
            error = where + "physical drive " + std::to_string(enclosure.physical) +
                    " already belongs to line " + std::to_string(at->second);
            return std::nullopt;
        }
        state.enclosures.push_back(std::move(enclosure));
    }
    return state;
}

std::string FormatSimState(const SimState& state) {
    std::string text =
        "# Simulated enclosures, one a line. Families 1..10; offsets one per drive letter.\n";
    if (!(state.machine == SimMachine{})) {
        text += "machine table=" + state.machine.table +
                " numbers=" + (state.machine.wineNumbers ? "wine" : "disk") + "\n";
    }
    for (const SimEnclosure& enclosure : state.enclosures) {
        std::string offsets;
        for (std::uint64_t offset : enclosure.offsets) {
            offsets += (offsets.empty() ? "" : ",") + std::to_string(offset);
        }
        text += "enclosure family=" + std::to_string(enclosure.family) +
                " letters=" + enclosure.letters + " signature=" + Hex32(enclosure.signature) +
                " offsets=" + offsets + " serial=" + Hex32(enclosure.serial) +
                " key=" + (enclosure.keyPresent ? "present" : "absent") +
                " attached=" + (enclosure.attached ? "yes" : "no") +
                " presses=" + std::to_string(enclosure.presses) +
                " physical=" + std::to_string(enclosure.physical) +
                " run=" + std::string(kRunMessages.at(enclosure.runMessage)) +
                (enclosure.gpt ? " table=gpt" : "") +
                (enclosure.bridgeSilent ? " bridge=silent" : "") + "\n";
    }
    return text;
}

SimEnclosure* FindEnclosure(SimState& state, char letter) {
    for (SimEnclosure& enclosure : state.enclosures) {
        if (enclosure.letters.find(letter) != std::string::npos) {
            return &enclosure;
        }
    }
    return nullptr;
}

SimEnclosure* AttachedOnDrive(SimState& state, int drive) {
    if (drive < 0 || drive >= 26) {
        return nullptr;
    }
    for (SimEnclosure& enclosure : state.enclosures) {
        if (enclosure.attached &&
            enclosure.letters.find(static_cast<char>('A' + drive)) != std::string::npos) {
            return &enclosure;
        }
    }
    return nullptr;
}

SimEnclosure* AttachedOnPhysical(SimState& state, int physical) {
    for (SimEnclosure& enclosure : state.enclosures) {
        if (enclosure.attached && enclosure.physical == physical) {
            return &enclosure;
        }
    }
    return nullptr;
}

std::uint32_t DriveMask(const SimEnclosure& enclosure) {
    std::uint32_t mask = 0;
    for (char letter : enclosure.letters) {
        mask |= 1u << (letter - 'A');
    }
    return mask;
}

std::optional<SimState> SimStateAccess::Read() {
    std::optional<SimState> copy;
    Modify([&copy](SimState& state) {
        copy = state;
        return false;
    });
    return copy;
}

}  // namespace bexlo
