#include "ui/machinemenu.h"

#include "core/machines/workshop.h"
#include "ui/codewindows.h"
#include "ui/platform.h"

MachineMenu::MachineMenu(Workshop &workshop, Platform &platform, CodeWindows &code,
                         QWidget *window)
    : QObject(window), m_workshop(workshop), m_platform(platform), m_code(code), m_window(window)
{
}

QStringList MachineMenu::entries()
{
    return {QStringLiteral("Open"),     QStringLiteral("Receive"),    QStringLiteral("Clear"),
            QStringLiteral("-"),        QStringLiteral("Rename"),     QStringLiteral("Delete"),
            QStringLiteral("-"),        QStringLiteral("Properties"), QStringLiteral("-"),
            QStringLiteral("Port Scan")};
}

void MachineMenu::popup(const QPoint &globalPos)
{
    const bool busy = m_workshop.sending();
    if (!busy && !m_workshop.machines().contains(m_workshop.selected())) {
        // Every command needs a machine; none may reach the hidden slot 0.
        m_platform.message(m_window,
                           QStringLiteral("You need to select a Machine icon before using the Menu"));
        return;
    }
    // While a program is being sent nothing may change the sending
    // machine's program, queue, configuration or index.
    const QStringList offered = busy ? QStringList{QStringLiteral("Receive")} : entries();
    const QString choice = m_platform.popupMenu(m_window, offered, globalPos);
    if (choice.isEmpty() || choice == u"-" || !offered.contains(choice)) return;
    if (choice == u"Receive") {
        emit receiveChosen();
        return;
    }
    // The menu may have stayed open while things went on: look again.
    const int mc = m_workshop.selected();
    if (m_workshop.sending() || !m_workshop.machines().contains(mc)) return;
    if (choice == u"Open")
        open(mc);
    else if (choice == u"Clear")
        clear(mc);
    else if (choice == u"Rename")
        emit renameChosen();
    else if (choice == u"Delete")
        remove(mc);
    else if (choice == u"Properties")
        emit propertiesChosen();
    else if (choice == u"Port Scan")
        emit portScanChosen();
}

void MachineMenu::open(int mc)
{
    const QString path = m_platform.openFileName(m_window);
    if (path.isEmpty() || !mayReplaceProgram(m_platform, m_window, m_workshop.program(mc))) return;
    const QString reason = m_workshop.loadProgramFile(mc, path);
    if (!reason.isEmpty()) {
        tellUnreadable(m_platform, m_window, path, reason);
        return;
    }
    // Queued, and named in the file-name field as a queue click names it.
    m_workshop.queue(mc).add(path);
    m_workshop.queue(mc).setLoadedName(path);
}

void MachineMenu::clear(int mc)
{
    const auto answer = m_platform.message(
        m_window, QStringLiteral("This will clear all transmit buffers and Q's for this machine/icon"),
        QStringLiteral("Clear ?"), QMessageBox::Ok | QMessageBox::Cancel, Platform::Icon::Question);
    if (answer != QMessageBox::Ok) return;
    m_workshop.queue(mc).clear();
    m_workshop.program(mc).clear();
}

void MachineMenu::remove(int mc)
{
    const auto answer = m_platform.message(
        m_window, QStringLiteral("Are you sure you wish to delete the selected Machine?"),
        QStringLiteral("Delete MC"), QMessageBox::Yes | QMessageBox::No, Platform::Icon::Question);
    if (answer != QMessageBox::Yes) return;
    // A file that did not take the change has been reported; the panel stays.
    if (m_workshop.remove(mc) == Workshop::RemoveResult::Busy)
        m_platform.message(m_window,
                           m_workshop.busyText(mc) +
                               QStringLiteral(" Delete it once it is done: a machine is never "
                                              "cut off in the middle of a transfer."),
                           QStringLiteral("Delete MC"), QMessageBox::Ok, Platform::Icon::Caution);
}
