#pragma once

#include "core/clock.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <functional>

class Pty;

// How a simulated machine tool takes data.
struct SimMachineConfig {
    int bufferSize = 256;
    double bytesPerSecond = 1000; // how fast the control empties the buffer
    int highWater = 192;          // DC3 when the buffer holds this many
    int lowWater = 64;            // DC1 when it has fallen to this many
    bool flowControl = true;      // sends DC3/DC1 at all
};

// A machine tool's serial side: a buffer the control empties steadily, DC3 at
// high water, DC1 at low water. Its transport (the line model or a pty) calls
// receive() and runTo() and carries what toPc sends.
class SimMachine : public QObject
{
    Q_OBJECT
public:
    using Config = SimMachineConfig;
    explicit SimMachine(Clock &clock, Config config = {}, QObject *parent = nullptr);

    Config config;
    QByteArray received;       // every byte that reached the machine, in order
    QList<qsizetype> overruns; // index into `received` of each byte that found the buffer full
    int dc3Sent = 0;

    void receive(char byte, qint64 ns);
    void runTo(qint64 ns);
    // When DC1 is due (the buffer down to low water after a DC3), or -1.
    qint64 lowWaterNs() const;

    std::function<void(const QByteArray &, qint64 ns)> toPc;
    void send(const QByteArray &bytes) { toPc(bytes, m_clock.nowNs()); }
    void attachPty(Pty &pty);

private:
    double levelAt(qint64 ns) const;
    void armLowWater();

    Clock &m_clock;
    Timer *m_lowWater = nullptr;
    double m_level = 0;
    qint64 m_levelNs = 0;
    bool m_xoffSent = false;
};
