#pragma once

#include <QObject>

class Platform;
class QLabel;
class QLineEdit;
class QWidget;
class Workshop;

// The field over a machine's name in which the user renames it. Only typed
// letters, digits, blanks, "-" and "_" reach it; Return or leaving the
// field applies the name, an empty field keeps the old one.
class RenameField : public QObject
{
    Q_OBJECT
public:
    RenameField(Workshop &workshop, Platform &platform, QWidget *parent);

    // Opens the field over machine mc's name label, its text all selected.
    void start(int mc, const QLabel *label);
    // Applies what was typed (an empty field is dropped); called when the
    // user clicks elsewhere on the panel.
    void finish();
    // Hides the field and drops what was typed.
    void cancel();
    bool isOpen() const { return m_mc > 0; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply();
    // Says so, and true, when the typed name is one the file reserves.
    bool refused();
    // True when the key is swallowed.
    bool keyDown(int key, const QString &text, Qt::KeyboardModifiers modifiers);

    Workshop &m_workshop;
    Platform &m_platform;
    QLineEdit *m_field;
    int m_mc = 0;
};
