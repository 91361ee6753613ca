#pragma once

#include "core/serving/punchassembler.h"
#include "core/serving/punchstore.h"
#include "sim/simcontrol.h"
#include "sim/simfamily.h"
#include "sim/simlinecode.h"

#include <QObject>
#include <QString>

class Clock;
class SimProtocol;
class SimTransport;
class Timer;

// A machine tool on a serial line, for trying the program without one: its
// control takes what the PC sends (DC3 and DC1 at its marks), saves each
// program it receives and shows each reply, punches files and requests on
// command as its family of controls frames them, and says what happens in
// short lines.
class Simulator : public QObject
{
    Q_OBJECT
public:
    // A program longer than this is saved in pieces of this size.
    static constexpr qsizetype MaxProgram = 64 * 1024 * 1024;
    // A file punched may be at most this long.
    static constexpr qint64 MaxPunch = 64 * 1024 * 1024;
    // Read from the PC at a time.
    static constexpr qsizetype ReadBytes = 64 * 1024;

    Simulator(Clock &clock, SimTransport &transport, const SimControl::Config &config,
              const QString &folder, QObject *parent = nullptr);

    // Runs one command line.
    void command(const QString &line);
    // Saves a program still coming in, as its end would.
    void finish() { m_assembler.finish(); }
    // The family of controls it plays: Fanuc's until told.
    void setFamily(const ControlFamily &family) { m_family = &family; }
    // Parity, or EIA, on the line: ISO with 8 bits until told.
    void setLineCode(const SimLineCode &code) { m_code = code; }
    // Programs move in this protocol's blocks (the simulator owns it); plain until told.
    void setProtocol(SimProtocol *protocol);
    // It takes nothing and answers nothing.
    void setSilent(bool silent) { m_silent = silent; }
    static QString help();

signals:
    void say(const QString &line);
    // What it saw on the line, one event a line.
    void report(const QString &line);
    void quit();

private:
    void fromPc(const QByteArray &bytes);
    void toPc(const QByteArray &bytes, qint64 ns);
    QString save(const QByteArray &program);
    bool protocolCommand(const QString &verb, const QStringList &args, const QString &rest);
    void reportHold(const SimControl::Hold &hold);
    void noteOverrun();
    void punch(const QByteArray &bytes, const QString &what);
    void punchSome();
    void request(const QStringList &args);
    void list(const QStringList &args);
    bool readPunch(const QString &names, QByteArray *bytes);
    QString status() const;

    Clock &m_clock;
    SimTransport &m_transport;
    SimControl m_control;
    PunchAssembler m_assembler;
    PunchStore m_store;
    QString m_folder;
    const ControlFamily *m_family = &ControlFamily::standard();
    qint64 m_overrunSaidNs = -1; // when an overrun was last reported
    bool m_pcHeld = false; // the PC sent DC3 while the control punches
    SimLineCode m_code;
    SimProtocol *m_protocol = nullptr;
    bool m_silent = false, m_silenceSaid = false;
    Timer *m_punchTimer;
    QByteArray m_punch;
    qsizetype m_punched = 0;
    qint64 m_nextByteNs = 0;
};
