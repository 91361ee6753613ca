#include "core/inifile.h"

namespace
{

QString sectionName(int index)
{
    return QStringLiteral("[MC%1]").arg(index);
}

// Block delays as the file holds them, and what they load as. Older files
// hold bare tick counts; "150ms" and "200ms" are offered by the setup dialog
// and so must come back as they were saved.
QString blockDelay(const QString &v)
{
    static const char *const kept[] = {"5", "10", "25", "50", "70", "90", "150", "200"};
    for (const char *k : kept)
        if (v == QLatin1String(k) + QLatin1String("ms")) return QLatin1String(k);
    if (v == u"Fastms" || v == u"Fast") return QStringLiteral("Fast");
    if (v == u"0" || v == u"1" || v == u"2") return QStringLiteral("10");
    return QStringLiteral("25");
}

// "CTRL-B, STX, 02" -> "2", "127" -> "27", "0" or "abc" -> "".
QString controlCode(const QString &v)
{
    if (v == QLatin1String(IniFile::NoValue)) return {};
    const int n = leadingNumber(QStringView(v).right(2));
    return n == 0 ? QString() : QString::number(n);
}

} // namespace

QStringList IniFile::lines(const QByteArray &content)
{
    QString text = QString::fromUtf8(content);
    // A file saved by an editor that marks UTF-8 would otherwise hide its
    // first section header, and the next write would drop every machine.
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    return text.split(u'\n');
}

QString IniFile::lookup(const QStringList &lines, const QString &section, const QString &key)
{
    qsizetype i = lines.indexOf(section);
    if (i < 0) return QLatin1String(NoSection);
    for (++i; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.startsWith(u'[')) return QLatin1String(NoValue);
        if (line.startsWith(key)) return line.mid(key.size() + 1);
    }
    return QLatin1String(NoValue);
}

MachineTable IniFile::parse(const QByteArray &content, const QString &appPath)
{
    const QStringList all = lines(content);
    MachineTable table;
    for (int i = 1; i <= MachineTable::MaxMachines; ++i) {
        const QString section = sectionName(i);
        auto get = [&](Key k) { return lookup(all, section, MachineConfig::keyName(k)); };
        const QString name = get(Key::Name);
        if (name.isEmpty() || name == QLatin1String(NoSection) || name == QLatin1String(NoValue))
            break;
        MachineConfig m;
        m.setValue(Key::Name, name);
        for (Key k : {Key::Port, Key::Mode, Key::ComPar, Key::Flow, Key::CrLf, Key::BlockNul,
                      Key::Prefix, Key::Extension, Key::Speed, Key::StopBits, Key::EndOfBlock})
            m.setValue(k, get(k));
        const QString folder = get(Key::Folder);
        m.setValue(Key::Folder, folder.isEmpty() || folder == u"Unused" ? appPath : folder);
        m.setValue(Key::BlockDelay, blockDelay(get(Key::BlockDelay)));
        // Parity always follows the data bits; the file's own is not read.
        const bool eight = get(Key::DataBits) == u"8";
        m.setValue(Key::DataBits, eight ? QStringLiteral("8") : QStringLiteral("7"));
        m.setValue(Key::Parity, eight ? QStringLiteral("None") : QStringLiteral("Even"));
        m.setValue(Key::StartCode, controlCode(get(Key::StartCode)));
        m.setValue(Key::EndCode, controlCode(get(Key::EndCode)));
        m.setValue(Key::TxStep,
                   get(Key::TxStep) == u"Fast" ? QStringLiteral("Fast") : QStringLiteral("Smooth"));
        const QString strip = get(Key::StripEob);
        m.setValue(Key::StripEob, strip == QLatin1String(NoValue) ? QString() : strip);
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
        out += sectionName(++n).toUtf8() + '\n';
        for (int k = 0; k < KeyCount; ++k) {
            // A line break inside a value would end the key line early and
            // could forge a section header; the file holds one line per key.
            QString value = table.at(i).value(Key(k));
            value.replace(u'\r', u' ');
            value.replace(u'\n', u' ');
            if (Key(k) == Key::BlockDelay) value += QLatin1String("ms");
            out += (MachineConfig::keyName(Key(k)) + u'=' + value).toUtf8() + '\n';
        }
        out += '\n';
    }
    return out + '\n';
}
