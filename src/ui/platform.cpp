#include "ui/platform.h"

#include "core/programs/loadedprogram.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMenu>

QMessageBox::StandardButton QtPlatform::message(QWidget *parent, const QString &text,
                                                const QString &title,
                                                QMessageBox::StandardButtons buttons, Icon icon,
                                                QMessageBox::StandardButton preferred)
{
    QMessageBox box(parent);
    box.setText(text);
    box.setWindowTitle(title.isEmpty() ? QStringLiteral("Tavrin") : title);
    box.setStandardButtons(buttons);
    if (preferred != QMessageBox::NoButton) box.setDefaultButton(preferred);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Caution:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    }
    return QMessageBox::StandardButton(box.exec());
}

QString QtPlatform::openFileName(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent);
}

QString QtPlatform::saveFileName(QWidget *parent)
{
    return QFileDialog::getSaveFileName(parent);
}

QString QtPlatform::folderName(QWidget *parent, const QString &start)
{
    return QFileDialog::getExistingDirectory(parent, QString(), start);
}

QString QtPlatform::popupMenu(QWidget *parent, const QStringList &entries, const QPoint &globalPos)
{
    QMenu menu(parent);
    for (const QString &e : entries) {
        if (e == QLatin1String("-"))
            menu.addSeparator();
        else
            menu.addAction(e);
    }
    QAction *chosen = menu.exec(globalPos);
    return chosen ? chosen->text() : QString();
}

void QtPlatform::beep()
{
    QApplication::beep();
}

void tellUnreadable(Platform &platform, QWidget *parent, const QString &path,
                    const QString &reason, const QString &left)
{
    platform.message(parent,
                     QStringLiteral("The program file \"%1\" cannot be read: %2\n"
                                    "%3 was left as it was.")
                         .arg(QDir::toNativeSeparators(path), reason, left),
                     QStringLiteral("Open"), QMessageBox::Ok, Platform::Icon::Caution);
}

bool mayReplaceProgram(Platform &platform, QWidget *parent, const LoadedProgram &program)
{
    if (!program.wouldBeLost()) return true;
    return platform.message(parent,
                            QStringLiteral("The program in the code window has not been saved "
                                           "to a file. Discard it?"),
                            QStringLiteral("Code window"), QMessageBox::Yes | QMessageBox::No,
                            Platform::Icon::Question, QMessageBox::No) == QMessageBox::Yes;
}
