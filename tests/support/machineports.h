#pragma once

#include "core/base/clock.h"
#include "core/machines/workshop.h"

#include <QList>
#include <QPointer>
#include <memory>
#include <type_traits>

// A port of the test's kind: on the clock when it keeps time (the line model).
template <typename Port> Port newPort(Clock &clock)
{
    if constexpr (std::is_constructible_v<Port, Clock &>)
        return Port(clock);
    else
        return Port();
}

// A port for every machine, made when the workshop gives the machine its
// link, as the program makes real ones. One port shared by all machines
// would be opened again by whichever machine comes next, and hide a port
// that was left open.
template <typename Port> class MachinePorts
{
public:
    explicit MachinePorts(Clock &clock) : m_clock(clock), m_none(newPort<Port>(clock)) {}

    Workshop::PortFactory factory()
    {
        return [this] {
            std::shared_ptr<Port> port;
            if constexpr (std::is_constructible_v<Port, Clock &>)
                port = std::make_shared<Port>(m_clock);
            else
                port = std::make_shared<Port>();
            m_made.append(port.get());
            return port;
        };
    }

    // The port open on `device`; else the last one opened on it; else one
    // that never opened (nothing written, nothing open), for assertions.
    Port &on(const QString &device)
    {
        Port *named = nullptr;
        for (const QPointer<Port> &p : m_made)
            if (p && p->name() == device) {
                if (p->isOpen()) return *p;
                named = p;
            }
        return named ? *named : m_none;
    }
    // How many ports are open: one machine's left open shows here.
    int openCount() const
    {
        int n = 0;
        for (const QPointer<Port> &p : m_made)
            n += p && p->isOpen();
        return n;
    }

private:
    Clock &m_clock;
    QList<QPointer<Port>> m_made;
    Port m_none;
};
