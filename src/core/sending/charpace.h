#pragma once

#include <QtGlobal>

#include <optional>

class LinePace;
class SerialPort;

// The pauses a slow control needs within a line, besides the block delay
// between lines: a character delay of `delayMs` after every `perDelay`
// characters, counted from when the last of them has left the port; and a
// handshake delay of `handshakeMs` before the first character after the
// machine lets the output go again (DC1 after DC3, CTS or DSR raised again).
//
// Like the line's own waits, it only says how long to wait before the next
// character; it never writes.
class CharacterPace
{
public:
    CharacterPace(const LinePace &pace, const SerialPort &port, int delayMs, int perDelay,
                  int handshakeMs);

    // Characters must go one at a time, so that the pauses fall between them.
    bool pauses() const { return m_delayNs > 0; }
    // How many characters may go before the next pause (a large number when
    // there are no pauses).
    qint64 room() const;
    // Before the next character: how long to wait first, or nothing.
    std::optional<qint64> waitNs();
    // `count` characters were handed to the port.
    void wrote(qint64 count) { m_count += count; }
    // The machine let the output go again.
    void released();

private:
    const LinePace &m_pace;
    const SerialPort &m_port;
    const qint64 m_delayNs;
    const qint64 m_perDelay;
    const qint64 m_handshakeNs;
    qint64 m_count = 0;       // characters since the last pause
    qint64 m_pauseEnd = -1;   // when the pause running ends; -1: none runs
    qint64 m_releaseEnd = -1; // when the handshake delay ends; -1: none runs
};
