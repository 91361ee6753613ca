#pragma once

#include "core/serialport.h"

// A serial port whose device the test plays.
class FakePort : public SerialPort
{
    Q_OBJECT
public:
    using SerialPort::SerialPort;

    QByteArray written; // every byte passed to write(), in order
    qint64 toWrite = 0; // what bytesToWrite() reports; lower it to drain
    bool openFails = false;

    // Pushed from the event loop; flush() and close() drop them till then.
    void deliver(const QByteArray &bytes);
    void loseDevice();

    bool open(const QString &name, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QString name() const override { return m_name; }
    void apply(const LineSettings &settings) override { m_settings = settings; }
    LineSettings settings() const override { return m_settings; }
    void flush() override
    {
        m_rx.clear();
        toWrite = 0;
    }
    bool write(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override { return m_open ? toWrite : 0; }

private:
    bool m_open = false;
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
