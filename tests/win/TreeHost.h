#pragma once

#include "framework/Dialog.h"
#include "res/resource.h"

namespace bexlo::test {

// The main dialog's template with only its check-box tree bound, to a tree of type `Tree`.
template <typename Tree>
class TreeHost : public Dialog {
public:
    TreeHost() : Dialog(IDD_MAIN) {}
    Tree tree;

protected:
    void DoDataExchange(DataExchange& exchange) override { exchange.Bind(IDC_SOURCE_TREE, tree); }
};

}  // namespace bexlo::test
