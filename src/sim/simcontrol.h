#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>

class Clock;
class Timer;

// How a machine tool's control takes data from the serial line.
struct SimControlConfig {
    int bufferSize = 256;
    double bytesPerSecond = 100; // how fast the control empties the buffer
    int dc3At = 192;             // DC3 when the buffer holds this many
    int dc1At = 64;              // DC1 when it has fallen to this many
    bool flow = true;            // sends DC3/DC1 at all
    bool dtr = false;            // drops DTR at the high mark instead of sending DC3
};

// A machine tool's control as the line sees it: a buffer the control empties
// steadily, DC3 at the high mark, DC1 at the low mark (on the clock's timer).
// It keeps counts, never the bytes: its transport hands it each byte with the
// time it arrived, and carries what toPc sends.
//
// A real control allows the PC a few characters after its DC3 (the PC's
// driver may have one in flight), so it counts those that still arrive until
// its DC1, and reports the count with each DC1.
class SimControl : public QObject
{
    Q_OBJECT
public:
    using Config = SimControlConfig;
    // What a control tolerates after its DC3.
    static constexpr int AfterDc3Limit = 10;
    // A DC3 and what followed it until the DC1 that ended it.
    struct Hold {
        int levelAtDc3 = 0;   // bytes in the buffer when it sent DC3
        qint64 afterDc3 = 0;  // characters that arrived after it
    };

    explicit SimControl(Clock &clock, Config c = {}, QObject *parent = nullptr);

    Config config;
    // Carries bytes to the PC; `ns` is when they leave (DC1 at its due time).
    std::function<void(const QByteArray &, qint64 ns)> toPc;
    // With `dtr`: DTR low (true) at the high mark, high again at the low mark.
    std::function<void(bool low)> holdDtr;

    // A byte reached the control at `ns`: false when it found the buffer full
    // and was lost.
    bool receive(char byte, qint64 ns);
    // Sends bytes to the PC now.
    void send(const QByteArray &bytes);
    // From now on the control empties the buffer at this rate.
    void setBytesPerSecond(double rate);

    int level() const;
    bool holding() const { return m_xoffSent; }
    qint64 received() const { return m_received; }
    qint64 overruns() const { return m_overruns; }
    int dc3Sent() const { return m_dc3Sent; }

signals:
    void dc1Sent(const SimControl::Hold &hold);
    void overrun();

private:
    double levelAt(qint64 ns) const;
    qint64 lowMarkNs() const;
    void runTo(qint64 ns);
    // DC3 (hold) or DC1, or DTR low or high.
    void mark(bool hold, qint64 ns);

    Clock &m_clock;
    Timer *m_lowMark;
    double m_level = 0;
    qint64 m_levelNs = 0;
    bool m_xoffSent = false;
    qint64 m_dc3Ns = 0;
    Hold m_hold;
    qint64 m_received = 0;
    qint64 m_overruns = 0;
    int m_dc3Sent = 0;
};
