#pragma once

#include "core/ports/serialport.h"

#include <QMetaObject>
#include <utility>

// A serial port whose device the test plays.
class FakePort : public SerialPort
{
    Q_OBJECT
public:
    using SerialPort::SerialPort;

    QByteArray written; // every byte passed to write(), in order
    qint64 toWrite = 0; // what bytesToWrite() reports; lower it to drain
    bool openFails = false;
    bool fixedSettings = false; // as a raw TCP server's
    bool watching = false;      // asked to watch its input lines

    // The machine raises or drops DSR.
    void setDsr(bool raised)
    {
        m_dsr = raised;
        if (watching) emit inputLinesChanged();
    }
    bool dsr() const override { return m_dsr; }
    void watchInputLines(bool on) override { watching = on; }

    // Pushed from the event loop; flush() and close() drop them till then.
    void deliver(const QByteArray &bytes)
    {
        if (m_open) m_rx += bytes; // a closed port hears nothing
        QMetaObject::invokeMethod(this, &FakePort::push, Qt::QueuedConnection);
    }
    void loseDevice()
    {
        if (!m_open) return;
        close();
        emit lost();
    }

    bool open(const QString &name, const LineSettings &settings) override
    {
        m_name = name;
        m_settings = settings;
        return m_open = !openFails;
    }
    void close() override
    {
        m_open = false;
        flush();
    }
    bool isOpen() const override { return m_open; }
    QString name() const override { return m_name; }
    void apply(const LineSettings &settings) override { m_settings = settings; }
    LineSettings settings() const override { return m_settings; }
    void flush(Direction which = Direction::Both) override
    {
        if (which != Direction::Output) m_rx.clear();
        if (which != Direction::Input) toWrite = 0;
    }
    bool write(const QByteArray &bytes) override
    {
        if (m_open) written += bytes;
        return m_open;
    }
    qint64 bytesToWrite() const override { return m_open ? toWrite : 0; }
    bool canChangeSettings() const override { return !fixedSettings; }

private:
    void push()
    {
        if (!m_rx.isEmpty()) emit received(std::exchange(m_rx, {}));
    }

    bool m_open = false;
    bool m_dsr = true;
    QString m_name;
    LineSettings m_settings;
    QByteArray m_rx;
};

class FakePortList : public PortList
{
public:
    explicit FakePortList(QStringList names = {}) : list(std::move(names)) {}
    QStringList names() const override { return list; }
    QStringList list;
};
