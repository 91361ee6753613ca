#pragma once

#include "core/ports/linesettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class SerialPort;

// What Port Scan has found so far. The data format is withdrawn (with the
// speed, when misframed) as soon as what is read contradicts it.
struct ScanFindings {
    bool data = false; // a character was accepted (the "RTS/CTS" box)
    bool speed = false;
    bool dataBits = false;
    bool parity = false;
    bool complete() const { return data && speed && dataBits && parity; }
    bool operator==(const ScanFindings &) const = default;
};

// Port Scan: works out a machine's speed and data format from what it sends.
//
// Every byte from code 8 up is shown and scored: plausible ones lower an
// error score, others raise it. Plausible are line ends, space, digits,
// upper-case letters and the punctuation between them (top bit cleared),
// with a top bit that fits 7-bit text or 7 data bits with the parity (even
// or odd) that has fitted best so far.
// 200 rejects the speed being tried and the next one down is tried (9600,
// 4800, 2400, 1200, 600, then 9600 again); 0 accepts it, unless the text as
// a whole fits none of the formats (misframed). After that, more than 50
// bytes with the top bit set switch to 7 data bits with even parity if
// nearly every top bit is the even parity of the rest, with odd parity if it
// is the odd one, and reject the speed otherwise.
// Each change of settings discards what was received under the old ones.
class PortScan : public QObject
{
    Q_OBJECT
public:
    static constexpr int StartScore = 100;
    static constexpr int RejectScore = 200;
    static constexpr int TopBitLimit = 50;

    explicit PortScan(SerialPort &port, QObject *parent = nullptr);

    // Starts over at 9600 bit/s, 8 data bits, no parity, one stop bit.
    void start();
    void feed(const QByteArray &bytes);

    ScanFindings findings() const { return m_found; }
    // The speed being tried, in bit/s.
    qint32 speedTried() const { return m_speed; }
    static bool plausible(quint8 c);

signals:
    // Bytes as received, to be shown.
    void shown(const QByteArray &bytes);
    // The settings now tried, as the panel's caption shows them: "4800,n,8,1".
    void settingsTried(const QString &caption);
    void findingsChanged(const ScanFindings &findings);

private:
    enum class Change { None, NextSpeed, SevenEven, SevenOdd };
    Change score(quint8 c);
    void change(Change what);

    SerialPort &m_port;
    qint32 m_speed = 9600;
    bool m_gotSpeed = false;
    int m_error = StartScore;
    int m_topBits = 0; // top bits set since the speed was found
    // Since the settings last changed: bytes scored, and those contradicting
    // 8-bit CNC text (top bit set), 7 data bits with even parity, or with odd.
    int m_chars = 0;
    int m_topSet = 0;
    int m_notEven = 0;
    int m_notOdd = 0;
    ScanFindings m_found;
};
