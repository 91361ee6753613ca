#include "core/config/machineconfig.h"

#include "core/base/escapedtext.h"

#include <QStringList>

namespace
{
const char *const kKeyNames[KeyCount] = {
    "MCNAME",  "MCPORT",  "MCMODE",   "MCCOMPAR", "MCFOLDER", "MCFLOW",  "MCCRLF",
    "MCBLKTIC", "MCBLKNUL", "MCPREFIX", "MCEXTENS", "MCDRATE", "MCDBITS", "MCPARITY",
    "MCSBITS", "MCEOB",   "MCSOT",    "MCEOT",    "MCTXSTEP", "MCSTRIPEOB", "MCLEADER",
    "MCTRAILER", "MCCHARCHK", "MCDTR", "MCRTS", "MCCHARDLY", "MCCHARCNT", "MCHSDLY",
    "MCCODE", "MCPROTOCOL",
};
} // namespace

int leadingNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    qint64 n = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        n = qMin<qint64>(n * 10 + (text[i].unicode() - '0'), 0x7fffffff);
        ++i;
    }
    return int(negative ? -n : n);
}

QString MachineConfig::keyName(Key key)
{
    return QLatin1String(kKeyNames[size_t(key)]);
}

QString MachineConfig::value(Key key) const
{
    const QByteArray &b = m_values[size_t(key)];
    return b.isValidUtf8() ? QString::fromUtf8(b) : QString::fromLatin1(b);
}

void MachineConfig::setValue(Key key, const QString &value)
{
    if (value == this->value(key)) return;
    // The file writes a line break inside a value as a blank; holding it so
    // already keeps the table what the file will read back.
    QByteArray bytes = value.toUtf8();
    bytes.replace('\r', ' ').replace('\n', ' ');
    m_values[size_t(key)] = bytes;
}

FlowMode MachineConfig::flowMode() const
{
    return Vocabulary::flow(bytes(Key::Flow)).mode;
}

int MachineConfig::blockDelayMs() const
{
    // A delay put into the file by hand counts the number it starts with.
    const Vocabulary::BlockDelay *offered = Vocabulary::blockDelay(bytes(Key::BlockDelay));
    return offered ? offered->ms : qMax(0, leadingNumber(value(Key::BlockDelay)));
}

QByteArray MachineConfig::endOfBlock() const
{
    return QByteArray(Vocabulary::endOfBlock(bytes(Key::EndOfBlock)).bytes);
}

static char stripFor(int code)
{
    return (code >= 0 && code <= 255) ? char(code) : '\0';
}

char MachineConfig::stripByte() const
{
    return stripFor(leadingNumber(value(Key::StripEob)));
}

QByteArray MachineConfig::framing(Key key) const
{
    return EscapedText::leniently(value(key));
}

CharacterRule MachineConfig::characterRule() const
{
    return Vocabulary::characterCheck(bytes(Key::CharCheck)).rule;
}

QString MachineConfig::flowName(const QString &code)
{
    return QLatin1String(Vocabulary::flow(code.toUtf8()).name);
}

QString MachineConfig::description() const
{
    const QString format = value(Key::Speed) + u' ' + value(Key::Parity).left(1) + u' ' +
                           value(Key::DataBits) + u' ' + value(Key::StopBits);
    return QStringList{QStringLiteral("Mode: ") + value(Key::Mode), QString(), value(Key::Port),
                       format, flowName(value(Key::Flow))}
        .join(u'\n');
}

MachineConfig MachineConfig::defaults(const QString &firstPort)
{
    MachineConfig m;
    m.setValue(Key::Name, QStringLiteral("NEW"));
    m.setValue(Key::Port, firstPort);
    m.setValue(Key::Mode, QStringLiteral("AUTO"));
    m.setValue(Key::ComPar, QStringLiteral("Unused"));
    m.setValue(Key::Folder, QStringLiteral("Unused"));
    m.setValue(Key::Flow, QStringLiteral("1"));
    m.setValue(Key::CrLf, QStringLiteral("UNUSED"));
    m.setValue(Key::BlockDelay, QStringLiteral("10"));
    m.setValue(Key::Speed, QStringLiteral("1200"));
    m.setValue(Key::DataBits, QStringLiteral("7"));
    m.setValue(Key::Parity, QStringLiteral("Even"));
    m.setValue(Key::StopBits, QStringLiteral("1"));
    m.setValue(Key::EndOfBlock, QStringLiteral("CRLF"));
    return m;
}

bool MachineConfig::isNameCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u' ' || c == u'-' || c == u'_';
}

Transfer transferOf(MachineId id, const MachineConfig &machine, Transfer::Direction direction)
{
    Transfer t;
    t.direction = direction;
    t.machine = id;
    t.machineName = machine.name();
    t.port = machine.port();
    return t;
}
