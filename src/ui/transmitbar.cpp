#include "ui/transmitbar.h"

#include "core/base/clock.h"
#include "core/programs/charactercheck.h"
#include "core/sending/sendtext.h"
#include "core/ports/serialport.h"
#include "core/machines/workshop.h"
#include "ui/codewindows.h"
#include "ui/names.h"
#include "ui/platform.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace
{
// A running send's progress is shown at most once a second: its lines go
// by quicker than anyone can read them. What the send waits for, and its
// end, show at once.
constexpr qint64 kShowEveryNs = 1'000'000'000;
// The bar, with its text, moves in steps of a 25th of the whole. Each
// change of the text repaints all of the bar, a third dearer than the bar
// alone: moving with every line, it cost more than the rest of the window.
constexpr int kBarSteps = 25;

// The same kind of news about the same send: only its line, time left or
// share moved.
bool sameKind(const SendProgress &a, const SendProgress &b)
{
    return a.phase == b.phase && a.wait == b.wait && a.held == b.held && a.lines == b.lines;
}
} // namespace

TransmitBar::TransmitBar(Workshop &workshop, Platform &platform, CodeWindows &code, QWidget *bar)
    : QObject(bar), m_workshop(workshop), m_platform(platform), m_code(code), m_bar(bar),
      m_hold(workshop.clock().createTimer(this))
{
    connect(m_hold, &Timer::timeout, this, [this] {
        if (m_job && m_job->progress() != m_shown) progressChanged(m_job->progress());
    });
    m_stop = named(new QPushButton(QStringLiteral("Stop"), bar), QStringLiteral("cmdStop"),
                   QStringLiteral("Stop"));
    m_stop->setVisible(false);
    m_pause = named(new QPushButton(QStringLiteral("Pause"), bar), QStringLiteral("chkTXPause"),
                    QStringLiteral("Pause"));
    m_pause->setCheckable(true);
    m_pause->setVisible(false);
    m_pause->setEnabled(false);
    for (int i = 0; i <= MachineTable::MaxMachines; ++i) {
        m_fileNames[size_t(i)] = named(new QLineEdit(bar), member("txFileName", i),
                                       QStringLiteral("Program file"));
        m_fileNames[size_t(i)]->setVisible(false);
    }
    connect(&workshop, &Workshop::slotRebound, this, [this](int i) {
        auto refresh = [this, i] {
            if (m_note.isEmpty() || i != m_sendSlot) m_fileNames[size_t(i)]->setText(shownName(i));
        };
        for (const QMetaObject::Connection &c : m_bound[size_t(i)])
            disconnect(c);
        m_bound[size_t(i)] = {
            connect(&m_workshop.queue(i), &ProgramQueue::loadedNameChanged, this, refresh),
            connect(&m_workshop.program(i), &LoadedProgram::changedChanged, this, refresh)};
        refresh();
    });
    m_progress = named(new QProgressBar(bar), QStringLiteral("PBar1"), QStringLiteral("Progress"));
    m_progress->setMaximum(100);
    // The bar says what the send is doing: the line, the time left, or what
    // it waits for.
    m_progress->setTextVisible(true);
    m_progress->setAlignment(Qt::AlignCenter);
    m_percent = named(new QLineEdit(bar), QStringLiteral("txtPcent"),
                      QStringLiteral("Percent sent"));
    m_percent->setAlignment(Qt::AlignRight);
    m_percent->setReadOnly(true);
    m_send = named(new QPushButton(QStringLiteral("Send"), bar), QStringLiteral("cmdTX"),
                   QStringLiteral("Send"));

    connect(m_send, &QPushButton::clicked, this, &TransmitBar::send);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_job) m_job->stop();
    });
    // The send holds at the next line boundary while Pause is down.
    connect(m_pause, &QPushButton::toggled, this, [this](bool down) {
        if (m_job) m_job->setPaused(down);
    });
    connect(&workshop, &Workshop::sendStarted, this,
            [this](MachineId id, SendTransfer *job) {
                if (m_workshop.slotOf(id) == m_workshop.selected())
                    follow(m_workshop.slotOf(id), job);
            });
    connect(&workshop, &Workshop::machinesReloaded, this, [this] {
        showSlot(-1);
        setProgressShown(false);
    });
    connect(&workshop, &Workshop::selectionChanged, this, [this](int slot) {
        showSlot(slot);
        setProgressShown(false);
        // A served machine's send shows while its machine is selected.
        if (m_job && m_job->isRunning() && m_sendSlot != slot) {
            disconnect(m_job, nullptr, this, nullptr);
            m_job = nullptr;
            m_hold->stop();
            m_note.clear();
            m_send->setVisible(true);
            m_stop->setVisible(false);
            m_pause->setVisible(false);
        }
        if (Link *link = m_workshop.linkAt(slot); link && link->job() && link->job() != m_job)
            follow(slot, link->job());
    });
}

