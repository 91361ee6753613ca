#include "ui/renamefield.h"

#include "core/machines/workshop.h"
#include "ui/names.h"
#include "ui/platform.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

RenameField::RenameField(Workshop &workshop, Platform &platform, QWidget *parent)
    : QObject(parent), m_workshop(workshop), m_platform(platform),
      m_field(named(new QLineEdit(parent), QStringLiteral("txtRename"),
                    QStringLiteral("Machine name")))
{
    m_field->setStyleSheet(QStringLiteral("QLineEdit { color: white; background: blue; }"));
    m_field->setVisible(false);
    // Only typed keys reach the name: no pasting through the field's own
    // menu, by dragging or by the middle button.
    m_field->setContextMenuPolicy(Qt::NoContextMenu);
    m_field->setAcceptDrops(false);
    m_field->installEventFilter(this);
}

void RenameField::start(int mc, const QLabel *label)
{
    m_field->setGeometry(label->x(), label->y(), label->width(), m_field->height());
    m_mc = mc;
    m_field->setText(m_workshop.machines().at(mc).name()); // the label may say more
    m_field->setVisible(true);
    m_field->raise();
    m_field->setFocus(Qt::OtherFocusReason);
    m_field->selectAll();
}

void RenameField::cancel()
{
    m_mc = 0;
    m_field->setVisible(false);
}

void RenameField::finish()
{
    if (!isOpen()) return;
    if (m_field->text().isEmpty())
        cancel();
    else if (refused())
        cancel();
    else
        apply();
}

bool RenameField::refused()
{
    const QString name = m_field->text();
    if (!Workshop::isReservedName(name)) return false;
    m_platform.message(m_field, Workshop::reservedNameMessage(name), QString(), QMessageBox::Ok,
                       Platform::Icon::Caution);
    return true;
}

void RenameField::apply()
{
    const int mc = m_mc;
    // Cleared before hiding: the focus loss that hiding causes must find no
    // rename left to apply.
    m_mc = 0;
    m_field->setVisible(false);
    // A reserved name was refused before; a file that did not take the
    // name has been reported, and the panel keeps the old one.
    static_cast<void>(m_workshop.rename(mc, m_field->text()));
}

bool RenameField::keyDown(int key, const QString &text, Qt::KeyboardModifiers modifiers)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_field->text().isEmpty()) {
            m_platform.message(m_field, QStringLiteral("The name can not be empty"), QString(),
                               QMessageBox::Ok, Platform::Icon::Caution);
            return false;
        }
        if (refused()) return false;
        apply();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Backspace:
        return false;
    default:
        break;
    }
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return true;
    return !(text.size() == 1 && MachineConfig::isNameCharacter(text.at(0)));
}

bool RenameField::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field) return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *ke = static_cast<QKeyEvent *>(event);
        return keyDown(ke->key(), ke->text(), ke->modifiers());
    }
    case QEvent::ShortcutOverride:
        // Keep window shortcuts from taking keys meant for the name.
        event->accept();
        return false;
    case QEvent::FocusOut: {
        // A message box or menu taking the focus for a moment is not the
        // user leaving the field.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) finish();
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
