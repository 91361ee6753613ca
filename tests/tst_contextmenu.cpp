// The machine context menu through the real widgets: its entries, Open,
// Clear, the rename field with its key filter and focus rule, Delete with
// the slots' contents moving with their machines, and Properties.

#include "panel_fixture.h"

#include "app/canvas.h"
#include "panel/frmsetup.h"
#include "panel/machinepanel.h"
#include "panel/mccontextmenu.h"
#include "transmit/txqueue.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

namespace
{

// Gives slots 1..n a program, a queue entry and a file name of their own.
void fillSlots(frmHalvec &w, int n)
{
    for (int i = 1; i <= n; ++i) {
        w.txBuffer[i]->setPlainText(QStringLiteral("PROGRAM\u00a0%1\nM30").arg(i));
        w.txQueue[i]->addItem(QStringLiteral("q%1.nc").arg(i));
        w.List1[i]->addItem(QStringLiteral("/p/q%1.nc").arg(i));
        w.txFileName[i]->setText(QStringLiteral("/p/f%1.nc").arg(i));
    }
}

// Opens the context menu on the selected machine and picks entry.
void choose(PanelRig &rig, const char *entry)
{
    rig.p.menuChoices = {QLatin1String(entry)};
    rig.w->contextMenu->DoMcContextMenu(QPoint());
}

QString slotContents(frmHalvec &w, int i)
{
    return w.txBuffer[i]->document()->toRawText() + QLatin1Char('|') +
           (w.txQueue[i]->count() ? w.txQueue[i]->item(0)->text() : QString()) + QLatin1Char('|') +
           (w.List1[i]->count() ? w.List1[i]->item(0)->text() : QString()) + QLatin1Char('|') +
           w.txFileName[i]->text();
}

// Types text key by key, including characters QTest has no key for.
void typeText(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(widget, c.toLatin1());
        } else {
            const auto key = Qt::Key(c.toUpper().unicode());
            QTest::sendKeyEvent(QTest::Press, widget, key, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, key, QString(c), Qt::NoModifier);
        }
    }
}

// The first message, asked as a question: "text|title|buttons".
QString question(const PanelRig &rig)
{
    const FakePlatform::Shown &q = rig.p.messages.first();
    return q.icon == Platform::Icon::Question
               ? q.text + QLatin1Char('|') + q.title + QLatin1Char('|') + QString::number(q.buttons)
               : QStringLiteral("not a question");
}

QString filled(int i)
{
    return QStringLiteral("PROGRAM\u00a0%1\u2029M30|q%1.nc|/p/q%1.nc|/p/f%1.nc").arg(i);
}

} // namespace

class TestContextMenu : public QObject
{
    Q_OBJECT
private slots:
    void noMachineSelected();
    void open();
    void clearAsksFirst();
    void renameKeyFilter_data();
    void renameKeyFilter();
    void renameWritesOnlyARealName();
    void renameAppliedOnFocusLoss();
    void deleteMachineTwoOfFour(); // and Properties
};

void TestContextMenu::noMachineSelected()
{
    // The toolbar's Menu with no machine: a message, no menu, nothing acts
    // on slot 0.
    PanelRig rig(QByteArray{});
    rig.p.menuChoices = {QStringLiteral("Delete")};
    rig.w->MenuClicked(2);
    QVERIFY(rig.p.menus.isEmpty());
    QCOMPARE(rig.p.lastMessage(), QLatin1String(McContextMenu::selectFirstMessage));
    QCOMPARE(rig.w->lblmc[0]->text(), QStringLiteral("Add Machine"));
}

void TestContextMenu::open()
{
    PanelRig rig(machinesFile(2));
    frmHalvec &w = *rig.w;
    fillSlots(w, 1);
    w.panel->mcClick(2);
    const QString path = rig.dir.path() + QStringLiteral("/part.nc");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("%\nN10 G01 X1\xb0\nN20 M30\n%\n");
    f.close();
    w.txFileName[2]->setText(QStringLiteral("/earlier.nc"));
    w.queue->Q_AddFile(2, QStringLiteral("/p/one.nc"));
    w.queue->Q_AddFile(2, QStringLiteral("/p/two.nc"));

    // Cancelled, then unreadable: nothing changes and nothing is said.
    rig.p.openNames = {QString(), rig.dir.path() + QStringLiteral("/missing.nc"), path};
    choose(rig, "Open");
    choose(rig, "Open");
    QCOMPARE(rig.p.openNames.size(), 1);
    QVERIFY(rig.p.messages.isEmpty());
    QVERIFY(w.txBuffer[2]->toPlainText().isEmpty());
    QCOMPARE(w.txQueue[2]->count(), 2);

    choose(rig, "Open");
    // Byte for byte: the 0xB0 byte is one character, not a decoding error.
    QCOMPARE(w.txBuffer[2]->toPlainText(), QString::fromLatin1("%\nN10 G01 X1\xb0\nN20 M30\n%\n"));
    QCOMPARE(w.txFileName[2]->text(), QStringLiteral("/earlier.nc"));
    QCOMPARE(w.txQueue[2]->count(), 3);
    QCOMPARE(w.txQueue[2]->item(2)->text(), QStringLiteral("part.nc"));
    QCOMPARE(w.List1[2]->item(2)->text(), path);
    QCOMPARE(slotContents(w, 1), filled(1));
}

