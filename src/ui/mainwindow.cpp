#include "ui/mainwindow.h"

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/ports/portaddress.h"
#include "core/ports/serialport.h"
#include "core/log/transferlog.h"
#include "core/machines/registry.h"
#include "core/machines/workshop.h"
#include "ui/canvas.h"
#include "ui/codewindows.h"
#include "ui/machinemenu.h"
#include "ui/machinepanel.h"
#include "ui/names.h"
#include "ui/platform.h"
#include "ui/queueview.h"
#include "ui/rxeditwindow.h"
#include "ui/setuplauncher.h"
#include "ui/toolbar.h"
#include "ui/transmitbar.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>

namespace
{
constexpr int kBaseWidth = 688;
constexpr int kBaseHeight = 517;
} // namespace

MainWindow::MainWindow(Workshop &workshop, Platform &platform, QWidget *parent)
    : QWidget(parent), m_workshop(workshop), m_platform(platform)
{
    setObjectName(QStringLiteral("frmHalvec"));
    setWindowTitle(QStringLiteral("  Halvec"));
    setAccessibleName(QStringLiteral("Tavrin"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setMinimumSize(64, 64);
    resize(kBaseWidth, kBaseHeight);
    setAutoFillBackground(true);
    build();
    connectViews();
    layoutForSize(size());
}

MainWindow::~MainWindow()
{
    delete m_rxEdit;
}

void MainWindow::build()
{
    m_area = named(new QFrame(this), QStringLiteral("Rectangle1"), QStringLiteral("Working area"));
    m_area->setFrameShape(QFrame::Box);
    m_area->setAutoFillBackground(true);
    QPalette white = m_area->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_area->setPalette(white);
    m_bar = named(new QGroupBox(m_area), QStringLiteral("GroupBox1"), QStringLiteral("Transmit"));
    m_codeBox =
        named(new QGroupBox(m_area), QStringLiteral("GroupBox2"), QStringLiteral("Code window"));

    m_logo = named(new Canvas(m_area), QStringLiteral("Canvas1"), QStringLiteral("Tavrin logo"));
    m_logo->setPicture(QStringLiteral("tavrin"), QSize(66, 78));
    m_logo->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_logo->setContentsMargins(0, 2, 0, 0);
    // Dropping something on the logo only beeps.
    m_logo->setAcceptsFiles(true);
    connect(m_logo, &Canvas::dragOver, this, [this] { m_platform.beep(); });
    connect(m_logo, &Canvas::filesDropped, this, [this] { m_platform.beep(); });
    m_version = named(new QLabel(QStringLiteral(TAVRIN_VERSION), m_logo), QStringLiteral("vText1"),
                      QStringLiteral("Version"));
    m_version->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_version->setStyleSheet(QStringLiteral("color: #8A8A8A;"));

    m_toolbar = new Toolbar(this);
    m_code = new CodeWindows(m_workshop, m_platform, m_codeBox);
    m_queue = new QueueView(m_workshop, m_platform, *m_code, m_area, this);
    m_transmit = new TransmitBar(m_workshop, m_platform, *m_code, m_bar);
    m_panel = new MachinePanel(m_workshop, m_platform, m_area, m_logo, this);
    m_menu = new MachineMenu(m_workshop, m_platform, *m_code, this);
    m_setup = new SetupLauncher(m_workshop, m_platform, this);
}

void MainWindow::connectViews()
{
    connect(m_toolbar, &Toolbar::entryClicked, this, &MainWindow::toolbarClicked);
    connect(m_toolbar, &Toolbar::receiveClicked, this, [this] {
        m_workshop.beginReceive();
        showRxEdit(false);
    });
    connect(m_panel, &MachinePanel::contextMenuRequested, m_menu, &MachineMenu::popup);
    connect(m_panel, &MachinePanel::filesDropped, m_queue, &QueueView::addFiles);
    connect(m_menu, &MachineMenu::receiveChosen, this, [this] {
        m_workshop.beginReceive();
        showRxEdit(false);
    });
    connect(m_menu, &MachineMenu::renameChosen, m_panel, &MachinePanel::startRename);
    connect(m_menu, &MachineMenu::propertiesChosen, this, [this] { m_setup->show(true); });
    connect(m_menu, &MachineMenu::portScanChosen, this, &MainWindow::startScan);
    // A network serial server says why it failed; a send that was running
    // reports the lost port itself.
    connect(&m_workshop, &Workshop::portProblem, this,
            [this](int, PortStatus status, const QString &port) {
                Link *link = m_workshop.selectedLink();
                const QString why = link ? link->port().errorString() : QString();
                if (status == PortStatus::Unavailable && PortAddress::parse(port).isNetwork() &&
                    !why.isEmpty() && !m_workshop.sending())
                    m_platform.message(this, why, QStringLiteral("Network serial port"),
                                       QMessageBox::Ok, Platform::Icon::Warning);
            });
    connect(&m_workshop.config(), &ConfigStore::saveFailed, this,
            [this](const QString &file, const QString &reason) {
                m_platform.message(this,
                                   QStringLiteral("The machine settings could not be saved to "
                                                  "\"%1\": %2\nThe file was left as it was.")
                                       .arg(QDir::toNativeSeparators(file), reason),
                                   QStringLiteral("Save Settings"), QMessageBox::Ok,
                                   Platform::Icon::Warning);
            });
    connect(&m_workshop.config(), &ConfigStore::fileMoved, this,
            [this](const QString &file, const QString &reason, const QString &now) {
                m_platform.message(
                    this,
                    QStringLiteral("The machine settings could not be saved to "
                                   "\"%1\": %2\nThey are now kept in \"%3\", "
                                   "the file in use from now on.")
                        .arg(QDir::toNativeSeparators(file), reason, QDir::toNativeSeparators(now)),
                    QStringLiteral("Save Settings"), QMessageBox::Ok, Platform::Icon::Caution);
            });
}

void MainWindow::reportLogFailures(TransferLog &log)
{
    // Told once per run, after the transfer's end has been handled.
    connect(
        &log, &TransferLog::failed, this,
        [this](const QString &file, const QString &reason) {
            m_platform.message(this,
                               QStringLiteral("The transfer log \"%1\" could not be written: %2\n"
                                              "Sending and receiving work as before; they are "
                                              "not logged.")
                                   .arg(QDir::toNativeSeparators(file), reason),
                               QStringLiteral("Transfer log"), QMessageBox::Ok,
                               Platform::Icon::Warning);
        },
        Qt::QueuedConnection);
}

void MainWindow::layoutForSize(const QSize &size)
{
    // The window opens at 688 x 517; when it grows, the code window area,
    // the queue and the transmit bar grow with it. The toolbar, the logo
    // panel and the machine panel keep their places.
    const int width = qMax(kBaseWidth, size.width());
    const int height = qMax(kBaseHeight, size.height());
    m_toolbar->layout(width);
    m_area->setGeometry(4, 46, width - 8, height - 50);
    // Inside Rectangle1 from here on.
    m_logo->setGeometry(6, 6, 164, 184);
    m_version->setGeometry(94, 2, 66, 14);
    m_panel->layout(m_toolbar->warningPlace());

    const int workTop = 202;
    const int barHeight = 60;
    const int barTop = m_area->height() - barHeight - 4;
    m_queue->layout(QRect(6, workTop, 164, barTop - workTop - 6), height);
    m_codeBox->setGeometry(176, workTop - 4, m_area->width() - 182, barTop - workTop - 2);
    m_code->layout(m_codeBox->size());
    m_bar->setGeometry(6, barTop, m_area->width() - 12, barHeight);
    m_transmit->layout(m_bar->width());
}

void MainWindow::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    layoutForSize(size());
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    // The close box ends the program as Quit does, and like Quit it is
    // refused while the user's own program is being sent or data received,
    // so that a stray click cannot cut a transmission off halfway.
    e->ignore();
    if (m_workshop.attendedBusy()) {
        m_platform.beep();
        return;
    }
    quit();
}

void MainWindow::quit()
{
    if (m_ending) return;
    // Served machines at work are asked about, then ended as the service's
    // stop ends them: sends at a whole block, a punch coming in kept.
    QStringList working;
    for (int i = 1; i <= m_workshop.machines().count(); ++i)
        if (m_workshop.busy(i)) working << m_workshop.machines().at(i).name();
    if (!working.isEmpty()) {
        const auto answer = m_platform.message(
            this,
            QStringLiteral("These machines are still working: %1.\nQuit anyway? Their sends "
                           "end at a whole block, and a program coming in is kept as "
                           "incomplete.")
                .arg(working.join(QStringLiteral(", "))),
            QStringLiteral("Quit"), QMessageBox::Yes | QMessageBox::No,
            Platform::Icon::Question, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
    }
    m_ending = true;
    static_cast<void>(m_workshop.registry().shutDown());
    if (!m_workshop.active()) {
        emit quitRequested();
        return;
    }
    connect(&m_workshop.registry(), &MachineRegistry::allIdle, this, &MainWindow::quitRequested);
    // What a machine holds back is let go after a while, as the service does.
    Timer *grace = m_workshop.clock().createTimer(this);
    connect(grace, &Timer::timeout, this, [this] {
        static_cast<void>(m_workshop.registry().shutDown());
    });
    grace->start(StopGraceMs);
}

QString MainWindow::platformName()
{
#if defined(Q_OS_MACOS)
    return QStringLiteral("MacOSX");
#elif defined(Q_OS_WIN)
    return QStringLiteral("Windows");
#else
    return QStringLiteral("Linux");
#endif
}

QString MainWindow::aboutText() const
{
    return QStringLiteral("This is Tavrin version ") + m_version->text() + QStringLiteral(" for ") +
           platformName();
}

void MainWindow::toolbarClicked(int entry)
{
    // While the user's own send, receive or Port Scan runs, the toolbar
    // does nothing; served machines at work hold nothing but Quit's question.
    if (m_workshop.attendedBusy() || m_ending) return;
    switch (entry) {
    case Toolbar::Quit:
        quit();
        break;
    case Toolbar::Menu:
        m_menu->popup(QCursor::pos());
        break;
    case Toolbar::Setup:
        if (m_workshop.selected() > 0)
            m_setup->show(false);
        else
            m_platform.message(
                this, QStringLiteral("You need to select a Machine icon before going to Setup"));
        break;
    case Toolbar::Editor:
        showRxEdit(false);
        break;
    case Toolbar::About:
        m_platform.message(this, aboutText());
        break;
    default:
        break;
    }
}

bool MainWindow::open()
{
    if (!m_workshop.config().ensureFile()) {
        m_platform.message(this, QStringLiteral("Can't continue - Nil folderItem"));
        emit quitRequested();
        return false;
    }
    m_workshop.reload();
    const ConfigStore &config = m_workshop.config();
    if (!config.readError().isEmpty())
        m_platform.message(
            this,
            QStringLiteral("The machine settings in \"%1\" could not be read: %2\n"
                           "Tavrin starts without machines and leaves the file "
                           "as it is.")
                .arg(QDir::toNativeSeparators(config.filePath()), config.readError()),
            QStringLiteral("Machine settings"), QMessageBox::Ok, Platform::Icon::Warning);
    if (m_workshop.machines().count() > 0) m_workshop.select(1);
    return true;
}

RxEditWindow *MainWindow::showRxEdit(bool modal)
{
    if (!m_rxEdit) {
        m_rxEdit = new RxEditWindow(m_workshop, m_platform, modal, this);
        connect(m_rxEdit, &RxEditWindow::closed, this, [this] { m_rxEdit = nullptr; });
        connect(m_rxEdit, &RxEditWindow::moveToTxBuffer, this, [this](const QByteArray &bytes) {
            const int mc = m_workshop.selected();
            m_workshop.program(mc).load(bytes, ProgramSource::received());
            m_workshop.queue(mc).setLoadedName(ProgramQueue::unnamed());
        });
    }
    if (modal) {
        // A window already open without the panel is shown again modally,
        // with the panel: the scan is no use without it.
        if (m_rxEdit->isVisible()) m_rxEdit->hide();
        m_rxEdit->setWindowModality(Qt::ApplicationModal);
        m_rxEdit->showPanel(true);
    }
    m_rxEdit->show();
    m_rxEdit->raise();
    m_rxEdit->activateWindow();
    return m_rxEdit;
}

void MainWindow::startScan()
{
    switch (m_workshop.beginScan()) {
    case Workshop::ScanResult::Started:
        showRxEdit(true);
        break;
    case Workshop::ScanResult::FixedSettings:
        m_platform.message(this,
                           QStringLiteral("Port Scan has to try other speeds, and a raw TCP server "
                                          "(tcp://) keeps its own line settings. Use an "
                                          "rfc2217:// address for a server that takes them."),
                           QStringLiteral("Port Scan"), QMessageBox::Ok, Platform::Icon::Caution);
        break;
    case Workshop::ScanResult::Refused:
        break;
    }
}
