// The serial port engine of the communications control.
//
// One CommEngine per control instance. It owns the port, the configuration
// values behind the control's port properties, the event thread, the
// receive queue, the two transmit buffers and the OnComm notification logic.
// The control's property layer calls the members below one-to-one; each
// setter validates before it changes anything and throws tolvex::ControlError
// with the control's error number (380, 8000-series, 260, or a system error
// number for a failed line operation).
//
// Threads. Every member is called on the GUI thread (the thread that owns the
// control's window). While the port is open one event thread per engine
// waits for line events, fills the receive queue and writes the transmit
// buffers; it never calls into the application. It asks the GUI thread to
// handle a notification through EngineCallbacks::post_notification; the host
// must then call HandleNotification() with that value on the GUI thread (the
// control posts a Qt event to its own object). At most one notification from
// the event thread is outstanding: the thread posts the next one only after
// the GUI thread has begun handling the previous one.
//
// Strings. Texts cross this interface as bytes in the control's code page
// (CP932); Input() and Output() differ from InputB()/OutputB() only in the
// double-byte completion of Input().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/errors.h"

#include <tolvexcomm/constants.h>

namespace tolvex::serial {

class PortDevice;
class EngineCore;

// Values of CommEvent while OnComm runs (the public constants of
// tolvexcomm/constants.h under the engine's names).
enum CommEventCode : std::int16_t {
    kEvSend = com::TOLVEX_EV_SEND,
    kEvReceive = com::TOLVEX_EV_RECEIVE,
    kEvCts = com::TOLVEX_EV_CTS,
    kEvDsr = com::TOLVEX_EV_DSR,
    kEvCd = com::TOLVEX_EV_CD,
    kEvRing = com::TOLVEX_EV_RING,
    kEvEof = com::TOLVEX_EV_EOF,
    kEvZModem = com::TOLVEX_EV_ZMODEM,
    kEvXfer = com::TOLVEX_EV_XFER,
    kErBreak = com::TOLVEX_ER_BREAK,
    kErCtsTimeout = com::TOLVEX_ER_CTSTO,  // defined, never raised
    kErDsrTimeout = com::TOLVEX_ER_DSRTO,  // defined, never raised
    kErFrame = com::TOLVEX_ER_FRAME,
    kErInTimeout = com::TOLVEX_ER_INTO,
    kErOverrun = com::TOLVEX_ER_OVERRUN,
    kErCdTimeout = com::TOLVEX_ER_CDTO,    // defined, never raised
    kErRxOver = com::TOLVEX_ER_RXOVER,
    kErRxParity = com::TOLVEX_ER_RXPARITY,
    kErTxFull = com::TOLVEX_ER_TXFULL,
};

enum Handshaking : std::int16_t {
    kHandshakeNone = com::TOLVEX_HANDSHAKING_NONE,
    kHandshakeXon = com::TOLVEX_HANDSHAKING_XON,   // bit 0: XON/XOFF
    kHandshakeRts = com::TOLVEX_HANDSHAKING_RTS,   // bit 1: RTS/CTS
    kHandshakeBoth = com::TOLVEX_HANDSHAKING_BOTH,
};

enum AutoProcess : std::int16_t {
    kAutoProcessNone = com::TOLVEX_AUTOPROCESS_NONE,
    kAutoProcessSerial = com::TOLVEX_AUTOPROCESS_SERIAL,  // received data goes straight to the terminal
    kAutoProcessKey = com::TOLVEX_AUTOPROCESS_KEY,        // typed keys go straight to the port
    kAutoProcessBoth = com::TOLVEX_AUTOPROCESS_BOTH,
};

// Line-event mask bits, as the event thread reports them.
constexpr std::uint32_t kMaskRxChar = 0x0001;  // characters received
constexpr std::uint32_t kMaskRxFlag = 0x0002;  // the event character 0x1A received
constexpr std::uint32_t kMaskCts = 0x0008;
constexpr std::uint32_t kMaskDsr = 0x0010;
constexpr std::uint32_t kMaskRlsd = 0x0020;    // carrier (receive-line-signal-detect)
constexpr std::uint32_t kMaskBreak = 0x0040;
constexpr std::uint32_t kMaskErr = 0x0080;     // line error (framing, overrun, parity)
constexpr std::uint32_t kMaskRing = 0x0100;
constexpr std::uint32_t kEventMaskInUse = 0x01FB;

// Kinds of notification the event thread hands to the GUI thread.
constexpr std::uint32_t kNotifyReceived = 1;
constexpr std::uint32_t kNotifyCondition = 0xFFFFFFFEu;

struct Notification {
    std::uint32_t kind = 0;  // kNotifyReceived or kNotifyCondition
    std::uint32_t mask = 0;  // the line-event mask reported
};

// ---------------------------------------------------------------------------
// Configuration values and their pure logic (no device needed).

// Baud, parity, data bits and stop bits as the Settings text gives them.
struct LineSettings {
    std::int32_t baud = 9600;     // rate value ("230400" gives 256000)
    std::int32_t parity = 0;      // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::int32_t data_bits = 8;   // 4..8
    std::int32_t stop_bits = 0;   // 0 one, 1 one and a half, 2 two
};

// Parses a Settings text (any case). Fields left empty keep the value in
// `values`. Returns false for malformed text and then leaves `values` as it
// was.
bool ParseSettingsText(std::string_view text, LineSettings& values);

enum class DtrControl : std::uint8_t { kDisable = 0, kEnable = 1 };
enum class RtsControl : std::uint8_t { kDisable = 0, kEnable = 1, kHandshake = 2 };

// The device control block: what the driver is told about the line. Fields
// not set from the properties keep what the device reported.
struct DeviceSettings {
    std::uint32_t baud = 9600;
    bool binary = true;
    bool parity_check = true;        // check parity; errors are reported
    bool out_cts_flow = false;       // hold transmission while CTS is low
    bool out_dsr_flow = false;
    DtrControl dtr = DtrControl::kEnable;
    bool dsr_sensitivity = false;
    bool out_x = false;              // obey XOFF from the far side
    bool in_x = false;               // send XOFF/XON as the receive queue fills
    bool error_char_enabled = false; // replace bytes with parity errors
    std::uint8_t error_char = 0;
    bool null_discard = false;       // drop received NUL bytes
    RtsControl rts = RtsControl::kEnable;
    std::uint16_t xon_lim = 512;
    std::uint16_t xoff_lim = 512;
    std::uint8_t byte_size = 8;
    std::uint8_t parity = 0;         // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stop_bits = 0;      // 0 one, 1 one and a half, 2 two
    std::uint8_t xon_char = 0x11;
    std::uint8_t xoff_char = 0x13;
    std::uint8_t eof_char = 0x1A;
    std::uint8_t evt_char = 0x1A;
};

// Everything the device settings are derived from.
struct PortConfig {
    LineSettings line;
    std::int16_t handshaking = kHandshakeNone;
    std::int32_t dtr_enable = -1;        // stored as written; non-zero = true
    std::int32_t rts_enable = -1;
    bool null_discard = false;
    std::string parity_replace;          // only the first byte matters
    std::int16_t in_buffer_size = 2048;
};

// Sets the fields the properties decide and keeps the others of `base`.
DeviceSettings BuildDeviceSettings(const PortConfig& config, DeviceSettings base);

// Looks a key up in the profile section "Ports" ("COM3" -> "/dev/ttyUSB0").
using ProfileLookup = std::function<std::optional<std::string>(std::string_view key)>;

// The control's device name of a port number: "\\.\COM3".
std::string PortDeviceName(int port);

// The error an open failure raises: a missing device 8002, a busy device
// 8005, a device the user may not open 8005 with a description that names
// the device and the group whose members may open it, anything else 8012.
// `err` is the errno of the failed open.
ControlError OpenFailure(int err, const std::string& device);

// The Linux device a port number maps to: the profile's section "Ports"
// (key "COM<n>"), else the environment variable TOLVEXCOMM_COM<n>, else
// /dev/ttyS<n-1>.
std::string MapPortToDevice(int port, const ProfileLookup& ports);

// ---------------------------------------------------------------------------
// The engine.

struct EngineCallbacks {
    // Any thread: ask the GUI thread to call HandleNotification(n).
    std::function<void(Notification n)> post_notification;
    // GUI thread: raise the OnComm event; the handler reads CommEvent().
    std::function<void()> fire_oncomm;
    // GUI thread, optional: bytes for the terminal (received data while
    // AutoProcess sends it there, and echoed output).
    std::function<void(std::string_view bytes)> terminal_output;
    // GUI thread, optional: wake a running file transfer (new data arrived).
    std::function<void()> transfer_wakeup;
    // GUI thread, optional: called when the event loop enters the engine (a
    // notification, a send-check tick). The engine holds the returned token
    // until it is done, so a host that releases its control from OnComm
    // destroys the engine only after the engine has returned.
    std::function<std::shared_ptr<void>()> keep_alive;
};

// Makes the device the engine opens; the default is the POSIX serial device.
using DeviceFactory = std::function<std::unique_ptr<PortDevice>()>;

class CommEngine {
public:
    explicit CommEngine(EngineCallbacks callbacks, ProfileLookup ports = {},
                        DeviceFactory make_device = {});
    ~CommEngine();  // closes an open port
    CommEngine(const CommEngine&) = delete;
    CommEngine& operator=(const CommEngine&) = delete;

