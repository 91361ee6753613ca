#include "transmit/txqueue.h"

#include "app/frmhalvec.h"
#include "app/platform.h"
#include "config/module1.h"
#include "transmit/codewindows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

TxQueue::TxQueue(frmHalvec &win) : QObject(&win), w(win)
{
    for (int i = 1; i <= Module1::Max_MC; ++i)
        connect(w.txQueue[i], &QListWidget::clicked, this,
                [this, i](const QModelIndex &index) { Q_Clicked(i, index.row()); });
}

void TxQueue::Q_AddFile(int mc, const QString &path)
{
    if (mc < 1 || mc > Module1::Max_MC) return;
    const QFileInfo info(path);
    w.List1[mc]->addItem(info.absoluteFilePath());
    w.txQueue[mc]->addItem(info.fileName());
}

void TxQueue::Q_Clicked(int mc, int row)
{
    if (mc < 1 || mc > Module1::Max_MC || row < 0 || row >= w.List1[mc]->count()) return;
    w.List1[mc]->setCurrentRow(row);
    const QString path = w.List1[mc]->item(row)->text();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        w.platform.message(&w,
                           QStringLiteral("The program file \"%1\" cannot be opened: %2\n"
                                          "The code window was left as it was.")
                               .arg(QDir::toNativeSeparators(path), file.errorString()),
                           QStringLiteral("Open"), QMessageBox::Ok, Platform::Icon::Caution);
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        w.platform.message(&w,
                           QStringLiteral("The program file \"%1\" cannot be read: %2\n"
                                          "The code window was left as it was.")
                               .arg(QDir::toNativeSeparators(path), file.errorString()),
                           QStringLiteral("Open"), QMessageBox::Ok, Platform::Icon::Caution);
        return;
    }
    file.close();
    w.txFileName[mc]->setText(path);
    w.codeWindows->setProgram(mc, bytes);
    QPlainTextEdit *edit = w.txBuffer[mc];
    edit->setFocus();
    QTextCursor c = edit->textCursor();
    c.setPosition(qMin(2, edit->document()->characterCount() - 1));
    edit->setTextCursor(c);
    w.codeWindows->pointerToFirstLine(mc);
}
