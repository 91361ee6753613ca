#pragma once

#include "core/config/machineconfig.h"
#include "core/sending/charpace.h"

#include <QByteArray>
#include <QByteArrayView>

class LinePace;
class SerialPort;

// How a send paces, ends and frames its lines, from the machine's configuration.
struct SendSettings {
    int blockDelayMs = 0;
    QByteArray endOfBlock = "\r\n";
    FlowMode flow = FlowMode::None;
    // Block delay "None": each line follows the last without waiting for a
    // drain or a tick, whole lines at a time, and the port is kept fed.
    bool streams = false;
    // What the machine sends during the send is somebody's (a served
    // machine's control punching): it is not thrown away at the end.
    bool keepInput = false;
    // Written before the first line and after the last line's end of block
    // (before the run-out): what some controls need to start and end a
    // read. Neither counts as the program's bytes nor as a line.
    QByteArray leader;
    QByteArray trailer;
    // A pause of charDelayMs after every charsPerDelay characters, and of
    // handshakeDelayMs before the first after the machine lets the output go.
    int charDelayMs = 0;
    int charsPerDelay = 1;
    int handshakeDelayMs = 0;

    static SendSettings of(const MachineConfig &machine);
    // The send holds its output on the machine's line itself where the
    // port cannot as asked (DTR/DSR; a handshake delay under XON/XOFF or
    // RTS/CTS), so little may wait in the port.
    bool holdsItself() const
    {
        return flow == FlowMode::DtrDsr ||
               (handshakeDelayMs > 0 && (flow == FlowMode::XonXoff || flow == FlowMode::RtsCts));
    }
};

// How a send hands its bytes to the port: one line at a time, its line end
// written as the machine's end of block, or the run-out of NULs. The leader
// goes with the first line it is given and the trailer with the last, as
// parts of those lines: a line begun is finished whole, so the trailer goes
// out exactly when the last line does. It writes in small batches and says
// why it stopped; what follows is the send's to decide.
class SendOutput
{
public:
    enum class Result {
        Done,  // nothing left: the whole line (or run-out) is with the port
        Held,  // the machine's DC3 holds the output until its DC1
        Full,  // the port holds all it may: look again after waitNs()
        Yield, // a batch is written: let the event loop run, then go on
        Lost,  // the port is gone
    };

    // `queueLimit`: where the send obeys DC3 itself, the most that may wait
    // in the port (0: no limit). Streaming, a line goes whole with its end
    // where it may; paced, one character per write.
    SendOutput(SerialPort &port, const LinePace &pace, const SendSettings &settings,
               qint64 queueLimit);

    // `last`: the program's last line, which the trailer follows.
    void startLine(QByteArrayView bytes, bool hasEnd, bool last);
    void startRunOut(qint64 count);
    Result write();
    qint64 waitNs() const { return m_waitNs; }

    // The machine's DC3 and DC1 (or its DSR or CTS), obeyed before every
    // write; let go, the handshake delay runs.
    void hold(bool held);
    bool held() const { return m_held; }
    // Something of the line (or the leader before it) has been written: it
    // must be finished.
    bool begun() const { return m_pos > 0 || m_leadPos > 0; }
    bool runningOut() const { return m_runOut; }
    qint64 runOutLeft() const { return m_runOutLeft; }
    // The program's bytes handed to the port, ends of block as written.
    qint64 bytesSent() const { return m_bytesSent; }

private:
    QByteArray nextPiece(qint64 room) const;
    QByteArray framingPiece(const QByteArray &bytes, qsizetype pos, qint64 room) const;
    bool lineDone() const;
    bool done() const;

    SerialPort &m_port;
    const LinePace &m_pace;
    const QByteArray m_endOfBlock;
    const bool m_streams;
    const qint64 m_queueLimit;
    const QByteArray m_leader;
    const QByteArray m_trailer;

    bool m_held = false;
    QByteArrayView m_line;
    bool m_hasEnd = false;
    CharacterPace m_chars;
    qsizetype m_pos = 0;     // the line's bytes written, +1 once its end is
    qsizetype m_eobPos = 0;  // the end of block's bytes written, given apart
    bool m_started = false;  // a line was given: the leader is due no more
    QByteArray m_lead;       // the leader before this line, or nothing
    QByteArray m_trail;      // the trailer after it, or nothing
    qsizetype m_leadPos = 0;
    qsizetype m_trailPos = 0;
    bool m_runOut = false;   // writing the NULs, not a line
    qint64 m_runOutLeft = 0; // NULs not handed to the port yet
    qint64 m_bytesSent = 0;
    qint64 m_waitNs = 0;
};
