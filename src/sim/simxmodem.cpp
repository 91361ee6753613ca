#include "sim/simxmodem.h"

#include "core/base/clock.h"

namespace
{
constexpr char Soh = '\x01', Eot = '\x04', Ack = '\x06', Nak = '\x15', Can = '\x18', Sub = '\x1a';
constexpr qsizetype Data = 128;
} // namespace

SimXmodem::SimXmodem(Clock &clock, const SimFaults &faults, bool crc, QObject *parent)
    : SimProtocol(clock, faults, parent), m_crc(crc)
{
    connect(m_timer, &Timer::timeout, this, &SimXmodem::timedOut);
    if (!faults.silent) m_timer->start(0);
}

quint16 SimXmodem::crc16(QByteArrayView bytes)
{
    quint16 crc = 0;
    for (const char c : bytes) {
        crc ^= quint16(uchar(c)) << 8;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

char SimXmodem::checksum(QByteArrayView bytes)
{
    uchar sum = 0;
    for (const char c : bytes)
        sum += uchar(c);
    return char(sum);
}

QByteArray SimXmodem::block(const QByteArray &data, int n, bool crc)
{
    QByteArray payload = data.mid((n - 1) * Data, Data);
    payload += QByteArray(Data - payload.size(), Sub);
    QByteArray out(1, Soh);
    out += char(n & 0xff);
    out += char(~n & 0xff);
    out += payload;
    if (!crc) return out + checksum(payload);
    const quint16 sum = crc16(payload);
    return out + char(sum >> 8) + char(sum & 0xff);
}

void SimXmodem::ask()
{
    m_state = State::Asking;
    m_frame.clear();
    m_data.clear();
    m_blocks = m_repeated = m_tries = 0;
    m_timer->start(AskMs);
}

void SimXmodem::endWith(const QString &line)
{
    emit report(line);
    ask();
}

void SimXmodem::fromPc(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (m_state == State::Asking || m_state == State::Taking)
            take(c);
        else
            answer(c);
    }
}

void SimXmodem::take(char c)
{
    if (m_frame.isEmpty()) {
        if (c == Eot && m_state == State::Taking) {
            write(QByteArray(1, Ack));
            while (m_data.endsWith(Sub))
                m_data.chop(1);
            const QByteArray program = m_data;
            const QString how = blocks(m_blocks, m_repeated);
            ask();
            emit received(program, how);
            return;
        }
        if (c == Can) return endWith(QStringLiteral("the PC cancelled the transfer"));
        if (c != Soh) return; // noise between blocks
        m_state = State::Taking;
    }
    m_frame += c;
    if (m_frame.size() < 3 + Data + (m_crc ? 2 : 1)) return m_timer->start(ByteMs);
    frameDone();
    if (m_state == State::Taking) m_timer->start(AnswerMs); // for the next block
}

void SimXmodem::frameDone()
{
    const QByteArray frame = std::exchange(m_frame, {});
    const int number = m_blocks + 1;
    const QByteArrayView payload = QByteArrayView(frame).sliced(3, Data);
    const bool sumOk =
        m_crc ? crc16(payload) == ((uchar(frame[3 + Data]) << 8) | uchar(frame[4 + Data]))
              : checksum(payload) == frame[3 + Data];
    if (uchar(frame[1]) != uchar(~frame[2]))
        return nak(QStringLiteral("block %1: bad block number, NAK").arg(number));
    if (!sumOk)
        return nak(
            QStringLiteral("block %1: bad %2, NAK").arg(number).arg(m_crc ? "CRC" : "checksum"));
    if (uchar(frame[1]) == (m_blocks & 0xff) && m_blocks > 0) { // its ACK was lost: taken already
        ++m_repeated;
        emit report(QStringLiteral("block %1: came again, ACK").arg(m_blocks));
        return write(QByteArray(1, Ack));
    }
    if (uchar(frame[1]) != (number & 0xff)) {
        write(QByteArray(2, Can));
        return endWith(QStringLiteral("block %1: numbered %2, out of sequence, cancelled")
                           .arg(number)
                           .arg(uchar(frame[1])));
    }
    if (faultIn(number)) {
        ++m_repeated;
        return write(QByteArray(1, Nak));
    }
    if (m_data.size() + Data > MaxProgram) {
        write(QByteArray(2, Can));
        return endWith(
            QStringLiteral("the program is longer than %1 MB, cancelled").arg(MaxProgram >> 20));
    }
    m_data += payload;
    ++m_blocks;
    m_tries = 0;
    write(QByteArray(1, Ack));
}

void SimXmodem::nak(const QString &why)
{
    ++m_repeated;
    emit report(why);
    write(QByteArray(1, Nak));
}

void SimXmodem::timedOut()
{
    if (m_state == State::Asking) {
        write(QByteArray(1, m_crc ? 'C' : Nak));
        return m_timer->start(AskMs);
    }
    if (m_state == State::AwaitingAsk)
        return endWith(QStringLiteral("the PC never asked for %1, not sent").arg(m_name));
    if (++m_tries > Tries) {
        if (m_state != State::Taking) write(QByteArray(2, Can));
        return endWith(
            QStringLiteral("no answer from the PC %1 times, transfer abandoned").arg(Tries));
    }
    if (m_state != State::Taking) { // the PC's answer never came: again
        ++m_repeated;
        return m_state == State::AwaitingEotAck
                   ? (write(QByteArray(1, Eot)), m_timer->start(AnswerMs))
                   : sendBlock();
    }
    if (!m_frame.isEmpty()) {
        m_frame.clear();
        nak(QStringLiteral("block %1: incomplete, NAK").arg(m_blocks + 1));
    } else {
        write(QByteArray(1, Nak));
    }
    m_timer->start(AnswerMs);
}

bool SimXmodem::send(const QString &name, const QByteArray &bytes)
{
    if (busy()) {
        emit report(QStringLiteral("busy with a transfer, %1 not sent").arg(name));
        return false;
    }
    m_state = State::AwaitingAsk;
    m_name = name;
    m_out = bytes;
    m_blocks = m_repeated = m_tries = 0;
    m_timer->start(FirstAskMs);
    return true;
}

void SimXmodem::sendBlock()
{
    QByteArray frame = block(m_out, m_blocks + 1, m_crc);
    if (m_tries == 0 && faultOut(m_blocks + 1)) frame[frame.size() - 1] = char(~frame.back());
    write(frame);
    m_state = State::AwaitingAck;
    m_timer->start(AnswerMs);
}

void SimXmodem::answer(char c)
{
    if (c == Can) return endWith(QStringLiteral("the PC cancelled the transfer"));
    if (m_state == State::AwaitingAsk) {
        if (c != Nak && c != 'C') return;
        m_crc = c == 'C';
        return sendBlock();
    }
    if (c == Ack && m_state == State::AwaitingEotAck)
        return endWith(QStringLiteral("sent %1, %2").arg(m_name, blocks(m_blocks, m_repeated)));
    if (c == Ack) {
        ++m_blocks;
        m_tries = 0;
        if (qsizetype(m_blocks) * Data < m_out.size()) return sendBlock();
        m_state = State::AwaitingEotAck;
        write(QByteArray(1, Eot));
        return m_timer->start(AnswerMs);
    }
    // A receiver that has no first block yet may ask again as it began.
    if (c != Nak && !(c == 'C' && m_blocks == 0 && m_state == State::AwaitingAck)) return;
    if (m_state != State::AwaitingEotAck) ++m_repeated; // a NAK for the first EOT is the custom
    if (++m_tries > Tries) {
        write(QByteArray(2, Can));
        return endWith(
            QStringLiteral("block %1: NAK %2 times, cancelled").arg(m_blocks + 1).arg(Tries));
    }
    emit report(m_state == State::AwaitingEotAck
                    ? QStringLiteral("EOT: NAK, sent again")
                    : QStringLiteral("block %1: NAK, sent again").arg(m_blocks + 1));
    if (m_state == State::AwaitingEotAck) {
        write(QByteArray(1, Eot));
        return m_timer->start(AnswerMs);
    }
    sendBlock();
}
