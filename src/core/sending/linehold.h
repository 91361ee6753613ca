#pragma once

#include "core/config/vocabulary.h"
#include "core/ports/serialport.h"

#include <QObject>
#include <QPointer>

// The machine's own line that holds a send: DSR under DTR/DSR, for which no
// port has a handshake of its own, and CTS under RTS/CTS where a handshake
// delay must follow its rise (the port's handshake would let the output go
// at once). While the send runs, the port watches its input lines; a low
// line holds the output from the next character on.
class LineHold : public QObject
{
    Q_OBJECT
public:
    LineHold(SerialPort &port, FlowMode flow, int handshakeDelayMs, QObject *parent = nullptr);
    ~LineHold() override;

    // Watching begins (where a line holds the send at all), and changed()
    // says at once if the line is low.
    void start();
    void stop();
    bool held() const;

signals:
    void changed(bool held);

private:
    enum class Watched { None, Cts, Dsr };

    QPointer<SerialPort> m_port; // a port gone before the send is not asked again
    const Watched m_line;
    bool m_watching = false;
    bool m_held = false;
};
