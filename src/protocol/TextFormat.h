#pragma once

#include <string>

namespace corvane {

// printf into a string, cut at 1023 characters: the panel and report texts
// that show the router's state.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace corvane
