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
#include <QFontDatabase>
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

namespace
{

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

constexpr int kSlotFrame = 56; // a machine icon's frame, and the add-machine button
constexpr int kSlotPitch = 98; // from one slot to the next, and a caption's width

// Where slot i of the machine panel stands inside Rectangle1: slot 0 is the
// add-machine button, then machines 1 to 4 in the first row and 5 to 9 in
// the second, starting under the add-machine button.
QPoint slotPosition(int i)
{
    const int row = i <= 4 ? 0 : 1;
    const int column = i <= 4 ? i : i - 5;
    return {182 + column * kSlotPitch, 22 + row * 86};
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
    // The port warning starts beside the About icon; the port control moves
    // it to the machine it concerns, so a resize leaves it where it is.
    imgBadPort->setGeometry(imgMenu[5]->geometry().right() + 14, 9, 24, 24);

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
    Rectangle1 =
        named(new QFrame(this), QStringLiteral("Rectangle1"), QStringLiteral("Working area"));
    Rectangle1->setFrameShape(QFrame::Box);
    Rectangle1->setAutoFillBackground(true);
    QPalette white = Rectangle1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Rectangle1->setPalette(white);

    GroupBox1 =
        named(new QGroupBox(Rectangle1), QStringLiteral("GroupBox1"), QStringLiteral("Transmit"));
    GroupBox2 = named(new QGroupBox(Rectangle1), QStringLiteral("GroupBox2"),
                      QStringLiteral("Code window"));

    Canvas1 =
        named(new Canvas(Rectangle1), QStringLiteral("Canvas1"), QStringLiteral("Tavrin logo"));
    Canvas1->setPicture(QStringLiteral("tavrin"), QSize(66, 78));
    Canvas1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Canvas1->setContentsMargins(0, 2, 0, 0);
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

    lbldesc = named(new QLabel(Canvas1), QStringLiteral("lbldesc"),
                    QStringLiteral("Machine description"));
    lbldesc->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Long port messages wrap rather than run out of the panel.
    lbldesc->setWordWrap(true);

    for (int i = 0; i <= 9; ++i) {
        lblmc[i] = named(new QLabel(i == 0 ? QStringLiteral("Add Machine") : QString(), Rectangle1),
                         member("lblmc", i), i == 0 ? QStringLiteral("Add Machine") : QString());
        lblmc[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lblmc[i]->setWordWrap(true); // a long name takes a second line
        lblmc[i]->setVisible(i == 0);
    }

    txtRename = named(new QLineEdit(Rectangle1), QStringLiteral("txtRename"),
                      QStringLiteral("Machine name"));
    txtRename->setStyleSheet(QStringLiteral("QLineEdit { color: white; background: blue; }"));
    txtRename->setVisible(false);

    for (int i = 0; i <= 14; ++i) {
        List1[i] =
            named(new QListWidget(this), member("List1", i), QStringLiteral("Program paths"));
        List1[i]->setVisible(false);
    }

    Separator1 =
        named(rule(this, QFrame::HLine), QStringLiteral("Separator1"), QStringLiteral("Separator"));

    for (int i = 0; i <= 9; ++i) {
        txBuffer[i] = named(new QPlainTextEdit(GroupBox2), member("txBuffer", i),
                            QStringLiteral("Code window"));
        txBuffer[i]->setFrameShape(QFrame::NoFrame);
        // Part programs line up in columns.
        txBuffer[i]->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        txBuffer[i]->setLineWrapMode(QPlainTextEdit::NoWrap);
        txBuffer[i]->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        txBuffer[i]->setVisible(false);
    }

    PBar1 = named(new QProgressBar(GroupBox1), QStringLiteral("PBar1"), QStringLiteral("Progress"));
    PBar1->setMaximum(100);
    PBar1->setTextVisible(false);
    txtPcent =
        named(new QLineEdit(GroupBox1), QStringLiteral("txtPcent"), QStringLiteral("Percent sent"));
    txtPcent->setAlignment(Qt::AlignRight);
    txtPcent->setReadOnly(true);
    cmdTX = named(new QPushButton(QStringLiteral("Send"), GroupBox1), QStringLiteral("cmdTX"),
                  QStringLiteral("Send"));

    for (int i = 1; i <= 9; ++i) {
        frmMc[i] = named(new QFrame(Rectangle1), member("frmMc", i), QString());
        frmMc[i]->setAutoFillBackground(true);
        frmMc[i]->setPalette(white);
        frmMc[i]->setStyleSheet(
            QStringLiteral("QFrame#%1 { background: white; border: 1px solid #FFFFFF; }")
                .arg(member("frmMc", i)
                         .replace(QLatin1Char('('), QLatin1String("\\("))
                         .replace(QLatin1Char(')'), QLatin1String("\\)"))));
        imgMc[i] = named(new Canvas(frmMc[i]), member("imgMc", i), QString());
        imgMc[i]->setPicture(QStringLiteral("mc1"), QSize(48, 48));
        imgMc[i]->setAcceptsFiles(true);
        imgMc[i]->setGeometry(4, 4, 48, 48);
        frmMc[i]->setVisible(false);
    }

    imgBadPort =
        named(new QPushButton(this), QStringLiteral("imgBadPort"), QStringLiteral("Port warning"));
    // The marker is a disabled button, yet the warning must keep its colour.
    QIcon warning;
    for (const QSize size : {QSize(20, 20), QSize(40, 40)}) {
        const QPixmap pm = tavrinPicture(QStringLiteral("excl"), size);
        warning.addPixmap(pm, QIcon::Normal);
        warning.addPixmap(pm, QIcon::Disabled);
    }
    imgBadPort->setIcon(warning);
    imgBadPort->setIconSize(QSize(20, 20));
    imgBadPort->setEnabled(false);
    imgBadPort->setFlat(true);

    BevelButton1 = named(new QPushButton(Rectangle1), QStringLiteral("BevelButton1"),
                         QStringLiteral("Add Machine"));
    BevelButton1->setIcon(tavrinIcon(QStringLiteral("addmac")));
    BevelButton1->setIconSize(QSize(46, 46));

    lblmcname =
        named(new QLabel(Canvas1), QStringLiteral("lblmcname"), QStringLiteral("Machine name"));
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

    cvsLinePtr =
        named(new Canvas(GroupBox2), QStringLiteral("cvsLinePtr"), QStringLiteral("Line pointer"));
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
            if (m.PortState == 0) MenuClicked(i);
        });
    }
    for (int i = 1; i <= 4; ++i) {
        lblMenu[i] = named(new Canvas(this), member("lblMenu", i), QLatin1String(spoken[i]));
        lblMenu[i]->setText(QLatin1String(captions[i]));
        lblMenu[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        lblMenu[i]->setCursor(Qt::PointingHandCursor);
        connect(lblMenu[i], &Canvas::mouseDown, this, [this, i] {
            if (m.PortState == 0) MenuClicked(i);
        });
    }
    for (int i = 2; i <= 5; ++i)
        Separator[i] =
            named(rule(this, QFrame::VLine), member("Separator", i), QStringLiteral("Separator"));

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
    // the queue and the transmit bar grow with it. The toolbar, the logo
    // panel and the machine panel keep their places.
    const int dx = qMax(0, size.width() - kBaseWidth);
    const int dy = qMax(0, size.height() - kBaseHeight);
    const int width = kBaseWidth + dx;
    const int height = kBaseHeight + dy;

    // Toolbar, left to right: Quit, Editor, Menu, Setup, then the About icon
    // and the place of the port warning; Receive at the right end.
    const int order[] = {1, 4, 2, 3};
    int x = 8;
    for (int k = 0; k < 4; ++k) {
        const int i = order[k];
        imgMenu[i]->setGeometry(x, 8, 26, 26);
        lblMenu[i]->setGeometry(x + 28, 8, 52, 26);
        x += 84;
        Separator[k + 2]->setGeometry(x - 4, 6, 4, 30);
    }
    imgMenu[5]->setGeometry(x + 4, 8, 26, 26);
    mnuReceive->setGeometry(width - 178, 6, 170, 30);
    Separator1->setGeometry(0, 40, width, 4);

    Rectangle1->setGeometry(4, 46, width - 8, height - 50);
    // Inside Rectangle1 from here on.
    // Logo panel: the picture on top, the version at the top right, the
    // selected machine's name and description below the picture.
    Canvas1->setGeometry(6, 6, 164, 184);
    vText1->setGeometry(94, 2, 66, 14);
    lblmcname->setGeometry(6, 84, 154, 18);
    lbldesc->setGeometry(6, 102, 154, 80);

    // Machine panel: the add-machine button and icons 1 to 4 in the first
    // row, icons 5 to 9 in the second, each with its caption beneath.
    for (int i = 0; i <= 9; ++i) {
        const QPoint p = slotPosition(i);
        if (i == 0)
            BevelButton1->setGeometry(p.x(), p.y(), kSlotFrame, kSlotFrame);
        else
            frmMc[i]->setGeometry(p.x(), p.y(), kSlotFrame, kSlotFrame);
        lblmc[i]->setGeometry(p.x() + kSlotFrame / 2 - kSlotPitch / 2 + 1, p.y() + kSlotFrame + 2,
                              kSlotPitch - 2, 30);
    }

    const int workTop = 202;
    const int barHeight = 60;
    const int barTop = Rectangle1->height() - barHeight - 4;
    for (int i = 0; i <= 9; ++i)
        txQueue[i]->setGeometry(6, workTop, 164, barTop - workTop - 6);
    GroupBox2->setGeometry(176, workTop - 4, Rectangle1->width() - 182, barTop - workTop - 2);
    const int codeWidth = GroupBox2->width() - 26;
    const int codeHeight = GroupBox2->height() - 12;
    for (int i = 0; i <= 9; ++i)
        txBuffer[i]->setGeometry(22, 6, codeWidth, codeHeight);
    // The line pointer stands left of the code window; its height on that
    // line is the code window's business and is kept on a resize.
    if (cvsLinePtr->width() != 16) cvsLinePtr->setGeometry(4, 6, 16, 16);

    // Transmit bar: file name and progress on the left, Send (or Pause and
    // Stop side by side) with the percentage below it on the right.
    GroupBox1->setGeometry(6, barTop, Rectangle1->width() - 12, barHeight);
    const int right = GroupBox1->width() - 108;
    for (int i = 0; i <= 9; ++i)
        txFileName[i]->setGeometry(8, 6, right - 16, 22);
    PBar1->setGeometry(8, 34, right - 16, 18);
    cmdTX->setGeometry(right, 4, 100, 26);
    chkTXPause->setGeometry(right, 4, 49, 26);
    cmdStop->setGeometry(right + 51, 4, 49, 26);
    txtPcent->setGeometry(right, 33, 100, 20);

    for (int i = 0; i <= 14; ++i)
        List1[i]->setGeometry(0, height + 40, 100, 40); // below the visible area
}

