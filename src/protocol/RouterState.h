#pragma once

#include <string>

namespace corvane {

// Channels are numbered 1..16 and slots 1..4 everywhere; tables keep an unused
// entry 0 so that a number indexes its table directly.
inline constexpr int kChannelCount = 16;
inline constexpr int kSlotCount = 4;
inline constexpr int kChannelTableSize = kChannelCount + 1;
inline constexpr int kSlotTableSize = kSlotCount + 1;

inline constexpr int SlotOfChannel(int channel) {
    return (channel - 1) / 4 + 1;
}

// Values of connectionStatus.
enum ConnectionStatus : int {
    kDisconnected = 0,
    kConnecting = 1,  // link open, nothing parsed yet
    kConnectionFailed = 2,
    kConnected = 3,  // at least one answer parsed since the link opened
};

// Card codes as the router reports them in SLOT answers (hexadecimal on the
// wire). Input cards are even, output cards odd.
enum CardType : int {
    kSingleDviInput = 0x02,
    kSingleDviOutput = 0x03,
    kDualDviInput = 0x06,
    kDualDviOutput = 0x07,
    kHdmiInput = 0x0A,
    kHdmiOutput = 0x0B,
    kSdiInput = 0x12,
    kSdiOutput = 0x13,
    kFiber1Input = 0x18,
    kFiber1Output = 0x19,
    kFiber2Input = 0x1A,
    kFiber2Output = 0x1B,
    kQuadMultiViewer = 0x21,
};

// Display name of a card code; "" for an empty slot or an unknown code.
const char* CardTypeName(int code);

// Display tables, entry 0 empty, and the answer tokens the router uses for them.
inline constexpr int kResolutionCount = 9;
inline constexpr int kPatternCount = 14;
extern const char ResolutionNames[kResolutionCount + 1][32];
extern const char* const ResolutionTokens[kResolutionCount + 1];
extern const char PatternNames[kPatternCount + 1][32];
extern const char* const PatternTokens[kPatternCount + 1];

// Which values of RouterState the router has sent. Until it has, a value is a
// placeholder: shown as unknown, never sent back to the router in a command.
// The per-channel and per-slot flags go with their tables on Disconnect; the
// router-wide ones stay, as their values do.
struct KnownValues {
    bool routes = false;
    bool inputSignal[kChannelTableSize] = {};
    bool outputPlug[kChannelTableSize] = {};
    bool edidMode[kChannelTableSize] = {};
    bool cards[kSlotTableSize] = {};
    bool quadResolution[kSlotTableSize] = {};
    bool quadLayout[kSlotTableSize] = {};
    bool generatorResolution = false;
    bool generatorPattern = false;
    bool monitoringChannel = false;
    bool webLock = false;
    bool dataLock = false;
    bool keyLock = false;
    bool routerIp = false;
    bool routerSubnetMask = false;
    bool routerGateway = false;
    bool routerMac = false;
    bool routerPort = false;
    bool routerBaudRate = false;
    bool operator==(const KnownValues&) const = default;
};

// The program's picture of the router. Only parsed answers write it (plus three
// start-up values from config.ini); sending a command never does.
struct RouterState {
    // Per output: input 1..16 that feeds it, 0 = no link.
    int routedInput[kChannelTableSize] = {};
    // Per input: signal text as reported; empty or "Signal OFF" means no signal.
    std::string inputStatusText[kChannelTableSize];
    // Per output: 1 = a display is plugged in.
    int outputPlugged[kChannelTableSize] = {};
    // Per input: "DEF.", "AUTO", "USER", "OUT." or whatever the router sent.
    std::string inputEdidMode[kChannelTableSize];

    int inputCardType[kSlotTableSize] = {};
    int outputCardType[kSlotTableSize] = {};
    int quadResolution[kSlotTableSize] = {};  // 0..9
    int quadLayout[kSlotTableSize] = {};      // 0..7

    int generatorResolution = 0;  // 0..9, 0 = not recognised
    int generatorPattern = 0;     // 0..14, 0 = not recognised
    int monitoringChannel = 0;    // 0..16
    int webLock = 0;
    int dataLock = 0;
    int keyLock = 0;
    std::string routerIp;
    std::string routerSubnetMask;
    std::string routerGateway;
    std::string routerMac;  // "xx:xx:xx:xx:xx:xx", groups at 0, 3, 6, 9, 12, 15
    std::string routerPort;
    int routerBaudRate = 0;

    KnownValues known;

    // Forgets what belongs to one connection: links, signal texts, plug flags,
    // EDID modes and card types. Router-wide settings and quad settings stay.
    void ClearConnectionTables();

    bool HasSignal(int input) const;

    bool operator==(const RouterState&) const = default;
};

}  // namespace corvane
