#include "ui/bytetextedit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>

QString ByteTextEdit::refusalText(const QString &character)
{
    return QStringLiteral("The character \"%1\" cannot go to a machine: a program holds only "
                          "characters with codes 0 to 255. The text was left as it was.")
        .arg(character);
}

bool ByteTextEdit::accepts(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 255 && c != QChar::LineSeparator && c != QChar::ParagraphSeparator) {
            emit refused(QString(c));
            return false;
        }
    }
    return true;
}

void ByteTextEdit::keyPressEvent(QKeyEvent *e)
{
    // Shift+Enter would put a line separator inside the line; make it the
    // line end that Enter makes.
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        e->modifiers().testFlag(Qt::ShiftModifier)) {
        QKeyEvent plain(e->type(), e->key(), e->modifiers() & ~Qt::ShiftModifier, e->text(),
                        e->isAutoRepeat(), ushort(e->count()));
        QPlainTextEdit::keyPressEvent(&plain);
        return;
    }
    if (!isReadOnly() && !accepts(e->text())) return;
    QPlainTextEdit::keyPressEvent(e);
}

void ByteTextEdit::inputMethodEvent(QInputMethodEvent *e)
{
    if (accepts(e->commitString())) {
        QPlainTextEdit::inputMethodEvent(e);
        return;
    }
    QInputMethodEvent nothing(QString(), {});
    QPlainTextEdit::inputMethodEvent(&nothing);
}

void ByteTextEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source->hasText()) return;
    QString text = source->text();
    text.replace(QChar::LineSeparator, u'\n');
    if (!accepts(text)) return;
    textCursor().insertText(text);
    ensureCursorVisible();
}
