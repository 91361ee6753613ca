#include "panel/machinepanel.h"

#include "app/canvas.h"
#include "app/frmhalvec.h"
#include "app/platform.h"
#include "config/module1.h"
#include "panel/frmsetup.h"
#include "panel/mccontextmenu.h"
#include "serial/portcontrol.h"
#include "serial/serial.h"
#include "transmit/txqueue.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace
{

// The frame's style, addressed by its object name so that it reaches the
// frame itself and not the icon inside it.
QString frameStyle(const QFrame *frame, const char *border)
{
    QString id = frame->objectName();
    id.replace(QLatin1Char('('), QLatin1String("\\("))
        .replace(QLatin1Char(')'), QLatin1String("\\)"));
    return QStringLiteral("QFrame#%1 { background: white; border: 1px solid %2; }")
        .arg(id, QLatin1String(border));
}

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

} // namespace

MachinePanel::MachinePanel(frmHalvec &win) : QObject(&win), w(win)
{
    for (int i = 1; i <= Module1::Max_MC; ++i) {
        connect(w.imgMc[i], &Canvas::mouseDown, this,
                [this, i](const QPoint &, Qt::MouseButton button, const QPoint &globalPos) {
                    bool contextual = button == Qt::RightButton;
#if defined(Q_OS_MACOS)
                    // Control-click is the one-button mouse's context click
                    // (Qt reports the Control key as Meta there).
                    contextual = contextual ||
                                 (button == Qt::LeftButton &&
                                  QGuiApplication::keyboardModifiers().testFlag(Qt::MetaModifier));
#endif
                    imgMc_MouseDown(i, contextual, globalPos);
                });
        connect(w.imgMc[i], &Canvas::filesDropped, this,
                [this, i](const QStringList &paths) { imgMc_DropObject(i, paths); });
    }
    connect(w.BevelButton1, &QPushButton::clicked, this, [this] { BevelButton1_Action(); });
}

frmSetup *MachinePanel::setupDialog() const
{
    return m_setup;
}

bool MachinePanel::sending() const
{
    return !w.cmdStop->isHidden() || w.m.PortState == 1;
}

QString MachinePanel::flowName(const QString &code)
{
    if (code == QLatin1String("1")) return QStringLiteral("Xon/Xoff");
    if (code == QLatin1String("2")) return QStringLiteral("RTS/CTS");
    if (code == QLatin1String("3")) return QStringLiteral("Xon/Xoff (Wait-Xon)");
    if (code == QLatin1String("4")) return QStringLiteral("Xon/Xoff (Wait-Any)");
    return QStringLiteral("No Flow Control");
}

QString MachinePanel::description(const Module1 &m, int mc)
{
    const QString line4 = m.mc(mc, MCDRATE) + QLatin1Char(' ') + m.mc(mc, MCPARITY).left(1) +
                          QLatin1Char(' ') + m.mc(mc, MCDBITS) + QLatin1Char(' ') +
                          m.mc(mc, MCSBITS);
    return QStringList{QStringLiteral("Mode: ") + m.mc(mc, MCMODE), QString(), m.mc(mc, MCPORT),
                       line4, flowName(m.mc(mc, MCFLOW))}
        .join(QLatin1Char('\n'));
}

void MachinePanel::setFrameSelected(int i, bool selected)
{
    QFrame *frame = w.frmMc[i];
    frame->setStyleSheet(frameStyle(frame, selected ? "#808080" : "#FFFFFF"));
    frame->setProperty("selected", selected);
}

void MachinePanel::setWorkControlsVisible(int i, bool on)
{
    w.txFileName[i]->setVisible(on);
    w.txBuffer[i]->setVisible(on);
    w.txQueue[i]->setVisible(on);
}

void MachinePanel::RefreshMCView()
{
    // A name being typed belongs to a slot that the reload may renumber.
    w.contextMenu->cancelRename();

    w.m.SelectedMC = 0;
    for (int i = 1; i <= Module1::Max_MC; ++i) {
        w.frmMc[i]->setVisible(false);
        w.lblmc[i]->setVisible(false);
        setFrameSelected(i, false);
        setWorkControlsVisible(i, false);
        w.List1[i]->setVisible(false);
    }

    w.m.ReadIni();

    for (int j = 1; j <= Module1::Max_MC; ++j) {
        const QString name = j <= w.m.Last_MC ? w.m.mc(j, MCNAME) : QString();
        w.lblmc[j]->setText(name);
        w.lblmc[j]->setAccessibleName(name);
        w.imgMc[j]->setAccessibleName(name);
        w.frmMc[j]->setAccessibleName(name);
        if (j <= w.m.Last_MC) {
            w.lblmc[j]->setVisible(true);
            w.frmMc[j]->setVisible(true);
        }
    }
    w.PBar1->setVisible(false);
    w.txtPcent->setVisible(false);
    w.imgBadPort->setVisible(false);
}

