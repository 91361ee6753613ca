#include "panel/mccontextmenu.h"

#include "app/canvas.h"
#include "app/frmhalvec.h"
#include "app/platform.h"
#include "config/module1.h"
#include "panel/frmsetup.h"
#include "panel/machinepanel.h"
#include "receive/portscan.h"
#include "transmit/codewindows.h"
#include "transmit/txqueue.h"

#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace
{

bool nameCharacter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char(' ') ||
           c == QLatin1Char('-') || c == QLatin1Char('_');
}

void moveRows(QListWidget *from, QListWidget *to)
{
    to->clear();
    for (int r = 0; r < from->count(); ++r)
        to->addItem(from->item(r)->clone());
    to->setCurrentRow(from->currentRow());
    from->clear();
}

// A code window's text character for character (toPlainText would turn a
// no-break space, byte 0xA0 of a program, into a blank).
QString windowText(const QPlainTextEdit *edit)
{
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

} // namespace

McContextMenu::McContextMenu(frmHalvec &win) : QObject(&win), w(win)
{
    w.txtRename->installEventFilter(this);
    // Only typed keys reach the name: no pasting through the field's own
    // menu, by dragging or by the middle button.
    w.txtRename->setContextMenuPolicy(Qt::NoContextMenu);
    w.txtRename->setAcceptDrops(false);
}

QStringList McContextMenu::entries()
{
    return {QStringLiteral("Open"),     QStringLiteral("Receive"),    QStringLiteral("Clear"),
            QStringLiteral("-"),        QStringLiteral("Rename"),     QStringLiteral("Delete"),
            QStringLiteral("-"),        QStringLiteral("Properties"), QStringLiteral("-"),
            QStringLiteral("Port Scan")};
}

void McContextMenu::DoMcContextMenu(const QPoint &globalPos)
{
    const bool busy = w.panel->sending();
    const int sel = w.m.SelectedMC;
    if (!busy && (sel < 1 || sel > w.m.Last_MC)) {
        // Every command needs a machine; none may reach the hidden slot 0.
        w.platform.message(&w, QLatin1String(selectFirstMessage));
        return;
    }
    // While a program is being sent nothing may change the sending
    // machine's program, queue, configuration or index.
    const QStringList offered = busy ? QStringList{QStringLiteral("Receive")} : entries();
    const QString choice = w.platform.popupMenu(&w, offered, globalPos);
    if (choice.isEmpty() || choice == QLatin1String("-") || !offered.contains(choice)) return;

    if (choice == QLatin1String("Receive")) {
        w.showRxEdit(false);
        return;
    }
    // The menu may have stayed open while things went on: check again.
    const int mc = w.m.SelectedMC;
    if (w.panel->sending() || mc < 1 || mc > w.m.Last_MC) return;

    if (choice == QLatin1String("Open"))
        openProgram(mc);
    else if (choice == QLatin1String("Clear"))
        clearMachine(mc);
    else if (choice == QLatin1String("Rename"))
        ShowMCRename();
    else if (choice == QLatin1String("Delete"))
        DeleteMC();
    else if (choice == QLatin1String("Properties"))
        w.panel->showSetup(true);
    else if (choice == QLatin1String("Port Scan"))
        w.portScan->start();
}

void McContextMenu::openProgram(int mc)
{
    const QString path = w.platform.openFileName(&w);
    if (path.isEmpty()) return;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return;
    f.close();
    w.queue->Q_AddFile(mc, path);
    w.codeWindows->setProgram(mc, bytes);
}

void McContextMenu::clearMachine(int mc)
{
    const auto answer =
        w.platform.message(&w, QLatin1String(clearQuestion), QStringLiteral("Clear ?"),
                           QMessageBox::Ok | QMessageBox::Cancel, Platform::Icon::Question);
    if (answer != QMessageBox::Ok) return;
    w.txQueue[mc]->clear();
    w.List1[mc]->clear();
    w.txBuffer[mc]->clear();
}

void McContextMenu::ShowMCRename()
{
    const int mc = w.m.SelectedMC;
    if (mc < 1 || mc > w.m.Last_MC) return;
    QLabel *label = w.lblmc[mc];
    w.txtRename->setGeometry(label->x(), label->y(), label->width(), w.txtRename->height());
    m_renameMc = mc;
    w.txtRename->setText(label->text());
    w.txtRename->setVisible(true);
    w.txtRename->raise();
    w.txtRename->setFocus(Qt::OtherFocusReason);
    w.txtRename->selectAll();
}

