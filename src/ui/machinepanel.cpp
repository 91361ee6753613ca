#include "ui/machinepanel.h"

#include "process/claimedport.h"
#include "core/ports/serialport.h"
#include "core/machines/machine.h"
#include "core/machines/workshop.h"
#include "ui/canvas.h"
#include "ui/names.h"
#include "ui/platform.h"
#include "ui/renamefield.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

namespace
{

constexpr int kSlotFrame = 56; // a machine icon's frame, and the add-machine button
constexpr int kSlotPitch = 98; // from one slot to the next, and a caption's width
const QString kMaxMessage =
    QStringLiteral("The maximum number of machine icons has been reached in this version.");

// Where slot i stands: slot 0 is the add-machine button, then machines 1
// to 4 in the first row and 5 to 9 in the second, under the button.
QPoint slotPosition(int i)
{
    const int row = i <= 4 ? 0 : 1;
    const int column = i <= 4 ? i : i - 5;
    return {182 + column * kSlotPitch, 22 + row * 86};
}

// The frame's style, addressed by its object name so that it reaches the
// frame itself and not the icon inside it. A white border vanishes against
// the white panel; grey marks the selected machine.
QString frameStyle(const QFrame *frame, bool selected)
{
    QString id = frame->objectName();
    id.replace(u'(', QLatin1String("\\(")).replace(u')', QLatin1String("\\)"));
    return QStringLiteral("QFrame#%1 { background: white; border: 1px solid %2; }")
        .arg(id, selected ? QLatin1String("#808080") : QLatin1String("#FFFFFF"));
}

} // namespace

