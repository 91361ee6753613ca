#pragma once

#include <QPlainTextEdit>

// A plain-text editor for text that is bytes: a program, or what a machine
// sent. Every line break typed or pasted (Enter, Shift+Enter, paragraph and
// line separators, CR, LF, CR LF) becomes a line end of its own, and a
// character that has no single byte is refused, leaving the text as it was,
// so that nothing in it can silently change on its way to a machine or a
// file.
class ByteTextEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;

    // What the user is told when `character` is refused.
    static QString refusalText(const QString &character);

signals:
    void refused(const QString &character);

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void inputMethodEvent(QInputMethodEvent *e) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    // False (and refused() emitted) when `text` holds a character above 255.
    bool accepts(const QString &text);
};