    // --- Lifecycle -------------------------------------------------------
    bool PortOpen() const;
    void SetPortOpen(bool open);      // 8005, 8002, 8012, 8015, 8019, 260
    std::int16_t CommPort() const;
    void SetCommPort(std::int16_t port);  // <= 0: 380; open: 8005
    std::string DevicePath() const;   // the Linux device CommPort maps to
    std::int32_t CommID() const;      // port handle (descriptor), 0 while closed

    // --- Device configuration ---------------------------------------------
    std::string Settings() const;     // stored upper case
    void SetSettings(std::string_view text);  // malformed: 380; refused by the open device: 8015
    const LineSettings& Line() const;
    std::int16_t Handshaking() const;
    void SetHandshaking(std::int16_t value);  // 0..3 else 380; refused: 8015
    std::int32_t DTREnable() const;
    void SetDTREnable(std::int32_t value);    // line failure: system error number
    std::int32_t RTSEnable() const;
    void SetRTSEnable(std::int32_t value);
    bool NullDiscard() const;
    void SetNullDiscard(std::int32_t value);  // 0, 1, -1 else 380; refused: 8015
    std::string ParityReplace() const;
    void SetParityReplace(std::string_view value);  // refused: 8015
    std::int16_t InBufferSize() const;
    void SetInBufferSize(std::int16_t size);   // < 0: 380; open: 8000
    std::int16_t OutBufferSize() const;
    void SetOutBufferSize(std::int16_t size);  // < 0: 380; open: 8000
    // The device settings as last handed to the device (or that would be).
    DeviceSettings CurrentDeviceSettings() const;