void TestContextMenu::clearAsksFirst()
{
    PanelRig rig(machinesFile(2));
    frmHalvec &w = *rig.w;
    fillSlots(w, 2);
    w.panel->mcClick(2);

    rig.p.answers = {QMessageBox::Cancel};
    choose(rig, "Clear");
    QCOMPARE(rig.p.messages.size(), 1);
    QCOMPARE(question(rig), "This will clear all transmit buffers and Q's for this machine/icon"
                            "|Clear ?|" +
                                QString::number(QMessageBox::Ok | QMessageBox::Cancel));
    QCOMPARE(slotContents(w, 2), filled(2));

    rig.p.answers = {QMessageBox::Ok};
    choose(rig, "Clear");
    QCOMPARE(slotContents(w, 2), QStringLiteral("|||/p/f2.nc"));
    QCOMPARE(slotContents(w, 1), filled(1));
}

void TestContextMenu::renameKeyFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("mill 2") << QString("Mill #2") << QString("Mill 2");
    QTest::newRow("allowed") << QString("Ab-c_9 Z") << QString("Ab-c_9 Z");
    QTest::newRow("punctuation") << QString("A!\"$%&/()=?[]{}.,;:+*~'<>|\\@^`B") << QString("AB");
    QTest::newRow("non ascii") << QString::fromUtf8("Dr\u00e9h\u00df") << QString("Drh");
}

void TestContextMenu::renameKeyFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    PanelRig rig(machinesFile(2));
    frmHalvec &w = *rig.w;
    choose(rig, "Rename");
    QVERIFY(!w.txtRename->isHidden());
    QCOMPARE(w.txtRename->text(), QStringLiteral("MC 1"));
    QCOMPARE(w.txtRename->geometry().topLeft(), w.lblmc[1]->geometry().topLeft());
    QCOMPARE(w.txtRename->width(), w.lblmc[1]->width());

    typeText(w.txtRename, typed); // the first key replaces the old name
    for (Qt::Key k : {Qt::Key_Tab, Qt::Key_Escape, Qt::Key_Delete, Qt::Key_Up, Qt::Key_Home})
        QTest::keyClick(w.txtRename, k);
    QTest::keyClick(w.txtRename, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.txtRename->text(), expected);
    QTest::keyClick(w.txtRename, Qt::Key_Return);

    QVERIFY(w.txtRename->isHidden());
    QCOMPARE(w.lblmc[1]->text(), expected);
    QCOMPARE(w.imgMc[1]->accessibleName(), expected);
    QByteArray want = machinesFile(2);
    want.replace("MCNAME=MC 1\n", "MCNAME=" + expected.toUtf8() + '\n');
    QCOMPARE(rig.ini(), want);
}

void TestContextMenu::renameWritesOnlyARealName()
{
    // A file the program would write differently: any write shows.
    QByteArray file = machinesFile(1);
    file.replace("MCSBITS=1\n", "MCSBITS=1\nNOTE=kept by hand\n");
    PanelRig rig(file);
    frmHalvec &w = *rig.w;
    w.contextMenu->ShowMCRename();
    QTest::keyClicks(w.txtRename, QStringLiteral("MC 1"));
    QTest::keyClick(w.txtRename, Qt::Key_Return);
    QVERIFY(w.txtRename->isHidden());
    QCOMPARE(rig.ini(), file);

    // Emptied: refused with a message, the field stays open.
    w.contextMenu->ShowMCRename();
    QTest::keyClick(w.txtRename, Qt::Key_Backspace);
    QTest::keyClick(w.txtRename, Qt::Key_Return);
    QCOMPARE(rig.p.messages.size(), 1);
    QCOMPARE(rig.p.lastMessage(), QStringLiteral("The name can not be empty"));
    QCOMPARE(rig.p.messages.first().title, QString());
    QCOMPARE(rig.p.messages.first().icon, Platform::Icon::Caution);
    QVERIFY(!w.txtRename->isHidden());
    QCOMPARE(w.contextMenu->renaming(), 1);
    QCOMPARE(rig.m.mc(1, MCNAME), QStringLiteral("MC 1"));
    QCOMPARE(rig.ini(), file);

    // Left arrow moves the caret; what is typed lands there.
    QTest::keyClicks(w.txtRename, QStringLiteral("Mil"));
    QTest::keyClick(w.txtRename, Qt::Key_Left);
    QTest::keyClicks(w.txtRename, QStringLiteral("x"));
    QTest::keyClick(w.txtRename, Qt::Key_Right);
    QTest::keyClicks(w.txtRename, QStringLiteral("l"));
    QTest::keyClick(w.txtRename, Qt::Key_Return);
    QCOMPARE(rig.m.mc(1, MCNAME), QStringLiteral("Mixll"));
    QVERIFY(rig.ini().contains("MCNAME=Mixll\n"));
}

