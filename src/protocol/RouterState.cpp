#include "protocol/RouterState.h"

namespace corvane {

const char ResolutionNames[kResolutionCount + 1][32] = {
    "",
    "800x600@60Hz",
    "1024x768@60Hz",
    "1280x960@60Hz",
    "1280x1024@60Hz",
    "1600x1200@60Hz",
    "1920x1200@60Hz",
    "1280x720p@60Hz",
    "1920x1080i@60Hz",
    "1920x1080p@60Hz",
};

const char* const ResolutionTokens[kResolutionCount + 1] = {
    "",
    "800x600@60Hz!",
    "1024x768@60Hz!",
    "1280x960@60Hz!",
    "1280x1024@60Hz!",
    "1600x1200@60Hz!",
    "1920x1200@60Hz!",
    "1280x720p@60Hz!",
    "1920x1080i@60Hz!",
    "1920x1080p@60Hz!",
};

const char PatternNames[kPatternCount + 1][32] = {
    "",
    "Vertical Color Bar",
    "Vertical Color Bar 0.5s Move",
    "Vertical Color Bar 1.0s Move",
    "Horizontal Color Bar Stop",
    "Horizontal Color Bar 0.5s Move",
    "Horizontal Color Bar 1.0s Move",
    "Full White",
    "Full Yellow",
    "Full Cyan",
    "Full Green",
    "Full Magenta",
    "Full Red",
    "Full Blue",
    "Full Gray",
};

const char* const PatternTokens[kPatternCount + 1] = {
    "",
    "VCOLORBARSTOP!",
    "VCOLORBAR05SMOVE!",
    "VCOLORBAR10SMOVE!",
    "HCOLORBARSTOP!",
    "HCOLORBAR05SMOVE!",
    "HCOLORBAR10SMOVE!",
    "FULLWHITE!",
    "FULLYELLOW!",
    "FULLCYAN!",
    "FULLGREEN!",
    "FULLMAGENTA!",
    "FULLRED!",
    "FULLBLUE!",
    "FULLGRAY!",
};

const char* CardTypeName(int code) {
    switch (code) {
        case kSingleDviInput:
            return "Single DVI Input";
        case kSingleDviOutput:
            return "Single DVI Output";
        case kDualDviInput:
            return "Dual DVI Input";
        case kDualDviOutput:
            return "Dual DVI Output";
        case kHdmiInput:
            return "HDMI Input";
        case kHdmiOutput:
            return "HDMI Output";
        case kSdiInput:
            return "SDI Input";
        case kSdiOutput:
            return "SDI Output";
        case kFiber1Input:
            return "1Fiber Input";
        case kFiber1Output:
            return "1Fiber Output";
        case kFiber2Input:
            return "2Fiber Input";
        case kFiber2Output:
            return "2Fiber Output";
        case kQuadMultiViewer:
            return "Quad Multi Viewer";
        default:
            return "";
    }
}

void RouterState::ClearConnectionTables() {
    for (int n = 0; n < kChannelTableSize; ++n) {
        routedInput[n] = 0;
        outputPlugged[n] = 0;
        inputStatusText[n].clear();
        inputEdidMode[n].clear();
        known.inputSignal[n] = known.outputPlug[n] = known.edidMode[n] = false;
    }
    for (int s = 0; s < kSlotTableSize; ++s) {
        inputCardType[s] = 0;
        outputCardType[s] = 0;
        known.cards[s] = false;
    }
    known.routes = false;
}

bool RouterState::HasSignal(int input) const {
    if (input < 1 || input > kChannelCount)
        return false;
    const std::string& text = inputStatusText[input];
    return !text.empty() && text.find("Signal OFF") == std::string::npos;
}

}  // namespace corvane
