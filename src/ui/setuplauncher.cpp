#include "ui/setuplauncher.h"

#include "core/base/escapedtext.h"
#include "core/ports/portaddress.h"
#include "core/ports/serialport.h"
#include "core/machines/workshop.h"
#include "core/serving/programextension.h"
#include "ui/platform.h"
#include "ui/setupdialog.h"

#include <QDir>
#include <QFileInfo>

namespace
{

// Why a served machine cannot keep its programs in `folder`; empty when it can.
QString folderProblem(const QString &folder)
{
    const QFileInfo info(folder);
    if (!QDir::isAbsolutePath(folder)) return QStringLiteral("it is not a full path");
    if (!info.exists()) return QStringLiteral("it does not exist");
    if (!info.isDir()) return QStringLiteral("it is not a folder");
    if (!info.isWritable()) return QStringLiteral("it cannot be written");
    return {};
}

// Why served `machine`, to be stored in slot `slot` of `table`, is refused;
// empty when it is not: it keeps its programs in its folder, under an
// extension its files can end in, and has its device to itself.
QString servedProblem(const MachineTable &table, int slot, const MachineConfig &machine)
{
    const QString folder = machine.value(Key::Folder);
    if (const QString why = folderProblem(folder); !why.isEmpty())
        return QStringLiteral("The program folder \"%1\" can not be used: %2.")
            .arg(QDir::toNativeSeparators(folder), why);
    if (const QString extension = machine.value(Key::Extension);
        !ProgramExtension::isValid(extension))
        return QStringLiteral("The extension \"%1\" can not be used: it is made of letters, "
                              "digits, \"_\" and \"-\", with a dot between two words (nc, "
                              "tap.nc), and has at most %2 characters.")
            .arg(extension)
            .arg(ProgramExtension::MaxLength);
    for (int i = 1; i <= table.count(); ++i)
        if (i != slot && Workshop::isServed(table.at(i)) && table.at(i).port() == machine.port())
            return QStringLiteral("\"%1\" is already served on %2. Two served machines can not "
                                  "share a port.")
                .arg(table.at(i).name(), machine.port());
    return {};
}

// Why the leader or trailer cannot be sent; empty when both can.
QString framingProblem(const MachineConfig &machine)
{
    for (const auto &[key, what] : {std::pair{Key::Leader, "leader"}, {Key::Trailer, "trailer"}})
        if (const EscapedText::Decoded d = EscapedText::decode(machine.value(key)); !d.ok())
            return QStringLiteral("The %1 can not be used: \"%2\" stands for no byte. Write a "
                                  "control character by its name (\\NUL, \\DC2, \\EOT, ... "
                                  "\\US, \\DEL), any byte as \\x and two hex digits (\\x1A), "
                                  "and a backslash as \\\\.")
                .arg(QLatin1String(what), d.bad);
    return {};
}

} // namespace

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
                                   m_window, &m_platform);
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
                                 "rfc2217://host:port.")
                      .arg(port);
    else if (port.startsWith(u'/') && !isSerialDevicePath(port))
        refused = QStringLiteral("\"%1\" is not a serial device. Name a serial port as the list "
                                 "shows it, or by its path, such as /dev/ttyUSB0 or "
                                 "/dev/serial/by-id/...")
                      .arg(port);
    if (refused.isEmpty()) refused = framingProblem(machine);
    if (refused.isEmpty() && Workshop::isServed(machine))
        refused = servedProblem(m_workshop.machines(), m_machine, machine);
    if (!refused.isEmpty()) {
        m_platform.message(dialog, refused, QStringLiteral("Port Setup"), QMessageBox::Ok,
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
    case Workshop::UpdateResult::Waiting:
        // Saved in the file; the machine takes it once its transfer ends,
        // and says so under its name until then.
        dialog->showSaved();
        m_platform.message(dialog,
                           QStringLiteral("The settings are saved. %1 takes them as soon as it "
                                          "is idle.")
                               .arg(machine.name()),
                           QStringLiteral("Port Setup"), QMessageBox::Ok,
                           Platform::Icon::Caution);
        break;
    case Workshop::UpdateResult::NotSaved:
        break; // the failure has been reported; the panel shows what the file holds
    }
}
