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

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.path() + QLatin1Char('/') + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    return path;
}

QStringList rows(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QList<QMap<QString, QString>> machines(int n)
{
    QList<QMap<QString, QString>> out;
    for (int i = 0; i < n; ++i)
        out.append({{"MCFLOW", "0"}, {"MCBLKTIC", "Fast"}, {"MCEOB", "CR"}});
    return out;
}

} // namespace

class TestQueue : public QObject
{
    Q_OBJECT
private slots:
    void addKeepsNamesAndPaths();
    void clickLoadsEntry();
    void unreadableEntryLeavesCodeWindow();
    void dropOnIcon_data();
    void dropOnIcon();
    void contextMenuOpen();
    void sendLeavesQueueAndProgram();
};

void TestQueue::addKeepsNamesAndPaths()
{
    Rig r(machines(1));
    const QString a = writeFile(r.dir, QStringLiteral("a.nc"), "A\r");
    const QString b = writeFile(r.dir, QStringLiteral("b.nc"), "B\r");
    r.w->queue->Q_AddFile(1, a);
    r.w->queue->Q_AddFile(1, b);
    r.w->queue->Q_AddFile(1, a); // twice is twice
    QCOMPARE(rows(r.w->txQueue[1]), QStringList({"a.nc", "b.nc", "a.nc"}));
    QCOMPARE(rows(r.w->List1[1]), QStringList({a, b, a}));
    QVERIFY(r.edit()->document()->isEmpty()); // adding loads nothing
}

void TestQueue::clickLoadsEntry()
{
    Rig r(machines(1));
    const QByteArray program("\xA0O1\r\nG00 X\xFF\r\nM30\r\n", 19);
    const QString a = writeFile(r.dir, QStringLiteral("first.nc"), "FIRST\r");
    const QString b = writeFile(r.dir, QStringLiteral("second.nc"), program);
    r.w->queue->Q_AddFile(1, a);
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
}

void TestQueue::unreadableEntryLeavesCodeWindow()
{
    Rig r(machines(1));
    const QString gone = r.dir.path() + QStringLiteral("/gone.nc");
    r.w->queue->Q_AddFile(1, gone);
    r.load("KEEP\r");
    r.w->txFileName[1]->setText(QStringLiteral("/old/path.nc"));
    r.w->queue->Q_Clicked(1, 0);
    QCOMPARE(r.p.messages.size(), 1);
    QVERIFY(r.p.lastMessage().contains(QDir::toNativeSeparators(gone)));
    QCOMPARE(r.edit()->toPlainText(), QStringLiteral("KEEP\n"));
    QCOMPARE(r.w->txFileName[1]->text(), QStringLiteral("/old/path.nc"));
}

void TestQueue::dropOnIcon_data()
{
    QTest::addColumn<bool>("windowEmpty");
    QTest::newRow("empty code window") << true;
    QTest::newRow("code window holds text") << false;
}

void TestQueue::dropOnIcon()
{
    QFETCH(bool, windowEmpty);
    Rig r(machines(4));
    r.w->panel->mcClick(2);
    QCOMPARE(int(r.m.SelectedMC), 2);
    const QString a = writeFile(r.dir, QStringLiteral("a.nc"), "AAA\r");
    const QString b = writeFile(r.dir, QStringLiteral("b.nc"), "BBB\r");
    const QString c = writeFile(r.dir, QStringLiteral("c.nc"), "CCC\r");
    if (!windowEmpty) r.load("OWN\r", 4);
    emit r.w->imgMc[4]->filesDropped({a, b, c});
    QCOMPARE(rows(r.w->List1[4]), QStringList({a, b, c}));
    QCOMPARE(rows(r.w->txQueue[4]), QStringList({"a.nc", "b.nc", "c.nc"}));
    QCOMPARE(r.edit(4)->toPlainText(),
             windowEmpty ? QStringLiteral("AAA\n") : QStringLiteral("OWN\n"));
    QCOMPARE(int(r.m.SelectedMC), 2); // a drop does not select
    QVERIFY(r.edit(2)->isVisible());
    QVERIFY(!r.edit(4)->isVisible());
}

void TestQueue::contextMenuOpen()
{
    Rig r(machines(1));
    const QByteArray bytes("%\nO7\nM30\n");
    const QString path = writeFile(r.dir, QStringLiteral("seven.nc"), bytes);
    r.p.openNames << path;
    r.p.menuChoices << QStringLiteral("Open");
    r.w->contextMenu->DoMcContextMenu(QPoint(10, 10));
    QCOMPARE(rows(r.w->List1[1]), QStringList({path}));
    QCOMPARE(r.edit()->document()->blockCount(), 4);
    QCOMPARE(r.edit()->document()->findBlockByNumber(1).text(), QStringLiteral("O7"));
}

void TestQueue::sendLeavesQueueAndProgram()
{
    Rig r(machines(1));
    const QString a = writeFile(r.dir, QStringLiteral("a.nc"), "G00\rM30\r");
    r.w->queue->Q_AddFile(1, a);
    r.w->queue->Q_Clicked(1, 0);
    const QString before = r.edit()->toPlainText();
    QVERIFY(r.send());
    QCOMPARE(r.s.written, QByteArray("G00\rM30\r") + nuls());
    QCOMPARE(rows(r.w->List1[1]), QStringList({a}));
    QCOMPARE(r.edit()->toPlainText(), before);
    QCOMPARE(r.w->txFileName[1]->text(), a);
}

QTEST_MAIN(TestQueue)
#include "tst_queue.moc"
