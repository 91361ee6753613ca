#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// A pseudo-terminal pair for tests. The slave side stands for the serial
// device the program opens (give slavePath() to the port's name); the test
// plays the machine tool on the master side.
//
// Both sides start in raw mode (no echo, no line editing, no CR/LF
// translation, 8 data bits). The master fd is non-blocking. The pair keeps a
// slave fd of its own open for its whole life, so the device exists whether
// or not the program has it open, and its line settings can be read with
// tcgetattr(slaveFd(), ...) (the terminal settings are shared by every fd
// of the slave).
//
// Bytes the program writes arrive on the master: readyRead() is emitted when
// new bytes came in; they collect in an internal buffer until readAll() or
// take() fetches them, so nothing is lost between signals.
//
//     Pty pty;
//     QVERIFY(pty.isOpen());
//     ports.list = {pty.slavePath()};
//     ...
//     QCOMPARE(pty.readFor(3), QByteArray("G01"));
//     pty.write("%\r\n");
//     pty.closeMaster();   // the device goes away
class Pty : public QObject
{
    Q_OBJECT
public:
    explicit Pty(QObject *parent = nullptr);
    ~Pty() override;

    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    // True when the pair was created and the master has not been closed.
    bool isOpen() const { return m_master >= 0; }
    // Path of the slave device, e.g. "/dev/pts/7".
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    // The pair's own slave fd (stays open until destruction); -1 if none.
    int slaveFd() const { return m_slave; }

    // Writes every byte to the master (the program receives them). Waits
    // (up to timeoutMs, keeping the event loop running) when the pty's
    // buffer is full. False if not all could be written.
    bool write(const QByteArray &bytes, int timeoutMs = 5000);

    // Everything the program has sent so far that was not fetched yet,
    // including bytes readable right now; never blocks.
    QByteArray readAll();
    // Waits, keeping the event loop running, until at least n bytes have
    // come in (or timeoutMs passed), then returns and removes exactly the
    // first n (fewer on timeout).
    QByteArray readFor(qsizetype n, int timeoutMs = 5000);
    // Bytes received and not fetched yet (without reading the fd).
    qsizetype buffered() const { return m_in.size(); }

    // Closes the master: the device is gone for whoever has the slave open
    // (reads there see end-of-file or EIO, the fd reports a hang-up).
    void closeMaster();

signals:
    // New bytes from the program are in the buffer.
    void readyRead();

private:
    // Moves everything readable from the master into m_in; true if any.
    bool pull();
    void onActivated();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QByteArray m_in;
    QSocketNotifier *m_notifier = nullptr;
};
