#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QPlainTextEdit;
class QPoint;
class QTextBlock;
class frmHalvec;

// The code windows txBuffer(i) and the shared line pointer beside them.
//
// A code window holds one character per program byte. Its blocks are the
// program's lines: CR, LF and CR LF all end a line when a program is loaded.
// Every block but the last ends with a line end; a last block that is empty is
// what follows a final line end and is not a line of the program.
class CodeWindows : public QObject
{
    Q_OBJECT
public:
    explicit CodeWindows(frmHalvec &w);

    // Puts a program (raw bytes; CR, LF and CR LF all end a line) into
    // machine mc's code window, replacing its text.
    void setProgram(int mc, const QByteArray &bytes);
    // The text a program's bytes become in a code window: one character per
    // byte, each line end turned into the editor's own.
    static QString programText(const QByteArray &bytes);

    // Moves the pointer beside the line that holds the start of the selection
    // of the selected machine's code window, when that line is in view.
    void txBuffer_SelChange();
    // Puts the caret at the start of the line the pointer designates and
    // gives the code window the keyboard focus.
    void PlaceSelStartAtMyPointer();

    // The pointer's top, in the coordinates of the code window's group box.
    int pointerTop() const;
    void setPointerTop(int top);
    // Puts the pointer beside the first line of machine mc's code window.
    void pointerToFirstLine(int mc);
    // The code window of the selected machine (member 0 when none is).
    QPlainTextEdit *current() const;

    // Mouse handlers of the pointer; positions are relative to the pointer.
    bool cvsLinePtr_MouseDown(const QPoint &pos);
    void cvsLinePtr_MouseDrag(const QPoint &pos);
    void cvsLinePtr_MouseUp(const QPoint &pos);

private:
    // Top of a block's first visible row in the group box's coordinates, or
    // no value when no row of the block is in view.
    bool blockTop(QPlainTextEdit *edit, const QTextBlock &block, int *top) const;
    // The rows of the group box a pointer may designate: the code window's
    // visible text area.
    void pointerRange(int *lowest, int *highest) const;

    frmHalvec &w;
};
