#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>

class Canvas;
class Platform;
class QCheckBox;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class ReceivedView;
class Workshop;
struct ScanFindings;

// The editor for what a machine sends: received text is added at its end,
// the user edits it, saves it, loads a file into it or moves it into the
// selected machine's code window. Text beyond the code window's editing
// limit is held as bytes and shown read-only. Received text not yet saved
// or moved is never discarded without asking. During Port Scan it also shows the
// detection panel. It is destroyed when it closes, which ends receiving and
// Port Scan.
class RxEditWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Width = 603;
    static constexpr int Height = 524;

    // `scanning`: the detection panel is shown.
    RxEditWindow(Workshop &workshop, Platform &platform, bool scanning, QWidget *parent);

    // Shows the detection panel under the logo, or keeps it out of the way.
    void showPanel(bool shown);

    // Adds received text at the end, leaving the user's caret and edits
    // alone; the view follows the end if it was showing the end.
    void appendReceived(const QByteArray &bytes);
    // The text as bytes, every line end written as CR LF.
    QByteArray textBytes() const;
    // The characters the text holds, a line end counting one.
    qsizetype characters() const;
    // What the user is asked before received text is discarded.
    static QString discardText();

signals:
    // "Move to TX Buffer ": the text for the selected machine's code window.
    void moveToTxBuffer(const QByteArray &bytes);
    // The window closed; it is gone once control returns to the event loop.
    void closed();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void buildPanel(bool scanning);
    bool isBig() const;
    // Shows `bytes` read-only in place of the editor.
    void showBig(const QByteArray &bytes);
    void showEditor(const QString &text);
    // True when nothing received would be lost, or the user lets it go.
    bool mayDiscard();
    void newText();
    void openFile();
    void saveFile();
    void moveText();
    void saveSettings();
    void showFindings(const ScanFindings &found);

    Workshop &m_workshop;
    Platform &m_platform;
    QPlainTextEdit *m_text = nullptr;
    ReceivedView *m_big = nullptr;
    QGroupBox *m_panel = nullptr;
    QCheckBox *m_data = nullptr;
    QCheckBox *m_speed = nullptr;
    QCheckBox *m_dataBits = nullptr;
    QCheckBox *m_parity = nullptr;
    // The last insertion ended in a CR and nothing changed since: an LF that
    // follows completes that line end instead of making another.
    bool m_endsWithCR = false;
    int m_revision = -1;
    // Data arrived since the text was last saved, moved, opened or cleared.
    bool m_unsaved = false;
};
