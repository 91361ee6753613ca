#include "rxedit/rxedit.h"

#include "app/bytetext.h"
#include "app/canvas.h"
#include "app/frmhalvec.h"
#include "app/platform.h"
#include "config/module1.h"
#include "receive/portscan.h"
#include "receive/receivehandler.h"
#include "transmit/codewindows.h"
#include "transmit/sendengine.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>

namespace
{

template <typename W> W *named(W *w, const QString &name, const QString &accessible)
{
    w->setObjectName(name);
    w->setAccessibleName(accessible);
    return w;
}

QToolButton *bevel(QWidget *parent, const QString &name, const QString &caption,
                   const QString &picture)
{
    auto *b = named(new QToolButton(parent), name, caption.trimmed());
    b->setText(caption);
    b->setIcon(tavrinIcon(picture));
    b->setIconSize(QSize(24, 24));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    return b;
}

constexpr int kPanelLeft = 18;
constexpr int kPanelAway = 700;

} // namespace

rxedit::rxedit(frmHalvec &win) : QWidget(&win, Qt::Window), w(win)
{
    setObjectName(QStringLiteral("rxedit"));
    setAccessibleName(QStringLiteral("RX-Edit"));
    setWindowTitle(QStringLiteral(" RX-Edit"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Width, Height);

    mnuExit =
        bevel(this, QStringLiteral("mnuExit"), QStringLiteral("Exit"), QStringLiteral("end1"));
    mnuNew = bevel(this, QStringLiteral("mnuNew"), QStringLiteral("New"), QStringLiteral("new2"));
    mnuOpen =
        bevel(this, QStringLiteral("mnuOpen"), QStringLiteral("Open"), QStringLiteral("foldopen1"));
    mnuSave =
        bevel(this, QStringLiteral("mnuSave"), QStringLiteral("Save"), QStringLiteral("Save16"));
    mnuExit4 = bevel(this, QStringLiteral("mnuExit4"), QStringLiteral("Move to TX Buffer "),
                     QStringLiteral("rx1"));
    mnuExit->setGeometry(6, 4, 56, 46);
    mnuNew->setGeometry(64, 4, 56, 46);
    mnuOpen->setGeometry(122, 4, 56, 46);
    mnuSave->setGeometry(180, 4, 56, 46);
    mnuExit4->setGeometry(Width - 6 - 130, 4, 130, 46);

    Separator1 = named(new QFrame(this), QStringLiteral("Separator1"), QStringLiteral("Separator"));
    Separator1->setFrameShape(QFrame::HLine);
    Separator1->setFrameShadow(QFrame::Sunken);
    Separator1->setGeometry(0, 52, Width, 4);

    Canvas1 = named(new Canvas(this), QStringLiteral("Canvas1"), QStringLiteral("Tavrin logo"));
    Canvas1->setPicture(QStringLiteral("tavrin"), QSize(162, 190));
    Canvas1->setGeometry(8, 62, 162, 190);
    // Dropping something on the logo only beeps.
    Canvas1->setAcceptsFiles(true);
    connect(Canvas1, &Canvas::dragOver, this, [this] { w.platform.beep(); });
    connect(Canvas1, &Canvas::filesDropped, this, [this] { w.platform.beep(); });

    txtFile =
        named(new QPlainTextEdit(this), QStringLiteral("txtFile"), QStringLiteral("Received data"));
    txtFile->setGeometry(178, 62, Width - 178 - 8, Height - 62 - 8);
    txtFile->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    txtFile->setFont(mono);

    AutoGroup = named(new QGroupBox(QStringLiteral("9600,N,8,1"), this),
                      QStringLiteral("AutoGroup"), QStringLiteral("Port Scan"));
    AutoGroup->setGeometry(kPanelAway, 262, 152, 200);
    PushButton2 = named(new QPushButton(QStringLiteral("Help"), AutoGroup),
                        QStringLiteral("PushButton2"), QStringLiteral("Help"));
    chkCTSOK = named(new QCheckBox(QStringLiteral("RTS/CTS"), AutoGroup),
                     QStringLiteral("chkCTSOK"), QStringLiteral("RTS/CTS"));
    chkSpeedOK = named(new QCheckBox(QStringLiteral("Speed/Baud rate"), AutoGroup),
                       QStringLiteral("chkSpeedOK"), QStringLiteral("Speed/Baud rate"));
    chkDBitsOK = named(new QCheckBox(QStringLiteral("DataBits"), AutoGroup),
                       QStringLiteral("chkDBitsOK"), QStringLiteral("DataBits"));
    chkParityOK = named(new QCheckBox(QStringLiteral("Parity"), AutoGroup),
                        QStringLiteral("chkParityOK"), QStringLiteral("Parity"));
    PushButton1 = named(new QPushButton(QStringLiteral("Save Settings"), AutoGroup),
                        QStringLiteral("PushButton1"), QStringLiteral("Save Settings"));
    PushButton2->setGeometry(10, 22, 132, 26);
    int y = 54;
    for (QCheckBox *c : {chkCTSOK, chkSpeedOK, chkDBitsOK, chkParityOK}) {
        c->setGeometry(10, y, 132, 22);
        // Only the detection ticks these.
        c->setAttribute(Qt::WA_TransparentForMouseEvents);
        c->setFocusPolicy(Qt::NoFocus);
        y += 26;
    }
    PushButton1->setGeometry(10, 162, 132, 28);

    connect(mnuExit, &QToolButton::clicked, this, &rxedit::mnuExit_Action);
    connect(mnuNew, &QToolButton::clicked, this, &rxedit::mnuNew_Action);
    connect(mnuOpen, &QToolButton::clicked, this, &rxedit::mnuOpen_Action);
    connect(mnuSave, &QToolButton::clicked, this, &rxedit::mnuSave_Action);
    connect(mnuExit4, &QToolButton::clicked, this, &rxedit::mnuExit4_Action);
    connect(PushButton1, &QPushButton::clicked, this, [this] { w.portScan->PushButton1_Action(); });

    placeAutoGroup();
}

void rxedit::placeAutoGroup()
{
    AutoGroup->move(w.m.AutoScanning ? kPanelLeft : kPanelAway, AutoGroup->y());
    AutoGroup->setVisible(w.m.AutoScanning);
}

void rxedit::closeEvent(QCloseEvent *e)
{
    // Closing ends the receive state and Port Scan. A send still running
    // keeps the transmitting state: it needs the machine's XON/XOFF.
    w.m.PortState = w.engine->isRunning() ? 1 : 0;
    w.m.AutoScanning = false;
    w.receiver->dropPending();
    QWidget::closeEvent(e);
}

void rxedit::mnuExit_Action()
{
    close();
}

void rxedit::mnuNew_Action()
{
    txtFile->clear();
    m_endsWithCR = false;
    // Held-back received text belongs to the text just discarded.
    w.receiver->dropPending();
}

void rxedit::mnuOpen_Action()
{
    const QString path = w.platform.openFileName(this);
    if (path.isEmpty()) return;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return;
    txtFile->setPlainText(bytesToText(bytes));
    m_endsWithCR = false;
}

void rxedit::mnuSave_Action()
{
    const QString path = w.platform.saveFileName(this);
    if (path.isEmpty()) return;
    // Written to a temporary file and renamed over the old one, so a failed
    // save never leaves half a program behind.
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(textBytes()) >= 0 && f.commit()) return;
    // The text would be lost with the window: the user must know it was not saved.
    w.platform.message(this,
                       QStringLiteral("The text could not be saved to \"%1\": %2")
                           .arg(QDir::toNativeSeparators(path), f.errorString()),
                       QStringLiteral("Save"), QMessageBox::Ok, Platform::Icon::Warning);
}