void TestContextMenu::renameAppliedOnFocusLoss()
{
    PanelRig rig(machinesFile(2));
    frmHalvec &w = *rig.w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));

    w.contextMenu->ShowMCRename();
    QTRY_VERIFY(w.txtRename->hasFocus());
    QTest::keyClicks(w.txtRename, QStringLiteral("Drill"));
    w.txBuffer[1]->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(w.txtRename->isHidden());
    QCOMPARE(rig.m.mc(1, MCNAME), QStringLiteral("Drill"));
    QVERIFY(rig.ini().startsWith("[MC1]\nMCNAME=Drill\n"));

    // Emptied and left: dropped, the name stays.
    w.contextMenu->ShowMCRename();
    QTRY_VERIFY(w.txtRename->hasFocus());
    QTest::keyClick(w.txtRename, Qt::Key_Backspace);
    w.txBuffer[1]->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(w.txtRename->isHidden());
    QCOMPARE(rig.m.mc(1, MCNAME), QStringLiteral("Drill"));
    QCOMPARE(w.contextMenu->renaming(), 0);
}

void TestContextMenu::deleteMachineTwoOfFour()
{
    PanelRig rig(machinesFile(4));
    frmHalvec &w = *rig.w;
    fillSlots(w, 4);
    // Properties opens the setup dialog, modal, for the selected machine.
    w.panel->mcClick(4);
    choose(rig, "Properties");
    QPointer<frmSetup> setup = w.panel->setupDialog();
    QVERIFY(setup && setup->isVisible());
    QCOMPARE(setup->windowModality(), Qt::ApplicationModal);
    QCOMPARE(setup->MCNo, 4);
    w.panel->mcClick(2);
    const QByteArray before = rig.ini();

    // Answered No: nothing moves.
    rig.p.answers = {QMessageBox::No};
    choose(rig, "Delete");
    QCOMPARE(question(rig), "Are you sure you wish to delete the selected Machine?|Delete MC|" +
                                QString::number(QMessageBox::Yes | QMessageBox::No));
    QCOMPARE(rig.ini(), before);
    QCOMPARE(rig.m.Last_MC, 4);
    QCOMPARE(int(rig.m.SelectedMC), 2);
    QCOMPARE(slotContents(w, 2), filled(2));
    QCOMPARE(setup->MCNo, 4);

    rig.p.answers = {QMessageBox::Yes};
    choose(rig, "Delete");
    QCOMPARE(rig.m.Last_MC, 3);
    QCOMPARE(int(rig.m.SelectedMC), 0);
    QCOMPARE(rig.ini(), machineSection(1) + machineSection(2, {{"MCNAME", "MC 3"}}) +
                            machineSection(3, {{"MCNAME", "MC 4"}}) + '\n');
    QCOMPARE(w.lblmc[2]->text(), QStringLiteral("MC 3"));
    QVERIFY(w.frmMc[4]->isHidden());

    // Each machine keeps its own program, queue and file name.
    QCOMPARE(slotContents(w, 1), filled(1));
    QCOMPARE(slotContents(w, 2), filled(3));
    QCOMPARE(slotContents(w, 3), filled(4));
    QCOMPARE(slotContents(w, 4), QStringLiteral("|||"));

    // Selecting the former machine 3 shows its own program.
    w.panel->mcClick(2);
    QCOMPARE(w.txBuffer[2]->document()->toRawText(), QStringLiteral("PROGRAM\u00a03\u2029M30"));
    QCOMPARE(w.lblmcname->text(), QStringLiteral("MC 3"));

    // The setup dialog moved with its machine to index 3 …
    QVERIFY(setup);
    QCOMPARE(setup->MCNo, 3);
    setup->txtName->setText(QStringLiteral("Renamed 4"));
    setup->SaveSettings();
    QCOMPARE(rig.m.mc(3, MCNAME), QStringLiteral("Renamed 4"));
    QVERIFY(rig.ini().contains("[MC3]\nMCNAME=Renamed 4\n"));
    QTRY_VERIFY(!setup->saveFeedbackRunning());

    // … and deleting its machine closes it.
    w.panel->mcClick(3);
    rig.p.answers = {QMessageBox::Yes};
    w.contextMenu->DeleteMC();
    QTRY_VERIFY(setup.isNull());
    QCOMPARE(rig.m.Last_MC, 2);
}

QTEST_MAIN(TestContextMenu)
#include "tst_contextmenu.moc"
