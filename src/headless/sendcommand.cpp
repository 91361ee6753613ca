// "tavrin send": a program sent as the window's Send sends it, with its
// progress on standard error.

#include "process/claimedport.h"
#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/link/link.h"
#include "core/programs/charactercheck.h"
#include "core/programs/programqueue.h"
#include "core/ports/qtserialport.h"
#include "core/sending/sendtext.h"
#include "core/log/transferrecorder.h"
#include "core/machines/workshop.h"
#include "headless/commandsupport.h"
#include "process/stopsignals.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace
{
// "[#######.............] 37%": how far the send is, its lines and the
// run-out as one whole, in BarWidth steps.
QString bar(const SendProgress &p)
{
    constexpr int BarWidth = 20;
    const int done = qBound(0, p.percent, 100) * BarWidth / 100;
    return u'[' + QString(done, u'#') + QString(BarWidth - done, u'.') + QStringLiteral("] ") +
           QString::number(p.percent) + u'%';
}

// The send's progress: on a terminal one line redrawn in place, at most
// every RedrawMs; otherwise plain lines, for a log, one at each 10 % (the
// run-out's included) of what the send sends.
class SendReport
{
public:
    static constexpr qint64 RedrawMs = 250;

    explicit SendReport(bool terminal) : m_terminal(terminal) {}

    void show(const SendProgress &p)
    {
        const bool changed = p.wait != m_wait || p.phase != m_phase || p.held != m_held;
        if (m_terminal) {
            const qint64 now = Clock::system().nowNs();
            if (changed || now - m_drawnNs >= RedrawMs * 1'000'000) {
                m_drawnNs = now;
                std::fprintf(stderr, "\r%s %s\033[K", qPrintable(bar(p)),
                             qPrintable(SendText::status(p)));
            }
        } else if (changed) {
            if (p.wait != SendWait::None || p.phase == SendPhase::Stopping ||
                p.phase == SendPhase::Clearing)
                say(SendText::status(p));
            else if (m_wait != SendWait::None)
                say(QStringLiteral("Resumed at ") + SendText::at(p));
            if (p.held)
                say(QStringLiteral("Stopping: the machine is holding the line; a second stop "
                                   "discards what it has not taken"));
        } else if ((p.phase == SendPhase::Lines || p.phase == SendPhase::Clearing) &&
                   p.wait == SendWait::None && p.percent / 10 > m_decade) {
            m_decade = p.percent / 10;
            say(QStringLiteral("%1% %2").arg(m_decade * 10).arg(SendText::status(p)));
        }
        m_wait = p.wait;
        m_phase = p.phase;
        m_held = p.held;
    }

    void end(SendOutcome outcome, const SendProgress &p, const SerialPort &port, const QString &why)
    {
        if (m_terminal) std::fputs("\r\033[K", stderr);
        if (outcome == SendOutcome::Failed)
            fail(StatusPort, SendText::failed(p, why));
        else if (outcome == SendOutcome::PortLost)
            fail(StatusPort, SendText::brokeOff(p, &port));
        else
            say(SendText::ended(outcome, p));
    }

private:
    const bool m_terminal;
    qint64 m_drawnNs = 0;
    SendWait m_wait = SendWait::None;
    SendPhase m_phase = SendPhase::Lines;
    bool m_held = false;
    int m_decade = 0;
};
} // namespace

int runSend(ConfigStore &config, int slot, const QString &path, int fromLine, bool force)
{
    const MachineConfig machine = config.table().at(slot);
    const ProgramFile file = ProgramFile::read(path);
    if (!file.reason.isEmpty())
        return fail(StatusUsage, QStringLiteral("\"%1\" cannot be read: %2").arg(path, file.reason));
    const Program program = Program::fromFile(file.bytes);
    // Before the port is claimed: nothing goes out of a program refused.
    const CharacterCheck::Report found =
        CharacterCheck::check(program, fromLine - 1, machine.characterRule(), machine.tapeCode());
    if (!force && !found.isEmpty())
        return fail(StatusUsage, CharacterCheck::describe(QFileInfo(path).fileName(), found) +
                                     QStringLiteral(". --force sends it anyway."));
    QtPortList ports;
    const std::shared_ptr<ClaimedPort> port = commandPort(config, QStringLiteral("tavrin send"));
    Link link(port, ports, Clock::system());
    TransferRecorder recorder(Clock::system(), folderOf(config));
    recorder.watch(link);
    // Stops that come before the send has started are kept for the loop.
    StopSignals stops;
    SendReport report(onTerminal());
    Transfer t = transferOf({}, machine, Transfer::Direction::Send);
    t.source = ProgramSource::file(QFileInfo(path).absoluteFilePath());
    t.startLine = fromLine - 1;
    SendTransfer *sent = nullptr;
    QObject::connect(&link, &Link::sendStarted, &link, [&](SendTransfer *job) {
        sent = job;
        say(QStringLiteral("Sending %1 to %2 on %3 (%4) from line %5 of %6")
                .arg(t.source.logName(), machine.name(), machine.port(),
                     lineText(*port, machine))
                .arg(fromLine)
                .arg(job->lineCount()));
        QObject::connect(job, &SendTransfer::progressChanged, &link,
                         [&report](const SendProgress &p) { report.show(p); });
    });
    QObject::connect(&link, &Link::sendFinished, &link, [&](SendOutcome outcome) {
        const SendProgress p = sent ? sent->progress() : SendProgress{};
        report.end(outcome, p, *port, sent ? sent->why() : QString());
        quitWith(outcome == SendOutcome::Completed ? StatusDone
                 : outcome == SendOutcome::PortLost || outcome == SendOutcome::Failed
                     ? StatusPort
                     : StatusStopped);
    });
    switch (Workshop::startSend(link, program, t, machine)) {
    case Workshop::SendResult::Started:
        break;
    case Workshop::SendResult::NoPort:
    case Workshop::SendResult::Busy:
        return fail(StatusPort, portRefusal(*port, machine));
    case Workshop::SendResult::NothingAfterPointer:
        return fail(StatusUsage, QStringLiteral("there is nothing to send from line %1 of \"%2\"")
                                     .arg(fromLine)
                                     .arg(path));
    default:
        return fail(StatusUsage, QStringLiteral("\"%1\" holds no program").arg(path));
    }
    // Stop, as in the window: at a whole block; a second one discards what
    // the machine holds back.
    QObject::connect(&stops, &StopSignals::stopRequested, &link, [&link] {
        if (SendTransfer *job = link.job()) job->stop();
    });
    return QCoreApplication::exec();
}