void McContextMenu::cancelRename()
{
    m_renameMc = 0;
    w.txtRename->setVisible(false);
}

void McContextMenu::ChangeMCName()
{
    const int mc = m_renameMc;
    // Cleared before hiding: the focus loss that hiding causes must find no
    // rename left to apply.
    m_renameMc = 0;
    w.txtRename->setVisible(false);
    if (mc < 1 || mc > w.m.Last_MC) return;

    // Only what the key filter lets through can become a name, so a name can
    // never break a line of the configuration file.
    QString name = w.txtRename->text();
    name.removeIf([](QChar c) { return !nameCharacter(c); });
    if (name.isEmpty() || name == w.lblmc[mc]->text()) return;

    w.m.setMc(mc, MCNAME, name);
    w.lblmc[mc]->setText(name);
    w.lblmc[mc]->setAccessibleName(name);
    w.imgMc[mc]->setAccessibleName(name);
    w.frmMc[mc]->setAccessibleName(name);
    if (w.m.SelectedMC == mc) w.lblmcname->setText(name);
    w.m.WriteIni(0);
}

bool McContextMenu::txtRename_KeyDown(int key, const QString &text, Qt::KeyboardModifiers modifiers)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (w.txtRename->text().isEmpty()) {
            w.platform.message(&w, QLatin1String(emptyNameMessage), QString(), QMessageBox::Ok,
                               Platform::Icon::Caution);
            return false;
        }
        ChangeMCName();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Backspace:
        return false;
    default:
        break;
    }
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return true;
    return !(text.size() == 1 && nameCharacter(text.at(0)));
}

void McContextMenu::txtRename_LostFocus()
{
    if (m_renameMc == 0) return;
    if (w.txtRename->text().isEmpty())
        cancelRename();
    else
        ChangeMCName();
}

bool McContextMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != w.txtRename) return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *ke = static_cast<QKeyEvent *>(event);
        return txtRename_KeyDown(ke->key(), ke->text(), ke->modifiers());
    }
    case QEvent::ShortcutOverride:
        // Keep window shortcuts from taking keys meant for the name.
        event->accept();
        return false;
    case QEvent::FocusOut: {
        // A message box or menu taking the focus for a moment is not the
        // user leaving the field.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            txtRename_LostFocus();
        return false;
    }
    case QEvent::InputMethod:
        // Composed characters (dead keys, input methods) are not name keys.
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        // The middle button pastes the selection on X11.
        return static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton;
    default:
        return false;
    }
}

void McContextMenu::DeleteMC()
{
    const int mc = w.m.SelectedMC;
    if (mc < 1 || mc > w.m.Last_MC || w.panel->sending()) return;
    const auto answer =
        w.platform.message(&w, QLatin1String(deleteQuestion), QStringLiteral("Delete MC"),
                           QMessageBox::Yes | QMessageBox::No, Platform::Icon::Question);
    if (answer != QMessageBox::Yes) return;
    // The file first: when it cannot be written nothing moves.
    if (!w.m.WriteIni(mc)) return;
    closeSlotGap(mc);

    // An open setup dialog follows its machine, and goes with a deleted one.
    if (frmSetup *setup = w.panel->setupDialog()) {
        if (setup->MCNo == mc)
            setup->close();
        else if (setup->MCNo > mc)
            --setup->MCNo;
    }

    w.panel->RefreshMCView();
    w.m.SelectedMC = 0;
}

void McContextMenu::closeSlotGap(int mc)
{
    const int last = w.m.Last_MC;
    for (int i = mc; i < last; ++i) {
        w.txBuffer[i]->setPlainText(windowText(w.txBuffer[i + 1]));
        moveRows(w.txQueue[i + 1], w.txQueue[i]);
        moveRows(w.List1[i + 1], w.List1[i]);
        w.txFileName[i]->setText(w.txFileName[i + 1]->text());
    }
    w.txBuffer[last]->clear();
    w.txQueue[last]->clear();
    w.List1[last]->clear();
    w.txFileName[last]->clear();
}
