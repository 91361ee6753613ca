#include "fakeport.h"

#include <QMetaObject>
#include <utility>

void FakePort::deliver(const QByteArray &bytes)
{
    if (m_open) m_rx += bytes; // a closed port hears nothing
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_rx.isEmpty()) emit received(std::exchange(m_rx, {}));
        },
        Qt::QueuedConnection);
}

void FakePort::loseDevice()
{
    if (!m_open) return;
    close();
    emit lost();
}

bool FakePort::open(const QString &name, const LineSettings &settings)
{
    m_name = name;
    m_settings = settings;
    m_open = !openFails;
    return m_open;
}

void FakePort::close()
{
    m_open = false;
    flush();
}

bool FakePort::write(const QByteArray &bytes)
{
    if (!m_open) return false;
    written += bytes;
    return true;
}
