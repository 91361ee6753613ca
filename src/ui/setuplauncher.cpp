#include "ui/setuplauncher.h"

#include "core/portaddress.h"
#include "core/serialport.h"
#include "core/workshop.h"
#include "ui/platform.h"
#include "ui/setupdialog.h"

SetupLauncher::SetupLauncher(Workshop &workshop, Platform &platform, QWidget *window)
    : QObject(window), m_workshop(workshop), m_platform(platform), m_window(window)
{
    connect(&workshop, &Workshop::machineRemoved, this, [this](int index) {
        if (!m_dialog) return;
        if (m_machine == index)
            m_dialog->close();
        else if (m_machine > index)
            --m_machine;
    });
}

SetupDialog *SetupLauncher::show(bool modal)
{
    if (!m_dialog) {
        const int mc = m_workshop.selected();
        if (!m_workshop.machines().contains(mc)) {
            // Never a dialog for the hidden slot 0.
            m_platform.message(m_window, QStringLiteral("You need to select a Machine icon "
                                                        "before going to Setup"));
            return nullptr;
        }
        m_machine = mc;
        m_dialog = new SetupDialog(m_workshop.machines().at(mc), m_workshop.portList().names(),
                                   m_window);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        SetupDialog *d = m_dialog;
        connect(d, &SetupDialog::saveRequested, this,
                [this, d](const MachineConfig &m) { save(d, m); });
    }
    const Qt::WindowModality wanted = modal ? Qt::ApplicationModal : Qt::NonModal;
    if (m_dialog->windowModality() != wanted) {
        // A change of modality takes effect the next time it is shown.
        if (m_dialog->isVisible()) m_dialog->hide();
        m_dialog->setWindowModality(wanted);
    }
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    return m_dialog;
}

void SetupLauncher::save(SetupDialog *dialog, const MachineConfig &machine)
{
    // A port that could never be opened is not stored.
    const QString port = machine.port();
    QString refused;
    if (PortAddress::parse(port).kind == PortAddress::Kind::Invalid)
        refused = QStringLiteral("\"%1\" is neither a serial port nor a network address. A "
                                 "network serial server is written tcp://host:port or "
                                 "rfc2217://host:port.");
    else if (port.startsWith(u'/') && !isSerialDevicePath(port))
        refused = QStringLiteral("\"%1\" is not a serial device. Name a serial port as the list "
                                 "shows it, or by its path, such as /dev/ttyUSB0 or "
                                 "/dev/serial/by-id/...");
    if (!refused.isEmpty()) {
        m_platform.message(dialog, refused.arg(port), QStringLiteral("Port"), QMessageBox::Ok,
                           Platform::Icon::Caution);
        return;
    }
    switch (m_workshop.update(m_machine, machine)) {
    case Workshop::UpdateResult::ReservedName:
        m_platform.message(dialog, Workshop::reservedNameMessage(machine.name()),
                           QStringLiteral("MC Name"), QMessageBox::Ok, Platform::Icon::Caution);
        break;
    case Workshop::UpdateResult::Busy:
        // The reload after a save would pull the selection from under the
        // running send.
        m_platform.message(dialog,
                           QStringLiteral("The settings can not be saved while a program is "
                                          "being sent."),
                           QString(), QMessageBox::Ok, Platform::Icon::Caution);
        break;
    case Workshop::UpdateResult::Saved:
        dialog->showSaved();
        break;
    case Workshop::UpdateResult::NotSaved:
        break; // the failure has been reported; the panel shows what the file holds
    }
}
