// zoZad.ini from arbitrary bytes: what is read, written and read again is
// the same table, and writing it again gives the same bytes.

#include "core/config/inifile.h"

#include "check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString appPath = QStringLiteral("/opt/tavrin");
    const MachineTable first = IniFile::parse(content, appPath);
    const QByteArray written = IniFile::serialise(first);
    const MachineTable second = IniFile::parse(written, appPath);
    FUZZ_CHECK(second == first);
    FUZZ_CHECK(IniFile::serialise(second) == written);
    return 0;
}
