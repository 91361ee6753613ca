// "tavrin receive": one program punched by the machine, written into a file
// exactly as punched.

#include "core/base/atomicfile.h"
#include "process/claimedport.h"
#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/link/link.h"
#include "core/serving/punchassembler.h"
#include "core/ports/qtserialport.h"
#include "core/sending/sendtext.h"
#include "core/log/transferrecorder.h"
#include "headless/commandsupport.h"
#include "process/stopsignals.h"

#include <QCoreApplication>

#include <cstdio>

int runReceive(ConfigStore &config, int slot, const QString &path)
{
    const MachineConfig machine = config.table().at(slot);
    // Told now, not after the machine has punched it all.
    if (const QString why = whyNotWritable(path); !why.isEmpty())
        return fail(StatusUsage, QStringLiteral("\"%1\" cannot be written: %2").arg(path, why));
    QtPortList ports;
    const std::shared_ptr<ClaimedPort> port = commandPort(config, QStringLiteral("tavrin receive"));
    Link link(port, ports, Clock::system());
    if (link.openFor(machine) != PortStatus::Open)
        return fail(StatusPort, portRefusal(*port, machine));
    TransferRecorder recorder(Clock::system(), folderOf(config));
    StopSignals stops;
    // The punch ends as a served machine's does.
    PunchAssembler assembler(Clock::system());
    assembler.setStripByte(machine.stripByte());
    assembler.setEndCode(machine.value(Key::EndCode));
    QObject::connect(&link, &Link::heard, &assembler, &PunchAssembler::feed);
    say(QStringLiteral("Receiving from %1 on %2 (%3) into %4")
            .arg(machine.name(), machine.port(), lineText(*port, machine), path));

    const Transfer t = transferOf({}, machine, Transfer::Direction::Receive);
    const bool terminal = onTerminal();
    // The log line's time and duration run from the punch's first byte.
    qint64 startedNs = -1;
    QObject::connect(&assembler, &PunchAssembler::changed, &assembler, [&] {
        if (assembler.inPunch() && startedNs < 0) startedNs = Clock::system().nowNs();
        if (terminal && assembler.inPunch())
            std::fprintf(stderr, "\rReceiving, %lld bytes\033[K", qint64(assembler.size()));
    });
    // A punch cut short is not a program: it is logged, and nothing is
    // written, so that no half program is ever taken for a whole one.
    SendOutcome ending = SendOutcome::Completed;
    bool done = false;
    QObject::connect(&assembler, &PunchAssembler::punched, &assembler, [&](const QByteArray &punch) {
        if (done) return;
        done = true;
        QObject::disconnect(&link, nullptr, &assembler, nullptr);
        if (terminal) std::fputs("\r\033[K", stderr);
        if (ending != SendOutcome::Completed) {
            recorder.recordPunch(t, punch, {}, {}, ending, startedNs);
            return;
        }
        const QString error = writeFileAtomically(path, punch);
        recorder.recordPunch(t, punch, error.isEmpty() ? path : QString(), error, ending,
                             startedNs);
        if (!error.isEmpty()) {
            quitWith(fail(StatusUsage, QStringLiteral("the punch of %1 bytes could not be "
                                                      "written to \"%2\": %3")
                                           .arg(punch.size())
                                           .arg(path, error)));
            return;
        }
        say(QStringLiteral("Received %1 bytes into %2").arg(punch.size()).arg(path));
        quitWith(StatusDone);
    });
    auto cutShort = [&](SendOutcome outcome, const QString &why) {
        if (done) return;
        ending = outcome;
        const qsizetype arrived = assembler.size();
        assembler.finish();
        if (!done) recorder.recordPunch(t, {}, {}, {}, outcome, startedNs);
        done = true;
        quitWith(fail(outcome == SendOutcome::Stopped ? StatusStopped : StatusPort,
                      QStringLiteral("%1 before the punch ended: nothing was written to \"%2\" "
                                     "(%3 bytes of it had come)")
                          .arg(why, path)
                          .arg(arrived)));
    };
    // A punch too large to take is not written as if it were the program.
    QObject::connect(&assembler, &PunchAssembler::changed, &assembler, [&] {
        if (assembler.overflowing())
            cutShort(SendOutcome::Stopped,
                     QStringLiteral("the punch passed %1 bytes, the most one takes,")
                         .arg(PunchAssembler::MaxBytes));
    });
    QObject::connect(&stops, &StopSignals::stopRequested, &assembler,
                     [&] { cutShort(SendOutcome::Stopped, QStringLiteral("stopped")); });
    QObject::connect(&link, &Link::portLost, &assembler, [&] {
        cutShort(SendOutcome::PortLost,
                 QStringLiteral("the port %1 of machine \"%2\" was lost (%3)")
                     .arg(machine.port(), machine.name(), SendText::lostReason(port.get())));
    });
    return QCoreApplication::exec();
}
