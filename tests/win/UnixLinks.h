#pragma once

// Links for the tests on real folders: Wine makes no links of its own, but shows a Unix symbolic
// link inside its prefix as one.

#include <string>
#include <vector>

#include "tests/win/TestSupport.h"

namespace bexlo::test {

// The links a test made, removed at its end: the folders they lead to stay.
class UnixLinks {
public:
    ~UnixLinks() { RemoveAll(); }

    // `link` leads to the folder or file `target`; false where no Unix link can be made.
    bool Make(const std::wstring& link, const std::wstring& target) {
        made_.push_back(link);
        return MakeUnixLink(link, target);
    }

    void RemoveAll() {
        for (const std::wstring& link : made_) {
            RemoveUnixLink(link);
        }
        made_.clear();
    }

private:
    std::vector<std::wstring> made_;
};

}  // namespace bexlo::test
