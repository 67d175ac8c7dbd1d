#include "backup/RestoreReport.h"

#include "backup/CheckReport.h"

namespace bexlo {

namespace {

Msg Why(RestoreTrouble trouble) {
    switch (trouble) {
        case RestoreTrouble::NotAsKept:
            return Msg::RestoreNotAsKept;
        case RestoreTrouble::Link:
            return Msg::RestoreLink;
        case RestoreTrouble::NotKept:
            return Msg::RestoreNotKept;
        case RestoreTrouble::Failed:
        case RestoreTrouble::NotOwned:
            break;
    }
    return Msg::RestoreFailedRead;
}

}  // namespace

std::wstring RestoreProgressText(std::uint64_t files, std::uint64_t totalFiles, std::uint64_t bytes,
                                 std::uint64_t totalBytes, const MessageTexts& texts) {
    const std::wstring& of = texts[Msg::CheckOf];
    return texts[Msg::RestoreDoing] + L' ' + std::to_wstring(files) + L' ' + of + L' ' +
           std::to_wstring(totalFiles) + L' ' + texts[Msg::RestoreFiles] + L", " +
           SizeText(bytes, texts) + L' ' + of + L' ' + SizeText(totalBytes, texts);
}

std::wstring RestoreEndText(const RestoreOutcome& outcome, const MessageTexts& texts,
                            std::size_t listed) {
    std::wstring text = texts[Msg::RestoreDone] + L' ' + std::to_wstring(outcome.restored);
    if (outcome.same > 0) {
        text += L'\n' + texts[Msg::RestoreSame] + L' ' + std::to_wstring(outcome.same);
    }
    // Each file named, up to `listed` of them, under its heading.
    const auto name = [&](const std::vector<RestoreProblem>& problems, Msg heading, bool why) {
        if (problems.empty()) {
            return;
        }
        text += L"\n\n" + texts[heading];
        for (std::size_t i = 0; i < problems.size() && i < listed; ++i) {
            text += L'\n' + problems[i].target;
            if (why) {
                text += L" (" + texts[Why(problems[i].trouble)] + L')';
            }
        }
        if (problems.size() > listed) {
            text +=
                L'\n' + texts[Msg::RestoreMore] + L' ' + std::to_wstring(problems.size() - listed);
        }
    };
    name(outcome.problems, Msg::RestoreProblems, true);
    name(outcome.notOwned, Msg::RestoreNotOwned, false);
    if (outcome.cancelled) {
        text += L"\n\n" + texts[Msg::RestoreCancelled];
    }
    return text;
}

}  // namespace bexlo
