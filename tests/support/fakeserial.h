#pragma once

#include "serial/serial.h"

#include <QStringList>
#include <functional>

// A serial port for tests: records every setting applied and every byte
// written, lets the test deliver received bytes, and lets it decide how fast
// written bytes drain.
class FakeSerial : public Serial
{
    Q_OBJECT
public:
    explicit FakeSerial(QObject *parent = nullptr) : Serial(parent) {}

    // Every call that changes the port, in order: "Baud=8", "Bits=3",
    // "Parity=0", "Stop=0", "XON=1", "CTS=0", "DTR=1", "RTS=1", "Port=name",
    // "Open", "Close", "Reset", "Flush".
    QStringList log;
    QByteArray written;       // every byte passed to Write, in order
    qint64 pending = 0;       // bytes written and not drained yet
    bool autoDrain = true;    // drain every write at once
    bool openFails = false;   // Open() returns false
    bool opened = false;
    QByteArray rx;            // received bytes waiting to be read
    // Called with the bytes of every Write (after they were recorded).
    std::function<void(const QByteArray &)> onWrite;

    // Puts bytes into the receive buffer and raises DataAvailable from the
    // event loop, as a real port does.
    void deliver(const QByteArray &bytes);
    // Lets n written bytes leave (all when n < 0).
    void drain(qint64 n = -1);
    // The device goes away while open.
    void loseDevice();
    void clearLog() { log.clear(); }

    void setPortName(const QString &name) override;
    void setBaud(int code) override;
    void setBits(int code) override;
    void setParity(int code) override;
    void setStop(int code) override;
    void setXON(bool on) override;
    void setCTS(bool on) override;
    void setDataTerminalReady(bool on) override;
    void setRequestToSend(bool on) override;

    bool Open() override;
    void Close() override;
    bool isOpen() const override { return opened; }
    void Reset() override;
    void Flush() override;
    bool Write(const QByteArray &bytes) override;
    qint64 BytesLeftToSend() const override { return pending; }
    qint64 BytesAvailable() const override { return rx.size(); }
    QByteArray Read(qint64 count) override;
    QByteArray ReadAll() override;
};

class FakePortList : public SerialPortList
{
public:
    explicit FakePortList(QStringList n = {}) : list(std::move(n)) {}
    QStringList names() const override { return list; }
    QStringList list;
};