void MachinePanel::ShowSelectedMC()
{
    const int sel = w.m.SelectedMC;
    if (sel < 1 || sel > w.m.Last_MC) return;
    w.imgBadPort->setVisible(false);
    for (int i = 1; i <= Module1::Max_MC; ++i) {
        if (i == sel) continue;
        setFrameSelected(i, false);
        setWorkControlsVisible(i, false);
    }
    setFrameSelected(sel, true);
    setWorkControlsVisible(sel, true);
    w.PBar1->setVisible(false);
    w.txtPcent->setVisible(false);

    w.lblmcname->setText(w.m.mc(sel, MCNAME));
    setTextColour(w.lbldesc, Qt::black);
    w.lbldesc->setText(description(w.m, sel));
}

void MachinePanel::mcClick(int index)
{
    // A click elsewhere ends a pending rename first, for the machine whose
    // name was being edited.
    if (!w.txtRename->isHidden()) {
        if (!w.txtRename->text().isEmpty())
            w.contextMenu->ChangeMCName();
        else
            w.contextMenu->cancelRename();
    }
    if (sending()) return;
    if (index < 1 || index > w.m.Last_MC) return;
    if (w.m.SelectedMC > 0) w.s1.Close();
    w.m.SelectedMC = quint8(index);
    ShowSelectedMC();
    w.portControl->OpenPort();
}

void MachinePanel::imgMc_MouseDown(int index, bool contextual, const QPoint &globalPos)
{
    mcClick(index);
    if (contextual) w.contextMenu->DoMcContextMenu(globalPos);
}

void MachinePanel::imgMc_DropObject(int index, const QStringList &paths)
{
    if (index < 1 || index > w.m.Last_MC || paths.isEmpty()) return;
    for (const QString &path : paths)
        w.queue->Q_AddFile(index, path);
    if (w.txBuffer[index]->document()->isEmpty() && w.txQueue[index]->count() > 0)
        w.queue->Q_Clicked(index, 0);
}

void MachinePanel::BevelButton1_Action()
{
    if (w.m.AddingMC) return;
    if (sending()) {
        // A reload would clear the selection under the running send.
        w.platform.beep();
        return;
    }
    if (w.m.Last_MC >= Module1::Max_MC) {
        w.platform.message(&w, QLatin1String(maxMessage));
    } else {
        AddNewMC();
        w.lblmcname->clear();
        w.lbldesc->clear();
    }
    w.m.AddingMC = false;
}

bool MachinePanel::AddNewMC()
{
    if (w.m.AddingMC) return false;
    w.m.AddingMC = true;
    if (w.m.Last_MC >= Module1::Max_MC) {
        w.platform.message(&w, QLatin1String(maxMessage),
                           QStringLiteral("Maximum number of MC Icons"), QMessageBox::Ok);
    } else {
        // A dialog of its own, never shown: the one the user may have open
        // for another machine keeps its machine and its edits.
        auto *setup = new frmSetup(w);
        setup->SaveSettings();
        delete setup;
        RefreshMCView();
    }
    w.m.AddingMC = false;
    return false;
}

void MachinePanel::markBadPort(const QString &text)
{
    const int sel = w.m.SelectedMC;
    if (sel >= 1 && sel <= Module1::Max_MC) {
        const QPoint corner = w.frmMc[sel]->mapTo(&w, QPoint(0, 0));
        w.imgBadPort->move(corner.x(), corner.y() - 20);
        w.imgBadPort->setVisible(true);
        w.imgBadPort->raise();
    }
    w.lbldesc->setText(text);
    setTextColour(w.lbldesc, Qt::red);
}

frmSetup *MachinePanel::showSetup(bool modal)
{
    if (!m_setup) {
        const int sel = w.m.SelectedMC;
        if (sel < 1 || sel > w.m.Last_MC) {
            // Never a dialog for the hidden slot 0.
            w.platform.message(&w, QLatin1String(selectFirstMessage));
            return nullptr;
        }
        m_setup = new frmSetup(w);
    }
    const Qt::WindowModality wanted = modal ? Qt::ApplicationModal : Qt::NonModal;
    if (m_setup->windowModality() != wanted) {
        // A change of modality takes effect the next time it is shown.
        const bool wasShown = m_setup->isVisible();
        if (wasShown) m_setup->hide();
        m_setup->setWindowModality(wanted);
    }
    m_setup->show();
    m_setup->raise();
    m_setup->activateWindow();
    return m_setup;
}
