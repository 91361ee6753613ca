#pragma once

#include <QMessageBox>
#include <QPoint>
#include <QString>
#include <QStringList>

class LoadedProgram;
class QWidget;

// What the platform shows the user: message boxes, file dialogs, the pop-up
// menu and the beep. Windows get it injected so that tests can answer every
// modal question without blocking.
class Platform
{
public:
    enum class Icon { None, Question, Caution, Warning };

    virtual ~Platform() = default;

    // Shows a modal message box; returns the button pressed. `preferred` is
    // the button Enter presses (NoButton: the box's own choice).
    virtual QMessageBox::StandardButton message(QWidget *parent, const QString &text,
                                                const QString &title = QString(),
                                                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                Icon icon = Icon::None,
                                                QMessageBox::StandardButton preferred =
                                                    QMessageBox::NoButton) = 0;
    // Asks for a file to open / to save under; empty when cancelled.
    virtual QString openFileName(QWidget *parent) = 0;
    virtual QString saveFileName(QWidget *parent) = 0;
    // Asks for a folder, starting at `start`; empty when cancelled.
    virtual QString folderName(QWidget *parent, const QString &start) = 0;
    // Pops a menu up at globalPos; "-" entries are separators. Returns the
    // text of the chosen entry, or an empty text when dismissed.
    virtual QString popupMenu(QWidget *parent, const QStringList &entries, const QPoint &globalPos) = 0;
    virtual void beep() = 0;
};

// True when `program` may be replaced: nothing a file does not hold would be
// lost, or the user, asked, agreed to discard it (No is the default).
bool mayReplaceProgram(Platform &platform, QWidget *parent, const LoadedProgram &program);

// Tells the user why a program file cannot be read; `left` names what was
// left as it was.
void tellUnreadable(Platform &platform, QWidget *parent, const QString &path,
                    const QString &reason, const QString &left = QStringLiteral("The code window"));

// The real thing: QMessageBox, QFileDialog, QMenu and QApplication::beep.
class QtPlatform : public Platform
{
public:
    QMessageBox::StandardButton message(QWidget *parent, const QString &text, const QString &title,
                                        QMessageBox::StandardButtons buttons, Icon icon,
                                        QMessageBox::StandardButton preferred =
                                            QMessageBox::NoButton) override;
    QString openFileName(QWidget *parent) override;
    QString saveFileName(QWidget *parent) override;
    QString folderName(QWidget *parent, const QString &start) override;
    QString popupMenu(QWidget *parent, const QStringList &entries, const QPoint &globalPos) override;
    void beep() override;
};
