#include "core/tapecode/tapecodeport.h"

#include "core/base/clock.h"

TapeCodePort::TapeCodePort(SerialPort &line, Clock &clock, QObject *parent)
    : SerialPort(parent), m_line(line), m_quiet(clock.createTimer(this))
{
    connect(&m_line, &SerialPort::received, this, &TapeCodePort::heard);
    connect(&m_line, &SerialPort::bytesWritten, this, &SerialPort::bytesWritten);
    connect(&m_line, &SerialPort::lost, this, [this] {
        endBurst();
        emit lost();
    });
    connect(m_quiet, &Timer::timeout, this, &TapeCodePort::endBurst);
}

void TapeCodePort::setCode(TapeCode code)
{
    if (code == m_code) return;
    endBurst();
    m_code = code;
}

bool TapeCodePort::open(const QString &name, const LineSettings &settings)
{
    return m_line.open(name, settings);
}

void TapeCodePort::close()
{
    endBurst();
    m_line.close();
}

void TapeCodePort::flush(Direction which)
{
    // Bytes held for the decision are received bytes not pushed yet.
    if (which != Direction::Output) {
        m_decoder.endBurst();
        m_quiet->stop();
    }
    m_line.flush(which);
}

bool TapeCodePort::write(const QByteArray &bytes)
{
    return m_line.write(m_code == TapeCode::Eia ? EiaCode::encode(bytes) : bytes);
}

void TapeCodePort::heard(const QByteArray &bytes)
{
    if (m_code != TapeCode::Eia) {
        emit received(bytes);
        return;
    }
    m_quiet->start(QuietMs);
    const QByteArray text = m_decoder.feed(bytes);
    if (!text.isEmpty()) emit received(text);
}

void TapeCodePort::endBurst()
{
    m_quiet->stop();
    const QByteArray rest = m_decoder.endBurst();
    if (!rest.isEmpty()) emit received(rest);
}
