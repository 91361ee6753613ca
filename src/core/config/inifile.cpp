#include "core/config/inifile.h"

#include "core/config/vocabulary.h"

#include <optional>

namespace
{

QByteArray sectionName(int index)
{
    return "[MC" + QByteArray::number(index) + ']';
}

// Blanks and tabs around a line, as a hand-edited file may have them.
QByteArrayView trimmed(QByteArrayView line)
{
    while (!line.isEmpty() && (line.front() == ' ' || line.front() == '\t'))
        line = line.sliced(1);
    while (!line.isEmpty() && (line.back() == ' ' || line.back() == '\t'))
        line.chop(1);
    return line;
}

// Block delays as the file holds them, and what they load as. Older files
// hold bare tick counts; only the named delays may also stand without "ms".
// Every delay offered must come back as it was saved.
QByteArray blockDelay(const QByteArray &v)
{
    for (const Vocabulary::BlockDelay &d : Vocabulary::BlockDelays) {
        const QByteArray stored(d.stored);
        if (v == stored + "ms" || (d.ms == 0 && v == stored)) return stored;
    }
    if (v == "0" || v == "1" || v == "2") return "10";
    return "25";
}

// "CTRL-B, STX, 02" -> "2", "127" -> "27", "0" or "abc" -> "".
QByteArray controlCode(const QByteArray &v)
{
    if (v == IniFile::NoValue) return {};
    const int n = leadingNumber(QString::fromLatin1(v.right(2)));
    return n == 0 ? QByteArray() : QByteArray::number(n);
}

// Calls `f` with each line of `content`, whatever its line ends (CR, LF or
// CR LF), without copying it.
template <typename F> void forEachLine(QByteArrayView content, F f)
{
    // A file saved by an editor that marks UTF-8 would otherwise hide its
    // first section header, and the next write would drop every machine.
    if (content.startsWith("\xEF\xBB\xBF")) content = content.sliced(3);
    qsizetype start = 0;
    for (qsizetype i = 0; i < content.size(); ++i) {
        const char c = content[i];
        if (c != '\n' && c != '\r') continue;
        f(content.sliced(start, i - start));
        if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
        start = i + 1;
    }
    f(content.sliced(start));
}

// Picks the values of some keys in some sections out of the lines fed to
// it, in one pass and keeping only those values. A section starts at the
// first line that is its header ("[MC1]", blanks and tabs around it
// allowed); any later line that starts with '[' after its blanks ends it.
// In a section, the first line that starts with a key gives the rest of
// that line after the key and the one character that follows it.
class Scanner
{
public:
    Scanner(QList<QByteArray> sections, QList<QByteArray> keys)
        : m_sections(std::move(sections)), m_keys(std::move(keys)),
          m_seen(m_sections.size(), false), m_values(m_sections.size() * m_keys.size())
    {
    }

    void feed(QByteArrayView line)
    {
        const QByteArrayView bare = trimmed(line);
        if (bare.startsWith('[')) {
            m_current = m_sections.indexOf(bare);
            if (m_current >= 0 && m_seen[m_current]) m_current = -1;
            if (m_current >= 0) m_seen[m_current] = true;
            return;
        }
        if (m_current < 0) return;
        for (qsizetype k = 0; k < m_keys.size(); ++k) {
            std::optional<QByteArray> &value = m_values[m_current * m_keys.size() + k];
            const qsizetype from = m_keys.at(k).size() + 1;
            if (!value && line.startsWith(m_keys.at(k)))
                value = from < line.size() ? line.sliced(from).toByteArray() : QByteArray();
        }
    }

    // NoSection or NoValue where there is none.
    QByteArray value(qsizetype section, qsizetype key) const
    {
        if (!m_seen.at(section)) return IniFile::NoSection;
        return m_values.at(section * m_keys.size() + key).value_or(IniFile::NoValue);
    }

private:
    QList<QByteArray> m_sections;
    QList<QByteArray> m_keys;
    QList<bool> m_seen;
    QList<std::optional<QByteArray>> m_values;
    qsizetype m_current = -1;
};

} // namespace

