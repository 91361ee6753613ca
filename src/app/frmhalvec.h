#pragma once

#include <QPointer>
#include <QWidget>
#include <array>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

class Canvas;
class Module1;
class Platform;
class Serial;
class SerialPortList;

class PortControl;
class MachinePanel;
class McContextMenu;
class TxQueue;
class CodeWindows;
class SendEngine;
class TransmitControl;
class ReceiveHandler;
class PortScan;
class rxedit;

// The main window: it builds every control, the toolbar and the logo panel,
// and owns the controllers that give the controls their behaviour (the
// machine panel, the port control, transmission and reception). The
// controllers reach each other's public operations through this window.
class frmHalvec : public QWidget
{
    Q_OBJECT
public:
    frmHalvec(Module1 &module, Platform &platform, Serial &port, SerialPortList &portList,
              QWidget *parent = nullptr);
    ~frmHalvec() override;

    // Runs once after construction: finds the configuration file, prepares
    // the per-machine controls, loads the panel and selects machine 1.
    // Returns false when the program cannot go on (it then asks to quit).
    bool Event_Open();

    // Carries out toolbar entry 1..5 (Quit, Menu, Setup, Editor, About); the
    // entries are ignored while the link is busy.
    void MenuClicked(int index);
    QString aboutText() const;
    static QString platformName();
    // The folder that holds zoZad.ini: the executable's folder, or the
    // user's configuration folder when the executable's cannot be written.
    static QString configFolder(const QString &executableFolder);

    // The one RX-Edit window; created on first use when `create` is true.
    rxedit *rxEdit(bool create = true);
    // Shows the RX-Edit window (creating it); modal for Port Scan.
    rxedit *showRxEdit(bool modal);

    Module1 &m;
    Platform &platform;
    Serial &s1;
    SerialPortList &ports;

    // Controls, named as everywhere in the program. Arrays hold their
    // members at the member's index; unused indexes stay null.
    QFrame *Rectangle1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    Canvas *Canvas1 = nullptr;
    QPushButton *cmdStop = nullptr;
    QPushButton *chkTXPause = nullptr;
    std::array<QListWidget *, 10> txQueue{};
    std::array<QLineEdit *, 10> txFileName{};
    QLabel *lbldesc = nullptr;
    std::array<QLabel *, 10> lblmc{};
    QLineEdit *txtRename = nullptr;
    std::array<QListWidget *, 15> List1{};
    QFrame *Separator1 = nullptr;
    std::array<QPlainTextEdit *, 10> txBuffer{};
    QProgressBar *PBar1 = nullptr;
    QLineEdit *txtPcent = nullptr;
    QPushButton *cmdTX = nullptr;
    QToolButton *mnuReceive = nullptr;
    std::array<QFrame *, 6> Separator{}; // members 2 to 5
    std::array<QFrame *, 10> frmMc{};
    QPushButton *imgBadPort = nullptr;
    std::array<Canvas *, 10> imgMc{};
    QPushButton *BevelButton1 = nullptr;
    QLabel *lblmcname = nullptr;
    QTimer *tmrRX_Timeout = nullptr;
    std::array<Canvas *, 6> imgMenu{}; // members 1 to 5
    std::array<Canvas *, 5> lblMenu{}; // members 1 to 4
    QLabel *vText1 = nullptr;
    Canvas *cvsLinePtr = nullptr;

    // Controllers.
    PortControl *portControl = nullptr;
    MachinePanel *panel = nullptr;
    McContextMenu *contextMenu = nullptr;
    TxQueue *queue = nullptr;
    CodeWindows *codeWindows = nullptr;
    SendEngine *engine = nullptr;
    TransmitControl *transmit = nullptr;
    ReceiveHandler *receiver = nullptr;
    PortScan *portScan = nullptr;

signals:
    // The user asked to end the program (Quit, or the close box).
    void quitRequested();

protected:
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void buildControls();
    void buildToolbar();
    void layoutForSize(const QSize &size);
    bool locateIniFile();

    QPointer<rxedit> m_rxedit;
};
