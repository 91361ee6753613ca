#include "sim/simulator.h"

#include "core/base/atomicfile.h"
#include "core/base/clock.h"
#include "core/serving/programrequest.h"
#include "sim/simprotocol.h"
#include "sim/simblockwise.h"
#include "sim/simtransport.h"

#include <QDir>
#include <QFileInfo>

namespace
{
constexpr qint64 kMs = 1'000'000;

bool isDc(char c)
{
    return c >= '\x11' && c <= '\x14';
}

// Lines as an editor counts them: LF ends one (CR where there is no LF), and
// a last line without an end counts too.
qsizetype lineCount(const QByteArray &bytes)
{
    const char end = bytes.contains('\n') ? '\n' : '\r';
    return bytes.count(end) + (!bytes.isEmpty() && !bytes.endsWith(end) ? 1 : 0);
}
} // namespace

Simulator::Simulator(Clock &clock, SimTransport &transport, const SimControl::Config &config,
                     const QString &folder, QObject *parent)
    : QObject(parent), m_clock(clock), m_transport(transport), m_control(clock, config),
      m_assembler(clock, MaxProgram), m_folder(folder),
      m_punchTimer(clock.createTimer(this))
{
    m_control.toPc = [this](const QByteArray &bytes, qint64 ns) { toPc(bytes, ns); };
    m_control.holdDtr = [this](bool low) {
        emit report(!m_transport.setDtrLow(low) ? QStringLiteral("DTR can not be set on this line")
                    : low ? QStringLiteral("buffer at its high mark: DTR low")
                          : QStringLiteral("buffer down to its low mark: DTR high"));
    };
    connect(&m_transport, &SimTransport::received, this, &Simulator::fromPc);
    connect(&m_transport, &SimTransport::message, this, &Simulator::say);
    connect(&m_assembler, &PunchAssembler::punched, this, &Simulator::save);
    connect(&m_control, &SimControl::dc1Sent, this, &Simulator::reportHold);
    connect(&m_control, &SimControl::overrun, this, &Simulator::noteOverrun);
    connect(m_punchTimer, &Timer::timeout, this, &Simulator::punchSome);
    m_transport.setRoom(ReadBytes);
}

void Simulator::setProtocol(SimProtocol *protocol)
{
    m_protocol = protocol;
    protocol->setParent(this);
    protocol->toPc = [this](const QByteArray &bytes) { toPc(bytes, 0); };
    connect(protocol, &SimProtocol::report, this, &Simulator::report);
    connect(protocol, &SimProtocol::received, this, [this](const QByteArray &program, const QString &how) {
        const QString name = save(program);
        if (!name.isEmpty()) emit report(QStringLiteral("received %1, %2").arg(name, how));
    });
}

void Simulator::fromPc(const QByteArray &line)
{
    if (m_silent) {
        if (!std::exchange(m_silenceSaid, true)) emit report(QStringLiteral("silent: the PC's bytes are ignored"));
        return;
    }
    int wrong = 0;
    QByteArray bytes = m_code.fromLine(line, &wrong);
    if (wrong) emit report(QStringLiteral("parity: %1 character(s) with a wrong parity bit").arg(wrong));
    if (m_protocol) return m_protocol->fromPc(bytes);
    int bad = 0;
    if (m_code.eia) bytes = SimLineCode::fromEia(bytes, &bad);
    if (bad) emit report(QStringLiteral("EIA: %1 character(s) with an even number of holes or no meaning, dropped").arg(bad));
    // Each byte reaches the control as it is read. A pseudo-terminal or a
    // socket has no line speed, and it never shows the PC how far behind a
    // line would be, so a line modelled here would only pile up what the PC
    // had no way to hold back. What counts after a DC3 is then what the PC
    // wrote once it had the DC3: exactly what its flow control decides.
    //
    // The PC's DC3 and DC1 hold and free the control's punch; like the
    // other device control codes, they are no part of a program. Leader
    // and run-out (NUL) are passed over as a tape reader skips blank tape:
    // they never take room in the buffer.
    const qint64 now = m_clock.nowNs();
    QByteArray kept;
    for (const char c : bytes) {
        if (c == '\x13' || c == '\x11') m_pcHeld = c == '\x13';
        if (c != '\0' && !isDc(c) && m_control.receive(c, now)) kept += c;
    }
    if (!kept.isEmpty()) m_assembler.feed(kept);
}

void Simulator::toPc(const QByteArray &bytes, qint64)
{
    if (!m_transport.write(m_code.toLine(bytes))) emit say(QStringLiteral("Warning: the PC takes nothing: bytes not sent."));
}

