#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

// Where the PC reaches the simulated control.
class SimTransport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // What to type into the machine's Port field.
    virtual QString deviceName() const = 0;
    // Bytes to the PC; false when they could not go.
    virtual bool write(const QByteArray &bytes) = 0;
    // Reads at most this many bytes until told again (0 stops reading).
    virtual void setRoom(qsizetype room) = 0;
    // How long one character takes on the PC's line: punches go at its pace.
    virtual qint64 characterNs() const = 0;
    // DTR low or high; false where there are no modem lines.
    virtual bool setDtrLow(bool) { return false; }

signals:
    void received(const QByteArray &bytes);
    void message(const QString &text);
};

// A pseudo-terminal: the PC opens its slave device as a serial port, the
// simulator works the master. The slave stays open here too, so the device
// lives as long as the simulator. Its line settings are the ones the PC set.
class PtyTransport : public SimTransport
{
    Q_OBJECT
public:
    explicit PtyTransport(QObject *parent = nullptr);
    ~PtyTransport() override;
    // Empty when the pseudo-terminal is ready, otherwise why not.
    QString error() const { return m_error; }

    QString deviceName() const override { return m_slavePath; }
    bool write(const QByteArray &bytes) override;
    void setRoom(qsizetype room) override;
    qint64 characterNs() const override;

protected:
    // A serial device already open as `fd` (-1 with `error`).
    PtyTransport(int fd, const QString &path, const QString &error, QObject *parent);
    int m_master = -1;

private:
    void watch();
    void readSome();
    void writeSome();

    int m_slave = -1;
    QString m_slavePath, m_error;
    QByteArray m_out;
    qsizetype m_room = 0;
    QSocketNotifier *m_readable = nullptr;
    QSocketNotifier *m_writable = nullptr;
};

// A real serial device at `baud`, 8N1, raw: the one transport with modem lines.
class DeviceTransport : public PtyTransport
{
    Q_OBJECT
public:
    DeviceTransport(const QString &path, int baud, QObject *parent = nullptr);
    bool setDtrLow(bool low) override;
    // Whether the device has modem lines at all.
    bool hasModemLines() const;

private:
    struct Opened {
        int fd;
        QString error;
    };
    static Opened open(const QString &path, int baud);
    DeviceTransport(const QString &path, const Opened &opened, QObject *parent)
        : PtyTransport(opened.fd, path, opened.error, parent) {}
};

// A TCP port on this computer, as a network serial server offers its line:
// raw bytes, one client at a time. The line beyond it runs at `baud`.
class TcpTransport : public SimTransport
{
    Q_OBJECT
public:
    TcpTransport(quint16 port, int baud, QObject *parent = nullptr);
    QString error() const { return m_error; }
    // Sent to each PC as it connects, as a network serial server greets.
    void greet(const QByteArray &greeting) { m_greeting = greeting; }

    QString deviceName() const override;
    bool write(const QByteArray &bytes) override;
    void setRoom(qsizetype room) override;
    qint64 characterNs() const override { return 10'000'000'000 / m_baud; }

private:
    void accept();
    void readSome();

    QTcpServer *m_server;
    QTcpSocket *m_client = nullptr;
    QString m_error;
    QByteArray m_greeting;
    int m_baud;
    qsizetype m_room = 0;
};
