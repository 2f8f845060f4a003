#include <QCoreApplication>
#include <cstring>

#include "app/ControlApp.h"

namespace {

bool AsksForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        for (const char* flag : {"-h", "--help", "--help-all", "-v", "--version", "-?"})
            if (std::strcmp(argv[i], flag) == 0)
                return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    corvane::StartOptions options;
    if (AsksForHelpOrVersion(argc, argv)) {
        // These print and end without touching a window system, so they
        // work without a display.
        QCoreApplication text(argc, argv);
        corvane::NameApplication();
        return corvane::ParseStartOptions(text.arguments(), options) ? 0 : 2;
    }
    corvane::ControlApp app(argc, argv);
    // Parsed after Qt has taken its own options (-platform, -style).
    if (!corvane::ParseStartOptions(app.arguments(), options))
        return 2;
    return app.InitInstance(options);
}
