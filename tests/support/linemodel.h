#pragma once

#include "fakeserial.h"

#include <QElapsedTimer>
#include <QTimer>
#include <deque>
#include <utility>

class SimMachine;

// The fake port with a serial line behind it, running in real time. Written
// bytes wait in a driver queue (counted by BytesLeftToSend) and leave one
// character time apart at the speed and format in force (set by Open() and
// Reset(), as on a real port), to reach the attached machine. What the
// machine sends back takes a character time to arrive. With the port's own
// XON/XOFF handshake on, DC3 from the machine stops the line after the
// character in flight and DC1 restarts it; the driver swallows both, as a
// real one does. Without it they arrive like any other byte.
//
// The model is worked out lazily from the clock whenever the port is used,
// and a single timer wakes it only for what the program can notice (a byte
// arriving, the machine deciding to send DC3 or DC1), so an idle line costs
// no CPU.
class LineModelSerial : public FakeSerial
{
    Q_OBJECT
public:
    explicit LineModelSerial(QObject *parent = nullptr);

    // The machine at the far end of the line (may be null: nobody listens).
    void attach(SimMachine *machine);
    qint64 nowNs() const { return m_clock.nsecsElapsed(); }
    // Nanoseconds one character takes with the settings in force.
    qint64 charNs() const { return m_charNs; }
    // Stopped by the machine's DC3 (handshake on).
    bool held() const { return m_stopped; }
    // Raise BytesWritten when the driver queue runs empty (real drivers
    // give no such signal, so this is off by default).
    bool signalEmpty = false;
    // When each byte left the port (went onto the line), in order.
    QList<qint64> sentNs;

    bool Open() override;
    void Close() override;
    void Reset() override;
    void Flush() override;
    bool Write(const QByteArray &bytes) override;
    qint64 BytesLeftToSend() const override;
    qint64 BytesAvailable() const override;
    QByteArray Read(qint64 count) override;
    QByteArray ReadAll() override;

private:
    void takeSettings();
    void advance();
    void rearm();
    void startNext(qint64 t);
    void fromMachine(const QByteArray &bytes, qint64 ns);

    SimMachine *m_machine = nullptr;
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_charNs = 1'041'667; // 9600 8N1
    bool m_xonInForce = false;

    QByteArray m_q; // driver queue; the byte at m_head is on the line when m_busy
    qsizetype m_head = 0;
    bool m_busy = false;
    qint64 m_doneNs = 0; // when the byte on the line has left
    bool m_stopped = false;
    std::deque<std::pair<qint64, char>> m_rxLine; // machine to port, by arrival time
    qint64 m_rxLineFree = 0;
};
