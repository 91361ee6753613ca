#pragma once

#include "core/programs/program.h"
#include "ui/bytetextedit.h"

class ProgramView;

// One machine's code window. A program up to BigBytes is held as editable
// text; a bigger one is shown by a read-only ProgramView over the editor.
// Either way the code windows speak to it in lines: the program, the line
// holding the caret, where a line stands in sight, and the line being sent.
class CodeEdit : public ByteTextEdit
{
    Q_OBJECT
public:
    static constexpr qsizetype BigBytes = 2 * 1024 * 1024;

    explicit CodeEdit(QWidget *parent = nullptr);

    // Shows a program; `size`, its bytes as they came, decides whether it
    // is too big to edit. A big one is shared, not copied.
    void setProgram(const Program &program, qsizetype size);
    void clearProgram();
    bool isEmpty() const;
    bool isBig() const;
    // The program as the send takes it, one byte per character.
    Program program() const;

    int caretLine() const;
    // The caret at the start of `line`, and the keyboard focus here.
    void setCaretLine(int line);
    // The widget whose coordinates lineTop() and lineAt() use.
    QWidget *lineArea() const;
    // The top of a line's first row in lineArea(), or -1 when not in view.
    int lineTop(int line) const;
    int lineAt(int y) const;
    // Selects the line being sent and brings it into view.
    void showSentLine(int line);

signals:
    void caretLineChanged();

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    ProgramView *m_big = nullptr;
};
