#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>

class frmHalvec;
class Canvas;
class QCheckBox;
class QFrame;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// The editor for data received from a machine: the receive handler appends
// to its text, the user edits it, saves it, loads a file into it or moves it
// into the selected machine's code window. During Port Scan it also shows the
// detection panel. There is at most one instance; it is destroyed when it
// closes.
class rxedit : public QWidget
{
    Q_OBJECT
public:
    explicit rxedit(frmHalvec &w);

    static constexpr int Width = 603;
    static constexpr int Height = 524;

    QToolButton *mnuExit = nullptr;
    QToolButton *mnuNew = nullptr;
    QToolButton *mnuOpen = nullptr;
    QToolButton *mnuSave = nullptr;
    QToolButton *mnuExit4 = nullptr; // "Move to TX Buffer "
    QFrame *Separator1 = nullptr;
    Canvas *Canvas1 = nullptr;
    QPlainTextEdit *txtFile = nullptr;
    QGroupBox *AutoGroup = nullptr;     // Port Scan's panel; its title shows the settings tried
    QPushButton *PushButton2 = nullptr; // "Help"
    QCheckBox *chkCTSOK = nullptr;
    QCheckBox *chkSpeedOK = nullptr;
    QCheckBox *chkDBitsOK = nullptr;
    QCheckBox *chkParityOK = nullptr;
    QPushButton *PushButton1 = nullptr; // "Save Settings"

    // Shows the detection panel under the logo while Port Scan runs, and
    // keeps it out of the way otherwise.
    void placeAutoGroup();

    void mnuExit_Action();
    void mnuNew_Action();
    void mnuOpen_Action();
    void mnuSave_Action();
    void mnuExit4_Action();

    // Adds received text at the end of the text, leaving the user's caret and
    // edits alone; the view follows the end if it was showing the end.
    void appendReceived(const QString &text);
    // The text as bytes, every line end written as CR LF.
    QByteArray textBytes() const;
    // Text (as QTextDocument keeps it) to file bytes: paragraph and line
    // separators become CR LF, every other character one byte.
    static QByteArray toFileBytes(const QString &rawText);

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    frmHalvec &w;
    // The last insertion ended in a CR and nothing changed since: an LF that
    // follows completes that line end instead of making another.
    bool m_endsWithCR = false;
    int m_revision = -1;
};
