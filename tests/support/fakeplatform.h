#pragma once

#include "ui/platform.h"

#include <QList>
#include <QStringList>

// A scripted platform: records what would have been shown and answers as the
// test says, so no test ever blocks on a modal window.
class FakePlatform : public Platform
{
public:
    struct Shown {
        QString text, title;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        Icon icon = Icon::None;
        QMessageBox::StandardButton preferred = QMessageBox::NoButton;
        bool operator==(const Shown &) const = default;
    };
    QList<Shown> messages;    // every message box, in order
    QList<QMessageBox::StandardButton> answers; // next answers (else Yes or OK: agreeing)
    QStringList openNames;    // next open-file answers ("" cancels)
    QStringList saveNames;    // next save-file answers ("" cancels)
    QStringList folderNames;  // next folder answers ("" cancels)
    QStringList menuChoices;  // next pop-up menu choices ("" dismisses)
    QList<QStringList> menus; // every menu shown
    int beeps = 0;

    QString lastMessage() const { return messages.isEmpty() ? QString() : messages.last().text; }

    QMessageBox::StandardButton message(QWidget *, const QString &text, const QString &title,
                                        QMessageBox::StandardButtons buttons, Icon icon,
                                        QMessageBox::StandardButton preferred) override
    {
        messages.append({text, title, buttons, icon, preferred});
        if (!answers.isEmpty()) return answers.takeFirst();
        return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    }
    QString openFileName(QWidget *) override { return next(openNames); }
    QString saveFileName(QWidget *) override { return next(saveNames); }
    QString folderName(QWidget *, const QString &) override { return next(folderNames); }
    QString popupMenu(QWidget *, const QStringList &entries, const QPoint &) override
    {
        menus.append(entries);
        return next(menuChoices);
    }
    void beep() override { ++beeps; }

private:
    static QString next(QStringList &answers)
    {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};
