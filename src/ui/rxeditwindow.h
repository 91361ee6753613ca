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
class Workshop;
struct ScanFindings;

// The editor for what a machine sends: received text is added at its end,
// the user edits it, saves it, loads a file into it or moves it into the
// selected machine's code window. During Port Scan it also shows the
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
    void appendReceived(const QString &text);
    // The text as bytes, every line end written as CR LF.
    QByteArray textBytes() const;

signals:
    // "Move to TX Buffer ": the text for the selected machine's code window.
    void moveToTxBuffer(const QByteArray &bytes);
    // The window closed; it is gone once control returns to the event loop.
    void closed();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void buildPanel(bool scanning);
    void newText();
    void openFile();
    void saveFile();
    void moveText();
    void saveSettings();
    void showFindings(const ScanFindings &found);

    Workshop &m_workshop;
    Platform &m_platform;
    QPlainTextEdit *m_text = nullptr;
    QGroupBox *m_panel = nullptr;
    QCheckBox *m_data = nullptr;
    QCheckBox *m_speed = nullptr;
    QCheckBox *m_dataBits = nullptr;
    QCheckBox *m_parity = nullptr;
    // The last insertion ended in a CR and nothing changed since: an LF that
    // follows completes that line end instead of making another.
    bool m_endsWithCR = false;
    int m_revision = -1;
};
