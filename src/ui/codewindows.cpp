#include "ui/codewindows.h"

#include "core/base/bytetext.h"
#include "core/programs/loadedprogram.h"
#include "core/programs/program.h"
#include "core/machines/workshop.h"
#include "ui/canvas.h"
#include "ui/codeedit.h"
#include "ui/names.h"
#include "ui/platform.h"

#include <QTimer>
#include <utility>

namespace
{
// The row below the pointer's top that it designates (the tip of the arrow).
constexpr int kPointerTip = 6;
// The line being sent is shown at most this often: the lines of a fast send
// go by quicker than anyone can read them, and each change repaints.
constexpr int kShowEveryMs = 250;
} // namespace

CodeWindows::CodeWindows(Workshop &workshop, Platform &platform, QWidget *box)
    : QObject(box), m_workshop(workshop), m_platform(platform), m_box(box),
      m_showLater(new QTimer(this))
{
    for (int i = 0; i <= MachineTable::MaxMachines; ++i) {
        auto *e = named(new CodeEdit(box), member("txBuffer", i), QStringLiteral("Code window"));
        e->setVisible(false);
        connect(e, &ByteTextEdit::refused, this, [this, e](const QString &c) {
            m_platform.beep();
            m_platform.message(e->window(), ByteTextEdit::refusalText(c),
                               QStringLiteral("Code window"), QMessageBox::Ok,
                               Platform::Icon::Caution);
        });
        connect(e, &CodeEdit::caretLineChanged, this, [this, e] {
            if (e == current()) pointerBeside(e, e->caretLine());
        });
        // The window shows the machine's program and hands every edit back.
        connect(e, &QPlainTextEdit::textChanged, this, [this, e, i] {
            if (!m_showing && !e->isBig()) m_workshop.program(i).edit(e->program().text());
        });
        m_windows[size_t(i)] = e;
    }
    m_pointer = named(new Canvas(box), QStringLiteral("cvsLinePtr"), QStringLiteral("Line pointer"));
    m_pointer->setPicture(QStringLiteral("ptr"), QSize(16, 16));
    m_pointer->setGeometry(4, 6, 16, 16);
    connect(m_pointer, &Canvas::mouseDrag, this, &CodeWindows::dragPointer);
    connect(m_pointer, &Canvas::mouseUp, this, &CodeWindows::placeCaretAtPointer);

    m_showLater->setSingleShot(true);
    connect(m_showLater, &QTimer::timeout, this, [this] { showSendingLine(true); });

    connect(&workshop, &Workshop::slotRebound, this, &CodeWindows::bind);
    connect(&workshop, &Workshop::machinesReloaded, this, [this] { showSlot(-1); });
    connect(&workshop, &Workshop::selectionChanged, this, [this](int slot) {
        showSlot(slot);
        // A served machine's send shows while its machine is selected.
        if (m_job && m_sendSlot != slot) unfollow();
        if (Link *link = m_workshop.linkAt(slot); link && link->job() && !m_job)
            follow(slot, link->job());
    });
    connect(&workshop, &Workshop::sendStarted, this,
            [this](MachineId id, SendTransfer *job) {
                if (m_workshop.slotOf(id) == m_workshop.selected())
                    follow(m_workshop.slotOf(id), job);
            });
}

void CodeWindows::bind(int slot)
{
    // The slot shows another machine now: its program, and its changes.
    CodeEdit *e = edit(slot);
    LoadedProgram &program = m_workshop.program(slot);
    disconnect(m_bound[size_t(slot)]);
    m_bound[size_t(slot)] = connect(&program, &LoadedProgram::loaded, this, [this, e, &program] {
        show(e, program.program(), program.size());
    });
    show(e, program.program(), program.size());
}

void CodeWindows::show(CodeEdit *e, const Program &program, qsizetype size)
{
    m_showing = true;
    e->setProgram(program, size);
    m_showing = false;
}

void CodeWindows::showProgramOf(int slot)
{
    const LoadedProgram &program = m_workshop.program(slot);
    show(edit(slot), program.program(), program.size());
}

QPlainTextEdit *CodeWindows::window(int slot) const
{
    return edit(slot);
}

