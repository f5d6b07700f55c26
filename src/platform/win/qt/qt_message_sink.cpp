#include "qt_message_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <cstdio>

namespace {
void ShowBox(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}
}  // namespace

MessageSink InstallQtMessageSink() {
    return SetMessageSink([](const std::string& text) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || !qobject_cast<QApplication*>(app)) {
            std::fprintf(stderr, "%s\n", text.c_str());
            return;
        }
        if (QThread::currentThread() == app->thread()) {
            ShowBox(text);
            return;
        }
        // From another thread the box is queued to the GUI thread and the caller
        // goes on: waiting for the user could deadlock a GUI thread that is
        // itself waiting for this thread (stopping a graph joins its threads).
        QMetaObject::invokeMethod(
            app, [text] { ShowBox(text); }, Qt::QueuedConnection);
    });
}
