#include "sim/simblockwise.h"

#include "core/base/clock.h"

#include <QFileInfo>

namespace
{
constexpr char Soh = '\x01', Stx = '\x02', Etx = '\x03', Eot = '\x04', Ack = '\x06', Nak = '\x15',
               Etb = '\x17';

// A program in plain language begins "0 BEGIN PGM".
bool plainLanguage(const QByteArray &bytes)
{
    const QByteArray first = bytes.left(bytes.indexOf('\n')).simplified();
    const qsizetype blank = first.indexOf(' ');
    bool number = false;
    first.left(blank).toInt(&number);
    return number && first.mid(blank + 1).startsWith("BEGIN PGM ");
}

QString shown(const QByteArray &text)
{
    QByteArray out = text;
    for (char &c : out)
        if (uchar(c) < 0x20 || uchar(c) > 0x7e) c = '?';
    return QString::fromLatin1(out);
}
} // namespace

SimBlockwise::SimBlockwise(Clock &clock, const SimFaults &faults, QObject *parent)
    : SimProtocol(clock, faults, parent)
{
    connect(m_timer, &Timer::timeout, this, &SimBlockwise::timedOut);
}

char SimBlockwise::bcc(QByteArrayView from)
{
    char x = 0;
    for (const char c : from)
        x ^= c;
    return x;
}

QByteArray SimBlockwise::frame(char start, const QByteArray &text)
{
    const QByteArray f = start + text + Etb;
    return f + bcc(f);
}

void SimBlockwise::fromPc(const QByteArray &bytes)
{
    for (const char c : bytes)
        take(c);
}

void SimBlockwise::take(char c)
{
    if (m_bccNext) {
        m_inFrame = m_bccNext = false;
        return frameDone(std::exchange(m_frame, {}) + c);
    }
    if (m_inFrame) {
        if (m_frame.size() >= MaxBlock) {
            m_inFrame = false;
            m_frame.clear();
            return repeat(QStringLiteral("block %1: longer than %2 bytes, NAK")
                              .arg(m_block + 1)
                              .arg(MaxBlock));
        }
        m_frame += c;
        m_bccNext = c == Etb;
        return m_timer->start(ByteMs);
    }
    if (c == Soh || c == Stx) {
        m_inFrame = true;
        m_frame = QByteArray(1, c);
        return m_timer->start(ByteMs);
    }
    answer(c);
}

void SimBlockwise::frameDone(const QByteArray &f)
{
    const bool good = bcc(QByteArrayView(f).chopped(1)) == f.back();
    const QByteArray text = f.sliced(1, f.size() - 3);
    const QString which =
        f[0] == Soh ? QStringLiteral("header") : QStringLiteral("block %1").arg(m_block + 1);
    if (f[0] == Soh && good && m_state != State::Idle && m_state != State::Taking)
        return endWith(QStringLiteral("the PC sent the error text \"%1\"").arg(shown(text)));
    if (!good) return repeat(QStringLiteral("%1: bad BCC, NAK").arg(which));
    if (f[0] == Soh) return header(text);
    if (m_state == State::Taking) dataBlock(text);
}

// A header from the PC: a program coming in (E), or one asked for (A).
void SimBlockwise::header(const QByteArray &text)
{
    const bool form = text.size() >= 3 && (text[0] == 'H' || text[0] == 'D');
    if (m_state == State::Idle && form && text.back() == 'E') {
        m_name = QString::fromLatin1(text.sliced(1, text.size() - 2));
        m_state = State::Taking;
        m_block = m_repeated = m_tries = 0;
        m_data.clear();
        m_listing = m_etx = false;
        emit report(QStringLiteral("the PC sends %1").arg(shown(m_name.toLatin1())));
        write(QByteArray(1, Ack));
        return m_timer->start(AnswerMs);
    }
    if (m_state == State::Idle && form && text.back() == 'A') {
        emit report(QStringLiteral("the PC asked for %1: type punch to send a program")
                        .arg(shown(text.sliced(1, text.size() - 2))));
        return write(frame(Soh, "FILE NOT FOUND"));
    }
    emit report(QStringLiteral("the PC sent the error text \"%1\"").arg(shown(text)));
    if (m_state == State::Taking) endWith(QStringLiteral("transfer abandoned"));
}

void SimBlockwise::dataBlock(const QByteArray &text)
{
    if (faultIn(m_block + 1)) return repeat({});
    if (m_data.size() + text.size() + 1 > MaxProgram) {
        write(QByteArray(1, Eot));
        return endWith(
            QStringLiteral("the program is longer than %1 MB, abandoned").arg(MaxProgram >> 20));
    }
    m_data += text;
    if (!text.endsWith('\n')) m_data += '\n';
    ++m_block;
    m_tries = 0;
    write(QByteArray(1, Ack));
    m_timer->start(AnswerMs);
}

