#pragma once

// A main window over a temporary configuration folder, for the machine
// panel, context menu and setup dialog tests.

#include "app/frmhalvec.h"
#include "config/module1.h"
#include "fakeplatform.h"
#include "fakeserial.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <memory>

// One machine's section as the program writes it; `values` replaces the
// defaults key by key. Folder and TX step hold what loading makes of them,
// so a file of such sections is written back byte for byte.
inline QByteArray machineSection(int n, const QMap<QString, QString> &values = {})
{
    const QMap<QString, QString> defaults{
        {"MCNAME", QStringLiteral("MC %1").arg(n)},
        {"MCPORT", "ttyFAKE0"},
        {"MCMODE", "AUTO"},
        {"MCCOMPAR", "Unused"},
        {"MCFOLDER", "/cnc/programs"},
        {"MCFLOW", "1"},
        {"MCCRLF", "UNUSED"},
        {"MCBLKTIC", "10ms"},
        {"MCBLKNUL", ""},
        {"MCPREFIX", ""},
        {"MCEXTENS", ""},
        {"MCDRATE", "9600"},
        {"MCDBITS", "7"},
        {"MCPARITY", "Even"},
        {"MCSBITS", "1"},
        {"MCEOB", "CRLF"},
        {"MCSOT", ""},
        {"MCEOT", ""},
        {"MCTXSTEP", "Smooth"},
        {"MCSTRIPEOB", ""},
    };
    QByteArray out = QStringLiteral("[MC%1]\n").arg(n).toUtf8();
    for (int k = 1; k <= McKeyCount; ++k) {
        const QString key = Module1::keyName(k);
        out += (key + QLatin1Char('=') + values.value(key, defaults.value(key))).toUtf8() + '\n';
    }
    return out + '\n';
}

// n default machines named "MC 1" … "MC n", as a whole file.
inline QByteArray machinesFile(int n)
{
    QByteArray out;
    for (int i = 1; i <= n; ++i)
        out += machineSection(i);
    return out + '\n';
}

// A main window over a temporary folder holding `ini` as zoZad.ini, with
// the test's own port (or `serial` in its place, e.g. a real one).
template <typename Port = FakeSerial> struct WindowRig {
    Module1 m;
    FakePlatform p;
    Port s;
    FakePortList ports;
    QTemporaryDir dir;
    std::unique_ptr<frmHalvec> w;

    explicit WindowRig(const QByteArray &ini,
                       QStringList portNames = {QStringLiteral("ttyFAKE0"),
                                                QStringLiteral("ttyFAKE1")},
                       Serial *serial = nullptr, bool show = false)
        : ports(std::move(portNames))
    {
        m.AppPath = dir.path() + QLatin1Char('/');
        QFile f(iniPath());
        if (f.open(QIODevice::WriteOnly)) f.write(ini);
        f.close();
        w = std::make_unique<frmHalvec>(m, p, serial ? *serial : s, ports);
        if (show) w->show();
        w->Event_Open();
    }
    ~WindowRig() { w.reset(); }

    QString iniPath() const { return dir.path() + QStringLiteral("/zoZad.ini"); }
    QByteArray ini() const
    {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

using PanelRig = WindowRig<FakeSerial>;