void CodeWindows::layout(const QSize &box)
{
    for (CodeEdit *e : m_windows)
        e->setGeometry(22, 6, box.width() - 26, box.height() - 12);
}

CodeEdit *CodeWindows::current() const
{
    return edit(qBound(0, m_workshop.selected(), MachineTable::MaxMachines));
}

void CodeWindows::showSlot(int slot)
{
    for (int i = 1; i <= MachineTable::MaxMachines; ++i)
        edit(i)->setVisible(i == slot);
}

QByteArray CodeWindows::text(int slot) const
{
    return m_workshop.program(slot).snapshot().text();
}

int CodeWindows::caretLine() const
{
    return current()->caretLine();
}

int CodeWindows::pointerTop() const
{
    return m_pointer->y();
}

void CodeWindows::setPointerTop(int top)
{
    m_pointer->move(m_pointer->x(), top);
}

void CodeWindows::pointerBeside(CodeEdit *e, int line)
{
    // A line scrolled out of view leaves the pointer where it is.
    const int top = e->lineTop(line);
    if (top >= 0) setPointerTop(e->lineArea()->mapTo(m_box, QPoint(0, top)).y());
}

void CodeWindows::showStart(int slot)
{
    CodeEdit *e = edit(slot);
    e->setCaretLine(0);
    // Near the start, as a loaded program always had its caret.
    if (!e->isBig()) {
        QTextCursor c = e->textCursor();
        c.setPosition(qMin(2, e->document()->characterCount() - 1));
        e->setTextCursor(c);
    }
    pointerBeside(e, 0);
}

void CodeWindows::placeCaretAtPointer()
{
    CodeEdit *e = current();
    const int y = e->lineArea()->mapFrom(m_box, QPoint(0, pointerTop() + kPointerTip)).y();
    e->setCaretLine(e->lineAt(y));
}

void CodeWindows::dragPointer(const QPoint &pos)
{
    // Vertical moves only, and only beside the window's text, so that a
    // release always designates a line.
    const QWidget *area = current()->lineArea();
    const int origin = area->mapTo(m_box, QPoint(0, 0)).y();
    setPointerTop(qBound(origin - kPointerTip, pointerTop() + pos.y() - kPointerTip,
                         origin + area->height() - 1 - kPointerTip));
}

void CodeWindows::follow(int slot, SendTransfer *job)
{
    m_job = job;
    m_sendSlot = slot;
    m_sendLine = m_shownLine = -1;
    edit(m_sendSlot)->setReadOnly(true);
    // A served machine's own send shows what goes out; the machine's own
    // program, edits and all, comes back when it ends.
    m_served = job != m_workshop.userJob();
    if (m_served) show(edit(slot), job->program(), job->program().size());
    connect(job, &SendTransfer::lineStarted, this, [this](int line) {
        m_sendLine = line;
        showSendingLine(false);
    });
    connect(job, &SendTransfer::holding, this, [this] { showSendingLine(true); });
    connect(job, &SendTransfer::finished, this, [this](SendOutcome outcome) {
        showSendingLine(true);
        m_showLater->stop();
        edit(m_sendSlot)->setReadOnly(false);
        if (std::exchange(m_served, false)) {
            showProgramOf(m_sendSlot);
            return;
        }
        // Sent whole: Send again sends it again, from the top.
        if (outcome == SendOutcome::Completed) showStart(m_sendSlot);
    });
}

void CodeWindows::unfollow()
{
    disconnect(m_job, nullptr, this, nullptr);
    m_showLater->stop();
    edit(m_sendSlot)->setReadOnly(false);
    if (std::exchange(m_served, false))
        showProgramOf(m_sendSlot);
    m_job = nullptr;
}

void CodeWindows::showSendingLine(bool now)
{
    if (m_sendLine < 0 || m_shownLine == m_sendLine) return;
    if (!now && m_shownAt.isValid() && m_shownAt.elapsed() < kShowEveryMs) {
        if (!m_showLater->isActive()) m_showLater->start(kShowEveryMs - int(m_shownAt.elapsed()));
        return;
    }
    m_showLater->stop();
    m_shownAt.start();
    m_shownLine = m_sendLine;
    edit(m_sendSlot)->showSentLine(m_shownLine);
}
