#include "zo_rezive_app.h"

#include <QEventLoop>
#include <QTimer>
#include <memory>

#include "splash_wnd.h"
#include "ui/main/zo_rezive_dlg.h"
#include "ui/skin/skin_files.h"

bool CZoReziveApp::ShowSplash(const std::string& picturePath, int milliseconds) {
    auto splash = std::make_unique<CSplashWnd>(picturePath);
    const bool shown = splash->Create();
    splash->DrawText("Free software for converting video DVDs.", 40, 215, Qt::black);
    splash->DrawText("Version 2.01", 160, 232, QColor(255, 255, 0));
    // The picture keeps painting while we wait, but nothing the user does
    // reaches a window yet.
    QEventLoop wait;
    QTimer::singleShot(milliseconds, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    splash->close();
    return shown;
}

int CZoReziveApp::InitInstance() {
    ShowSplash(FindSkinFile("starup.jpg"));
    CZoReziveDlg dlg;
    if (!dvdPath_.empty())
        QTimer::singleShot(0, &dlg, [&dlg, path = dvdPath_] { dlg.LoadDvdFrom(path); });
    dlg.exec();
    return 0;
}
