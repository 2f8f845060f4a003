#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// SW-P-08 framing: DLE STX, the data (the command byte and its bytes), the
// byte count of the data, the checksum, DLE ETX. Every DLE between STX and
// ETX goes twice. The receiver answers DLE ACK for a message whose count and
// checksum are right and DLE NAK otherwise.

namespace corvane {

inline constexpr char kSwpDle = 0x10;
inline constexpr char kSwpStx = 0x02;
inline constexpr char kSwpEtx = 0x03;
inline constexpr std::string_view kSwpAck = "\x10\x06";
inline constexpr std::string_view kSwpNak = "\x10\x15";

// The two's complement of the 8-bit sum of the bytes: what makes data, count
// and checksum add up to 0.
std::uint8_t Swp08Checksum(std::string_view bytes);

// The message with the data (at most 255 bytes) as it goes on the wire.
std::string Swp08Frame(std::string_view data);

// A name at the fixed length of a names message, padded with spaces. A name
// too long keeps its trailing number: "InputChannel01" .. "InputChannel16"
// would otherwise all read "InputCha" on an 8-character panel.
std::string Swp08Name(const std::string& name, std::size_t length);

// Takes a client's byte stream apart into messages, across reads. Bytes
// outside a message (its ACKs and NAKs, line noise) are passed over; DLE STX
// always starts a message afresh, so noise never costs the message after it.
class Swp08Reader {
public:
    enum Result { kNothing, kMessage, kBad };

    // kMessage: `message` holds its data; kBad: a message ended whose count
    // or checksum was wrong.
    Result Push(char byte);

    std::string message;

private:
    // The data, count and checksum of one message at most; beyond that the
    // count cannot be right.
    static constexpr std::size_t kMaxBody = 255 + 2;

    enum State { kIdle, kIdleDle, kBody, kBodyDle };
    State state_ = kIdle;
    std::string body_;
    bool overlong_ = false;
};

}  // namespace corvane