QList<QByteArray> IniFile::lines(const QByteArray &content)
{
    QList<QByteArray> out;
    forEachLine(content, [&](QByteArrayView line) { out.append(line.toByteArray()); });
    return out;
}

QByteArray IniFile::lookup(const QList<QByteArray> &lines, const QByteArray &section,
                           const QByteArray &key)
{
    Scanner scan({section}, {key});
    for (const QByteArray &line : lines)
        scan.feed(line);
    return scan.value(0, 0);
}

MachineTable IniFile::parse(const QByteArray &content, const QString &appPath)
{
    QList<QByteArray> sections, keys;
    for (int i = 1; i <= MachineTable::MaxMachines; ++i)
        sections.append(sectionName(i));
    for (int k = 0; k < KeyCount; ++k)
        keys.append(MachineConfig::keyName(Key(k)).toLatin1());
    Scanner scan(sections, keys);
    forEachLine(content, [&](QByteArrayView line) { scan.feed(line); });
    MachineTable table;
    for (int i = 1; i <= MachineTable::MaxMachines; ++i) {
        auto get = [&](Key k) { return scan.value(i - 1, int(k)); };
        const QByteArray name = get(Key::Name);
        if (name.isEmpty() || name == NoSection || name == NoValue) break;
        MachineConfig m;
        m.setBytes(Key::Name, name);
        for (Key k : {Key::Port, Key::Mode, Key::ComPar, Key::Flow, Key::CrLf, Key::BlockNul,
                      Key::Prefix, Key::Extension, Key::Speed, Key::StopBits, Key::EndOfBlock})
            m.setBytes(k, get(k));
        const QByteArray folder = get(Key::Folder);
        m.setBytes(Key::Folder, folder.isEmpty() || folder == "Unused" ? appPath.toUtf8() : folder);
        m.setBytes(Key::BlockDelay, blockDelay(get(Key::BlockDelay)));
        // Files once held only 7 data bits with even parity or 8 with none,
        // and a parity that was not read: a parity is taken from the file
        // only where it names one the data bits do not imply.
        const int bits = Vocabulary::storedDataBits(get(Key::DataBits));
        const QByteArray parity = get(Key::Parity);
        m.setBytes(Key::DataBits, Vocabulary::DataBits[size_t(bits - 5)]);
        const int known = Vocabulary::parityIndex(parity);
        m.setBytes(
            Key::Parity,
            Vocabulary::Parities[size_t(known >= 0 ? known : Vocabulary::impliedParity(bits))]
                .stored);
        m.setBytes(Key::StartCode, controlCode(get(Key::StartCode)));
        m.setBytes(Key::EndCode, controlCode(get(Key::EndCode)));
        m.setBytes(Key::TxStep, get(Key::TxStep) == "Fast" ? "Fast" : "Smooth");
        // Kept as read, whatever they hold: what they mean is worked out
        // where they are used.
        for (Key k : {Key::StripEob, Key::Leader, Key::Trailer, Key::CharCheck, Key::DtrLine,
                      Key::RtsLine, Key::CharDelay, Key::CharsPerDelay, Key::HandshakeDelay,
                      Key::TapeCode, Key::Protocol}) {
            const QByteArray v = get(k);
            m.setBytes(k, v == NoValue ? QByteArray() : v);
        }
        table.append(m);
    }
    return table;
}

QByteArray IniFile::serialise(const MachineTable &table, int skip)
{
    QByteArray out;
    int n = 0;
    for (int i = 1; i <= table.count(); ++i) {
        if (i == skip) continue;
        out += sectionName(++n) + '\n';
        for (int k = 0; k < KeyCount; ++k) {
            QByteArray value = table.at(i).bytes(Key(k));
            value.replace('\r', ' ').replace('\n', ' ');
            if (Key(k) == Key::BlockDelay) value += "ms";
            if (k >= AlwaysWritten && value.isEmpty()) continue;
            out += MachineConfig::keyName(Key(k)).toLatin1() + '=' + value + '\n';
        }
        out += '\n';
    }
    return out + '\n';
}
