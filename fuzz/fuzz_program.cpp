// A program's bytes split into lines: CR, LF and CR LF each end one line,
// every other byte lands in its line in order, and the lines put back
// together with their ends are the file with each line end made one LF.

#include "core/programs/program.h"

#include "check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // The lines as a plain reading of the bytes finds them.
    QList<QByteArray> want(1);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            want.append(QByteArray());
        } else {
            want.last() += c;
        }
    }
    const Program p = Program::fromFile(bytes);
    FUZZ_CHECK(p.lineCount() == want.size());
    QByteArray joined;
    for (int i = 0; i < p.lineCount(); ++i) {
        FUZZ_CHECK(p.line(i) == want[i]);
        FUZZ_CHECK(p.lineHasEnd(i) == (i + 1 < want.size()));
        joined += p.line(i).toByteArray() + (p.lineHasEnd(i) ? "\n" : "");
    }
    FUZZ_CHECK(p.text() == joined && p.size() == qMax<qsizetype>(0, joined.size() - 1));
    FUZZ_CHECK(p.line(-1).isEmpty() && p.line(p.lineCount()).isEmpty());
    // The same program made from its lines.
    const Program again = Program::fromLines(want);
    FUZZ_CHECK(again.text() == p.text() && again.lineCount() == p.lineCount());
    return 0;
}