void frmHalvec::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    layoutForSize(size());
}

void frmHalvec::closeEvent(QCloseEvent *e)
{
    // The close box ends the program as Quit does, and like Quit it is
    // refused while a program is being sent or data received, so that a
    // stray click cannot cut a transmission off halfway.
    if (m.PortState != 0) {
        e->ignore();
        platform.beep();
        return;
    }
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
            platform.message(
                this, QStringLiteral("You need to select a Machine icon before going to Setup"));
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

QString frmHalvec::configFolder(const QString &executableFolder)
{
    if (QFileInfo(executableFolder).isDir() && QFileInfo(executableFolder).isWritable())
        return QDir(executableFolder).absolutePath() + QLatin1Char('/');
    // An installed program cannot write beside itself: keep the
    // configuration in the user's configuration folder instead.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(dir);
    return QDir(dir).absolutePath() + QLatin1Char('/');
}

bool frmHalvec::locateIniFile()
{
    if (m.AppPath.isEmpty()) m.AppPath = configFolder(QCoreApplication::applicationDirPath());
    if (!m.AppPath.endsWith(QLatin1Char('/'))) m.AppPath += QLatin1Char('/');
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
    if (m.Last_MC > 0) panel->mcClick(1);
    return true;
}

rxedit *frmHalvec::rxEdit(bool create)
{
    if (!m_rxedit && create) m_rxedit = new rxedit(*this);
    return m_rxedit;
}

rxedit *frmHalvec::showRxEdit(bool modal)
{
    rxedit *w = rxEdit(true);
    if (modal) w->setWindowModality(Qt::ApplicationModal);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}
