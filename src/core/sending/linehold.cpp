#include "core/sending/linehold.h"

#include <utility>

LineHold::LineHold(SerialPort &port, FlowMode flow, int handshakeDelayMs, QObject *parent)
    : QObject(parent), m_port(&port),
      m_line(flow == FlowMode::DtrDsr                           ? Watched::Dsr
             : flow == FlowMode::RtsCts && handshakeDelayMs > 0 ? Watched::Cts
                                                                : Watched::None)
{
    connect(m_port, &SerialPort::inputLinesChanged, this, [this] {
        if (m_watching && held() != m_held) emit changed(m_held = held());
    });
}

LineHold::~LineHold()
{
    stop();
}

bool LineHold::held() const
{
    switch (m_line) {
    case Watched::Cts:
        return m_port && !m_port->cts();
    case Watched::Dsr:
        return m_port && !m_port->dsr();
    case Watched::None:
        break;
    }
    return false;
}

void LineHold::start()
{
    if (m_line == Watched::None || m_watching || !m_port) return;
    m_watching = true;
    m_port->watchInputLines(true);
    if ((m_held = held())) emit changed(true);
}

void LineHold::stop()
{
    if (std::exchange(m_watching, false) && m_port) m_port->watchInputLines(false);
}