MachinePanel::MachinePanel(Workshop &workshop, Platform &platform, QWidget *area, QWidget *logo,
                           QWidget *window)
    : QObject(area), m_workshop(workshop), m_platform(platform), m_window(window)
{
    for (int i = 0; i <= MachineTable::MaxMachines; ++i) {
        const QString caption = i == 0 ? QStringLiteral("Add Machine") : QString();
        m_names[i] = named(new QLabel(caption, area), member("lblmc", i), caption);
        m_names[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        m_names[i]->setWordWrap(true); // a long name takes a second line
        m_names[i]->setVisible(i == 0);
    }
    m_rename = new RenameField(workshop, platform, area);
    for (int i = 1; i <= MachineTable::MaxMachines; ++i) {
        m_frames[i] = named(new QFrame(area), member("frmMc", i), QString());
        m_frames[i]->setAutoFillBackground(true);
        setFrameSelected(i, false);
        m_icons[i] = named(new Canvas(m_frames[i]), member("imgMc", i), QString());
        m_icons[i]->setPicture(QStringLiteral("mc1"), QSize(48, 48));
        m_icons[i]->setAcceptsFiles(true);
        m_icons[i]->setGeometry(4, 4, 48, 48);
        m_frames[i]->setVisible(false);
        connect(m_icons[i], &Canvas::mouseDown, this,
                [this, i](const QPoint &, Qt::MouseButton button, const QPoint &globalPos) {
                    bool contextual = button == Qt::RightButton;
#if defined(Q_OS_MACOS)
                    // Control-click is the one-button mouse's context click.
                    contextual = contextual ||
                                 (button == Qt::LeftButton &&
                                  QGuiApplication::keyboardModifiers().testFlag(Qt::MetaModifier));
#endif
                    iconPressed(i, contextual, globalPos);
                });
        connect(m_icons[i], &Canvas::filesDropped, this, [this, i](const QStringList &paths) {
            if (m_workshop.machines().contains(i) && !paths.isEmpty()) emit filesDropped(i, paths);
        });
    }

    m_warning = named(new QPushButton(window), QStringLiteral("imgBadPort"),
                      QStringLiteral("Port warning"));
    // The marker is a disabled button, yet the warning must keep its colour.
    QIcon warning;
    for (const QSize size : {QSize(20, 20), QSize(40, 40)}) {
        const QPixmap pm = tavrinPicture(QStringLiteral("excl"), size);
        warning.addPixmap(pm, QIcon::Normal);
        warning.addPixmap(pm, QIcon::Disabled);
    }
    m_warning->setIcon(warning);
    m_warning->setIconSize(QSize(20, 20));
    m_warning->setEnabled(false);
    m_warning->setFlat(true);

    m_add = named(new QPushButton(area), QStringLiteral("BevelButton1"),
                  QStringLiteral("Add Machine"));
    m_add->setIcon(tavrinIcon(QStringLiteral("addmac")));
    m_add->setIconSize(QSize(46, 46));
    connect(m_add, &QPushButton::clicked, this, &MachinePanel::addMachine);

    m_selectedName = named(new QLabel(logo), QStringLiteral("lblmcname"),
                           QStringLiteral("Machine name"));
    QFont bold = m_selectedName->font();
    bold.setBold(true);
    m_selectedName->setFont(bold);
    m_description = named(new QLabel(logo), QStringLiteral("lbldesc"),
                          QStringLiteral("Machine description"));
    m_description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Long port messages wrap rather than run out of the panel.
    m_description->setWordWrap(true);

    connect(&workshop, &Workshop::machinesReloaded, this, &MachinePanel::showMachines);
    connect(&workshop, &Workshop::selectionChanged, this, &MachinePanel::showSelected);
    connect(&workshop, &Workshop::machineChanged, this, &MachinePanel::showName);
    connect(&workshop, &Workshop::stateChanged, this, &MachinePanel::showName);
    connect(&workshop, &Workshop::portProblem, this, &MachinePanel::markPort);
}

QString MachinePanel::missingText(const QString &port)
{
    return QStringLiteral(" ATTENTION\n\n ") + port + QStringLiteral("\n\n  is Missing");
}

QString MachinePanel::unavailableText(const QString &port)
{
    return QStringLiteral("  ATTENTION\n\n  ") + port + QStringLiteral("\n  is  unavailable");
}

void MachinePanel::layout(const QPoint &warningPlace)
{
    for (int i = 0; i <= MachineTable::MaxMachines; ++i) {
        const QPoint p = slotPosition(i);
        if (i == 0)
            m_add->setGeometry(p.x(), p.y(), kSlotFrame, kSlotFrame);
        else
            m_frames[i]->setGeometry(p.x(), p.y(), kSlotFrame, kSlotFrame);
        m_names[i]->setGeometry(p.x() + kSlotFrame / 2 - kSlotPitch / 2 + 1,
                                p.y() + kSlotFrame + 2, kSlotPitch - 2, 30);
    }
    m_selectedName->setGeometry(6, 84, 154, 18);
    m_description->setGeometry(6, 102, 154, 80);
    // The warning starts beside the About icon and moves to the machine it
    // concerns; a resize leaves it where it is.
    if (m_warning->size() != QSize(24, 24)) m_warning->setGeometry(QRect(warningPlace, QSize(24, 24)));
}

void MachinePanel::setFrameSelected(int mc, bool selected)
{
    m_frames[mc]->setStyleSheet(frameStyle(m_frames[mc], selected));
    m_frames[mc]->setProperty("selected", selected);
}

void MachinePanel::setDescription(const QString &text, Qt::GlobalColor colour)
{
    QPalette p = m_description->palette();
    p.setColor(QPalette::WindowText, colour);
    m_description->setPalette(p);
    m_description->setText(text);
}

void MachinePanel::showMachines()
{
    // A name being typed belongs to a slot that the reload may renumber.
    m_rename->cancel();
    const MachineTable &table = m_workshop.machines();
    for (int i = 1; i <= MachineTable::MaxMachines; ++i) {
        setFrameSelected(i, false);
        showName(i);
        m_frames[i]->setVisible(table.contains(i));
        m_names[i]->setVisible(table.contains(i));
    }
    m_warning->setVisible(false);
    // Nothing is selected after a reload: nothing is described.
    m_selectedName->clear();
    m_description->clear();
}

void MachinePanel::showName(int mc)
{
    if (mc < 1 || mc > MachineTable::MaxMachines) return;
    const QString name = m_workshop.machines().at(mc).name();
    // A served machine says under its name what it does, selected or not.
    const QString state = servedText(mc);
    m_names[mc]->setText(state.isEmpty() ? name : name + u'\n' + state);
    for (QWidget *w : {static_cast<QWidget *>(m_names[mc]), static_cast<QWidget *>(m_icons[mc]),
                       static_cast<QWidget *>(m_frames[mc])})
        w->setAccessibleName(name);
    if (mc == m_workshop.selected()) m_selectedName->setText(name);
}

QString MachinePanel::servedText(int mc) const
{
    const Machine *machine = m_workshop.machineAt(mc);
    return machine ? stateText(machine->state()) : QString();
}

void MachinePanel::showSelected(int mc)
{
    if (!m_workshop.machines().contains(mc)) return;
    m_warning->setVisible(false);
    for (int i = 1; i <= MachineTable::MaxMachines; ++i)
        setFrameSelected(i, i == mc);
    const MachineConfig &m = m_workshop.machines().at(mc);
    m_selectedName->setText(m.name());
    setDescription(m.description(), Qt::black);
}

void MachinePanel::markPort(int mc, PortStatus status, const QString &port)
{
    if (mc >= 1 && mc <= MachineTable::MaxMachines) {
        const QPoint corner = m_frames[mc]->mapTo(m_window, QPoint(0, 0));
        m_warning->move(corner.x(), corner.y() - 20);
        m_warning->setVisible(true);
        m_warning->raise();
    }
    // A device a served machine keeps is that machine's.
    const int server = m_workshop.servedHolding(mc);
    // A device another Tavrin has open (the service, a command line) says
    // whose it is; one whose claim file is not the program's own, why.
    Link *link = m_workshop.linkAt(mc);
    const auto *claimed = link ? qobject_cast<const ClaimedPort *>(&link->port()) : nullptr;
    const QString held =
        server > 0 ? QStringLiteral("\n  served by %1").arg(m_workshop.machines().at(server).name())
        : claimed && (claimed->claimedElsewhere() || claimed->claimRefused())
            ? QStringLiteral("\n  ") + claimed->errorString()
            : QString();
    setDescription(status == PortStatus::Missing ? missingText(port) : unavailableText(port) + held,
                   Qt::red);
}

void MachinePanel::iconPressed(int mc, bool contextual, const QPoint &globalPos)
{
    // A click elsewhere ends a pending rename first, for the machine whose
    // name was being edited.
    m_rename->finish();
    // Selecting again closes and reopens the port; while a program is being
    // sent the selection stays as it is.
    m_workshop.select(mc);
    if (contextual) emit contextMenuRequested(globalPos);
}

void MachinePanel::startRename()
{
    const int mc = m_workshop.selected();
    if (m_workshop.machines().contains(mc)) m_rename->start(mc, m_names[mc]);
}

void MachinePanel::addMachine()
{
    switch (m_workshop.addMachine()) {
    case Workshop::AddResult::Busy:
        // A reload would clear the selection under the running send.
        m_platform.beep();
        break;
    case Workshop::AddResult::Full:
        m_platform.message(m_window, kMaxMessage);
        break;
    case Workshop::AddResult::Added:
    case Workshop::AddResult::NotSaved:
        break; // the panel was shown afresh, nothing selected
    }
}
