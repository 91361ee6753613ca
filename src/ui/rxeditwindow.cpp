#include "ui/rxeditwindow.h"

#include "core/base/atomicfile.h"
#include "core/base/bytetext.h"
#include "core/machines/workshop.h"
#include "ui/bytetextedit.h"
#include "ui/canvas.h"
#include "ui/codeedit.h"
#include "ui/names.h"
#include "ui/platform.h"
#include "ui/receivedview.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolButton>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace
{

QToolButton *bevel(QWidget *parent, const char *name, const QString &caption, const char *picture,
                   int x, int width)
{
    auto *b = named(new QToolButton(parent), QLatin1String(name), caption.trimmed());
    b->setText(caption);
    b->setIcon(tavrinIcon(QLatin1String(picture)));
    b->setIconSize(QSize(24, 24));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setGeometry(x, 4, width, 46);
    return b;
}

constexpr int kPanelLeft = 18;
constexpr int kPanelAway = 700;

} // namespace

RxEditWindow::RxEditWindow(Workshop &workshop, Platform &platform, bool scanning,
                           QWidget *parent)
    : QWidget(parent, Qt::Window), m_workshop(workshop), m_platform(platform)
{
    setObjectName(QStringLiteral("rxedit"));
    setAccessibleName(QStringLiteral("RX-Edit"));
    setWindowTitle(QStringLiteral(" RX-Edit"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Width, Height);

    auto *exit = bevel(this, "mnuExit", QStringLiteral("Exit"), "end1", 6, 56);
    auto *clear = bevel(this, "mnuNew", QStringLiteral("New"), "new2", 64, 56);
    auto *open = bevel(this, "mnuOpen", QStringLiteral("Open"), "foldopen1", 122, 56);
    auto *save = bevel(this, "mnuSave", QStringLiteral("Save"), "Save16", 180, 56);
    auto *move = bevel(this, "mnuExit4", QStringLiteral("Move to TX Buffer "), "rx1",
                       Width - 6 - 130, 130);
    auto *rule = named(new QFrame(this), QStringLiteral("Separator1"), QStringLiteral("Separator"));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(0, 52, Width, 4);

    auto *logo = named(new Canvas(this), QStringLiteral("Canvas1"), QStringLiteral("Tavrin logo"));
    logo->setPicture(QStringLiteral("tavrin"), QSize(162, 190));
    logo->setGeometry(8, 62, 162, 190);
    // Dropping something on the logo only beeps.
    logo->setAcceptsFiles(true);
    connect(logo, &Canvas::dragOver, this, [this] { m_platform.beep(); });
    connect(logo, &Canvas::filesDropped, this, [this] { m_platform.beep(); });

    auto *text = named(new ByteTextEdit(this), QStringLiteral("txtFile"),
                       QStringLiteral("Received data"));
    // Saved byte for byte: what has no single byte cannot go in.
    connect(text, &ByteTextEdit::refused, this, [this](const QString &c) {
        m_platform.beep();
        m_platform.message(this, ByteTextEdit::refusalText(c), QStringLiteral("RX-Edit"),
                           QMessageBox::Ok, Platform::Icon::Caution);
    });
    m_text = text;
    m_text->setGeometry(178, 62, Width - 178 - 8, Height - 62 - 8);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    m_text->setFont(mono);

    buildPanel(scanning);

    connect(exit, &QToolButton::clicked, this, &QWidget::close);
    connect(clear, &QToolButton::clicked, this, &RxEditWindow::newText);
    connect(open, &QToolButton::clicked, this, &RxEditWindow::openFile);
    connect(save, &QToolButton::clicked, this, &RxEditWindow::saveFile);
    connect(move, &QToolButton::clicked, this, &RxEditWindow::moveText);

    connect(&workshop, &Workshop::receivedText, this, &RxEditWindow::appendReceived);
    connect(&workshop, &Workshop::scanShown, this, &RxEditWindow::appendReceived);
    connect(&workshop, &Workshop::scanSettingsTried, m_panel, &QGroupBox::setTitle);
    connect(&workshop, &Workshop::scanFindingsChanged, this, &RxEditWindow::showFindings);
}

void RxEditWindow::buildPanel(bool scanning)
{
    m_panel = named(new QGroupBox(QStringLiteral("9600,n,8,1"), this), QStringLiteral("AutoGroup"),
                    QStringLiteral("Port Scan"));
    m_panel->setGeometry(kPanelAway, 262, 152, 200);
    showPanel(scanning);
    named(new QPushButton(QStringLiteral("Help"), m_panel), QStringLiteral("PushButton2"),
          QStringLiteral("Help"))
        ->setGeometry(10, 22, 132, 26);
    int y = 54;
    auto box = [this, &y](const char *name, const QString &caption) {
        auto *c = named(new QCheckBox(caption, m_panel), QLatin1String(name), caption);
        c->setGeometry(10, y, 132, 22);
        // Only the detection ticks these.
        c->setAttribute(Qt::WA_TransparentForMouseEvents);
        c->setFocusPolicy(Qt::NoFocus);
        y += 26;
        return c;
    };
    m_data = box("chkCTSOK", QStringLiteral("RTS/CTS"));
    m_speed = box("chkSpeedOK", QStringLiteral("Speed/Baud rate"));
    m_dataBits = box("chkDBitsOK", QStringLiteral("DataBits"));
    m_parity = box("chkParityOK", QStringLiteral("Parity"));
    auto *store = named(new QPushButton(QStringLiteral("Save Settings"), m_panel),
                        QStringLiteral("PushButton1"), QStringLiteral("Save Settings"));
    store->setGeometry(10, 162, 132, 28);
    connect(store, &QPushButton::clicked, this, &RxEditWindow::saveSettings);
}

void RxEditWindow::showPanel(bool shown)
{
    m_panel->move(shown ? kPanelLeft : kPanelAway, m_panel->y());
    m_panel->setVisible(shown);
}

void RxEditWindow::showFindings(const ScanFindings &found)
{
    // A finding the received text later contradicts is withdrawn.
    m_data->setChecked(found.data);
    m_speed->setChecked(found.speed);
    m_dataBits->setChecked(found.dataBits);
    m_parity->setChecked(found.parity);
}

QString RxEditWindow::discardText()
{
    return QStringLiteral("The received text has not been saved. Discard it?");
}

bool RxEditWindow::mayDiscard()
{
    if (!m_unsaved || characters() == 0) return true;
    return m_platform.message(this, discardText(), QStringLiteral("RX-Edit"),
                              QMessageBox::Yes | QMessageBox::No, Platform::Icon::Question,
                              QMessageBox::No) == QMessageBox::Yes;
}

void RxEditWindow::closeEvent(QCloseEvent *e)
{
    if (!mayDiscard()) {
        e->ignore();
        return;
    }
    // Ends receiving and Port Scan; a send still running keeps the link.
    m_workshop.endReceive();
    QWidget::closeEvent(e);
    emit closed();
}

void RxEditWindow::newText()
{
    if (!mayDiscard()) return;
    showEditor(QString());
    m_unsaved = false;
    // Held-back received text belongs to the text just discarded.
    if (Link *link = m_workshop.selectedLink()) link->receiver().discard();
}

void RxEditWindow::openFile()
{
    const QString path = m_platform.openFileName(this);
    if (path.isEmpty()) return;
    const ProgramFile file = ProgramFile::read(path);
    if (!file.reason.isEmpty()) {
        tellUnreadable(m_platform, this, path, file.reason, QStringLiteral("RX-Edit"));
        return;
    }
    if (!mayDiscard()) return;
    if (file.bytes.size() > CodeEdit::BigBytes)
        showBig(file.bytes);
    else
        showEditor(bytesToText(file.bytes));
    m_unsaved = false;
}

bool RxEditWindow::isBig() const
{
    return m_big && !m_big->isHidden();
}

void RxEditWindow::showBig(const QByteArray &bytes)
{
    if (!m_big) {
        m_big = named(new ReceivedView(this), QStringLiteral("txtFile lines"),
                      m_text->accessibleName());
        m_big->setGeometry(m_text->geometry());
    }
    m_big->clear();
    m_big->append(bytes);
    m_big->show();
    // The editor's copy would cost many times the text's size.
    m_text->clear();
    m_text->hide();
#ifdef __GLIBC__
    // What the editor let go of lies scattered in the heap; give it back.
    malloc_trim(0);
#endif
}

void RxEditWindow::showEditor(const QString &text)
{
    if (m_big) {
        m_big->clear();
        m_big->hide();
    }
    m_text->show();
    m_text->setPlainText(text);
    m_endsWithCR = false;
}

void RxEditWindow::saveFile()
{
    const QString path = m_platform.saveFileName(this);
    if (path.isEmpty()) return;
    const QString reason = writeFileAtomically(path, textBytes());
    if (reason.isEmpty()) {
        m_unsaved = false;
        return;
    }
    // The text would be lost with the window: the user must know it was not saved.
    m_platform.message(this,
                       QStringLiteral("The text could not be saved to \"%1\": %2")
                           .arg(QDir::toNativeSeparators(path), reason),
                       QStringLiteral("Save"), QMessageBox::Ok, Platform::Icon::Warning);
}

void RxEditWindow::moveText()
{
    if (!m_workshop.machines().contains(m_workshop.selected())) {
        // No code window is showing: keep the text rather than hide it.
        m_platform.message(this,
                           QStringLiteral("You need to select a Machine icon before moving the "
                                          "text to the TX Buffer"),
                           QString(), QMessageBox::Ok, Platform::Icon::Caution);
        return;
    }
    if (m_workshop.sending()) {
        // The send has taken the code window's text: a new one there would
        // not be what reaches the machine.
        m_platform.message(this,
                           QStringLiteral("A program is being sent. Wait until it has finished, "
                                          "or stop it, before moving the text to the TX Buffer"),
                           QString(), QMessageBox::Ok, Platform::Icon::Caution);
        return;
    }
    if (!mayReplaceProgram(m_platform, this, m_workshop.program(m_workshop.selected()))) return;
    emit moveToTxBuffer(textBytes());
    m_unsaved = false;
    close();
}

void RxEditWindow::saveSettings()
{
    switch (m_workshop.saveScan()) {
    case Workshop::ScanSaveResult::Incomplete:
        m_platform.message(
            this,
            QStringLiteral("Machine communications settings have not been detected. If the "
                           "autodetect function has failed then you will need to setup the "
                           "communications parameters manually"),
            QStringLiteral("Detection not complete"), QMessageBox::Ok, Platform::Icon::Warning);
        break;
    case Workshop::ScanSaveResult::NoMachine:
        m_platform.message(this, QStringLiteral("The parameters were invalid and could not be saved"),
                           QStringLiteral("Save Parameters"), QMessageBox::Ok,
                           Platform::Icon::Warning);
        break;
    case Workshop::ScanSaveResult::Saved:
    case Workshop::ScanSaveResult::NotSaved: // the failure has been reported
        break;
    }
}

void RxEditWindow::appendReceived(const QByteArray &bytes)
{
    QTextDocument *doc = m_text->document();
    if (!isBig() && doc->characterCount() + bytes.size() > CodeEdit::BigBytes) {
        // An LF still to come after the editor's last CR belongs to it.
        const bool pairs = m_endsWithCR && doc->revision() == m_revision;
        QByteArray text = textBytes();
        if (pairs) text.chop(1);
        showBig(text);
    }
    if (isBig()) {
        const qsizetype before = m_big->lineCount() + m_big->size();
        m_big->append(bytes);
        m_unsaved = m_unsaved || m_big->lineCount() + m_big->size() != before;
        return;
    }
    QString text = bytesToText(bytes);
    QStringView t(text);
    if (m_endsWithCR && doc->revision() == m_revision && t.startsWith(u'\n')) t = t.mid(1);
    m_endsWithCR = false;
    if (t.isEmpty()) return;
    m_unsaved = true;
    QScrollBar *sb = m_text->verticalScrollBar();
    const bool follow = sb->value() == sb->maximum();
    QTextCursor c(doc);
    c.movePosition(QTextCursor::End);
    c.insertText(t.toString());
    m_endsWithCR = t.endsWith(u'\r');
    m_revision = doc->revision();
    if (follow) sb->setValue(sb->maximum());
}

qsizetype RxEditWindow::characters() const
{
    return isBig() ? m_big->size() : m_text->document()->characterCount() - 1;
}

QByteArray RxEditWindow::textBytes() const
{
    if (isBig()) return m_big->text();
    // toRawText keeps every character as it was put in (toPlainText would
    // turn a no-break space into a space).
    QString t = m_text->document()->toRawText();
    t.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    t.replace(QChar::LineSeparator, QLatin1String("\r\n"));
    return textToBytes(t);
}
