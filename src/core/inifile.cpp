#include "core/inifile.h"

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
// hold bare tick counts; "150ms" and "200ms" are offered by the setup dialog
// and so must come back as they were saved.
QByteArray blockDelay(const QByteArray &v)
{
    for (const char *k : {"5", "10", "25", "50", "70", "90", "150", "200"})
        if (v == QByteArray(k) + "ms") return k;
    if (v == "Fastms" || v == "Fast") return "Fast";
    if (v == "Nonems" || v == "None") return "None";
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

} // namespace

QList<QByteArray> IniFile::lines(const QByteArray &content)
{
    // A file saved by an editor that marks UTF-8 would otherwise hide its
    // first section header, and the next write would drop every machine.
    QByteArray text = content.startsWith("\xEF\xBB\xBF") ? content.mid(3) : content;
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text.split('\n');
}

QByteArray IniFile::lookup(const QList<QByteArray> &lines, const QByteArray &section,
                           const QByteArray &key)
{
    qsizetype i = 0;
    while (i < lines.size() && trimmed(lines[i]) != section)
        ++i;
    if (i >= lines.size()) return NoSection;
    for (++i; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (trimmed(line).startsWith('[')) return NoValue;
        if (line.startsWith(key)) return line.mid(key.size() + 1);
    }
    return NoValue;
}

MachineTable IniFile::parse(const QByteArray &content, const QString &appPath)
{
    const QList<QByteArray> all = lines(content);
    MachineTable table;
    for (int i = 1; i <= MachineTable::MaxMachines; ++i) {
        const QByteArray section = sectionName(i);
        auto get = [&](Key k) { return lookup(all, section, MachineConfig::keyName(k).toLatin1()); };
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
        // Parity always follows the data bits; the file's own is not read.
        const bool eight = get(Key::DataBits) == "8";
        m.setBytes(Key::DataBits, eight ? "8" : "7");
        m.setBytes(Key::Parity, eight ? "None" : "Even");
        m.setBytes(Key::StartCode, controlCode(get(Key::StartCode)));
        m.setBytes(Key::EndCode, controlCode(get(Key::EndCode)));
        m.setBytes(Key::TxStep, get(Key::TxStep) == "Fast" ? "Fast" : "Smooth");
        const QByteArray strip = get(Key::StripEob);
        m.setBytes(Key::StripEob, strip == NoValue ? QByteArray() : strip);
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
            out += MachineConfig::keyName(Key(k)).toLatin1() + '=' + value + '\n';
        }
        out += '\n';
    }
    return out + '\n';
}
