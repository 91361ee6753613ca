// A punch read as a request, and a program restarted at a block. The input
// is a punch's length (two bytes, high first), the punch, then a program.
// A request is only ever read from a short punch, its name never leaves the
// machine's folder (a bad one is only shown, printable), what the folder
// gives is a file directly in it, the reply is one comment of printable
// bytes between the only two "%" lines, and a restart is the program's
// header and a tail of it: never longer, and the same when restarted again.

#include "check.h"
#include "core/serving/programlookup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace
{
// A machine's folder holding a few programs and a sub-folder.
const QString &folder()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        QDir(dir.path()).mkpath("m/sub");
        for (const char *f : {"O12.nc", "0012.txt", "FLANGE.NC", "flange.nc", "sub/O5.nc", "5"})
            QFile(dir.filePath(QStringLiteral("m/") + f)).open(QIODevice::WriteOnly);
        return dir.filePath("m");
    }();
    return path;
}

bool printable(QByteArrayView text)
{
    for (char c : text)
        if (uchar(c) < 0x20 || uchar(c) > 0x7e) return false;
    return true;
}

qsizetype commonPrefix(QByteArrayView a, QByteArrayView b)
{
    qsizetype n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
    return n;
}

qsizetype commonSuffix(QByteArrayView a, QByteArrayView b)
{
    qsizetype n = 0;
    while (n < a.size() && n < b.size() && a[a.size() - 1 - n] == b[b.size() - 1 - n]) ++n;
    return n;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype length = bytes.size() < 2 ? 0 : (uchar(bytes[0]) << 8 | uchar(bytes[1]));
    const QByteArray punch = bytes.mid(2, length);
    const QByteArray program = bytes.mid(2 + punch.size());

    const std::optional<ProgramRequest> r = ProgramRequest::parse(punch);
    QByteArray block = "N1";
    if (r) {
        FUZZ_CHECK(punch.size() <= ProgramRequest::MaxBytes &&
                   (r->badName || punch.contains(r->name)));
        FUZZ_CHECK(r->badName || (isSafeProgramName(r->name) && !r->name.contains('/') &&
                                  !r->name.contains("..")));
        FUZZ_CHECK(!r->badName || printable(r->name));
        FUZZ_CHECK(!r->isNumber || (allDigits(r->number) && withoutLeadingZeros(r->number) == r->number));
        FUZZ_CHECK(r->block.isEmpty() || !letteredNumber(r->block, 'N').isEmpty());
        FUZZ_CHECK(r->ownNumber.isEmpty() || !letteredNumber(r->ownNumber, 'O').isEmpty());
        if (!r->block.isEmpty()) block = r->block;
        const ProgramLookup found = findProgram(folder(), *r, QString::fromLatin1(program.left(4)));
        for (const QString &path : found.candidates + QStringList{found.path})
            FUZZ_CHECK(path.isEmpty() || QFileInfo(path).absolutePath() == QFileInfo(folder()).absoluteFilePath());
        FUZZ_CHECK((found.outcome == ProgramLookup::Outcome::Found) == !found.path.isEmpty());
        FUZZ_CHECK((found.outcome == ProgramLookup::Outcome::Ambiguous) == (found.candidates.size() > 1));
        for (Refusal why : {Refusal::NotFound, Refusal::Ambiguous, Refusal::Busy, Refusal::NoBlock,
                            Refusal::TooLarge, Refusal::BadName}) {
            const QByteArray reply = refusalReply(*r, why);
            FUZZ_CHECK(reply.startsWith("%\n") && reply.endsWith(")\n%\n"));
            FUZZ_CHECK(reply.count('(') == 1 && reply.count(')') == 1 && reply.count('\n') <= 4);
            // Printable between the two "%" lines, and no "%": the control
            // would read it as the end of the tape.
            const QByteArray inside = reply.sliced(2, reply.size() - 5);
            FUZZ_CHECK(reply.count('%') == 2 && printable(QByteArray(inside).replace('\n', ' ')));
            FUZZ_CHECK(!r->badName || reply.contains('(' + refusalText(why) + ")\n"));
        }
    }
    const std::optional<QByteArray> out = restartAtBlock(program, block);
    if (out) {
        FUZZ_CHECK(out->size() <= program.size());
        FUZZ_CHECK(commonPrefix(*out, program) + commonSuffix(*out, program) >= out->size());
        FUZZ_CHECK(restartAtBlock(*out, block) == out);
    }
    return 0;
}