QString Simulator::save(const QByteArray &program)
{
    // A reply is shown, as a control shows a message: never kept as a program.
    if (const QList<QByteArray> reply = replyLines(program); !reply.isEmpty()) {
        for (const QByteArray &text : reply)
            emit say(QStringLiteral("Reply: %1").arg(QString::fromLatin1(text)));
        return {};
    }
    const PunchStore::Result r = m_store.save(m_folder, QStringLiteral("nc"), program);
    const QString name = QDir(m_folder).relativeFilePath(r.path);
    const QString piece = program.size() >= MaxProgram
                              ? QStringLiteral(" (the first part of a longer program; the rest follows)")
                              : QString();
    if (r.error.isEmpty())
        emit say(QStringLiteral("Received %1: %2 lines, %3 bytes%4")
                     .arg(name)
                     .arg(lineCount(program))
                     .arg(program.size())
                     .arg(piece));
    else
        emit say(QStringLiteral("Could not save %1: %2").arg(name, r.error));
    return r.error.isEmpty() ? name : QString();
}

void Simulator::reportHold(const SimControl::Hold &hold)
{
    emit say(QStringLiteral("DC3 at %1 bytes in the buffer; %2 arrived after it (limit %3)")
                 .arg(hold.levelAtDc3)
                 .arg(hold.afterDc3 == 1 ? QStringLiteral("1 character")
                                         : QStringLiteral("%1 characters").arg(hold.afterDc3))
                 .arg(SimControl::AfterDc3Limit));
    if (hold.afterDc3 > SimControl::AfterDc3Limit)
        emit say(QStringLiteral("Warning: the PC went on too long after DC3; a real control may "
                                "lose data or stop with an alarm."));
}

// At most once a second: a PC that ignores the control loses bytes all along.
void Simulator::noteOverrun()
{
    const qint64 now = m_clock.nowNs();
    if (m_overrunSaidNs >= 0 && now - m_overrunSaidNs < 1000 * kMs) return;
    m_overrunSaidNs = now;
    emit say(QStringLiteral("Warning: overrun: the buffer was full and bytes were lost (%1 so far).")
                 .arg(m_control.overruns()));
}

void Simulator::punch(const QByteArray &bytes, const QString &what)
{
    if (!m_punch.isEmpty() && m_punched < m_punch.size()) {
        emit say(QStringLiteral("Still punching; try again when it is done."));
        return;
    }
    QByteArray missing;
    m_punch = m_code.eia ? SimLineCode::toEia(bytes, &missing) : bytes;
    if (!missing.isEmpty()) {
        m_punch.clear();
        emit say(QStringLiteral("Cannot punch %1 in EIA: no EIA code for \"%2\".").arg(what, QString::fromLatin1(missing)));
        return;
    }
    m_punched = 0;
    m_nextByteNs = m_clock.nowNs();
    emit say(QStringLiteral("Punching %1: %2 bytes.").arg(what).arg(m_punch.size()));
    punchSome();
}

// Paced as the line carries it, one character time apart.
void Simulator::punchSome()
{
    const qint64 now = m_clock.nowNs(), charNs = m_transport.characterNs();
    if (m_pcHeld) {
        m_nextByteNs = now + charNs;
    } else if (now >= m_nextByteNs) {
        const qsizetype n = qMin<qsizetype>((now - m_nextByteNs) / charNs + 1, m_punch.size() - m_punched);
        m_control.send(m_punch.sliced(m_punched, n));
        m_punched += n;
        m_nextByteNs += n * charNs;
    }
    if (m_punched < m_punch.size())
        m_punchTimer->startNs(qMax(m_nextByteNs - now, 10 * kMs));
    else
        emit say(QStringLiteral("Punched %1 bytes.").arg(m_punch.size()));
}

void Simulator::request(const QStringList &args)
{
    QByteArray ask = "SEND " + args.value(1).toLatin1();
    if (args.size() > 2) // the block, with or without its N
        ask += (args[2].startsWith('N', Qt::CaseInsensitive) ? " " : " N") + args[2].toLatin1();
    // As the PC reads it: a name, then at most a block number.
    if (args.size() < 2 || args.size() > 3 || !ProgramRequest::parse("%\n(" + ask + ")\n%\n")) {
        emit say(QStringLiteral("Usage: request NAME [BLOCK], e.g. request O1234 or request O1234 N2310"));
        return;
    }
    punch(m_family->requestFor(ask), QStringLiteral("a request for %1").arg(args[1]));
}

void Simulator::list(const QStringList &args)
{
    const QByteArray pattern = args.value(1).toLatin1();
    if (args.size() > 2 || (args.size() == 2 && !isSafeProgramName(pattern))) {
        emit say(QStringLiteral("Usage: list [PATTERN], e.g. list O1*"));
        return;
    }
    punch(m_family->requestFor(pattern.isEmpty() ? "LIST" : "LIST " + pattern),
          QStringLiteral("a request for the list"));
}

