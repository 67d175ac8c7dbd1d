#include "treectrl/TreePath.h"

#include "framework/NameCase.h"

namespace bexlo {

namespace {

void DropTrailingBackslash(std::wstring& rest) {
    if (rest.size() > 3 && rest.back() == L'\\') {
        rest.pop_back();
    }
}

void Split(std::wstring rest, bool firstKeepsBackslash, TreeWalk& walk) {
    for (size_t p = rest.find(L'\\'); p != std::wstring::npos; p = rest.find(L'\\')) {
        walk.segments.push_back(rest.substr(0, firstKeepsBackslash ? p + 1 : p));
        firstKeepsBackslash = false;
        rest.erase(0, p + 1);
    }
    if (!rest.empty()) {
        walk.segments.push_back(rest);
    }
}

// What both walks share once the part below the root is known.
TreeWalk Plan(TreeWalk walk, std::wstring rest, bool showNetwork) {
    DropTrailingBackslash(rest);
    if (rest.empty()) {
        walk.outcome = TreeWalk::Outcome::Nothing;
        return walk;
    }
    walk.outcome = TreeWalk::Outcome::Walk;
    walk.fromRootItem = !walk.root.empty();
    bool firstKeepsBackslash = walk.root.empty();
    if (showNetwork && rest.size() >= 3 && rest.compare(0, 2, L"\\\\") == 0) {
        walk.network = true;
        firstKeepsBackslash = false;
        rest.erase(0, 2);
    } else {
        walk.fromComputer = firstKeepsBackslash;
    }
    Split(std::move(rest), firstKeepsBackslash, walk);
    return walk;
}

TreeWalk Start(const std::wstring& path, const std::wstring& rootFolder) {
    TreeWalk walk;
    walk.path = FoldCase(path);
    walk.root = FoldCase(rootFolder);
    walk.outcome = walk.path.empty() ? TreeWalk::Outcome::EmptyPath : TreeWalk::Outcome::Walk;
    if (walk.outcome == TreeWalk::Outcome::Walk && !walk.root.empty()) {
        // "C:\DATABASE" is not below "C:\DATA".
        const bool prefix = walk.path.compare(0, walk.root.size(), walk.root) == 0;
        const bool boundary = walk.path.size() == walk.root.size() ||
                              (prefix && walk.path[walk.root.size()] == L'\\');
        if (!prefix || !boundary) {
            walk.outcome = TreeWalk::Outcome::OutsideRoot;
        }
    }
    return walk;
}

}  // namespace

bool IsDrivePath(const std::wstring& path) {
    return path.size() == 3 && path[1] == L':' && path[2] == L'\\';
}

TreeWalk PlanTreeWalk(const std::wstring& path, const std::wstring& rootFolder, bool showNetwork) {
    TreeWalk walk = Start(path, rootFolder);
    if (walk.outcome != TreeWalk::Outcome::Walk) {
        return walk;
    }
    // Below a root, the separator after it goes too.
    const size_t cut = walk.root.empty() ? 0 : walk.root.size() + 1;
    std::wstring rest = cut < walk.path.size() ? walk.path.substr(cut) : std::wstring();
    return Plan(std::move(walk), std::move(rest), showNetwork);
}

}  // namespace bexlo
