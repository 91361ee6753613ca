#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
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

// The serial side of a machine tool: a receive buffer of a given size that
// the control empties at a given rate, DC3 sent back when the buffer reaches
// its high-water mark and DC1 when it falls to its low-water mark, and a
// record of every byte with its arrival time and of every overrun.
//
// Time is given in nanoseconds on the clock of the transport the machine is
// attached to. The buffer empties as a steady flow between arrivals.
//
// Transports: LineModelSerial (tests/support/linemodel.h) drives the model
// itself; attachPty() hooks it to the master side of a pseudo-terminal, where
// bytes arrive as soon as they are written.
class SimMachine : public QObject
{
    Q_OBJECT
public:
    using Config = SimMachineConfig;

    explicit SimMachine(Config config = {}, QObject *parent = nullptr);
    ~SimMachine() override;

    Config config;

    // Record.
    QByteArray received;     // every byte that reached the machine, in order
    QList<qint64> arrivalNs; // arrival time of each byte
    QList<qint64> overrunAt; // index into `received` of every byte that found the buffer full
    int maxLevel = 0;        // highest buffer fill seen
    int dc3Sent = 0;
    int dc1Sent = 0;

    // The machine's side of the model, called by the transport.
    // A byte arrives at time ns.
    void receive(char byte, qint64 ns);
    // Lets the buffer empty up to time ns (DC1 may follow).
    void runTo(qint64 ns);
    // When the buffer will have emptied to the low-water mark with DC3
    // outstanding (DC1 is then due); -1 when nothing is due.
    qint64 lowWaterNs() const;
    // What a byte arriving at `ns` would do: true when it makes the machine
    // send DC3 (used by transports to know when to look again).
    bool wouldSendDc3(qint64 ns) const;
    double levelAt(qint64 ns) const;
    bool xoffOutstanding() const { return m_xoffSent; }

    // Bytes the machine sends to the computer (DC3, DC1, or a start
    // character for the wait modes); `ns` is when they leave the machine.
    std::function<void(const QByteArray &, qint64 ns)> toPc;
    // Sends bytes to the computer now (the transport's clock).
    void send(const QByteArray &bytes);
    std::function<qint64()> clock;

    // Pseudo-terminal transport: takes what the program writes from the
    // master side and writes the machine's answers to it.
    void attachPty(Pty &pty);

    void clearRecord();

private:
    void onPtyReadable();
    void armLowWater();

    double m_level = 0;
    qint64 m_levelNs = 0;
    bool m_xoffSent = false;

    Pty *m_pty = nullptr;
    QElapsedTimer m_ptyClock;
    QTimer m_lowWaterTimer;
};
