// The RX-Edit window: received data in its text, Save with CR LF line ends,
// Open, New, Move to TX Buffer and its refusals, Port Scan's panel and
// Save Settings, and closing, which ends receiving.

#include "ui/codewindows.h"
#include "ui/rxeditwindow.h"
#include "ui_rig.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

class TestUiRxEdit : public QObject
{
    Q_OBJECT
private slots:
    void receiveSaveOpenMove();
    void moveRefused();
    void portScanPanel();
};

namespace
{
template <typename W = QWidget> W *rx(UiRig<> &r, const char *name)
{
    return r.window.rxEdit() ? r.window.rxEdit()->findChild<W *>(QLatin1String(name)) : nullptr;
}
QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

void TestUiRxEdit::receiveSaveOpenMove()
{
    UiRig<> r(iniFile({"MCSTRIPEOB=13"}));
    r.click("mnuReceive");
    QCOMPARE(r.link.state(), LinkState::Receiving);
    QVERIFY(!rx(r, "AutoGroup")->isVisibleTo(r.window.rxEdit()));
    auto *text = rx<QPlainTextEdit>(r, "txtFile");
    r.port.deliver("%\r\nG01 X1\r\n");
    r.port.deliver(QByteArray("M30\xA0\r\n", 6));
    r.clock.runUntil([&] { return !r.link.receiver().inBurst(); });
    QCOMPARE(text->document()->toRawText(),
             QString::fromLatin1("%\nG01 X1\nM30\xA0\n").replace(u'\n', QChar::ParagraphSeparator));

    const QString saved = r.dir.filePath("punched.nc");
    r.platform.saveNames << saved;
    rx<QToolButton>(r, "mnuSave")->click();
    QCOMPARE(fileBytes(saved), QByteArray("%\r\nG01 X1\r\nM30\xA0\r\n", 17));

    rx<QToolButton>(r, "mnuNew")->click();
    QVERIFY(text->document()->isEmpty());
    r.platform.openNames << r.write("lf.nc", "A\nB\n");
    rx<QToolButton>(r, "mnuOpen")->click();
    QCOMPARE(text->toPlainText(), QStringLiteral("A\nB\n"));

    rx<QToolButton>(r, "mnuExit4")->click();
    QVERIFY(!r.window.rxEdit());
    QCOMPARE(r.link.state(), LinkState::Idle);
    QCOMPARE(r.window.codeWindows().text(1), QByteArray("A\nB\n"));
    QCOMPARE(r.find<QLineEdit>("txFileName(1)")->text(), QStringLiteral("Unknown"));
}

void TestUiRxEdit::moveRefused()
{
    UiRig<> r(iniFile({""}));
    r.window.codeWindows().setProgram(1, "G00\n");
    r.port.toWrite = 1;
    r.click("cmdTX");
    r.click("mnuReceive");
    rx<QPlainTextEdit>(r, "txtFile")->setPlainText("X");
    rx<QToolButton>(r, "mnuExit4")->click();
    QVERIFY(r.platform.lastMessage().startsWith("A program is being sent."));
    // Closed while the send runs, the link goes back to sending.
    r.window.rxEdit()->close();
    QCOMPARE(r.link.state(), LinkState::Sending);

    r.click("cmdStop");
    r.clock.runUntil([&] { return !r.link.sending(); });
    r.shop.reload();
    r.click("imgMenu(4)");
    rx<QPlainTextEdit>(r, "txtFile")->setPlainText("X");
    rx<QToolButton>(r, "mnuExit4")->click();
    QVERIFY(r.platform.lastMessage().startsWith("You need to select a Machine icon"));
    QCOMPARE(rx<QPlainTextEdit>(r, "txtFile")->toPlainText(), QStringLiteral("X"));
}

void TestUiRxEdit::portScanPanel()
{
    UiRig<> r(iniFile({""}));
    r.platform.menuChoices << "Port Scan";
    r.click("imgMc(1)", Qt::RightButton);
    QCOMPARE(r.link.state(), LinkState::Scanning);
    QVERIFY(r.window.rxEdit()->isModal());
    auto *panel = rx<QGroupBox>(r, "AutoGroup");
    QVERIFY(panel->isVisibleTo(r.window.rxEdit()));
    rx<QPushButton>(r, "PushButton1")->click();
    QCOMPARE(r.platform.messages.last().title, QStringLiteral("Detection not complete"));
    r.port.deliver(QByteArray(200, 'a')); // lower case: 9600 rejected
    r.clock.runUntil([&] { return panel->title() == QStringLiteral("4800,n,8,1"); });
    QVERIFY(rx<QCheckBox>(r, "chkCTSOK")->isChecked());
    QVERIFY(!rx<QCheckBox>(r, "chkSpeedOK")->isChecked());
    r.window.rxEdit()->close();
    QCOMPARE(r.link.state(), LinkState::Idle);
}

QTEST_MAIN(TestUiRxEdit)
#include "tst_ui_rxedit.moc"
