#pragma once
// Types shared by the serial port units: the port's error, its enumerations with the
// values they give the line-settings record, and the event bits of the driver mask.
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

// Every error the port component raises.
class EVaCommError : public std::runtime_error {
public:
    explicit EVaCommError(const std::string& message, int errorCode = 0)
        : std::runtime_error(message), FErrorCode(errorCode) {}
    // The system's error number behind it, where one is known (a failed open); else 0.
    int ErrorCode() const { return FErrorCode; }

private:
    int FErrorCode;
};

// Messages used verbatim.
inline constexpr char sPortOpen[] = "Can't perform this operation while port is open";
inline constexpr char sPortClosed[] = "Can't perform this operation while port is closed";
// Closing waits for the threads, and the one that handed the event over waits for its handler.
inline constexpr char sCloseInHandler[] = "Can't close the port from inside its own event handler";
inline constexpr char sOutputBufferFull[] = "Output buffer is full. Please check comm status.";
inline constexpr char sDtrHandshake[] =
    "DTR line updates not allowed when flowcontrol is set to Handshake.";
inline constexpr char sRtsHandshake[] =
    "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.";
// Formats filled with the device path.
inline constexpr char sDeviceNotFound[] = "Specified device not found (%s).";
inline constexpr char sCantOpenDevice[] = "Can't open specified device %s (Error %d, %s)";
inline constexpr char sDeviceDisconnected[] = "Device disconnected (%s).";
// Formats filled with a system error code and its text.
inline constexpr char sErrorWritingDcb[] = "Error writing dcb (%d), %s";
inline constexpr char sErrorClearBuffers[] = "Error clearing buffers (%d), %s";
inline constexpr char sErrorStatistics[] = "Error retrieving statistics (%d), %s";
inline constexpr char sWriteError[] = "Write error (%d), %s";
inline constexpr char sErrorCommFunction[] = "Error calling comm function (%d), %s";
inline constexpr char sErrorModemState[] = "Error reading modem state (%d), %s";
inline constexpr char sErrorProperties[] = "Error reading port properties (%d), %s";

// The system's text for an error code (strerror, or FormatMessage on Windows; defined
// with the line layer), without trailing blanks, control characters
// and full stops.
std::string SystemErrorText(int code);

// Raises EVaCommError with a "(%d), %s" message filled with code and its text.
[[noreturn]] void RaiseCommError(const char* format, int code);

// Raises the open failure for path: "not found" for ENOENT, else "can't open".
[[noreturn]] void RaiseOpenError(const std::string& path, int code);

// The error that tells the operator the device at path went away.
EVaCommError DisconnectedError(const std::string& path);

// A small set over an enumeration, one bit per enumerator in declaration order.
template <typename E, typename Bits> class TVaSet {
public:
    constexpr TVaSet() = default;
    constexpr TVaSet(std::initializer_list<E> items) {
        for (E e : items)
            Include(e);
    }
    constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
    constexpr void Include(E e) { FBits = Bits(FBits | Bit(e)); }
    constexpr void Exclude(E e) { FBits = Bits(FBits & ~Bit(e)); }
    constexpr bool Empty() const { return FBits == 0; }
    friend constexpr bool operator==(TVaSet, TVaSet) = default;

private:
    static constexpr Bits Bit(E e) { return Bits(1u << static_cast<unsigned>(e)); }
    Bits FBits = 0;
};

using TVaPortInt = std::int32_t; // 0 .. 2147483647
using TVaIntW = std::int32_t;    // 0 .. 2147483647

enum TVaBaudrate : std::uint8_t {
    brUser,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
};

enum TVaParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TVaDatabits : std::uint8_t { db4, db5, db6, db7, db8 };
enum TVaStopbits : std::uint8_t { sb1, sb15, sb2 };
enum TVaControlDtr : std::uint8_t { dtrDisabled, dtrEnabled, dtrHandshake };
enum TVaControlRts : std::uint8_t { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };
enum TVaCommOption : std::uint8_t { coErrorChar, coNullStrip, coParityCheck };
using TVaCommOptions = TVaSet<TVaCommOption, std::uint8_t>;

enum TVaCommEvent : std::uint8_t {
    ceBreak,
    ceCts,
    ceDsr,
    ceError,
    ceRing,
    ceRlsd,
    ceRxChar,
    ceTxEmpty,
    ceRxFlag,
    cePErr,
    ceRx80Full,
    ceEvent1,
    ceEvent2,
};
using TVaCommEvents = TVaSet<TVaCommEvent, std::uint16_t>;

enum TSettingsLocation : std::uint8_t { slINIFile, slRegistry };
enum TRegRoot : std::uint8_t { rrCURRENTUSER, rrLOCALMACHINE };

// Driver event-mask bits.
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_PERR = 0x0200;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;
inline constexpr std::uint32_t EV_EVENT1 = 0x0800;
inline constexpr std::uint32_t EV_EVENT2 = 0x1000;

// Line error flags reported by the status query.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;

