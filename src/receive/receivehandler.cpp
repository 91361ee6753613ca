#include "receive/receivehandler.h"

#include "app/bytetext.h"
#include "app/frmhalvec.h"
#include "config/module1.h"
#include "receive/portscan.h"
#include "rxedit/rxedit.h"
#include "serial/serial.h"
#include "transmit/sendengine.h"

#include <QPlainTextEdit>
#include <QToolButton>

ReceiveHandler::ReceiveHandler(frmHalvec &win) : QObject(&win), w(win)
{
    m_show.setSingleShot(true);
    m_show.setInterval(ShowEveryMs);
    connect(&m_show, &QTimer::timeout, this, [this] { showPending(false); });
    m_scanPoll.setInterval(ScanPollMs);
    connect(&m_scanPoll, &QTimer::timeout, this, &ReceiveHandler::scanPoll);

    connect(&w.s1, &Serial::DataAvailable, this, &ReceiveHandler::s1_DataAvailable);
    connect(w.tmrRX_Timeout, &QTimer::timeout, this, [this] {
        tmrRX_Timeout_Action();
        silenceTick();
    });
    connect(w.mnuReceive, &QToolButton::clicked, this, &ReceiveHandler::mnuReceive_Action);
}

void ReceiveHandler::mnuReceive_Action()
{
    w.m.PortState = 2;
    w.m.AutoScanning = false;
    w.showRxEdit(false);
}

void ReceiveHandler::tmrRX_Timeout_Action()
{
    ++w.m.Counter_RX_Timeout;
}

void ReceiveHandler::PlaceSelStartAtEndOfBuffer()
{
    if (rxedit *rx = w.rxEdit(false)) rx->txtFile->moveCursor(QTextCursor::End);
}

void ReceiveHandler::s1_DataAvailable()
{
    // A step hands bytes to other parts of the program; should one of them
    // make the port signal again synchronously, the running step reads those
    // bytes itself.
    if (m_inStep) return;
    w.m.InRXHandler = true;
    step();
}

void ReceiveHandler::step()
{
    m_inStep = true;
    if (w.m.AutoScanning) {
        // Auto_RX_Data reads everything waiting; it is called again only
        // while it makes progress, so a port that claims bytes it cannot
        // deliver cannot hold the program in this loop.
        qint64 before = w.s1.BytesAvailable();
        const bool received = before > 0;
        while (before > 0 && w.m.AutoScanning) {
            w.portScan->Auto_RX_Data();
            const qint64 after = w.s1.BytesAvailable();
            if (after >= before) break;
            before = after;
        }
        w.tmrRX_Timeout->stop();
        if (received) {
            // After data, up to ten polls for more before the run ends.
            m_scanPolls = 0;
            m_scanPoll.start();
        } else if (!m_scanPoll.isActive()) {
            m_inStep = false;
            endRun();
            return;
        }
    } else {
        readForState();
        m_scanPoll.stop();
        w.m.Counter_RX_Timeout = 0;
        w.tmrRX_Timeout->start();
    }
    m_inStep = false;
}

void ReceiveHandler::readForState()
{
    while (w.s1.BytesAvailable() > 0) {
        switch (w.m.PortState) {
        case 1: {
            const QByteArray b = w.s1.Read(1);
            if (b.isEmpty()) return;
            toEngine(b);
            break;
        }
        case 2: {
            const QByteArray bytes = w.s1.ReadAll();
            if (bytes.isEmpty()) return;
            // A send running while the user receives still needs the
            // machine's XON/XOFF, or it would overrun the machine.
            if (w.engine->isRunning()) toEngine(bytes);
            toRxEdit(bytes);
            break;
        }
        default:
            w.s1.ReadAll();
            break;
        }
    }
}

void ReceiveHandler::toEngine(const QByteArray &bytes)
{
    for (char c : bytes) {
        w.m.LastRxChar = QByteArray(1, c);
        w.engine->rxCharArrived();
    }
}

QChar ReceiveHandler::stripChar() const
{
    const int code = Module1::leadingNumber(w.m.mc(w.m.SelectedMC, MCSTRIPEOB));
    return (code >= 0 && code <= 255) ? QChar(code) : QChar(0);
}

void ReceiveHandler::toRxEdit(QByteArray bytes)
{
    rxedit *rx = w.rxEdit(false);
    if (m_pendingFor != rx) {
        // Text held for a window that has gone belongs to nobody.
        m_pending.clear();
        m_pendingFor = rx;
    }
    if (!rx) return;
    const char strip = char(stripChar().unicode());
    bytes.removeIf([strip](char c) { return c == strip; });
    m_pending += bytesToText(bytes);
    if (!m_pending.isEmpty() && !m_show.isActive()) m_show.start();
}

void ReceiveHandler::showPending(bool all)
{
    m_show.stop();
    if (!m_pendingFor) {
        m_pending.clear();
        return;
    }
    qsizetype n = m_pending.size();
    if (!all) {
        while (n > 0 && m_pending.at(n - 1).unicode() <= 13)
            --n;
    }
    if (n == 0) return;
    m_pendingFor->appendReceived(m_pending.left(n));
    m_pending.remove(0, n);
}

void ReceiveHandler::dropPending()
{
    m_show.stop();
    m_pending.clear();
}

void ReceiveHandler::silenceTick()
{
    if (w.s1.BytesAvailable() > 0) {
        // Data the port did not signal (or signalled while a step ran).
        s1_DataAvailable();
        return;
    }
    if (w.m.Counter_RX_Timeout >= SilenceTicks) endRun();
}

void ReceiveHandler::scanPoll()
{
    if (w.s1.BytesAvailable() > 0) {
        s1_DataAvailable();
        return;
    }
    if (++m_scanPolls >= ScanPolls) endRun();
}

void ReceiveHandler::endRun()
{
    w.tmrRX_Timeout->stop();
    m_scanPoll.stop();
    // The end of a burst: what was held back (a final line end) goes in now.
    showPending(true);
    m_pending.clear();
    w.m.InRXHandler = false;
    emit runEnded();
}
