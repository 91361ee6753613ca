#pragma once

// A main window with one machine on a test port, for the reception tests.

#include "app/bytetext.h"
#include "app/frmhalvec.h"
#include "config/module1.h"
#include "fakeplatform.h"
#include "fakeserial.h"
#include "panel_fixture.h"
#include "receive/receivehandler.h"
#include "rxedit/rxedit.h"

#include <QFile>
#include <QMap>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>
#include <memory>

// One machine's section of zoZad.ini; `values` overrides the defaults.
inline QByteArray rxMachineSection(int n, const QMap<QString, QString> &values = {})
{
    QMap<QString, QString> v{{"MCNAME", QStringLiteral("Mill %1").arg(n)},
                             {"MCPORT", "ttyFAKE0"},
                             {"MCFLOW", "1"},
                             {"MCBLKTIC", "0"},
                             {"MCDRATE", "9600"},
                             {"MCDBITS", "8"},
                             {"MCPARITY", "None"},
                             {"MCSBITS", "1"},
                             {"MCEOB", "CRLF"},
                             {"MCSTRIPEOB", ""}};
    for (auto it = values.begin(); it != values.end(); ++it)
        v[it.key()] = it.value();
    QByteArray out = QStringLiteral("[MC%1]\r\n").arg(n).toLatin1();
    for (int k = 1; k <= McKeyCount; ++k) {
        const QString key = Module1::keyName(k);
        out += (key + QLatin1Char('=') + v.value(key)).toLatin1() + "\r\n";
    }
    return out;
}

// Every byte value from `from` to 255 except CR and LF, in order.
inline QByteArray bytesButLineEnds(int from)
{
    QByteArray out;
    for (int c = from; c < 256; ++c)
        if (c != '\r' && c != '\n') out += char(c);
    return out;
}

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

template <typename Port = FakeSerial> struct RxRig : WindowRig<Port> {
    using Base = WindowRig<Port>;
    using Base::w;

    explicit RxRig(const QMap<QString, QString> &machine = {}, QString portName = "ttyFAKE0")
        : Base(iniOf(machine, portName), {portName}, nullptr, true)
    {
    }
    static QByteArray iniOf(QMap<QString, QString> values, const QString &portName)
    {
        values.insert("MCPORT", portName);
        return rxMachineSection(1, values);
    }

    QByteArray iniBytes() const { return fileBytes(this->iniPath()); }
    rxedit *rx() { return w->rxEdit(false); }
    // The received text as it would be saved (line ends as CR LF).
    QByteArray text() { return rx() ? rx()->textBytes() : QByteArray("<no window>"); }
    void startReceiving() { w->mnuReceive->click(); }
};
