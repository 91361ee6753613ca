#pragma once

#include "core/ports/linesettings.h"
#include "core/config/machineconfig.h"

#include <QByteArray>
#include <QStringList>

// The key named `name` ("MCDRATE").
inline Key keyOf(const QString &name)
{
    for (int k = 0; k < KeyCount; ++k)
        if (MachineConfig::keyName(Key(k)) == name) return Key(k);
    qFatal("no key %s", qPrintable(name));
}

// A machine's stored values "MCDRATE=9600|MCFLOW=1" over those of `m`.
inline MachineConfig machineWith(const QString &values, MachineConfig m = {})
{
    for (const QString &v : values.split(u'|', Qt::SkipEmptyParts))
        m.setValue(keyOf(v.section(u'=', 0, 0)), v.section(u'=', 1));
    return m;
}

inline LineSettings lineSettings(qint32 speed, int dataBits = 8, int stopBits = 1,
                                 Handshake handshake = Handshake::None)
{
    return {speed, dataBits, dataBits == 8 ? Parity::None : Parity::Even, stopBits, handshake};
}

// One machine's section as the program writes it, `values` ("KEY=value",
// "-KEY" to leave a key out) over plain ones, keys beyond those after them;
// a file of such sections is written back byte for byte.
inline QByteArray iniSection(int n, const QStringList &values = {})
{
    QString out = QStringLiteral("[MC%1]\n").arg(n);
    const QString base = "MCNAME=MC " + QString::number(n) +
                         "|MCPORT=ttyFAKE0|MCMODE=AUTO|MCCOMPAR=Unused|MCFOLDER=/cnc|MCFLOW=1|"
                         "MCCRLF=UNUSED|MCBLKTIC=10ms|MCBLKNUL=|MCPREFIX=|MCEXTENS=|MCDRATE=9600|"
                         "MCDBITS=7|MCPARITY=Even|MCSBITS=1|MCEOB=CRLF|MCSOT=|MCEOT=|"
                         "MCTXSTEP=Smooth|MCSTRIPEOB=";
    for (const QString &line : base.split(u'|')) {
        const QString key = line.section(u'=', 0, 0);
        QString text = line;
        for (const QString &v : values)
            if (v == u'-' + key || v.section(u'=', 0, 0) == key) text = v;
        if (!text.startsWith(u'-')) out += text + u'\n';
    }
    for (const QString &v : values)
        if (!v.startsWith(u'-') && !(u'|' + base).contains(u'|' + v.section(u'=', 0, 0) + u'='))
            out += v + u'\n';
    return (out + u'\n').toUtf8();
}

// A whole file: one section per entry, each "KEY=value|KEY=value".
inline QByteArray iniFile(const QStringList &machines)
{
    QByteArray out;
    for (int i = 0; i < machines.size(); ++i)
        out += iniSection(i + 1, machines[i].split(u'|', Qt::SkipEmptyParts));
    return out + '\n';
}