QString TransmitBar::shownName(int slot)
{
    // A program changed since it was loaded says so beside its name.
    const QString name = m_workshop.queue(slot).loadedName();
    if (!m_workshop.program(slot).isChanged()) return name;
    return name.isEmpty() ? QStringLiteral("(changed)") : name + QStringLiteral(" (changed)");
}

QString TransmitBar::noProgramText()
{
    return QStringLiteral("You need to select a machine and Open a program into Tavrin's code "
                          "window before you can send it to the CNC\n"
                          "To Open a CNC program, click the machine icon and select 'Open' from "
                          "the menu and select your program. Then come back and click the Send "
                          "button to send it to the selected CNC");
}

QString TransmitBar::portText()
{
    return QStringLiteral("The selected PC Com port is not open/available");
}

QString TransmitBar::waitingText()
{
    return QStringLiteral(" Waiting for data to clear the CNC Receive Buffers.............");
}

QString TransmitBar::heldText()
{
    return QStringLiteral(" Stopping: the machine is holding the line. Press Stop again to discard "
                          "what it has not taken.");
}

void TransmitBar::layout(int width)
{
    // File name and progress on the left, Send (or Pause and Stop side by
    // side) with the percentage below it on the right.
    const int right = width - 108;
    for (QLineEdit *name : m_fileNames)
        name->setGeometry(8, 6, right - 16, 22);
    m_progress->setGeometry(8, 34, right - 16, 18);
    m_send->setGeometry(right, 4, 100, 26);
    m_pause->setGeometry(right, 4, 49, 26);
    m_stop->setGeometry(right + 51, 4, 49, 26);
    m_percent->setGeometry(right, 33, 100, 20);
}

void TransmitBar::showSlot(int slot)
{
    for (int i = 1; i <= MachineTable::MaxMachines; ++i)
        m_fileNames[size_t(i)]->setVisible(i == slot);
}

void TransmitBar::setProgressShown(bool shown)
{
    m_progress->setVisible(shown);
    m_percent->setVisible(shown);
}

void TransmitBar::send()
{
    // A send always starts at the line the pointer marks.
    m_code.placeCaretAtPointer();
    if (!charactersAgreed(m_code.caretLine())) return;
    switch (m_workshop.send(m_code.caretLine())) {
    case Workshop::SendResult::NoProgram:
    case Workshop::SendResult::NoMachine: // the text asks for both
        m_platform.message(m_bar->window(), noProgramText());
        break;
    case Workshop::SendResult::NoPort:
        m_platform.message(m_bar->window(), portText());
        break;
    case Workshop::SendResult::NothingAfterPointer:
        m_platform.message(m_bar->window(),
                           QStringLiteral("There is nothing to send after the line pointer. Move "
                                          "the pointer to the line the send should start from."),
                           QString(), QMessageBox::Ok, Platform::Icon::Caution);
        break;
    default:
        break;
    }
}