// NAK for what came damaged; at most Repeats times for one block.
void SimBlockwise::repeat(const QString &why)
{
    if (!why.isEmpty()) emit report(why);
    ++m_repeated;
    if (++m_tries > Repeats && m_state != State::Idle) {
        write(QByteArray(1, Eot));
        return endWith(QStringLiteral("block %1: damaged %2 times, transfer abandoned")
                           .arg(m_block + 1)
                           .arg(m_tries));
    }
    write(QByteArray(1, Nak));
    if (m_state != State::Idle) m_timer->start(AnswerMs); // for the block again
}

// A single character from the PC: its answer to a block, or the end.
void SimBlockwise::answer(char c)
{
    if (m_state == State::Taking && c == Etx) {
        m_etx = true;
    } else if (m_state == State::Taking && c == Eot) {
        const QByteArray program = std::exchange(m_data, {});
        const QString how = blocks(m_block, m_repeated);
        if (!m_etx) emit report(QStringLiteral("EOT without ETX"));
        if (m_listing) {
            for (const QByteArray &line : program.split('\n'))
                if (!line.isEmpty()) emit report(QStringLiteral("directory: %1").arg(shown(line)));
            return endWith(QStringLiteral("directory received, %1").arg(how));
        }
        endWith({});
        emit received(program, how);
    } else if (m_state == State::Asking && c == Ack) {
        m_state = State::Taking;
        m_tries = 0;
        m_timer->start(AnswerMs);
    } else if (m_state == State::Sending && c == Ack) {
        ++m_block;
        m_tries = 0;
        sendNext();
    } else if ((m_state == State::Sending || m_state == State::Asking) && c == Nak) {
        again(QStringLiteral("NAK"));
    }
}

// The block on the line again, after a NAK or no answer: at most Repeats times.
void SimBlockwise::again(const QString &why)
{
    const QString which =
        m_block ? QStringLiteral("block %1").arg(m_block) : QStringLiteral("header");
    ++m_repeated;
    if (++m_tries > Repeats) {
        write(QByteArray(1, Eot));
        return endWith(QStringLiteral("%1: %2 after %3 repeats, transfer abandoned")
                           .arg(which, why)
                           .arg(Repeats));
    }
    emit report(QStringLiteral("%1: %2, sent again").arg(which, why));
    m_block == 0 ? (write(m_header), m_timer->start(AnswerMs)) : sendNext();
}

void SimBlockwise::sendNext()
{
    if (m_block > m_lines.size()) {
        write(QByteArray(1, Etx) + Eot);
        return endWith(
            QStringLiteral("sent %1, %2").arg(m_name, blocks(int(m_lines.size()), m_repeated)));
    }
    QByteArray f = frame(Stx, m_lines[m_block - 1]);
    if (m_tries == 0 && faultOut(m_block)) f.back() = char(~f.back());
    write(f);
    m_timer->start(AnswerMs);
}

void SimBlockwise::timedOut()
{
    if (m_inFrame) {
        m_inFrame = m_bccNext = false;
        m_frame.clear();
        repeat(QStringLiteral("block %1: incomplete, NAK").arg(m_block + 1));
    } else if (m_state == State::Taking) {
        endWith(QStringLiteral("nothing more from the PC, transfer abandoned"));
    } else if (m_state != State::Idle) {
        again(QStringLiteral("no answer"));
    }
}

void SimBlockwise::endWith(const QString &line)
{
    if (!line.isEmpty()) emit report(line);
    m_state = State::Idle;
    m_timer->stop();
    m_data.clear();
    m_lines.clear();
}

bool SimBlockwise::request(const QString &name)
{
    const bool iso = name.endsWith(QLatin1String(".I"), Qt::CaseInsensitive);
    const QString base =
        name.endsWith(QLatin1String(".H"), Qt::CaseInsensitive) || iso ? name.chopped(2) : name;
    m_name = name;
    if (!start((iso ? "D" : "H") + base.toLatin1() + 'E', false)) return false;
    m_state = State::Asking;
    return true;
}

bool SimBlockwise::directory(const QString &pattern)
{
    if (!start("H" + pattern.toLatin1() + 'E', true)) return false;
    m_state = State::Asking;
    return true;
}

bool SimBlockwise::start(const QByteArray &header, bool listing)
{
    if (busy()) {
        emit report(QStringLiteral("busy with a transfer"));
        return false;
    }
    m_header = frame(Soh, header);
    m_block = m_repeated = m_tries = 0;
    m_listing = listing;
    m_etx = false;
    m_data.clear();
    write(m_header);
    m_timer->start(AnswerMs);
    return true;
}

bool SimBlockwise::send(const QString &name, const QByteArray &bytes)
{
    const QByteArray code = plainLanguage(bytes) ? "H" : "D";
    m_lines = bytes.split('\n');
    if (!m_lines.isEmpty() && m_lines.back().isEmpty()) m_lines.removeLast();
    for (QByteArray &line : m_lines)
        if (line.endsWith('\r')) line.chop(1);
    m_name = QFileInfo(name).fileName();
    if (!start(code + QFileInfo(name).completeBaseName().toLatin1() + 'A', false)) return false;
    m_state = State::Sending;
    return true;
}
