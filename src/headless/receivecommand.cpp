// "tavrin receive": the programs of one transfer punched by the machine,
// written into a file (or a folder, one file each) exactly as punched.

#include "core/base/atomicfile.h"
#include "process/claimedport.h"
#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/link/link.h"
#include "core/serving/punchassembler.h"
#include "core/serving/punchstore.h"
#include "core/ports/qtserialport.h"
#include "core/sending/sendtext.h"
#include "core/log/transferrecorder.h"
#include "headless/commandsupport.h"
#include "process/stopsignals.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace
{
struct Received {
    QByteArray program;
    qint64 startedNs;
};
} // namespace

int runReceive(ConfigStore &config, int slot, const QString &path)
{
    const MachineConfig machine = config.table().at(slot);
    // A folder takes one file per program, named as a served machine's are.
    const bool intoFolder = QFileInfo(path).isDir();
    // Told now, not after the machine has punched it all.
    const QString why = intoFolder ? whyFolderNotWritable(path) : whyNotWritable(path);
    if (!why.isEmpty())
        return fail(StatusUsage, QStringLiteral("\"%1\" cannot be written: %2").arg(path, why));
    QtPortList ports;
    const std::shared_ptr<ClaimedPort> port = commandPort(config, QStringLiteral("tavrin receive"));
    Link link(port, ports, Clock::system());
    if (link.openFor(machine) != PortStatus::Open)
        return fail(StatusPort, portRefusal(*port, machine));
    TransferRecorder recorder(Clock::system(), folderOf(config));
    StopSignals stops;
    // Programs are cut as a served machine's are.
    PunchAssembler assembler(Clock::system());
    assembler.setStripByte(machine.stripByte());
    assembler.setEndCode(machine.value(Key::EndCode));
    QObject::connect(&link, &Link::heard, &assembler, &PunchAssembler::feed);
    link.setListening(true);
    say(QStringLiteral("Receiving from %1 on %2 (%3) into %4")
            .arg(machine.name(), machine.port(), lineText(*port, machine), path));

    const Transfer t = transferOf({}, machine, Transfer::Direction::Receive);
    const bool terminal = onTerminal();
    QList<Received> got;
    qint64 total = 0;
    qint64 leftOut = 0; // not a program, after the first program
    // A log line's time and duration run from its program's first byte.
    qint64 startedNs = -1;
    QObject::connect(&assembler, &PunchAssembler::changed, &assembler, [&] {
        if (assembler.inPunch() && startedNs < 0) startedNs = Clock::system().nowNs();
        if (terminal && assembler.inPunch())
            std::fprintf(stderr, "\rReceiving, %lld bytes\033[K", total + assembler.size());
    });
    QObject::connect(&assembler, &PunchAssembler::punched, &assembler, [&](const QByteArray &p) {
        got.append({p, std::exchange(startedNs, -1)});
        total += p.size();
    });
    // What comes before the first program (a network server's greeting) is
    // only logged; what comes after it is left out of the transfer.
    QObject::connect(&assembler, &PunchAssembler::dropped, &assembler,
                     [&](qint64 bytes, const QByteArray &head) {
                         recorder.recordDropped(t, bytes, head);
                         if (terminal) std::fputs("\r\033[K", stderr);
                         say(QStringLiteral("%1: %2, dropped")
                                 .arg(machine.name(), TransferRecorder::notAProgram(bytes, head)));
                         if (!got.isEmpty()) leftOut += bytes;
                     });
    bool done = false;
    // The transfer ends with silence after a program, or a family's end mark.
    QObject::connect(&assembler, &PunchAssembler::transferEnded, &assembler, [&] {
        if (done || got.isEmpty()) return;
        done = true;
        link.setListening(false);
        QObject::disconnect(&link, nullptr, &assembler, nullptr);
        if (terminal) std::fputs("\r\033[K", stderr);
        QByteArray all;
        for (const Received &r : std::as_const(got)) all += r.program;
        PunchStore store;
        QString error = intoFolder ? QString() : writeFileAtomically(path, all);
        for (const Received &r : std::as_const(got)) {
            const PunchStore::Result saved =
                intoFolder ? store.save(path, machine.value(Key::Extension), r.program)
                           : PunchStore::Result{path, error, {}};
            recorder.recordPunch(t, r.program, saved.error.isEmpty() ? saved.path : QString(),
                                 saved.error, SendOutcome::Completed, r.startedNs);
            if (error.isEmpty()) error = saved.error;
        }
        if (!error.isEmpty())
            return quitWith(fail(StatusUsage, QStringLiteral("the programs received could not all "
                                                             "be written to \"%1\": %2")
                                                  .arg(path, error)));
        say(QStringLiteral("Received %1, %2 bytes into %3")
                .arg(got.size() == 1 ? QStringLiteral("1 program")
                                     : QStringLiteral("%1 programs").arg(got.size()))
                .arg(all.size())
                .arg(path));
        quitWith(leftOut == 0 ? int(StatusDone)
                              : fail(StatusStopped, QStringLiteral("%1 bytes after the first "
                                                                   "program were not a program "
                                                                   "and were left out")
                                                        .arg(leftOut)));
    });
    // Nothing of a transfer cut short is written, so that no half program is
    // ever taken for a whole one.
    auto cutShort = [&](SendOutcome outcome, const QString &why) {
        if (done) return;
        done = true;
        // A transfer begun is cancelled.
        link.setListening(false);
        const qint64 arrived = total + assembler.size();
        recorder.recordPunch(t, {}, {}, {}, outcome, startedNs);
        QObject::disconnect(&assembler, nullptr, &assembler, nullptr);
        quitWith(fail(outcome == SendOutcome::Stopped ? StatusStopped : StatusPort,
                      QStringLiteral("%1 before the punch ended: nothing was written to \"%2\" "
                                     "(%3 bytes of it had come)")
                          .arg(why, path)
                          .arg(arrived)));
    };
    // A program too large to take is not written as if it were the program.
    QObject::connect(&assembler, &PunchAssembler::changed, &assembler, [&] {
        if (assembler.overflowing())
            cutShort(SendOutcome::Stopped,
                     QStringLiteral("the punch passed %1 bytes, the most one takes,")
                         .arg(PunchAssembler::MaxBytes));
    });
    // A protocol's transfer ends the programs it carried, or cuts them short.
    QObject::connect(&link, &Link::heardEnded, &assembler,
                     [&](ProtocolOutcome outcome, const QString &why) {
                         if (outcome == ProtocolOutcome::Completed) return assembler.finish();
                         if (outcome != ProtocolOutcome::PortLost)
                             cutShort(SendOutcome::Stopped, QStringLiteral("the transfer failed (%1)").arg(why));
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