    // --- Line control ----------------------------------------------------
    void SetBreak(bool on);           // never raises
    bool CDHolding() const;
    bool CTSHolding() const;
    bool DSRHolding() const;

    // --- Data ------------------------------------------------------------
    std::string Input();              // 8018, 8019, 8020
    std::string InputB();
    std::string LineInput();
    void Output(std::string_view bytes);   // 8018, 8019; overflow raises 1010
    void OutputB(std::string_view bytes);
    std::int16_t InBufferCount() const;
    void SetInBufferCount(std::int16_t value);   // only 0, else 380
    std::int16_t OutBufferCount() const;
    void SetOutBufferCount(std::int16_t value);  // only 0, else 380
    std::int16_t InputLen() const;
    void SetInputLen(std::int16_t value);        // < 0: 380
    std::int32_t InTimeout() const;
    void SetInTimeout(std::int32_t ms);          // < 0: 380
    const std::string& LastInput() const;

    // --- Notification ----------------------------------------------------
    std::int16_t RThreshold() const;
    void SetRThreshold(std::int16_t value);      // < 0: 380
    std::int16_t SThreshold() const;
    void SetSThreshold(std::int16_t value);      // < 0: 380; restarts the send-check timer
    std::int32_t Interval() const;
    void SetInterval(std::int32_t ms);           // < 0: 380; restarts the send-check timer
    std::int16_t CommEvent() const;
    // A new instance's notification state: CommEvent 0, no deferred event,
    // no partial ZModem start sequence.
    void ClearCommEvent();
    std::int16_t AutoProcessMode() const;
    void SetAutoProcess(std::int16_t value);     // 0..3 else 380
    bool AutoZModem() const;
    void SetAutoZModem(bool on);
    bool Echo() const;
    void SetEcho(bool on);
    bool TerminalActive() const;                 // Emulation is not NONE
    void SetTerminalActive(bool on);
    std::string AnswerBack() const;
    void SetAnswerBack(std::string_view text);
    // Restores the values AutoProcess puts aside (after loading saved properties).
    void SetSavedInputValues(std::int16_t input_len, std::int16_t rthreshold);

