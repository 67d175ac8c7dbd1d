// A program that imports the network library by name at load time: the import check must refuse
// it.
#include <windows.h>
#include <winnetwk.h>

int main() {
    return static_cast<int>(::WNetCloseEnum(nullptr));
}
