#pragma once

#include "core/config/machinetable.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <array>

class Canvas;
class CodeEdit;
class Platform;
class Program;
class QPlainTextEdit;
class QTimer;
class QWidget;
class SendTransfer;
class Workshop;

// The code windows txBuffer(i), one per machine slot, and the line pointer
// beside them that marks where the next send starts.
//
// The pointer follows the caret, can be dragged, and on Send the caret goes
// to the line under it. While a send runs, the sending window is read-only
// (the send has taken its text) and shows the line being sent. Every line
// break typed or pasted ends a line, and a character with no single byte is
// refused with a beep and a message.
class CodeWindows : public QObject
{
    Q_OBJECT
public:
    CodeWindows(Workshop &workshop, Platform &platform, QWidget *box);

    // Places the windows in a box of this size.
    void layout(const QSize &box);

    // The slot's program as bytes with LF line ends.
    QByteArray text(int slot) const;
    // The line holding the caret of the selected machine's window.
    int caretLine() const;
    // Puts the caret of the selected machine's window at the start of the
    // line the pointer marks, and gives it the keyboard focus.
    void placeCaretAtPointer();
    // After a program was loaded: the caret near its start, the pointer
    // beside its first line.
    void showStart(int slot);

    // The pointer's top, in the box's coordinates.
    int pointerTop() const;
    QPlainTextEdit *window(int slot) const;

private:
    CodeEdit *edit(int slot) const { return m_windows[size_t(slot)]; }
    CodeEdit *current() const;
    void showSlot(int slot);
    void pointerBeside(CodeEdit *edit, int line);
    void dragPointer(const QPoint &pos);
    void setPointerTop(int top);
    void bind(int slot);
    void show(CodeEdit *edit, const Program &program, qsizetype size);
    void showProgramOf(int slot);
    void follow(int slot, SendTransfer *job);
    void unfollow();
    void showSendingLine(bool now);

    Workshop &m_workshop;
    Platform &m_platform;
    QWidget *m_box;
    Canvas *m_pointer;
    std::array<CodeEdit *, MachineTable::MaxMachines + 1> m_windows{};
    // Each window's tie to the program of the machine it shows.
    std::array<QMetaObject::Connection, MachineTable::MaxMachines + 1> m_bound{};
    // The send on show: its window, and the line last shown.
    QPointer<SendTransfer> m_job;
    int m_sendSlot = 0;
    // A program being put into a window is no edit of the user's.
    bool m_showing = false;
    // The send on show is a served machine's own, not the program's.
    bool m_served = false;
    int m_sendLine = -1;
    int m_shownLine = -1;
    QElapsedTimer m_shownAt;
    QTimer *m_showLater;
};
