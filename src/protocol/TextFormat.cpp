#include "protocol/TextFormat.h"

#include <cstdarg>
#include <cstdio>

namespace corvane {

std::string Format(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return n < 0 ? std::string() : std::string(buffer);
}

}  // namespace corvane