// The files named, as the control punches them in one transfer after
// `bytes`; false, and said why, when one of them cannot be read.
bool Simulator::readPunch(const QString &names, QByteArray *bytes)
{
    QStringList paths{names}; // a name with blanks, or several
    if (!QFileInfo::exists(names)) paths = names.split(' ', Qt::SkipEmptyParts);
    for (const QString &path : paths) {
        QByteArray file;
        QString why = readRegularFile(path, &file, MaxPunch);
        if (why.isEmpty()) *bytes += m_family->punched(path, file);
        if (why.isEmpty() && bytes->size() > MaxPunch)
            why = QStringLiteral("the files are larger than %1 MB together").arg(MaxPunch >> 20);
        if (!why.isEmpty()) {
            emit say(QStringLiteral("Cannot punch %1: %2").arg(path, why));
            return false;
        }
    }
    *bytes += m_family->transferEnd(*bytes);
    return true;
}

QString Simulator::status() const
{
    return QStringLiteral("Buffer %1 of %2 bytes%3; %4 bytes received, %5 DC3 sent, %6 lost to overruns")
        .arg(m_control.level())
        .arg(m_control.config.bufferSize)
        .arg(m_control.holding() ? QStringLiteral(" (DC3 sent)") : QString())
        .arg(m_control.received())
        .arg(m_control.dc3Sent())
        .arg(m_control.overruns());
}

void Simulator::command(const QString &line)
{
    const QStringList args = line.split(' ', Qt::SkipEmptyParts);
    const QString verb = args.value(0).toLower();
    if (verb.isEmpty()) return;
    const QString rest = line.trimmed().mid(verb.size()).trimmed();
    if (m_protocol && protocolCommand(verb, args, rest)) return;
    if (verb == "quit" || verb == "exit") {
        emit quit();
    } else if (verb == "help") {
        emit say(help());
    } else if (verb == "status") {
        emit say(status());
    } else if (verb == "request") {
        request(args);
    } else if (verb == "list") {
        list(args);
    } else if ((verb == "punch" || verb == "compare") && args.size() >= 2) {
        const QString &names = rest;
        const bool compare = verb == "compare";
        QByteArray bytes = compare ? m_family->requestFor("COMPARE") : QByteArray();
        if (readPunch(names, &bytes))
            punch(bytes, compare ? QStringLiteral("a comparison with %1").arg(names) : names);
    } else {
        emit say(QStringLiteral("Unknown command; type help for the list."));
    }
}

// Punch, request and directory in the protocol's blocks; true when taken.
bool Simulator::protocolCommand(const QString &verb, const QStringList &args, const QString &rest)
{
    auto *blockwise = qobject_cast<SimBlockwise *>(m_protocol);
    if (verb == "punch" && !rest.isEmpty()) {
        QByteArray bytes;
        const QString why = readRegularFile(rest, &bytes, SimProtocol::MaxProgram);
        if (!why.isEmpty()) emit say(QStringLiteral("Cannot punch %1: %2").arg(rest, why));
        else if (m_protocol->send(rest, bytes)) emit say(QStringLiteral("Punching %1: %2 bytes.").arg(rest).arg(bytes.size()));
    } else if (blockwise && verb == "request" && args.size() == 2) {
        blockwise->request(args[1]);
    } else if (blockwise && verb == "dir" && args.size() <= 2) {
        const QString pattern = args.value(1, QStringLiteral("*"));
        if (pattern.contains('*')) blockwise->directory(pattern);
        else emit say(QStringLiteral("Usage: dir [PATTERN], e.g. dir * or dir 1*"));
    } else if (verb == "request" || verb == "list" || verb == "compare" || verb == "dir") {
        emit say(QStringLiteral("Not in this protocol: it moves programs with punch%1.")
                     .arg(blockwise ? QStringLiteral(", request NAME and dir") : QString()));
    } else {
        return false;
    }
    return true;
}

QString Simulator::help()
{
    return QStringLiteral(
        "Commands:\n"
        "  punch FILE [FILE...]    send the files to the PC as the control punches them\n"
        "  request NAME [BLOCK]    ask the PC for program NAME (from block BLOCK)\n"
        "  list [PATTERN]          ask the PC which programs it has (e.g. list O1*)\n"
        "  compare FILE            ask the PC whether its copy of FILE is the same\n"
        "  dir [PATTERN]           blockwise: ask the PC for its directory\n"
        "  status                  buffer level, bytes received, DC3 sent\n"
        "  help                    this list\n"
        "  quit                    end (so do Ctrl+D and Ctrl+C)");
}
