// discreel: the desktop program. `discreel [DVD]` opens the main window and,
// when given, loads the DVD folder, ISO image or drive.
#include <QApplication>
#include <QFont>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win/qt/qt_message_sink.h"
#include "zo_rezive_app.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("discreel");
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    QApplication::setFont(font);
    if (argc > 2 ||
        (argc == 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")))) {
        std::fprintf(stderr, "usage: discreel [DVD folder, ISO image or drive]\n");
        return argc > 2 ? 2 : 0;
    }
    InstallQtMessageSink();
    CZoReziveApp app(argc == 2 ? std::string(argv[1]) : std::string());
    return app.InitInstance();
}
