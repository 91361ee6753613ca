#include "core/protocols/blockwiseengine.h"

#include "core/base/clock.h"

BlockwiseEngine::BlockwiseEngine(Clock &clock, Writer writer, qint64 waitMs, QString late,
                                 QObject *parent)
    : ProtocolTransfer(parent), m_writer(std::move(writer)), m_wait(clock.createTimer(this)),
      m_waitMs(waitMs)
{
    connect(m_wait, &Timer::timeout, this,
            [this, late = std::move(late)] { finish(ProtocolOutcome::Failed, late); });
}

void BlockwiseEngine::feed(const QByteArray &bytes)
{
    if (m_running && !bytes.isEmpty()) heard();
    for (const Blockwise::Event &e : m_reader.feed(bytes))
        if (m_running) take(e);
}

bool BlockwiseEngine::begin()
{
    if (m_begun) return false;
    m_begun = m_running = true;
    return true;
}

void BlockwiseEngine::write(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !m_running) return;
    if (!m_writer(bytes))
        return finish(ProtocolOutcome::Failed, QStringLiteral("the port did not take the data"));
    waitAgain();
}

void BlockwiseEngine::waitAgain()
{
    if (m_running) m_wait->start(m_waitMs);
}

void BlockwiseEngine::stopWaiting()
{
    m_wait->stop();
}

void BlockwiseEngine::finish(ProtocolOutcome outcome, const QString &why)
{
    if (!m_running) return;
    m_running = false;
    m_wait->stop();
    m_why = why;
    emit finished(outcome);
}
