#include "config/module1.h"

#include <QFile>
#include <QSaveFile>

namespace
{

const char *const kKeyNames[McKeyCount + 1] = {
    "",         "MCNAME",   "MCPORT",   "MCMODE",   "MCCOMPAR", "MCFOLDER", "MCFLOW",
    "MCCRLF",   "MCBLKTIC", "MCBLKNUL", "MCPREFIX", "MCEXTENS", "MCDRATE",  "MCDBITS",
    "MCPARITY", "MCSBITS",  "MCEOB",    "MCSOT",    "MCEOT",    "MCTXSTEP", "MCSTRIPEOB",
};

// Block delays as the file holds them, and what they load as. Older files hold
// bare tick counts; "150ms" and "200ms" are offered by the setup dialog and so
// must come back as they were saved.
QString normaliseBlockDelay(const QString &v)
{
    static const char *const kept[] = {"5", "10", "25", "50", "70", "90", "150", "200"};
    for (const char *k : kept) {
        if (v == QLatin1String(k) + QLatin1String("ms")) return QLatin1String(k);
    }
    if (v == QLatin1String("Fastms") || v == QLatin1String("Fast")) return QStringLiteral("Fast");
    if (v == QLatin1String("0") || v == QLatin1String("1") || v == QLatin1String("2"))
        return QStringLiteral("10");
    return QStringLiteral("25");
}

// "CTRL-B, STX, 02" -> "2", "127" -> "27", "0" or "abc" -> "".
QString normaliseCode(const QString &v)
{
    if (v == QLatin1String(Module1::NOINIVAL)) return {};
    const int n = Module1::leadingNumber(v.right(2));
    return n == 0 ? QString() : QString::number(n);
}

} // namespace

Module1::Module1(QObject *parent) : QObject(parent) {}

QString Module1::mc(int index, McKey key) const
{
    if (index < 0 || index > Max_MC) return {};
    return MCDATA[index][key];
}

void Module1::setMc(int index, McKey key, const QString &value)
{
    if (index < 0 || index > Max_MC) return;
    MCDATA[index][key] = value;
}

QString Module1::keyName(int key)
{
    if (key < 1 || key > McKeyCount) return {};
    return QLatin1String(kKeyNames[key]);
}

int Module1::leadingNumber(const QString &text)
{
    int i = 0;
    while (i < text.size() && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 n = 0;
    while (i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
        n = n * 10 + (text.at(i).unicode() - '0');
        if (n > 0x7fffffff) n = 0x7fffffff;
        ++i;
    }
    return int(negative ? -n : n);
}

bool Module1::ensureIniFile() const
{
    if (iniFile.isEmpty()) return false;
    if (QFile::exists(iniFile)) return true;
    QFile f(iniFile);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.close();
    return true;
}

QStringList Module1::iniLines() const
{
    ensureIniFile();
    QFile f(iniFile);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString unified = QString::fromUtf8(f.readAll());
    // A file saved by an editor that marks UTF-8 would otherwise hide its
    // first section header, and the next write would drop every machine.
    if (unified.startsWith(QChar(0xFEFF))) unified.remove(0, 1);
    // Accept CR LF, LF and CR line ends alike.
    unified.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return unified.split(QLatin1Char('\n'));
}

QString Module1::lookup(const QStringList &lines, const QString &section, const QString &key)
{
    int i = 0;
    while (i < lines.size() && lines.at(i) != section)
        ++i;
    if (i >= lines.size()) return QLatin1String(NO_MC);
    for (++i; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.startsWith(QLatin1Char('['))) return QLatin1String(NOINIVAL);
        if (line.startsWith(key))
            return line.mid(key.size() + 1); // skip the one character after the key
    }
    return QLatin1String(NOINIVAL);
}

QString Module1::GetIniStr(const QString &section, const QString &key) const
{
    return lookup(iniLines(), section, key);
}

void Module1::ReadIni()
{
    for (auto &row : MCDATA)
        for (auto &cell : row)
            cell.clear();

    const QStringList lines = iniLines();
    int loaded = 0;
    for (int i = 1; i <= Max_MC; ++i) {
        const QString section = sectionName(i);
        auto get = [&](McKey k) { return lookup(lines, section, keyName(k)); };
        const QString name = get(MCNAME);
        if (name.isEmpty() || name == QLatin1String(NO_MC) || name == QLatin1String(NOINIVAL))
            break;
        QString *row = MCDATA[i];
        row[MCNAME] = name;
        for (McKey k : {MCPORT, MCMODE, MCCOMPAR, MCFLOW, MCCRLF, MCBLKNUL, MCPREFIX, MCEXTENS,
                        MCDRATE, MCSBITS, MCEOB})
            row[k] = get(k);
        const QString folder = get(MCFOLDER);
        row[MCFOLDER] = (folder.isEmpty() || folder == QLatin1String("Unused")) ? AppPath : folder;
        row[MCBLKTIC] = normaliseBlockDelay(get(MCBLKTIC));
        if (get(MCDBITS) == QLatin1String("8")) {
            row[MCDBITS] = QStringLiteral("8");
            row[MCPARITY] = QStringLiteral("None");
        } else {
            row[MCDBITS] = QStringLiteral("7");
            row[MCPARITY] = QStringLiteral("Even");
        }
        row[MCSOT] = normaliseCode(get(MCSOT));
        row[MCEOT] = normaliseCode(get(MCEOT));
        row[MCTXSTEP] = get(MCTXSTEP) == QLatin1String("Fast") ? QStringLiteral("Fast")
                                                               : QStringLiteral("Smooth");
        const QString strip = get(MCSTRIPEOB);
        row[MCSTRIPEOB] = strip == QLatin1String(NOINIVAL) ? QString() : strip;
        loaded = i;
    }
    Last_MC = loaded;
}

bool Module1::WriteIni(int skip)
{
    QByteArray out;
    int n = 0;
    for (int i = 1; i <= Last_MC && i <= Max_MC; ++i) {
        if (i == skip) continue;
        ++n;
        out += sectionName(n).toUtf8() + '\n';
        for (int k = 1; k <= McKeyCount; ++k) {
            // A line break inside a value would end the key line early and
            // could forge a section header; the file holds one line per key.
            QString value = MCDATA[i][k];
            value.replace(QLatin1Char('\r'), QLatin1Char(' '));
            value.replace(QLatin1Char('\n'), QLatin1Char(' '));
            if (k == MCBLKTIC) value += QLatin1String("ms");
            out += (keyName(k) + QLatin1Char('=') + value).toUtf8() + '\n';
        }
        out += '\n';
    }
    out += '\n';

    // Replace the file in one step, so that a crash or a full disk never
    // leaves a truncated configuration behind.
    QSaveFile f(iniFile);
    bool failed = true;
    QString reason;
    // Unbuffered, so that a short write (a full disk) shows in write()'s
    // count: a buffered QSaveFile can lose that error at commit and rename a
    // truncated file over the good one.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = f.errorString();
    } else if (const qint64 written = f.write(out); written != out.size()) {
        reason = f.error() != QFileDevice::NoError
                     ? f.errorString()
                     : QStringLiteral("only %1 of %2 bytes could be written (is the disk full?)")
                           .arg(qMax<qint64>(written, 0))
                           .arg(out.size());
        f.cancelWriting();
    } else if (!f.commit()) {
        reason = f.errorString();
    } else {
        failed = false;
    }
    if (failed) {
        emit iniWriteFailed(iniFile, reason.isEmpty() ? QStringLiteral("unknown error") : reason);
        return false;
    }
    return true;
}
