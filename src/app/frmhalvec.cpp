#include "app/frmhalvec.h"

#include "app/canvas.h"
#include "app/platform.h"
#include "config/module1.h"
#include "panel/machinepanel.h"
#include "panel/mccontextmenu.h"
#include "receive/portscan.h"
#include "receive/receivehandler.h"
#include "rxedit/rxedit.h"
#include "serial/portcontrol.h"
#include "serial/serial.h"
#include "transmit/codewindows.h"
#include "transmit/sendengine.h"
#include "transmit/transmitcontrol.h"
#include "transmit/txqueue.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kBaseWidth = 688;
constexpr int kBaseHeight = 517;

QString member(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

template <typename W> W *named(W *w, const QString &name, const QString &accessible)
{
    w->setObjectName(name);
    w->setAccessibleName(accessible);
    return w;
}

QFrame *rule(QWidget *parent, QFrame::Shape shape)
{
    auto *f = new QFrame(parent);
    f->setFrameShape(shape);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

// Where machine slot i (1..9) stands: slots 1 to 4 in the first row after
// the add-machine button, 5 to 9 in the second.
QPoint slotPosition(int i)
{
    if (i <= 4)
        return {288 + (i - 1) * 98, 60};
    return {190 + (i - 5) * 98, 144};
}

} // namespace

frmHalvec::frmHalvec(Module1 &module, Platform &plat, Serial &port, SerialPortList &portList,
                     QWidget *parent)
    : QWidget(parent), m(module), platform(plat), s1(port), ports(portList)
{
    setObjectName(QStringLiteral("frmHalvec"));
    setWindowTitle(QStringLiteral("  Halvec"));
    setAccessibleName(QStringLiteral("Tavrin"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setMinimumSize(64, 64);
    resize(kBaseWidth, kBaseHeight);
    setAutoFillBackground(true);

    buildControls();
    buildToolbar();
    layoutForSize(size());

    portControl = new PortControl(*this);
    panel = new MachinePanel(*this);
    contextMenu = new McContextMenu(*this);
    queue = new TxQueue(*this);
    codeWindows = new CodeWindows(*this);
    engine = new SendEngine(*this);
    transmit = new TransmitControl(*this);
    receiver = new ReceiveHandler(*this);
    portScan = new PortScan(*this);

    connect(&m, &Module1::iniWriteFailed, this, [this](const QString &file, const QString &reason) {
        platform.message(this,
                         QStringLiteral("The machine settings could not be saved to \"%1\": %2\n"
                                        "The file was left as it was.")
                             .arg(QDir::toNativeSeparators(file), reason),
                         QStringLiteral("Save Settings"), QMessageBox::Ok, Platform::Icon::Warning);
    });
}

frmHalvec::~frmHalvec()
{
    delete m_rxedit;
}

void frmHalvec::buildControls()
{
    Rectangle1 = named(new QFrame(this), QStringLiteral("Rectangle1"), QStringLiteral("Working area"));
    Rectangle1->setFrameShape(QFrame::Box);
    Rectangle1->setAutoFillBackground(true);
    QPalette white = Rectangle1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Rectangle1->setPalette(white);

    GroupBox1 = named(new QGroupBox(Rectangle1), QStringLiteral("GroupBox1"), QStringLiteral("Transmit"));
    GroupBox2 = named(new QGroupBox(Rectangle1), QStringLiteral("GroupBox2"), QStringLiteral("Code window"));

    Canvas1 = named(new Canvas(Rectangle1), QStringLiteral("Canvas1"), QStringLiteral("Tavrin logo"));
    Canvas1->setPicture(QStringLiteral("tavrin"), QSize(162, 190));
    Canvas1->setAcceptsFiles(true);
    connect(Canvas1, &Canvas::dragOver, this, [this] { platform.beep(); });
    connect(Canvas1, &Canvas::filesDropped, this, [this] { platform.beep(); });

    cmdStop = named(new QPushButton(QStringLiteral("Stop"), GroupBox1), QStringLiteral("cmdStop"),
                    QStringLiteral("Stop"));
    cmdStop->setVisible(false);
    chkTXPause = named(new QPushButton(QStringLiteral("Pause"), GroupBox1),
                       QStringLiteral("chkTXPause"), QStringLiteral("Pause"));
    chkTXPause->setCheckable(true);
    chkTXPause->setVisible(false);

    for (int i = 0; i <= 9; ++i) {
        txQueue[i] = named(new QListWidget(Rectangle1), member("txQueue", i),
                           QStringLiteral("Program queue"));
        txQueue[i]->setVisible(false);
        txFileName[i] = named(new QLineEdit(GroupBox1), member("txFileName", i),
                              QStringLiteral("Program file"));
        txFileName[i]->setVisible(i == 0);
    }

    lbldesc = named(new QLabel(Canvas1), QStringLiteral("lbldesc"), QStringLiteral("Machine description"));
    lbldesc->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbldesc->setWordWrap(false);

    for (int i = 0; i <= 9; ++i) {
        lblmc[i] = named(new QLabel(i == 0 ? QStringLiteral("Add Machine") : QString(), Rectangle1),
                         member("lblmc", i), i == 0 ? QStringLiteral("Add Machine") : QString());
        lblmc[i]->setAlignment(Qt::AlignCenter);
        lblmc[i]->setVisible(i == 0);
    }

    txtRename = named(new QLineEdit(Rectangle1), QStringLiteral("txtRename"),
                      QStringLiteral("Machine name"));
    txtRename->setStyleSheet(QStringLiteral("QLineEdit { color: white; background: blue; }"));
    txtRename->setVisible(false);

    for (int i = 0; i <= 14; ++i) {
        List1[i] = named(new QListWidget(this), member("List1", i), QStringLiteral("Program paths"));
        List1[i]->setVisible(false);
    }

    Separator1 = named(rule(this, QFrame::HLine), QStringLiteral("Separator1"), QStringLiteral("Separator"));

    for (int i = 0; i <= 9; ++i) {
        txBuffer[i] = named(new QPlainTextEdit(GroupBox2), member("txBuffer", i),
                            QStringLiteral("Code window"));
        txBuffer[i]->setFrameShape(QFrame::NoFrame);
        txBuffer[i]->setLineWrapMode(QPlainTextEdit::NoWrap);
        txBuffer[i]->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        txBuffer[i]->setVisible(false);
    }

    PBar1 = named(new QProgressBar(GroupBox1), QStringLiteral("PBar1"), QStringLiteral("Progress"));
    PBar1->setMaximum(100);
    PBar1->setTextVisible(false);
    txtPcent = named(new QLineEdit(GroupBox1), QStringLiteral("txtPcent"), QStringLiteral("Percent sent"));
    txtPcent->setAlignment(Qt::AlignRight);
    txtPcent->setReadOnly(true);
    cmdTX = named(new QPushButton(QStringLiteral("Send"), GroupBox1), QStringLiteral("cmdTX"),
                  QStringLiteral("Send"));

    for (int i = 1; i <= 9; ++i) {
        frmMc[i] = named(new QFrame(Rectangle1), member("frmMc", i), QString());
        frmMc[i]->setAutoFillBackground(true);
        frmMc[i]->setPalette(white);
        frmMc[i]->setStyleSheet(QStringLiteral("QFrame#%1 { background: white; border: 1px solid #FFFFFF; }")
                                    .arg(member("frmMc", i).replace(QLatin1Char('('), QLatin1String("\\("))
                                             .replace(QLatin1Char(')'), QLatin1String("\\)"))));
        imgMc[i] = named(new Canvas(frmMc[i]), member("imgMc", i), QString());
        imgMc[i]->setPicture(QStringLiteral("mc1"), QSize(48, 48));
        imgMc[i]->setAcceptsFiles(true);
        imgMc[i]->setGeometry(4, 4, 48, 48);
        frmMc[i]->setVisible(false);
    }

    imgBadPort = named(new QPushButton(this), QStringLiteral("imgBadPort"),
                       QStringLiteral("Port warning"));
    imgBadPort->setIcon(tavrinIcon(QStringLiteral("excl")));
    imgBadPort->setIconSize(QSize(20, 20));
    imgBadPort->setEnabled(false);
    imgBadPort->setFlat(true);
    imgBadPort->setGeometry(0, 0, 24, 24);

    BevelButton1 = named(new QPushButton(Rectangle1), QStringLiteral("BevelButton1"),
                         QStringLiteral("Add Machine"));
    BevelButton1->setIcon(tavrinIcon(QStringLiteral("addmac")));
    BevelButton1->setIconSize(QSize(44, 44));

    lblmcname = named(new QLabel(Canvas1), QStringLiteral("lblmcname"), QStringLiteral("Machine name"));
    QFont bold = lblmcname->font();
    bold.setBold(true);
    lblmcname->setFont(bold);

    tmrRX_Timeout = new QTimer(this);
    tmrRX_Timeout->setObjectName(QStringLiteral("tmrRX_Timeout"));
    tmrRX_Timeout->setInterval(100);

    vText1 = named(new QLabel(QStringLiteral(TAVRIN_VERSION), Canvas1), QStringLiteral("vText1"),
                   QStringLiteral("Version"));
    vText1->setAlignment(Qt::AlignRight | Qt::AlignTop);
    vText1->setStyleSheet(QStringLiteral("color: #8A8A8A;"));

    cvsLinePtr = named(new Canvas(GroupBox2), QStringLiteral("cvsLinePtr"), QStringLiteral("Line pointer"));
    cvsLinePtr->setPicture(QStringLiteral("ptr"), QSize(16, 16));
}

void frmHalvec::buildToolbar()
{
    static const char *const pictures[] = {"", "end1", "menu1", "setup", "editor", "question"};
    static const char *const captions[] = {"", " Quit", " Menu", " Setup", " Editor"};
    static const char *const spoken[] = {"", "Quit", "Menu", "Setup", "Editor", "About"};
    for (int i = 1; i <= 5; ++i) {
        imgMenu[i] = named(new Canvas(this), member("imgMenu", i), QLatin1String(spoken[i]));
        imgMenu[i]->setPicture(QLatin1String(pictures[i]), QSize(24, 24));
        imgMenu[i]->setCursor(Qt::PointingHandCursor);
        connect(imgMenu[i], &Canvas::mouseDown, this, [this, i] {
            if (m.PortState == 0)
                MenuClicked(i);
        });
    }
    for (int i = 1; i <= 4; ++i) {
        lblMenu[i] = named(new Canvas(this), member("lblMenu", i), QLatin1String(spoken[i]));
        lblMenu[i]->setText(QLatin1String(captions[i]));
        lblMenu[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        lblMenu[i]->setCursor(Qt::PointingHandCursor);
        connect(lblMenu[i], &Canvas::mouseDown, this, [this, i] {
            if (m.PortState == 0)
                MenuClicked(i);
        });
    }
    for (int i = 2; i <= 5; ++i)
        Separator[i] = named(rule(this, QFrame::VLine), member("Separator", i), QStringLiteral("Separator"));

    mnuReceive = named(new QToolButton(this), QStringLiteral("mnuReceive"),
                       QStringLiteral("Receive CNC Data "));
    mnuReceive->setText(QStringLiteral("Receive CNC Data "));
    mnuReceive->setIcon(tavrinIcon(QStringLiteral("rx")));
    mnuReceive->setIconSize(QSize(24, 24));
    mnuReceive->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

void frmHalvec::layoutForSize(const QSize &size)
{
    // The window opens at 688 x 517; when it grows, the code window area,
    // the queue and the transmit bar grow with it.
    const int dx = qMax(0, size.width() - kBaseWidth);
    const int dy = qMax(0, size.height() - kBaseHeight);

    // Toolbar: Quit, Editor, Menu, Setup, About, the port marker's row, Receive.
    const int order[] = {1, 4, 2, 3};
    int x = 8;
    for (int k = 0; k < 4; ++k) {
        const int i = order[k];
        imgMenu[i]->setGeometry(x, 8, 26, 26);
        lblMenu[i]->setGeometry(x + 28, 8, 52, 26);
        x += 84;
        if (k < 4)
            Separator[k + 2]->setGeometry(x - 4, 6, 4, 30);
    }
    imgMenu[5]->setGeometry(x + 4, 8, 26, 26);
    mnuReceive->setGeometry(kBaseWidth + dx - 178, 6, 170, 30);
    Separator1->setGeometry(0, 40, kBaseWidth + dx, 4);

    Rectangle1->setGeometry(4, 46, kBaseWidth + dx - 8, kBaseHeight + dy - 50);
    // Inside Rectangle1 (coordinates relative to it).
    Canvas1->setGeometry(7, 4, 162, 180);
    lblmcname->setGeometry(6, 100, 150, 18);
    lbldesc->setGeometry(6, 118, 156, 62);
    vText1->setGeometry(90, 2, 70, 14);

    BevelButton1->setGeometry(186, 10, 52, 52);
    lblmc[0]->setGeometry(172, 64, 80, 16);
    for (int i = 1; i <= 9; ++i) {
        const QPoint p = slotPosition(i) - QPoint(4, 46);
        frmMc[i]->setGeometry(p.x(), p.y(), 56, 56);
        lblmc[i]->setGeometry(p.x() - 20, p.y() + 58, 96, 16);
    }

    for (int i = 0; i <= 9; ++i)
        txQueue[i]->setGeometry(7, 191, 162, 204 + dy);
    GroupBox2->setGeometry(174, 186, 500 + dx, 212 + dy);
    for (int i = 0; i <= 9; ++i)
        txBuffer[i]->setGeometry(22, 9, 463 + dx, 193 + dy);
    if (cvsLinePtr->geometry().isNull() || cvsLinePtr->width() != 16)
        cvsLinePtr->setGeometry(4, 8, 16, 16);

    GroupBox1->setGeometry(4, 404 + dy, 670 + dx, 60);
    for (int i = 0; i <= 9; ++i)
        txFileName[i]->setGeometry(9, 6, 547 + dx, 22);
    PBar1->setGeometry(9, 32, 547 + dx, 18);
    cmdTX->setGeometry(562 + dx, 4, 100, 26);
    chkTXPause->setGeometry(562 + dx, 4, 50, 26);
    cmdStop->setGeometry(612 + dx, 4, 50, 26);
    txtPcent->setGeometry(562 + dx, 32, 100, 20);

    for (int i = 0; i <= 14; ++i)
        List1[i]->setGeometry(0, kBaseHeight + dy + 40, 100, 40); // below the visible area
}

void frmHalvec::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    layoutForSize(size());
}

void frmHalvec::closeEvent(QCloseEvent *e)
{
    // The close box ends the program as Quit does.
    e->accept();
    emit quitRequested();
}

QString frmHalvec::platformName()
{
#if defined(Q_OS_MACOS)
    return QStringLiteral("MacOSX");
#elif defined(Q_OS_WIN)
    return QStringLiteral("Windows");
#else
    return QStringLiteral("Linux");
#endif
}

QString frmHalvec::aboutText() const
{
    return QStringLiteral("This is Tavrin version ") + vText1->text() + QStringLiteral(" for ") +
           platformName();
}

void frmHalvec::MenuClicked(int index)
{
    switch (index) {
    case 1:
        emit quitRequested();
        break;
    case 2:
        contextMenu->DoMcContextMenu(QCursor::pos());
        break;
    case 3:
        if (m.SelectedMC > 0)
            panel->showSetup(false);
        else
            platform.message(this, QStringLiteral("You need to select a Machine icon before going to Setup"));
        break;
    case 4:
        showRxEdit(false);
        break;
    case 5:
        platform.message(this, aboutText());
        break;
    default:
        break;
    }
}

bool frmHalvec::locateIniFile()
{
    if (m.AppPath.isEmpty()) {
        QString dir = QCoreApplication::applicationDirPath();
        if (!QFileInfo(dir).isWritable()) {
            // An installed program cannot write beside itself: keep the
            // configuration in the user's configuration folder instead.
            dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
            QDir().mkpath(dir);
        }
        m.AppPath = QDir(dir).absolutePath() + QLatin1Char('/');
    }
    if (!m.AppPath.endsWith(QLatin1Char('/')))
        m.AppPath += QLatin1Char('/');
    m.iniFile = m.AppPath + QStringLiteral("zoZad.ini");
    return m.ensureIniFile();
}

bool frmHalvec::Event_Open()
{
    chkTXPause->setEnabled(false);
    if (!locateIniFile()) {
        platform.message(this, QStringLiteral("Can't continue - Nil folderItem"));
        emit quitRequested();
        return false;
    }
    txQueue[0]->setVisible(false);
    txBuffer[0]->setVisible(false);
    txFileName[0]->setVisible(false);
    for (int i = 1; i <= 9; ++i) {
        txBuffer[i]->clear();
        txQueue[i]->clear();
        txFileName[i]->clear();
    }
    panel->RefreshMCView();
    if (m.Last_MC > 0)
        panel->mcClick(1);
    return true;
}

rxedit *frmHalvec::rxEdit(bool create)
{
    if (!m_rxedit && create)
        m_rxedit = new rxedit(*this);
    return m_rxedit;
}

rxedit *frmHalvec::showRxEdit(bool modal)
{
    rxedit *w = rxEdit(true);
    if (modal)
        w->setWindowModality(Qt::ApplicationModal);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}
