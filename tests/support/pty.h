#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class SimControl;

// A raw pseudo-terminal pair: the program opens the slave, the test plays the
// machine on the master. slaveFd() stays open, so the device stays too.
class Pty : public QObject
{
    Q_OBJECT
public:
    explicit Pty(QObject *parent = nullptr);
    ~Pty() override;

    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int slaveFd() const { return m_slave; }
    int masterFd() const { return m_master; }

    bool write(const QByteArray &bytes, int timeoutMs = 5000);

    QByteArray readAll();
    // Waits for n bytes, and takes them.
    QByteArray readFor(qsizetype n, int timeoutMs = 5000);
    void closeMaster();

    // A machine's control on the master, on the system clock: what the
    // program writes reaches it (and is kept in `toControl`), what it sends
    // goes to the program.
    void attach(SimControl &control);
    QByteArray toControl;

signals:
    void readyRead();

private:
    bool pull();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QByteArray m_in;
    QSocketNotifier *m_notifier = nullptr;
};
