// The blockwise transfer with a block check character, in virtual time: the
// control's bytes fed in turn, the PC's bytes on the wire exactly, what the
// control's first block asks.

#include "core/protocols/blockwiseask.h"
#include "core/protocols/blockwisereceiver.h"
#include "core/protocols/blockwisesender.h"
#include "virtualclock.h"

#include <QTest>

namespace
{
// "<SOH>H15E<ETB><1F>": control characters by name, other bytes by two hex
// digits, <BIG> a run of 4096 X.
QByteArray bytesOf(const QByteArray &text)
{
    static const QHash<QByteArray, QByteArray> named{
        {"SOH", "\x01"}, {"STX", "\x02"}, {"ETX", "\x03"}, {"EOT", "\x04"}, {"ACK", "\x06"},
        {"NAK", "\x15"}, {"ETB", "\x17"}, {"DC1", "\x11"}, {"DC3", "\x13"}, {"ESC", "\x1b"},
        {"CR", "\r"},    {"LF", "\n"},    {"BIG", QByteArray(4096, 'X')}};
    QByteArray out;
    for (const QByteArray &piece : text.split('<')) {
        const qsizetype close = piece.indexOf('>');
        if (close < 0) {
            out += piece;
            continue;
        }
        const QByteArray word = piece.left(close);
        out += named.value(word, QByteArray::fromHex(word)) + piece.sliced(close + 1);
    }
    return out;
}

const char *const Outcomes[] = {"Completed", "Stopped", "Failed", "PortLost"};

ProtocolTransfer *engine(const QString &kind, VirtualClock &clock, ProtocolTransfer::Writer w)
{
    const QByteArray program = "A\r\nBC\n";
    const QList<FolderEntry> folder{{"15.H", 100}, {"PART2.H", 1500}};
    if (kind == "receive") return new BlockwiseReceiver(clock, w);
    if (kind == "refuse") return new BlockwiseSender(clock, w, refusalPlan("NOT FOUND 15"));
    if (kind.startsWith("directory"))
        return new BlockwiseSender(clock, w, directoryPlan(folder, kind == "directory header"));
    return new BlockwiseSender(clock, w, programPlan(program, "15", 'H', kind == "answer"));
}
} // namespace

