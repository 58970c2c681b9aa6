// The desktop program: the main window's logic on Qt Widgets.
#include <QApplication>
#include <QIcon>

#include "app/hourgrid.h"
#include "app/settings.h"
#include "main_window.h"
#include "qt_platform.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Hourgrid");
    QCoreApplication::setApplicationName("Hourgrid");
    QGuiApplication::setDesktopFileName("org.example.hourgrid");  // ties the window to the installed menu entry
    uiqt::initResources();
    QApplication::setWindowIcon(QIcon(":/icons/hourgrid.png"));

    app::QtSettingsStore settings;
    uiqt::QtPlatform platform;
    platform.quitOnEnd = true;
    app::Hourgrid form(platform, settings);
    uiqt::MainWindow window(form, platform);

    form.raiseShown();  // Form_Load: shows the window, asks for and opens the Timer file
    if (form.ended() || platform.programEnded()) return 0;
    return app.exec();
}
