#pragma once

// A main window with machines, a port of the test's choosing and helpers to
// load a program and run a send, for the transmission tests.

#include "app/canvas.h"
#include "app/frmhalvec.h"
#include "config/module1.h"
#include "fakeplatform.h"
#include "fakeserial.h"
#include "panel_fixture.h"
#include "transmit/codewindows.h"
#include "transmit/sendengine.h"
#include "transmit/transmitcontrol.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

constexpr char kDC1 = 17;
constexpr char kDC3 = 19;

inline QByteArray nuls(int n = SendEngine::RunOutBytes)
{
    return QByteArray(n, '\0');
}

template <typename Port> struct SendRig : WindowRig<Port> {
    using Base = WindowRig<Port>;
    using Base::dir;
    using Base::m;
    using Base::w;

    // Machines from `sections` (values per machine, over the defaults of
    // machineSection); machine 1 is selected and its port opened.
    explicit SendRig(const QList<QMap<QString, QString>> &sections,
                     QStringList portNames = {QStringLiteral("ttyFAKE0"),
                                              QStringLiteral("ttyFAKE1")})
        : Base(iniOf(sections), std::move(portNames), nullptr, true)
    {
    }
    static QByteArray iniOf(const QList<QMap<QString, QString>> &sections)
    {
        QByteArray ini;
        for (int i = 0; i < sections.size(); ++i)
            ini += machineSection(i + 1, sections[i]);
        return ini;
    }

    QPlainTextEdit *edit(int mc = 1) const { return w->txBuffer[mc]; }

    // Loads a program into machine mc's code window with the caret and the
    // pointer at its first line.
    void load(const QByteArray &bytes, int mc = 1)
    {
        w->codeWindows->setProgram(mc, bytes);
        caretTo(0, mc);
    }
    // Puts the caret at `pos` and the pointer beside its line, as a click
    // in the code window does.
    void caretTo(int pos, int mc = 1)
    {
        QTextCursor c = edit(mc)->textCursor();
        c.setPosition(pos);
        edit(mc)->setTextCursor(c);
    }

    // Presses Send and waits for the send to end.
    bool send(int timeoutMs = 10000)
    {
        w->transmit->cmdTX_Action();
        return waitFinished(timeoutMs);
    }
    bool waitFinished(int timeoutMs = 10000)
    {
        if (!w->engine->isRunning()) return true;
        QSignalSpy done(w->engine, &SendEngine::finished);
        return done.wait(timeoutMs);
    }
    // No send runs and the window shows it: Send back, Stop gone, port idle.
    bool idle() const
    {
        return !w->engine->isRunning() && w->cmdTX->isVisible() && !w->cmdStop->isVisible() &&
               m.PortState == 0;
    }
    // Writes `bytes` to the file `name` in the temporary folder.
    QString file(const QString &name, const QByteArray &bytes) const
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
        return path;
    }
    // What the receive handler does with a byte the machine sends mid-send.
    void rx(char c)
    {
        m.LastRxChar = QByteArray(1, c);
        w->engine->rxCharArrived();
    }
};

// One machine with these values over the defaults.
inline QList<QMap<QString, QString>> oneMachine(const QMap<QString, QString> &values)
{
    return {values};
}
// One machine sending without block delay.
inline QList<QMap<QString, QString>> fastMachine(const QString &eob = QStringLiteral("CR"),
                                                 const QString &flow = QStringLiteral("0"))
{
    return {{{"MCEOB", eob}, {"MCFLOW", flow}, {"MCBLKTIC", "Fast"}}};
}
