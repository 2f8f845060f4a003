#include "app/ControlApp.h"

int main(int argc, char** argv) {
    corvane::ControlApp app(argc, argv);
    return app.InitInstance();
}
