#pragma once

#include "fakeserial.h"

#include <QByteArray>
#include <QString>
#include <vector>

// How one side of a serial line frames characters.
struct LineFormat {
    int bitsPerSecond = 9600;
    int dataBits = 8;  // 5 to 8
    char parity = 'N'; // 'N', 'E', 'O'
    int stopBits = 1;  // 1 or 2

    // LineFormat::parse(4800, "7E1")
    static LineFormat parse(int bitsPerSecond, const char *format);
    // The settings a Serial has (its codes).
    static LineFormat of(const Serial &port);
    int bitsPerFrame() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    QString toString() const;
    bool operator==(const LineFormat &) const = default;
};

// A serial line at bit level. The sending side puts characters on the line
// as a UART does (start bit 0, data bits least significant first, optional
// parity bit, stop bits 1; the idle line is 1). A receiving side with its
// own speed and format decodes the line as a UART does: it waits for the line
// to go low, checks the start bit in its middle, samples every further bit in
// its middle, and checks the parity bit and the first stop bit. A stop bit
// read as 0 is a framing error; the character is then delivered as `errors`
// says (by default the byte sampled, as most serial drivers do).
//
// The line is a stream: what the receiver has decoded is remembered, and a
// frame that is not wholly on the line yet waits for the next send(). The
// receiver's format can change between calls, as a port's settings change
// while data keeps coming.
class LineSimulator
{
public:
    enum class Errors { Sampled, Nul, Dropped };

    explicit LineSimulator(LineFormat sender = {}) : m_sender(sender) {}

    void setSender(const LineFormat &f) { m_sender = f; }
    LineFormat sender() const { return m_sender; }

    // Sends bytes back to back, after `idleBits` bit times of idle line.
    void send(const QByteArray &bytes, double idleBits = 0);
    // Leaves the line idle for a while (lets a slower receiver finish).
    void idle(double seconds);
    // Every character a receiver set to `rx` decodes from the line sent so
    // far, from where it stopped last time.
    QByteArray receive(const LineFormat &rx);

    // One-shot: what a receiver at `rx` makes of bytes sent at `tx`.
    static QByteArray transfer(const QByteArray &bytes, const LineFormat &tx, const LineFormat &rx,
                               Errors errors = Errors::Sampled);

    Errors errors = Errors::Sampled;
    int framingErrors = 0;
    int parityErrors = 0;

private:
    // Time runs in ticks of 1/Clock s, so that every bit time (and half bit
    // time) of the usual speeds is a whole number of ticks and no sample
    // falls on an edge by rounding.
    static constexpr qint64 Clock = qint64(115200) * 2 * 16 * 11;
    struct Frame {
        qint64 start;
        qint64 bitTicks;
        quint32 bits; // line levels, bit 0 = start bit
        int count;
    };
    static qint64 bitTicks(int bitsPerSecond);
    int level(qint64 t) const;
    // First time >= t at which the line is low; -1 when none before the end.
    qint64 nextLow(qint64 t) const;
    qsizetype frameAt(qint64 t) const;

    LineFormat m_sender;
    std::vector<Frame> m_frames;
    qint64 m_end = 0;    // end of what has been put on the line
    qint64 m_rxTime = 0; // where the receiver goes on hunting for a start bit
};

// The fake port wired to a simulated machine through a LineSimulator: what
// the machine sends is decoded with the settings the port has in force (the
// settings take effect on Open() and Reset(), as on a real port), so every
// change of the port's settings changes how the following bytes arrive.
class LinePort : public FakeSerial
{
    Q_OBJECT
public:
    explicit LinePort(LineFormat machine = {}, QObject *parent = nullptr);

    LineSimulator line;
    // Settings in force on the port now.
    LineFormat inForce() const { return m_inForce; }
    // Every format the port was put in, in order (the first on Open()).
    QList<LineFormat> history;

    // The machine sends bytes, after idleBits bit times of idle line: the
    // port receives what its settings decode. Nothing arrives while the port
    // is closed.
    void machineSends(const QByteArray &bytes, double idleBits = 0);
    // The machine stops sending for a while: a frame the receiver was still
    // sampling completes.
    void machineIdle(double seconds = 0.1);

    bool Open() override;
    void Reset() override;

private:
    void takeSettings();
    LineFormat m_inForce;
};
