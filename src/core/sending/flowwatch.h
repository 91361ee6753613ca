#pragma once

#include "core/config/vocabulary.h"

#include <QByteArrayView>

#include <optional>

// What the bytes a machine sends during a send mean to it, by its flow
// mode: the sign to start (modes "3" and "4": any byte, or DC1), then DC3
// and DC1 where they are obeyed, and a remote-buffer control's answer to a
// send it will not take: SYN (it was reset) or NAK (it raised an alarm).
// Those count only under XON/XOFF and after the control held the output
// with DC3 (or the port's own handshake was seen holding it), so that a
// control that never speaks that protocol cannot end a send by chance.
class FlowWatch
{
public:
    enum class Answer { None, Reset, Alarm };
    struct Heard {
        qsizetype sign = 0;       // mode "3": the leading byte that started the send
        std::optional<bool> hold; // DC3 (true) or DC1 (false), the last of them
        Answer answer = Answer::None;
    };

    explicit FlowWatch(FlowMode flow) : m_flow(flow) {}

    // The send begins: modes other than "3" and "4" obey DC3 and DC1 at once.
    void begin() { m_watching = m_flow == FlowMode::XonXoff; }
    // DC3 and DC1 are obeyed: the start wait is over.
    bool watching() const { return m_watching; }
    // `portHeld`: the port's own handshake holds the output (a port that
    // takes DC3 and DC1 out of what it receives).
    Heard hear(QByteArrayView bytes, bool startWait, bool portHeld);

private:
    const FlowMode m_flow;
    bool m_watching = false;
    bool m_dc3 = false; // the control has held the output once
};
