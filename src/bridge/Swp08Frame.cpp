#include "bridge/Swp08Frame.h"

#include <cctype>

namespace corvane {

std::uint8_t Swp08Checksum(std::string_view bytes) {
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

std::string Swp08Name(const std::string& name, std::size_t length) {
    if (name.size() <= length)
        return name + std::string(length - name.size(), ' ');
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    const std::size_t number = name.size() - digits;
    if (number == 0 || number >= length)
        return name.substr(0, length);
    return name.substr(0, length - number) + name.substr(digits);
}

std::string Swp08Frame(std::string_view data) {
    std::string body(data);
    body.push_back(static_cast<char>(data.size()));
    body.push_back(static_cast<char>(Swp08Checksum(body)));
    std::string wire = {kSwpDle, kSwpStx};
    for (char c : body) {
        wire.push_back(c);
        if (c == kSwpDle)
            wire.push_back(c);
    }
    wire += {kSwpDle, kSwpEtx};
    return wire;
}

Swp08Reader::Result Swp08Reader::Push(char byte) {
    switch (state_) {
        case kIdle:
            if (byte == kSwpDle)
                state_ = kIdleDle;
            return kNothing;
        case kIdleDle:
            // A DLE pair outside a message is noise too; the second may start one.
            state_ = byte == kSwpStx ? kBody : byte == kSwpDle ? kIdleDle : kIdle;
            body_.clear();
            overlong_ = false;
            return kNothing;
        case kBody:
            if (byte == kSwpDle) {
                state_ = kBodyDle;
                return kNothing;
            }
            break;
        case kBodyDle:
            if (byte == kSwpStx) {  // the message before lost its end
                state_ = kBody;
                body_.clear();
                overlong_ = false;
                return kNothing;
            }
            if (byte == kSwpEtx) {
                state_ = kIdle;
                const std::size_t size = body_.size();
                if (overlong_ || size < 3 ||
                    static_cast<unsigned char>(body_[size - 2]) != size - 2 ||
                    Swp08Checksum(body_) != 0)
                    return kBad;
                message.assign(body_, 0, size - 2);
                return kMessage;
            }
            if (byte != kSwpDle) {  // no such pair in a message: it is noise
                state_ = kIdle;
                return kNothing;
            }
            state_ = kBody;
            break;
    }
    if (body_.size() < kMaxBody)
        body_.push_back(byte);
    else
        overlong_ = true;
    return kNothing;
}

}  // namespace corvane
