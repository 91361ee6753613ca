#pragma once

#include "ui/rxeditwindow.h"

#include <QPointer>
#include <QWidget>

class Canvas;
class CodeWindows;
class MachineMenu;
class MachinePanel;
class Platform;
class QFrame;
class QGroupBox;
class QLabel;
class QueueView;
class SetupLauncher;
class Toolbar;
class TransferLog;
class TransmitBar;
class Workshop;

// The main window. It builds the views, places them, and connects them to
// the workshop and to each other; the views do the rest.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    MainWindow(Workshop &workshop, Platform &platform, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Finds the configuration file (creating it empty), loads the panel and
    // selects machine 1. False when the program cannot go on.
    bool open();

    // Tells the user, once, when the transfer log cannot be written.
    void reportLogFailures(TransferLog &log);

    QString aboutText() const;
    static QString platformName();
    // The RX-Edit window while it is open.
    RxEditWindow *rxEdit() const { return m_rxEdit; }
    CodeWindows &codeWindows() const { return *m_code; }
    QueueView &queueView() const { return *m_queue; }
    SetupLauncher &setup() const { return *m_setup; }

signals:
    // The user asked to end the program (Quit, or the close box).
    void quitRequested();

protected:
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void build();
    void connectViews();
    void layoutForSize(const QSize &size);
    void toolbarClicked(int entry);
    // Quit and the close box: asks while machines work, then ends them.
    void quit();
    RxEditWindow *showRxEdit(bool modal);
    void startScan();

    Workshop &m_workshop;
    Platform &m_platform;
    QFrame *m_area = nullptr;       // Rectangle1
    QGroupBox *m_bar = nullptr;     // GroupBox1
    QGroupBox *m_codeBox = nullptr; // GroupBox2
    Canvas *m_logo = nullptr;       // Canvas1
    QLabel *m_version = nullptr;    // vText1
    Toolbar *m_toolbar = nullptr;
    MachinePanel *m_panel = nullptr;
    CodeWindows *m_code = nullptr;
    QueueView *m_queue = nullptr;
    TransmitBar *m_transmit = nullptr;
    MachineMenu *m_menu = nullptr;
    SetupLauncher *m_setup = nullptr;
    QPointer<RxEditWindow> m_rxEdit;
    static constexpr int StopGraceMs = 10000;
    bool m_ending = false;
};