void rxedit::mnuExit4_Action()
{
    const int mc = w.m.SelectedMC;
    if (mc < 1 || mc > w.m.Last_MC) {
        // No code window is showing: keep the text rather than hide it.
        w.platform.message(this,
                           QStringLiteral("You need to select a Machine icon before moving the "
                                          "text to the TX Buffer"),
                           QString(), QMessageBox::Ok, Platform::Icon::Caution);
        return;
    }
    if (w.engine->isRunning()) {
        // The send reads its lines from the code window as it goes: a new
        // text there would reach the machine as a mix of two programs.
        w.platform.message(this,
                           QStringLiteral("A program is being sent. Wait until it has finished, "
                                          "or stop it, before moving the text to the TX Buffer"),
                           QString(), QMessageBox::Ok, Platform::Icon::Caution);
        return;
    }
    w.codeWindows->setProgram(mc, textBytes());
    w.txFileName[mc]->setText(QStringLiteral("Unknown"));
    close();
}

void rxedit::appendReceived(const QString &text)
{
    QTextDocument *doc = txtFile->document();
    QStringView t(text);
    if (m_endsWithCR && doc->revision() == m_revision && t.startsWith(QLatin1Char('\n')))
        t = t.mid(1);
    m_endsWithCR = false;
    if (t.isEmpty()) return;
    QScrollBar *sb = txtFile->verticalScrollBar();
    const bool follow = sb->value() == sb->maximum();
    QTextCursor c(doc);
    c.movePosition(QTextCursor::End);
    c.insertText(t.toString());
    m_endsWithCR = t.endsWith(QLatin1Char('\r'));
    m_revision = doc->revision();
    if (follow) sb->setValue(sb->maximum());
}

QByteArray rxedit::toFileBytes(const QString &rawText)
{
    QString t = rawText;
    t.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    t.replace(QChar::LineSeparator, QLatin1String("\r\n"));
    return textToBytes(t);
}

QByteArray rxedit::textBytes() const
{
    // toRawText keeps every character as it was put in (toPlainText would
    // turn a no-break space into a space).
    return toFileBytes(txtFile->document()->toRawText());
}