    // Handles one notification on the GUI thread (the host's answer to
    // post_notification).
    void HandleNotification(Notification n);
    // Raises OnComm with `code`, or defers it while an OnComm is running.
    void RaiseCommEvent(std::int16_t code);
    // Puts bytes into the transmit buffers; returns n, or -1 after raising
    // 1010 (the bytes are dropped).
    int QueueOutput(std::string_view bytes);
    // Asks the device for pending line errors and raises their events.
    void CollectLineErrors();
    // One tick of the send-check timer (the engine runs the timer itself
    // while an event loop runs; exposed for hosts and tests).
    void SendCheckTick();
    bool SendCheckTimerActive() const;

    // --- File transfer hooks ----------------------------------------------
    // While a transfer runs, notifications only call transfer_wakeup, reads
    // return empty texts, Output raises 8019 and the send-check timer stops.
    bool TransferRunning() const;
    void SetTransferRunning(bool running);

    // Raw access to the open port for the transfer's worker thread (safe
    // from any thread while the port stays open; the transfer must end
    // before the port is closed). No events are raised through these.
    //
    // Bytes queued for reading.
    std::size_t TransferQueued() const;
    // Takes up to `max` queued bytes, waiting at most timeout_ms for the
    // first one; empty when none arrived or TransferInterrupt() was called.
    std::string TransferRead(std::size_t max, int timeout_ms);
    // Any thread: makes a waiting TransferRead return at once (the next one
    // if none waits), so the worker sees a stop or a request without delay.
    void TransferInterrupt();
    // Queues bytes for sending; false (nothing queued) when the transmit
    // buffers have no room for all of them. After a refusal, the next
    // buffer the device has taken whole wakes the TransferRead that waits
    // (as TransferInterrupt does), so the writer can try again at once.
    bool TransferWrite(std::string_view bytes);
    // Takes as many of the bytes as it can now, from the front, and returns
    // how many: on an idle port one write to the device and a buffer of the
    // rest, otherwise what fits one buffer whole (0 when none does; the
    // wake-up after a refusal is the same as TransferWrite's).
    std::size_t TransferWriteSome(std::string_view bytes);
    // Bytes not yet handed to the device or still held by it.
    std::size_t TransferOutputBacklog() const;
    // True once the far side went away (device removed, pty master closed).
    bool LineLost() const;
    // Any thread: the carrier (receive-line-signal-detect) line; none when
    // the device cannot report it (a pseudo-terminal, some USB adapters).
    std::optional<bool> TransferCarrier() const;

private:
    std::unique_ptr<EngineCore> core_;
};

}  // namespace tolvex::serial
