#pragma once

#include "fakeport.h"

#include <deque>
#include <utility>

class Clock;
class SimMachine;
class Timer;

// A fake port with a line, on any clock: written bytes queue and leave a
// character time apart, the machine's take one back. Under the port's
// XON/XOFF, DC3 stops the line after the character in flight, DC1 restarts
// it, and neither is passed on.
class LineModelPort : public FakePort
{
    Q_OBJECT
public:
    explicit LineModelPort(Clock &clock, QObject *parent = nullptr);

    void attach(SimMachine *machine);
    // When each byte had left the port, in order.
    QList<qint64> sentNs;

    void apply(const LineSettings &settings) override;
    void flush() override;
    bool write(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override;

private:
    qint64 charNs() const { return settings().characterNs(); }
    bool xonInForce() const { return settings().handshake == Handshake::XonXoff; }
    qint64 nextEvent() const;
    void advance();
    void rearm();
    void startNext(qint64 t);
    void fromMachine(const QByteArray &bytes, qint64 ns);

    Clock &m_clock;
    Timer *m_timer;
    SimMachine *m_machine = nullptr;
    bool m_advancing = false;
    QByteArray m_queue; // the driver's; its first byte is on the line when m_busy
    bool m_busy = false;
    qint64 m_doneNs = 0; // when the byte on the line has left
    bool m_stopped = false;
    std::deque<std::pair<qint64, char>> m_rx; // machine to port, by arrival time
    qint64 m_rxFree = 0;
};
