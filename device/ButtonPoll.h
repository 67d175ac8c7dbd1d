#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "device/DeviceRecord.h"
#include "device/DeviceSeam.h"

namespace bexlo {

// The third argument of PollDevice.
inline constexpr int kPollPress = 1;
inline constexpr int kPollKeyCheck = 2;
inline constexpr int kPollDrain = 3;
inline constexpr int kPollRunFailed = 0x60;
inline constexpr int kPollRunComplete = 0x61;
inline constexpr int kPollItemStarting = 0x62;

// A poll result: the press started the backup run.
inline constexpr int kPollStartedRun = 2;

inline constexpr std::uint32_t kScsiTimeoutSeconds = 100;
inline constexpr std::size_t kCdbLengthIn = 14;
inline constexpr std::size_t kCdbLengthOut = 12;

// Family 1 and 2: vendor command F5 with the signature "APIX" and a code byte (the mode for the
// three run messages, else 0).
std::vector<std::uint8_t> ApixCdb(int mode);
// Family 5: READ BUFFER of the button register (mode 1, offset 0x02000C, 4 bytes); the press is
// acknowledged with WRITE BUFFER (mode 5, offset 0x020024) of these data, then the register at
// offset 0x020000 is read once more.
std::vector<std::uint8_t> ReadButtonCdb();
std::vector<std::uint8_t> AcknowledgeButtonCdb();
std::vector<std::uint8_t> ReadButtonBaseCdb();
inline constexpr std::array<std::uint8_t, 4> kAcknowledgeButtonData = {0x00, 0x00, 0x00, 0x10};
// Family 7: the ATA command block that asks the bridge for its button state.
std::array<std::uint8_t, 24> AtacbButtonBlock();
// Families 8 and 9: "04FC" at byte 0 and the product at byte 12.
std::array<std::uint8_t, 52> Sp216IdentityBlock(int family);

// Poll state shared with the run and progress threads.
struct PollState {
    std::atomic<int> pollSkip{2};
    std::atomic<int> devicePresent{0};
    std::atomic<int> notifyDevice{0};
    // Written before the run thread starts, read by it.
    int pressDrive = 0;
    int pressKey = 1;
};

// What a poll asks of the main dialog.
class PollHost {
public:
    virtual ~PollHost() = default;
    // Starts RunBackupThread with the dialog; false when the thread could not be created.
    virtual bool StartRun() = 0;
    // A run is going: a press is read and dropped, and the run keeps its enclosure.
    virtual bool RunActive() const = 0;
    // Family-10 vendor calls run with timer 5 stopped; it restarts at 750 ms.
    virtual void StopPollTimer() = 0;
    virtual void StartPollTimer() = 0;
};

struct PollResult {
    int value = 0;
    // The key check failed: show MSG_KEY_LOST with the caption "Key Lost" and a warning icon.
    bool keyLost = false;
};

// Asks the reported drives' bridges whether their button was pressed.
class ButtonPoller {
public:
    ButtonPoller(DeviceSeam& seam, DeviceRecord& record, PollState& state, PollHost& host)
        : seam_(seam), record_(record), state_(state), host_(host) {}

    // Timer 5: drain while pollSkip counts down or a run is going, else look for a press.
    void OnPollTimer();
    // Mode 1: stops at the first drive whose press started the run, and then returns 2.
    // Mode 3: drains every reported drive and counts pollSkip down.
    int PollButtons(int mode);
    PollResult PollDevice(int family, int drive, int mode);

private:
    struct Exchange {
        int status = 0;  // 0 when the device answered at least the bytes asked for
        std::vector<std::uint8_t> data;
    };

    Exchange PassThroughIn(DeviceHandle drive, std::vector<std::uint8_t> cdb, std::uint32_t length,
                           std::size_t needed);
    void PassThroughOut(DeviceHandle drive, std::vector<std::uint8_t> cdb,
                        const std::vector<std::uint8_t>& data);
    DeviceHandle OpenPhysicalDrive(int drive);
    int StartRun(int pressKey);

    PollResult PollApix(int drive, int mode);
    int PollGpio(int family, int drive, int mode);
    int PollReadBuffer(int drive, int mode);
    int PollJmUsb(int family, int mode);
    int PollSp216(int family, int mode);
    int PollEsata(int drive, int mode);

    DeviceSeam& seam_;
    DeviceRecord& record_;
    PollState& state_;
    PollHost& host_;
};

}  // namespace bexlo
