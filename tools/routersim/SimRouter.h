#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::sim {

inline constexpr int kChannels = 16;
inline constexpr int kSlots = 4;

// What the simulated router holds. Tables keep an unused entry 0 so that
// channel 1..16 and slot 1..4 index them directly, as on the wire.
struct SimRouter {
    int inputCard[kSlots + 1] = {};
    int outputCard[kSlots + 1] = {};
    int route[kChannels + 1] = {};           // per output: input 1..16, 0 = none
    std::string inputSignal[kChannels + 1];  // "1920x1080p@60Hz" or "Signal OFF"
    bool outputPlugged[kChannels + 1] = {};
    std::string edidMode[kChannels + 1];     // "DEF", "AUTO", "USER" or "OUT"
    int edidCopyOutput[kChannels + 1] = {};  // source output while the mode is "OUT"
    int quadResolution[kSlots + 1] = {};
    int quadLayout[kSlots + 1] = {};
    int generatorResolution = 9;
    int generatorPattern = 1;
    int monitoringChannel = 3;
    bool webLock = true;
    bool dataLock = false;
    bool keyLock = false;
    int baudRate = 115200;
    std::string ip = "127.0.0.1";
    std::string subnetMask = "255.255.255.0";
    std::string gateway = "127.0.0.1";
    std::string mac = "00:1C:91:03:5E:2A";
    std::string port = "3000";
    std::vector<std::uint8_t> userEdid;  // 256 bytes once uploaded
    bool silent = false;                 // takes commands in, answers none
};

// HDMI, SDI and dual DVI inputs with an empty fourth slot; HDMI, one-fiber,
// quad multiviewer and DVI outputs; a few routes, dark inputs and unplugged
// outputs, so that every kind of cell shows up.
SimRouter DefaultRouter();

// "IN1,IN2,IN3,IN4/OUT1,OUT2,OUT3,OUT4", hexadecimal card codes, 00 = empty.
// Channels of a newly empty input slot lose their signal; a quad card gets a
// resolution and layout. False (router untouched) when the text is malformed.
bool ApplyCardList(SimRouter& router, const std::string& list, std::string* error);

// Answers to one command (the text up to and including its "!"). Setting
// commands change the router first; unknown commands get no answer.
std::vector<std::string> HandleCommand(SimRouter& router, std::string_view command);

// The answer texts for the queries, also used after settings.
std::string LinkAnswer(const SimRouter& router);
std::string EdidAnswer(const SimRouter& router);
std::string QuadAnswer(const SimRouter& router);

// One line of the router's front panel, as a person at the router would use
// it: "route OUT IN" (IN 0 = none), "signal IN off", "signal IN 1920x1080p@60Hz",
// "plug OUT 0|1", "silent 0|1", "show", "help". Returns the one-line answer:
// "ok", what was asked for, or "error: " and why (the router is then
// untouched). A blank line gets an empty answer.
std::string PanelLine(SimRouter& router, std::string_view line);

// A random change of one route, one input's signal or one output's plug, as
// the panel line that makes it; apply it with PanelLine. Signals and plugs
// change only where a card is fitted and the view would show it.
std::string ChurnLine(const SimRouter& router, std::minstd_rand& random);

// Splits a byte stream into commands at "!". The user EDID frame is the
// exception: after "EDIT=" exactly 256 raw bytes follow (they may contain "!"),
// then the closing "!".
class CommandFramer {
public:
    static constexpr std::size_t kMaxCommand = 4096;  // runaway text is dropped
    void Feed(const std::uint8_t* bytes, std::size_t count,
              const std::function<void(std::string_view)>& onCommand);
    std::string pending;
};

}  // namespace corvane::sim
