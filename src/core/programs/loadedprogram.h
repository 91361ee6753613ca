#pragma once

#include "core/programs/program.h"
#include "core/base/transfer.h"

#include <QByteArray>
#include <QObject>

// The program a machine has loaded: its lines, where they came from, and
// whether they were changed since. It lives in the core, so a send takes
// its snapshot from here whether or not a code window shows it; the code
// window shows it and hands every edit back. It is held once: the code
// window and every send share its bytes.
class LoadedProgram : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    const Program &program() const { return m_program; }
    // Its bytes as they came, line ends as they were: a file's size.
    qsizetype size() const { return m_size; }
    const ProgramSource &source() const { return m_source; }
    bool isEmpty() const { return m_size == 0; }
    // Changed in the code window since it was loaded.
    bool isChanged() const { return m_changed; }
    // Replacing it would lose what no file holds: a program changed since
    // it was read, or one that came from RX-Edit or was typed.
    bool wouldBeLost() const
    {
        return !isEmpty() && (m_changed || m_source.kind != ProgramSource::Kind::File);
    }

    // Replaces the program (a file, RX-Edit's text, or nothing).
    void load(QByteArray bytes, const ProgramSource &source);
    void clear() { load({}, {}); }
    // The code window's text after the user changed it, LF line ends. Text
    // typed into an empty window is a program of its own.
    void edit(QByteArray text);
    // Takes over another machine's program (a machine moved down a slot).
    void takeFrom(LoadedProgram &other);

    // The program as a send takes it.
    Program snapshot() const { return m_program; }

signals:
    // New content that the code window must show.
    void loaded();
    void changedChanged(bool changed);

private:
    Program m_program = Program::fromFile({});
    qsizetype m_size = 0;
    ProgramSource m_source;
    bool m_changed = false;
};
