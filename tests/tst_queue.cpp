// The per-machine queue: adding, loading, drops on a machine icon and the
// context menu's Open, through the real widgets.

#include "tst_send_fixture.h"

#include "panel/machinepanel.h"
#include "panel/mccontextmenu.h"
#include "transmit/txqueue.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTextBlock>

using Rig = SendRig<FakeSerial>;

namespace
{

QStringList rows(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

class TestQueue : public QObject
{
    Q_OBJECT
private slots:
    void clickLoadsEntry();
    void dropOnIcon();
    void contextMenuOpen();
    void addThenSendLeavesQueueAndProgram();
};

void TestQueue::clickLoadsEntry()
{
    Rig r(fastMachine());
    const QByteArray program("\xA0O1\r\nG00 X\xFF\r\nM30\r\n", 19);
    const QString gone = r.dir.path() + QStringLiteral("/gone.nc");
    const QString b = r.file(QStringLiteral("second.nc"), program);
    r.w->queue->Q_AddFile(1, gone);
    r.w->queue->Q_AddFile(1, b);
    r.w->codeWindows->setPointerTop(150);
    // A click on the second row of the visible list.
    QListWidget *list = r.w->txQueue[1];
    QVERIFY(list->isVisible());
    const QRect rect = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(r.w->txFileName[1]->text(), b);
    QCOMPARE(r.w->List1[1]->currentRow(), 1);
    QCOMPARE(r.edit()->document()->firstBlock().text(), QString::fromLatin1("\xA0O1"));
    QCOMPARE(r.edit()->document()->blockCount(), 4);
    QCOMPARE(r.edit()->textCursor().position(), 2);
    QCOMPARE(r.w->focusWidget(), static_cast<QWidget *>(r.edit()));
    // The pointer marks the first line: a send would start there.
    r.w->codeWindows->PlaceSelStartAtMyPointer();
    QCOMPARE(r.edit()->textCursor().position(), 0);
    // An unreadable entry says so and leaves the code window and file name.
    const QString shown = r.edit()->toPlainText();
    r.w->queue->Q_Clicked(1, 0);
    QCOMPARE(r.p.messages.size(), 1);
    QVERIFY(r.p.lastMessage().contains(QDir::toNativeSeparators(gone)));
    QCOMPARE(r.edit()->toPlainText(), shown);
    QCOMPARE(r.w->txFileName[1]->text(), b);
}

void TestQueue::dropOnIcon()
{
    for (const bool windowEmpty : {true, false}) {
        Rig r(QList<QMap<QString, QString>>(4, fastMachine().first()));
        r.w->panel->mcClick(2);
        const QString a = r.file(QStringLiteral("a.nc"), "AAA\r");
        const QString b = r.file(QStringLiteral("b.nc"), "BBB\r");
        const QString c = r.file(QStringLiteral("c.nc"), "CCC\r");
        if (!windowEmpty) r.load("OWN\r", 4);
        emit r.w->imgMc[4]->filesDropped({a, b, c});
        QCOMPARE(rows(r.w->List1[4]), QStringList({a, b, c}));
        QCOMPARE(rows(r.w->txQueue[4]), QStringList({"a.nc", "b.nc", "c.nc"}));
        // Loads the first file only into an empty code window.
        QCOMPARE(r.edit(4)->toPlainText(), QString::fromLatin1(windowEmpty ? "AAA\n" : "OWN\n"));
        QCOMPARE(int(r.m.SelectedMC), 2); // a drop does not select
        QVERIFY(r.edit(2)->isVisible());
        QVERIFY(!r.edit(4)->isVisible());
    }
}

void TestQueue::contextMenuOpen()
{
    Rig r(fastMachine());
    const QByteArray bytes("%\nO7\nM30\n");
    const QString path = r.file(QStringLiteral("seven.nc"), bytes);
    r.p.openNames << path;
    r.p.menuChoices << QStringLiteral("Open");
    r.w->contextMenu->DoMcContextMenu(QPoint(10, 10));
    QCOMPARE(rows(r.w->List1[1]), QStringList({path}));
    QCOMPARE(r.edit()->document()->blockCount(), 4);
    QCOMPARE(r.edit()->document()->findBlockByNumber(1).text(), QStringLiteral("O7"));
}

void TestQueue::addThenSendLeavesQueueAndProgram()
{
    Rig r(fastMachine());
    const QString a = r.file(QStringLiteral("a.nc"), "G00\rM30\r");
    const QString b = r.file(QStringLiteral("b.nc"), "B\r");
    for (const QString &path : {a, b, a}) // twice is twice
        r.w->queue->Q_AddFile(1, path);
    QCOMPARE(rows(r.w->txQueue[1]), QStringList({"a.nc", "b.nc", "a.nc"}));
    QCOMPARE(rows(r.w->List1[1]), QStringList({a, b, a}));
    QVERIFY(r.edit()->document()->isEmpty()); // adding loads nothing
    r.w->queue->Q_Clicked(1, 0);
    const QString before = r.edit()->toPlainText();
    QVERIFY(r.send());
    QCOMPARE(r.s.written, QByteArray("G00\rM30\r") + nuls());
    QCOMPARE(rows(r.w->List1[1]), QStringList({a, b, a}));
    QCOMPARE(r.edit()->toPlainText(), before);
    QCOMPARE(r.w->txFileName[1]->text(), a);
}

QTEST_MAIN(TestQueue)
#include "tst_queue.moc"
