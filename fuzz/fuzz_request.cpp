// A punch read as a request, and a program restarted at a block. The input
// is a punch's length (two bytes, high first), the punch, then a program.
// A request is only ever read from a short punch, its name never leaves the
// machine's folder (a bad one is only shown, printable), what the folder
// gives is a file directly in it, the reply is one comment of printable
// bytes in the request's framing (between the only two "%" lines for
// Fanuc's), a listing and a comparison are printable and bounded, and a
// restart is the program's header and a tail of it: never longer, and the
// same when restarted again.

#include "check.h"
#include "core/serving/programcompare.h"
#include "core/serving/programlisting.h"
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

// A short program of comments in `frame`'s syntax, `lines` of them.
void checkReply(const QByteArray &reply, const ProgramFrame &frame, qsizetype lines)
{
    static const qsizetype framing[] = {2, 0, 1, 2, 2}, percents[] = {2, 0, 1, 0, 2};
    const int syntax = int(frame.syntax);
    FUZZ_CHECK((lines == 0 || reply.endsWith('\n')) &&
               printable(QByteArray(reply).replace('\n', ' ')));
    FUZZ_CHECK(reply.count('\n') <= lines + framing[syntax] + 2);
    FUZZ_CHECK(reply.count('%') == percents[syntax]);
    const bool parentheses =
        frame.syntax == ControlSyntax::Fanuc || frame.syntax == ControlSyntax::Okuma;
    FUZZ_CHECK(reply.count('(') == (parentheses ? lines : 0) &&
               reply.count(')') == reply.count('('));
    FUZZ_CHECK(reply.count(';') == (parentheses ? 0 : lines + (reply.contains(";$PATH=") ? 1 : 0)));
    if (frame.syntax == ControlSyntax::Fanuc)
        FUZZ_CHECK(reply.startsWith("%\n") && reply.endsWith(lines ? ")\n%\n" : "%\n"));
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
        // Only a listing of all and a comparison name nothing.
        FUZZ_CHECK(
            r->badName || (r->name.isEmpty() && r->kind != ProgramRequest::Kind::Send) ||
            (isSafeProgramName(r->name) && !r->name.contains('/') && !r->name.contains("..")));
        FUZZ_CHECK(!r->badName || printable(r->name));
        FUZZ_CHECK(!r->isNumber || (allDigits(r->number) && withoutLeadingZeros(r->number) == r->number));
        FUZZ_CHECK(r->block.isEmpty() || !letteredNumber(r->block, 'N').isEmpty());
        const QByteArray &own = r->frame.name;
        FUZZ_CHECK(own.isEmpty() || isPlainName(own) || !letteredNumber(own, 'O').isEmpty() ||
                   (own.startsWith('<') && own.endsWith('>') &&
                    isPlainName(own.sliced(1, own.size() - 2))));
        FUZZ_CHECK(r->kind == ProgramRequest::Kind::Send || (r->block.isEmpty() && !r->isNumber));
        if (r->kind == ProgramRequest::Kind::List && !r->badName) {
            const ProgramListing listing = listPrograms(folder(), r->name);
            FUZZ_CHECK(listing.lines.size() == qMin(listing.total, ProgramListing::MaxLines));
            checkReply(commentProgram(r->frame, listing.lines), r->frame, listing.lines.size());
        }
        if (!r->block.isEmpty()) block = r->block;
        const ProgramLookup found = findProgram(folder(), *r, QString::fromLatin1(program.left(4)));
        for (const QString &path : found.candidates + QStringList{found.path})
            FUZZ_CHECK(path.isEmpty() || QFileInfo(path).absolutePath() == QFileInfo(folder()).absoluteFilePath());
        FUZZ_CHECK((found.outcome == ProgramLookup::Outcome::Found) == !found.path.isEmpty());
        FUZZ_CHECK((found.outcome == ProgramLookup::Outcome::Ambiguous) == (found.candidates.size() > 1));
        for (Refusal why : {Refusal::NotFound, Refusal::Ambiguous, Refusal::Busy, Refusal::NoBlock,
                            Refusal::TooLarge, Refusal::BadName}) {
            // Printable, and no "%" but the framing's: the control would
            // read it as the end of the tape.
            const QByteArray reply = refusalReply(*r, why);
            checkReply(reply, r->frame, 1);
            const bool closed = reply.count('(') > 0;
            FUZZ_CHECK(!r->badName || reply.contains(refusalText(why) + (closed ? ")\n" : "\n")));
        }
    }
    for (const Comparison &c :
         {comparePrograms(punch, program),
          compareWithFolder(folder(), QStringLiteral("nc"), punch, 1 << 16)}) {
        FUZZ_CHECK(!c.answer.isEmpty() && c.answer.size() <= 80 && printable(c.answer));
        FUZZ_CHECK(c.answer == commentText(c.answer));
    }
    const std::optional<QByteArray> out = restartAtBlock(program, block);
    if (out) {
        FUZZ_CHECK(out->size() <= program.size());
        FUZZ_CHECK(commonPrefix(*out, program) + commonSuffix(*out, program) >= out->size());
        FUZZ_CHECK(restartAtBlock(*out, block) == out);
    }
    return 0;
}
