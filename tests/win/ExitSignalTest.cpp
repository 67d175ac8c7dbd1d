// The event through which Setup ends a copy it cannot reach with a message.

#include <windows.h>

#include <gtest/gtest.h>

#include "app/ExitSignal.h"
#include "tests/win/FakeEnclosure.h"
#include "tests/win/TestSupport.h"

namespace bexlo {
namespace {

using ExitSignalOnMachine = test::DialogOnMachine;

TEST_F(ExitSignalOnMachine, SetItEndsTheCopyAsExitDoesAndANameMadeBeforeIsNotListenedTo) {
    auto dialog = Open(false);
    const ExitSignal signal;
    ASSERT_TRUE(signal.Listening());
    const ExitSignal second;
    EXPECT_FALSE(second.Listening()) << "an event made before is someone else's";

    const UniqueKernelHandle event(
        ::OpenEventW(EVENT_MODIFY_STATE, FALSE, ExitSignalName(::GetCurrentProcessId()).c_str()));
    ASSERT_TRUE(event.Valid());
    ASSERT_TRUE(::SetEvent(event.Get()));
    EXPECT_TRUE(test::PumpUntil([&] { return !::IsWindow(window); }))
        << "the copy's window is still there";
}

}  // namespace
}  // namespace bexlo
