#pragma once

#include "process/instancelock.h"
#include "core/ports/serialport.h"

#include <functional>
#include <memory>

// A port that keeps every other Tavrin off its device while it has it open:
// the window, the service and the command line run beside one another on
// one configuration, and two of them on one serial line would mix their
// bytes. open() first takes a claim on the device, the system's advisory
// lock on a file named after it beside the configuration; close() and the
// loss of the device give it back, and so does the end of the process,
// however it ends. A device reached by two paths (a by-id link) is one
// claim. Where the folder takes no lock file the port opens unclaimed; a
// claim file that is not the program's own (InstanceLock) keeps it shut.
class ClaimedPort : public SerialPort
{
    Q_OBJECT
public:
    // `folder` says where the configuration in use is, at each open; `who`
    // names this program to whoever finds the device claimed ("tavrin
    // --serve").
    ClaimedPort(std::shared_ptr<SerialPort> port, std::function<QString()> folder,
                const QString &who, QObject *parent = nullptr);

    // The claim file's name for a port, a safe file name.
    static QString claimName(const QString &port);

    bool open(const QString &name, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_port->isOpen(); }
    QString name() const override { return m_name; }
    void apply(const LineSettings &settings) override { m_port->apply(settings); }
    LineSettings settings() const override { return m_port->settings(); }
    void flush(Direction which = Direction::Both) override { m_port->flush(which); }
    bool write(const QByteArray &bytes) override { return m_port->write(bytes); }
    qint64 bytesToWrite() const override { return m_port->bytesToWrite(); }
    bool canChangeSettings() const override { return m_port->canChangeSettings(); }
    bool cts() const override { return m_port->cts(); }
    bool dsr() const override { return m_port->dsr(); }
    void watchInputLines(bool on) override { m_port->watchInputLines(on); }
    // "in use by process 4711, tavrin --serve" when the last open found the
    // device claimed (by a process of another user, as the system names it:
    // "in use by process 4711 of user bob, tavrin --serve"); why the claim
    // file was refused; otherwise the port's own reason.
    QString errorString() const override;
    // Who held the device when the last open was refused ("process 4711,
    // tavrin --serve"); empty when it was not refused for that.
    QString holder() const { return m_holder; }
    // The last open was refused because another process has the device.
    bool claimedElsewhere() const { return m_refused; }
    // The last open was refused because the claim file is not the
    // program's own (errorString() says why).
    bool claimRefused() const { return !m_claimError.isEmpty(); }

private:
    void release();

    std::shared_ptr<SerialPort> m_port;
    std::function<QString()> m_folder;
    QString m_who;
    InstanceLock m_claim;
    QString m_claimed; // the claim held, by claimName(); empty: none
    QString m_name;
    QString m_holder;
    QString m_claimError; // why the claim file was refused
    bool m_refused = false;
};