bool TransmitBar::charactersAgreed(int from)
{
    const int slot = m_workshop.selected();
    if (!m_workshop.machines().contains(slot)) return true;
    const LoadedProgram &program = m_workshop.program(slot);
    const MachineConfig &machine = m_workshop.selectedMachine();
    const CharacterCheck::Report found = CharacterCheck::check(
        program.program(), from, machine.characterRule(), machine.tapeCode());
    if (found.isEmpty()) return true;
    const QString name =
        program.source().kind == ProgramSource::Kind::File ? program.source().logName() : QString();
    return m_platform.message(m_bar->window(),
                              CharacterCheck::describe(name, found) +
                                  QStringLiteral(". Send anyway?"),
                              QStringLiteral("Send"), QMessageBox::Yes | QMessageBox::No,
                              Platform::Icon::Question, QMessageBox::No) == QMessageBox::Yes;
}

void TransmitBar::follow(int slot, SendTransfer *job)
{
    m_job = job;
    m_sendSlot = slot;
    m_note.clear();
    m_stop->setVisible(true);
    m_pause->setChecked(false);
    m_pause->setEnabled(true);
    m_pause->setVisible(true);
    m_send->setVisible(false);
    setProgressShown(true);
    m_hold->stop();
    m_barShown.reset();
    showProgress(job->progress());
    connect(job, &SendTransfer::progressChanged, this, &TransmitBar::progressChanged);
    connect(job, &SendTransfer::finished, this, &TransmitBar::sendEnded);
}

void TransmitBar::progressChanged(const SendProgress &p)
{
    // Held back news is shown when the hold ends, the latest then.
    if (m_hold->isActive() && sameKind(p, m_shown)) return;
    showProgress(p);
    m_hold->startNs(kShowEveryNs);
}

void TransmitBar::showProgress(const SendProgress &p)
{
    m_shown = p;
    // While the run-out leaves, and while a stopped send waits for the
    // machine, the file-name field says so; then the name comes back.
    const QString note = p.phase == SendPhase::Clearing ? waitingText()
                         : p.held                        ? heldText()
                                                         : QString();
    if (note != m_note) {
        m_note = note;
        m_fileNames[size_t(m_sendSlot)]->setText(
            note.isEmpty() ? shownName(m_sendSlot) : note);
    }
    if (m_percent->text() != p.text) m_percent->setText(p.text);
    if (m_barShown && sameKind(p, *m_barShown) &&
        qAbs(p.value - m_barShown->value) * kBarSteps < p.maximum)
        return;
    m_barShown = p;
    // The text first: a new value repaints the bar at once, and then with
    // it, not once for each.
    if (p.phase != SendPhase::Done) setStatus(SendText::status(p));
    if (m_progress->maximum() != p.maximum) m_progress->setMaximum(p.maximum);
    if (m_progress->value() != p.value) m_progress->setValue(p.value);
}

void TransmitBar::setStatus(const QString &text)
{
    // '%' is the bar's own placeholder.
    QString format = text;
    format.replace(u'%', QLatin1String("%%"));
    if (m_progress->format() != format) m_progress->setFormat(format);
}

void TransmitBar::sendEnded(SendOutcome outcome)
{
    const SendProgress p = m_job ? m_job->progress() : SendProgress{};
    m_hold->stop();
    showProgress(p);
    m_send->setVisible(true);
    m_stop->setVisible(false);
    m_pause->setVisible(false);
    setStatus(SendText::ended(outcome, p));
    if (outcome == SendOutcome::Failed)
        m_platform.message(m_bar->window(), portText() + u'\n' + SendText::failed(p, m_job ? m_job->why() : QString()),
                           QString(), QMessageBox::Ok, Platform::Icon::Warning);
    if (outcome == SendOutcome::PortLost) {
        Link *link = m_workshop.linkAt(m_sendSlot);
        m_platform.message(m_bar->window(),
                           portText() + u'\n' +
                               SendText::brokeOff(p, link ? &link->port() : nullptr),
                           QString(), QMessageBox::Ok, Platform::Icon::Warning);
    }
}
