#include "control/RouteEntry.h"

namespace corvane {

std::optional<RouteChange> ParseRouteEntry(std::string_view text) {
    auto number = [&](std::size_t& i, int& value) {
        const std::size_t start = i;
        value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3)
            value = value * 10 + (text[i++] - '0');
        return i > start;
    };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    RouteChange change;
    if (!number(i, change.input))
        return std::nullopt;
    std::size_t separators = 0;
    while (i < text.size() && kRouteSeparators.find(text[i]) != std::string_view::npos) {
        ++i;
        ++separators;
    }
    if (separators == 0 || !number(i, change.output))
        return std::nullopt;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i != text.size() || change.input > kChannelCount || change.output < 1 ||
        change.output > kChannelCount)
        return std::nullopt;
    return change;
}

}  // namespace corvane
