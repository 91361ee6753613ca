#pragma once

#include "core/programs/program.h"
#include "core/sending/sendtransfer.h"

class ProtocolTransfer;
class SerialPort;
enum class ProtocolOutcome;

// A send carried by a block protocol's engine, shown as every send is: the
// engine's bytes and lines done become the send's percent and line, its
// wait for the receiver the machine-first wait, its failure the send's
// with the engine's why(). The engine writes to the port and is fed what
// the machine answers; a lost port ends it.
class ProtocolSend : public SendTransfer
{
    Q_OBJECT
public:
    // Takes `engine` (made with the program's bytes from `startLine` on).
    ProtocolSend(SerialPort &port, const Program &program, int startLine, ProtocolTransfer *engine,
                 QObject *parent = nullptr);

    // The program's bytes from `startLine` on, each line end written as
    // `endOfBlock`, and where each line ends in them.
    static QByteArray payload(const Program &program, int startLine, const QByteArray &endOfBlock,
                              QList<qint64> *lineEnds);

    static SendOutcome outcomeOf(ProtocolOutcome outcome);

    void start() override;
    void stop() override;
    void setPaused(bool paused) override;
    bool isPaused() const override { return m_paused; }
    bool isRunning() const override;
    qsizetype feed(const QByteArray &received) override;
    bool waitsForMachine() const override;
    SendProgress progress() const override { return m_progress; }
    const Program &program() const override { return m_program; }
    int currentLine() const override { return m_progress.line - 1; }
    int lineCount() const override { return m_program.lineCount(); }
    qint64 bytesSent() const override;
    int linesSent() const override;
    QString why() const override;

private:
    void update();
    void ended(ProtocolOutcome outcome);

    const Program m_program;
    const int m_startLine;
    ProtocolTransfer *m_engine;
    bool m_paused = false;
    bool m_done = false;
    SendOutcome m_outcome = SendOutcome::Completed;
    SendProgress m_progress;
};
