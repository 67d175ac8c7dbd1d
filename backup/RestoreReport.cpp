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

RunLogEntry RestoreLogEntry(const RestoreOutcome& outcome, const std::wstring& destination,
                            const std::wstring& started, const std::wstring& ended,
                            const MessageTexts& texts) {
    RunLogEntry entry;
    entry.started = started;
    entry.ended = ended;
    entry.mode = L"Restore";
    entry.destination = destination;
    entry.filesCopied = outcome.restored;
    for (const auto& [item, state] : outcome.written) {
        entry.bytesCopied += state.size;
    }
    entry.filesUnchanged = outcome.same;
    for (const RestoreProblem& problem : outcome.problems) {
        std::wstring reason = texts[Why(problem.trouble)];
        if (problem.error != 0) {
            reason += L", error " + std::to_wstring(problem.error);
        }
        entry.failures.emplace_back(problem.target, reason);
    }
    entry.result = outcome.cancelled          ? L"cancelled, what was restored stays"
                   : outcome.problems.empty() ? L"every file restored"
                                              : L"some files could not be restored";
    if (!outcome.notOwned.empty()) {
        entry.result += L"; " + std::to_wstring(outcome.notOwned.size()) +
                        L" still owned by the administrators";
    }
    return entry;
}

}  // namespace bexlo
