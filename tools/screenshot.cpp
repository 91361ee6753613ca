// Renders the main window with a few machines and a program loaded, on
// whatever platform Qt is given (offscreen is fine), into a PNG for the
// README. tools/screenshot.sh builds and runs it.

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/machines/workshop.h"
#include "fakeport.h"
#include "machinevalues.h"
#include "ui/mainwindow.h"
#include "ui/platform.h"
#include "ui/queueview.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace
{
bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray program()
{
    QByteArray text = "%\r\nO1042 (FLANGE, OP 1)\r\nG21 G90 G40 G80\r\nT1 M06 (FACE MILL 50)\r\n"
                      "G54 G00 X-30. Y0 S1200 M03\r\nG43 H01 Z5. M08\r\n";
    for (int i = 0; i < 40; ++i)
        text += QByteArray("G01 X") + QByteArray::number(-30 + i * 4) + ". Y" +
                QByteArray::number((i % 2) * 60) + ". F450.\r\n";
    return text + "G00 Z50. M09\r\nM30\r\n%\r\n";
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshot.png");
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("O1042 FLANGE.nc"));
    if (!writeFile(dir.filePath(QStringLiteral("zoZad.ini")),
                   iniFile({"MCNAME=LATHE 1|MCPORT=ttyS0|MCDRATE=9600|MCDBITS=7",
                            "MCNAME=MILL 2|MCPORT=ttyUSB0|MCDRATE=19200|MCBLKTIC=None",
                            "MCNAME=VMC 3|MCPORT=rfc2217://10.0.4.21:4001|MCDRATE=115200",
                            "MCNAME=EDM 4|MCPORT=ttyUSB1|MCDRATE=4800"})) ||
        !writeFile(file, program()))
        return 1;

    FakePort port;
    FakePortList ports{{"ttyS0", "ttyUSB0", "ttyUSB1"}};
    ConfigStore config(dir.path());
    Workshop workshop(config, Workshop::onePort(port), ports, Clock::system());
    QtPlatform platform;
    MainWindow window(workshop, platform);
    if (!window.open()) return 1;
    workshop.select(2);
    workshop.queue(2).add(file);
    window.queueView().load(2, 0);
    // Where it would be in a workshop, not the temporary folder.
    workshop.queue(2).setLoadedName(QStringLiteral("/home/shop/programs/O1042 FLANGE.nc"));
    window.show();
    QTimer::singleShot(300, &app, [&] {
        const bool saved = window.grab().save(out);
        std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(out));
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
