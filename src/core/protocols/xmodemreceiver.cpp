#include "core/protocols/xmodemreceiver.h"

#include "core/base/clock.h"
#include "core/protocols/xmodem.h"

#include <utility>

using namespace Xmodem;

XmodemReceiver::XmodemReceiver(Writer write, Clock &clock, qint64 maxBytes, QObject *parent)
    : ProtocolTransfer(parent), m_write(std::move(write)), m_timer(clock.createTimer(this)),
      m_maxBytes(maxBytes)
{
    connect(m_timer, &Timer::timeout, this, &XmodemReceiver::timedOut);
}

qint64 XmodemReceiver::accounted() const
{
    return m_taken + m_subs + m_padding + m_discarded + m_block.size();
}

void XmodemReceiver::start()
{
    m_state = State::Asking;
    timedOut();
}

void XmodemReceiver::timedOut()
{
    switch (m_state) {
    case State::Asking:
        // CRC first; a sender that knows only sums answers the NAK after.
        m_crc = ++m_asks <= CrcAsks;
        say(m_crc ? Crc : Nak);
        m_timer->start(m_asks <= CrcAsks ? AskMs : IdleAskMs);
        return;
    case State::Purging:
        return nak();
    case State::Between:
    case State::InBlock:
        m_discarded += m_block.size();
        m_block.clear();
        return nak();
    default:
        return;
    }
}

void XmodemReceiver::nak()
{
    if (++m_retries > MaxRetries)
        return fail(QStringLiteral("block %1 did not come whole after %2 retries")
                        .arg(m_taken / BlockBytes + 1)
                        .arg(MaxRetries));
    m_state = State::Between;
    say(Nak);
    m_timer->start(AnswerMs);
}

void XmodemReceiver::say(char c)
{
    if (!m_write(QByteArray(1, c))) fail(QStringLiteral("the port would not take the answer"));
}

void XmodemReceiver::feed(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (!isRunning()) {
            ++m_discarded;
            continue;
        }
        take(c);
    }
}

void XmodemReceiver::take(char c)
{
    switch (m_state) {
    case State::InBlock:
        m_block += c;
        if (m_block.size() == m_blockSize) blockDone();
        return;
    case State::Purging:
        ++m_discarded;
        m_timer->start(PurgeMs);
        return;
    default:
        return header(c);
    }
}

void XmodemReceiver::header(char c)
{
    const bool cancelled = c == Can && m_lastCan;
    m_lastCan = c == Can && !cancelled;
    if (c == Soh || c == Stx) {
        m_state = State::InBlock;
        m_blockSize = (c == Soh ? BlockBytes : LongBlockBytes) + (m_crc ? 5 : 4);
        m_block = QByteArray(1, c);
        m_block.reserve(m_blockSize);
        m_timer->start(AnswerMs);
        return;
    }
    ++m_discarded;
    if (cancelled) return fail(QStringLiteral("the machine cancelled the transfer"), false);
    if (c == Eot && m_state == State::Between) {
        m_padding += m_subs;
        m_subs = 0;
        say(Ack);
        return finish(ProtocolOutcome::Completed);
    }
}

void XmodemReceiver::blockDone()
{
    const QByteArray got = std::exchange(m_block, {});
    const int check = m_crc ? 2 : 1;
    const QByteArrayView data = QByteArrayView(got).sliced(3, got.size() - 3 - check);
    const int number = uchar(got[1]);
    bool whole = (number ^ uchar(got[2])) == 0xff;
    if (m_crc) {
        const quint16 crc = crc16(data);
        whole = whole && uchar(got[got.size() - 2]) == crc >> 8 &&
                uchar(got[got.size() - 1]) == (crc & 0xff);
    } else {
        whole = whole && uchar(got.back()) == checksum(data);
    }
    m_discarded += got.size();
    if (!whole) return purge();
    if (number == m_expected) {
        if (!handOn(data)) return;
        m_expected = (m_expected + 1) & 0xff;
    } else if (number != ((m_expected + 255) & 0xff)) {
        // Neither the next block nor the last one again: the two sides
        // no longer agree where the transfer is.
        return fail(QStringLiteral("block %1 came when block %2 was due")
                        .arg(number)
                        .arg(m_expected));
    }
    // The last block again: its ACK was lost; it is acknowledged once more.
    m_retries = 0;
    m_state = State::Between;
    say(Ack);
    if (isRunning()) m_timer->start(AnswerMs);
}

bool XmodemReceiver::handOn(QByteArrayView bytes)
{
    qsizetype end = bytes.size();
    while (end > 0 && bytes[end - 1] == Sub) --end;
    // Padding is no part of the program: only what may be is bounded.
    if (m_taken + m_subs + end > m_maxBytes) {
        fail(QStringLiteral("the program passed %1 bytes, the most one takes").arg(m_maxBytes));
        return false;
    }
    m_discarded -= bytes.size();
    QByteArray text(m_subs, Sub);
    text += bytes.first(end);
    m_subs = bytes.size() - end;
    m_taken += text.size();
    for (const char c : std::as_const(text)) {
        // CR, LF and CR LF each end one line.
        if (c == '\r' || (c == '\n' && !m_lastCr)) ++m_lines;
        m_lastCr = c == '\r';
    }
    if (!text.isEmpty()) {
        emit data(text);
        emit progressed();
    }
    return true;
}

void XmodemReceiver::purge()
{
    // The rest of a damaged block is still coming: NAK once the line is quiet.
    m_state = State::Purging;
    m_timer->start(PurgeMs);
}

void XmodemReceiver::stop()
{
    if (!isRunning()) return;
    (void)m_write(cancel());
    finish(ProtocolOutcome::Stopped);
}

void XmodemReceiver::portLost()
{
    if (isRunning()) finish(ProtocolOutcome::PortLost);
}

void XmodemReceiver::fail(const QString &why, bool tellPeer)
{
    if (!isRunning()) return;
    if (tellPeer) (void)m_write(cancel());
    m_why = why;
    finish(ProtocolOutcome::Failed);
}

void XmodemReceiver::finish(ProtocolOutcome outcome)
{
    m_timer->stop();
    m_state = State::Done;
    m_discarded += m_block.size();
    m_block.clear();
    emit finished(outcome);
}