class TestBlockwise : public QObject
{
    Q_OBJECT
private slots:
    // control: what the control sends, "|" between answers, each a second
    // after the last; "~N" waits N seconds, "!" stops. wire: what the PC
    // sent. taken: the header's name and the text handed on.
    void transfer_data()
    {
#define HEAD "<SOH>H15E<ETB><1F>"
#define OUT "<SOH>H15A<ETB><1B>"
#define A "<STX>A<ETB><54>"
#define BC "<STX>BC<ETB><14>"
        static const char *const rows[][6] = {
            {"send whole, BCC 1F", "send", "<ACK>|<DC1><ACK>|<ACK>", HEAD A BC "<ETX><EOT>",
             "Completed 6", ""},
            {"NAK once", "send", "<ACK>|<NAK>|<ACK>|<ACK>", HEAD A A BC "<ETX><EOT>",
             "Completed 6", ""},
            {"NAK three times", "send", "<ACK>|<NAK>|<NAK>|<NAK>|<ACK>|~20", HEAD A A A,
             "Failed 0 the control answered NAK three times", ""},
            {"no answer", "send", "<ACK>|~9|~1", HEAD A,
             "Failed 0 the control did not answer within 10 s", ""},
            {"control gives up", "send", "<ACK>|<ACK>|<EOT>", HEAD A BC,
             "Failed 3 the control ended the transfer", ""},
            {"stopped", "send", "<ACK>|!", HEAD A "<EOT>", "Stopped 0", ""},
            {"asked for", "answer", "<ACK>|<ACK>", "<ACK>" A BC "<ETX><EOT>", "Completed 6", ""},
            {"receive, damaged block again", "receive",
             OUT "|" A "|<STX>BC<ETB><00>|" BC "|<ETX><EOT>", "<ACK><ACK><NAK><ACK>",
             "Completed 7", "15:A\r\nBC\r\n"},
            {"header again, block too long", "receive",
             OUT "|" OUT "|<STX><BIG><ETB><00>|" A "|<ETX><EOT>", "<ACK><ACK><NAK><ACK>",
             "Completed 3", "15:A\r\n"},
            {"three damaged", "receive",
             OUT "|<STX>A<ETB><00>|<STX>A<ETB><01>|<STX>A<ETB><02>|" A, "<ACK><NAK><NAK><NAK>",
             "Failed 0 three blocks in a row were damaged", "15:"},
            {"ended early", "receive", OUT "|" A "|<EOT>", "<ACK><ACK>",
             "Failed 3 the control ended the transfer before the end of the program", "15:A\r\n"},
            {"silent", "receive", "~28|" OUT "|~30", "<ACK>",
             "Failed 0 the control sent nothing for 30 s", "15:"},
            {"directory listing", "directory", "<EOT>",
             "DIRECTORY<CR><LF><CR><LF>NAME SECTORS<CR><LF><CR><LF>15.H 1<CR><LF>"
             "PART2.H 3<CR><LF><ETX>",
             "Completed 0", ""},
            {"directory by headers", "directory header",
             "<ACK>|<SOH>HE<ETB><1B>|<SOH>HE<ETB><1B>|<EOT>",
             "<ACK><STX>15.H<ETB><77><ACK><STX>PART2.H<ETB><56><ACK><ETX>", "Completed 0", ""},
            {"error text", "refuse", "<NAK>|<ACK>", "<SOH>NOT FOUND 15<ETB><11>", "Completed 0", ""},
        };
#undef HEAD
#undef OUT
#undef A
#undef BC
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QByteArray>("taken");
        for (const auto &r : rows)
            QTest::newRow(r[0]) << QString(r[1]) << QByteArray(r[2]) << bytesOf(r[3])
                                << QString(r[4]) << QByteArray(r[5]);
    }
    void transfer()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, control);
        VirtualClock clock;
        QByteArray written, taken;
        QString outcome = "running";
        std::unique_ptr<ProtocolTransfer> e(engine(kind, clock, [&](const QByteArray &bytes) {
            written += bytes;
            return true;
        }));
        connect(e.get(), &ProtocolTransfer::data, [&](const QByteArray &text) { taken += text; });
        connect(e.get(), &ProtocolTransfer::finished, [&](ProtocolOutcome o) {
            outcome = QString("%1 %2 %3").arg(Outcomes[int(o)]).arg(e->bytesDone()).arg(e->why());
        });
        e->start();
        for (const QByteArray &step : control.split('|')) {
            const bool wait = step.startsWith('~');
            clock.advance((wait ? step.sliced(1).toInt() : 1) * VirtualClock::Second);
            if (step == "!")
                e->stop();
            else if (!wait)
                e->feed(bytesOf(step));
        }
        if (auto *receiver = qobject_cast<BlockwiseReceiver *>(e.get()))
            taken.prepend(receiver->name() + ':');
        QTEST(written, "wire");
        QTEST(outcome.trimmed(), "outcome");
        QTEST(taken, "taken");
    }

    // What the control's first block asks: kind, file code, name, bytes taken.
    void ask_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QString>("ask");
        static const char *const rows[][3] = {
            {"send me", "<DC1><SOH>H15E<ETB><1F><STX>", "SendMe H 15 8"},
            {"here comes", "<SOH>D7A<ETB><24>", "HereComes D 7 6"},
            {"directory, FE1", "<DC3><ESC><DC1>0 D<CR><LF>", "Directory 0  8"},
            {"directory, header", "<SOH>HE<ETB><1B>", "Directory H  5"},
            {"directory, pattern", "<SOH>H*.H*E<ETB><7D>", "Directory H *.H* 9"},
            {"damaged", "<SOH>H15E<ETB><1E>", "Damaged 0  7"},
            {"unfinished", "<SOH>H1", "NeedMore 0  0"},
            {"data block", "<STX>A<ETB><54>", "Nothing 0  4"},
            {"no direction", "<SOH>H15<ETB><5A>", "Nothing 0  6"},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << bytesOf(row[1]) << QString(row[2]);
    }
    void ask()
    {
        QFETCH(QByteArray, control);
        static const char *const kinds[] = {"Nothing",   "NeedMore",  "Damaged",
                                            "SendMe",    "HereComes", "Directory"};
        const BlockwiseAsk a = BlockwiseAsk::of(control);
        QTEST(QString("%1 %2 %3 %4")
                  .arg(kinds[a.kind], a.code ? QString(QChar(a.code)) : "0", a.name)
                  .arg(a.bytes),
              "ask");
    }
};

QTEST_GUILESS_MAIN(TestBlockwise)
#include "tst_blockwise.moc"
