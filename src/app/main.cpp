#include "app/frmhalvec.h"
#include "app/platform.h"
#include "config/module1.h"
#include "serial/qtserial.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrin"));
    QApplication::setOrganizationName(QStringLiteral("Tavrin"));

    Module1 module;
    QtPlatform platform;
    QtSerialPortList ports;
    QtSerial s1;
    frmHalvec window(module, platform, s1, ports);
    QObject::connect(&window, &frmHalvec::quitRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!window.Event_Open())
        return 1;
    window.show();
    return app.exec();
}