// Hold flags of the status query: why transmission waits.
inline constexpr std::uint32_t HOLD_CTS = 0x0001;  // for CTS
inline constexpr std::uint32_t HOLD_DSR = 0x0002;  // for DSR
inline constexpr std::uint32_t HOLD_RLSD = 0x0004; // for RLSD
inline constexpr std::uint32_t HOLD_XOFF = 0x0008; // an XOFF was received (or acted as if)
inline constexpr std::uint32_t XOFF_SENT = 0x0010; // an XOFF was sent

// The line-settings record: 28 bytes, built field by field from the settings groups.
struct TVaDCB {
    std::uint32_t DCBlength = sizeof(TVaDCB);
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(TVaDCB) == 28);

// Bits of TVaDCB::Flags besides those of the enumerations.
inline constexpr std::uint32_t dcb_Binary = 0x0001;
inline constexpr std::uint32_t dcb_ParityCheck = 0x0002;
inline constexpr std::uint32_t dcb_OutxCtsFlow = 0x0004;
inline constexpr std::uint32_t dcb_OutxDsrFlow = 0x0008;
inline constexpr std::uint32_t dcb_DsrSensitivity = 0x0040;
inline constexpr std::uint32_t dcb_TxContinueOnXoff = 0x0080;
inline constexpr std::uint32_t dcb_OutX = 0x0100;
inline constexpr std::uint32_t dcb_InX = 0x0200;
inline constexpr std::uint32_t dcb_RtsControlMask = 0x3000;
inline constexpr std::uint32_t dcb_RtsHandshake = 0x2000;

// Values each enumerator gives the line-settings record.
std::uint32_t BaudrateValue(TVaBaudrate baudrate, std::int32_t userBaudrate);
std::uint8_t ParityValue(TVaParity parity);
std::uint8_t DatabitsValue(TVaDatabits databits);
std::uint8_t StopbitsValue(TVaStopbits stopbits);
std::uint32_t ControlDtrValue(TVaControlDtr control);
std::uint32_t ControlRtsValue(TVaControlRts control);
std::uint32_t CommOptionValue(TVaCommOption option);
std::uint32_t CommOptionsValue(TVaCommOptions options);
std::uint32_t CommEventValue(TVaCommEvent event);
std::uint32_t CommEventsValue(TVaCommEvents events);

// The port-properties record: what the driver and the port can do, 64 bytes.
struct TVaCommProp {
    std::uint16_t PacketLength = sizeof(TVaCommProp);
    std::uint16_t PacketVersion = 2;
    std::uint32_t ServiceMask = 0;
    std::uint32_t Reserved1 = 0;
    std::uint32_t MaxTxQueue = 0; // 0: no maximum
    std::uint32_t MaxRxQueue = 0;
    std::uint32_t MaxBaud = 0;
    std::uint32_t ProvSubType = 0;
    std::uint32_t ProvCapabilities = 0;
    std::uint32_t SettableParams = 0;
    std::uint32_t SettableBaud = 0;
    std::uint16_t SettableData = 0;
    std::uint16_t SettableStopParity = 0;
    std::uint32_t CurrentTxQueue = 0;
    std::uint32_t CurrentRxQueue = 0;
    std::uint32_t ProvSpec1 = 0;
    std::uint32_t ProvSpec2 = 0;
    std::uint16_t ProvChar = 0;
};
static_assert(sizeof(TVaCommProp) == 64);

inline constexpr std::uint32_t SP_SERIALCOMM = 0x0001;   // ServiceMask
inline constexpr std::uint32_t PST_UNSPECIFIED = 0x0000; // ProvSubType
inline constexpr std::uint32_t PST_RS232 = 0x0001;
// ProvCapabilities
inline constexpr std::uint32_t PCF_RTSCTS = 0x0002;
inline constexpr std::uint32_t PCF_RLSD = 0x0004;
inline constexpr std::uint32_t PCF_PARITY_CHECK = 0x0008;
inline constexpr std::uint32_t PCF_XONXOFF = 0x0010;
inline constexpr std::uint32_t PCF_SETXCHAR = 0x0020;
// SettableParams
inline constexpr std::uint32_t SP_PARITY = 0x0001;
inline constexpr std::uint32_t SP_BAUD = 0x0002;
inline constexpr std::uint32_t SP_DATABITS = 0x0004;
inline constexpr std::uint32_t SP_STOPBITS = 0x0008;
inline constexpr std::uint32_t SP_HANDSHAKING = 0x0010;
inline constexpr std::uint32_t SP_PARITY_CHECK = 0x0020;
inline constexpr std::uint32_t SP_RLSD = 0x0040;
// SettableBaud: every listed speed from 75 to 128000 bit/s, and any other.
inline constexpr std::uint32_t BAUD_LISTED = 0x0007FFFF;
inline constexpr std::uint32_t BAUD_USER = 0x10000000;
// SettableData: 5, 6, 7 and 8 data bits.
inline constexpr std::uint16_t DATABITS_5_TO_8 = 0x000F;
// SettableStopParity
inline constexpr std::uint16_t STOPBITS_10 = 0x0001;
inline constexpr std::uint16_t STOPBITS_20 = 0x0004;
inline constexpr std::uint16_t PARITY_ALL = 0x1F00; // none, odd, even, mark and space
