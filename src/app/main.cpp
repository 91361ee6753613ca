#include "core/clock.h"
#include "core/configstore.h"
#include "core/link.h"
#include "core/qtserialport.h"
#include "core/workshop.h"
#include "ui/mainwindow.h"
#include "ui/platform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrin"));
    QApplication::setOrganizationName(QStringLiteral("Tavrin"));

    QtSerialPort port;
    port.setObjectName(QStringLiteral("s1"));
    QtPortList ports;
    ConfigStore config(QCoreApplication::applicationDirPath(), ConfigStore::defaultUserFolder());
    Link link(port, ports, Clock::system());
    Workshop workshop(config, link);
    QtPlatform platform;
    MainWindow window(workshop, platform);
    QObject::connect(&window, &MainWindow::quitRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!window.open()) return 1;
    window.show();
    return app.exec();
}
