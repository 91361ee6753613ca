#pragma once

#include "core/ports/linesettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

// A serial line to a machine. Received bytes are pushed through received()
// as they arrive: the port is the one thing that reads the device. Bytes in
// and out are raw, one byte per character, never converted.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the named device with these settings; true when open (also when
    // it already was, on the same device).
    [[nodiscard]] virtual bool open(const QString &name, const LineSettings &settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The device opened last (or being opened).
    virtual QString name() const = 0;
    // Puts new settings in force on the open port.
    virtual void apply(const LineSettings &settings) = 0;
    // The settings in force (or last given).
    virtual LineSettings settings() const = 0;
    enum class Direction { Input = 1, Output = 2, Both = 3 };
    // Discards what waits: received bytes not pushed yet (Input), written
    // bytes not yet on the line (Output), or both.
    virtual void flush(Direction which = Direction::Both) = 0;
    // Queues bytes for the line; false when the port is not open or would
    // not take them.
    [[nodiscard]] virtual bool write(const QByteArray &bytes) = 0;
    // Bytes written and not yet on the line, the driver's queue included.
    virtual qint64 bytesToWrite() const = 0;
    // False where the far end keeps its own line settings (a raw TCP
    // server): apply() then changes nothing on the line.
    virtual bool canChangeSettings() const { return true; }
    // Why the port was last lost or could not be opened; empty when it was
    // not, or nothing more is known.
    virtual QString errorString() const { return {}; }
    // The machine's CTS and DSR: true while raised, and where the port
    // cannot tell.
    virtual bool cts() const { return true; }
    virtual bool dsr() const { return true; }
    // While on, inputLinesChanged() says when CTS or DSR changes. A port
    // that must look at its lines for that looks only while asked to.
    virtual void watchInputLines(bool on) { Q_UNUSED(on); }

signals:
    void received(const QByteArray &bytes);
    // Some queued bytes moved on towards the line.
    void bytesWritten();
    // CTS or DSR changed, while watched.
    void inputLinesChanged();
    // The device went away while open, or a connection could not be made;
    // the port has been closed.
    void lost();
};

// The serial ports the platform reports, in its order.
class PortList
{
public:
    virtual ~PortList() = default;
    virtual QStringList names() const = 0;
};
