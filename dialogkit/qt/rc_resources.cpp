// The Qt half takes its resources from the program's resource script, the
// same file the Windows build compiles: the script and the files it names
// are embedded as Qt resources under :/dialogkit/. Only the statements the
// program uses are read: "<id> ICON|BITMAP "<file>"", the STRINGTABLE's
// "<id> "<text>"" lines and FILEVERSION.
#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTextStream>

#include "qt_text.h"
#include "resources.h"

namespace dialogkit {

namespace {

const QString kRoot = QStringLiteral(":/dialogkit/");

struct Script {
    QHash<int, QString> icons;   // file names
    QHash<int, QString> bitmaps; // file names
    QHash<int, QString> strings;
    QString fileVersion;
};

// A quoted text of the script: "" is a quote, \n \t \\ their characters.
QString Unquote(const QString& quoted)
{
    QString text;
    for (int i = 1; i + 1 < quoted.size(); ++i) {
        const QChar c = quoted[i];
        if (c == QLatin1Char('"') && quoted[i + 1] == QLatin1Char('"')) {
            text += c;
            ++i;
        } else if (c == QLatin1Char('\\') && i + 2 < quoted.size()) {
            const QChar next = quoted[++i];
            text += next == QLatin1Char('n') ? QChar(QLatin1Char('\n'))
                    : next == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                                               : next;
        } else {
            text += c;
        }
    }
    return text;
}

Script ReadScript()
{
    Script script;
    const QStringList found = QDir(kRoot).entryList({QStringLiteral("*.rc")}, QDir::Files);
    if (found.isEmpty())
        return script;
    QFile file(kRoot + found.first());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return script;
    static const QRegularExpression kFileStatement(
        QStringLiteral(R"(^(\d+)\s+(ICON|BITMAP)\s+("(?:[^"]|"")*")\s*$)"));
    static const QRegularExpression kStringEntry(QStringLiteral(R"(^(\d+)\s*,?\s*("(?:[^"]|"")*")\s*$)"));
    static const QRegularExpression kVersion(QStringLiteral(R"(^FILEVERSION\s+(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+))"));
    bool inStringTable = false;
    bool stringTableOpen = false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1String("//")) || line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("STRINGTABLE"))) {
            inStringTable = true;
            continue;
        }
        if (inStringTable) {
            if (line == QLatin1String("BEGIN") || line == QLatin1String("{")) {
                stringTableOpen = true;
            } else if (line == QLatin1String("END") || line == QLatin1String("}")) {
                inStringTable = stringTableOpen = false;
            } else if (const auto match = kStringEntry.match(line); stringTableOpen && match.hasMatch()) {
                script.strings.insert(match.captured(1).toInt(), Unquote(match.captured(2)));
            }
            continue;
        }
        if (const auto match = kFileStatement.match(line); match.hasMatch()) {
            auto& table = match.captured(2) == QLatin1String("ICON") ? script.icons : script.bitmaps;
            table.insert(match.captured(1).toInt(), Unquote(match.captured(3)));
        } else if (const auto version = kVersion.match(line); version.hasMatch()) {
            script.fileVersion = QStringList{version.captured(1), version.captured(2), version.captured(3),
                                             version.captured(4)}
                                     .join(QLatin1Char('.'));
        }
    }
    return script;
}

const Script& TheScript()
{
    static const Script script = ReadScript();
    return script;
}

QString FileFor(const QHash<int, QString>& table, int id)
{
    const auto found = table.find(id);
    if (found == table.end() || !QFile::exists(kRoot + found.value()))
        return QString();
    return kRoot + found.value();
}

} // namespace

HICON LoadIconResource(int id)
{
    const QString file = FileFor(TheScript().icons, id);
    return file.isEmpty() ? HICON() : HICON(file);
}

HBITMAP LoadBitmapResource(int id)
{
    const QString file = FileFor(TheScript().bitmaps, id);
    return file.isEmpty() ? HBITMAP() : HBITMAP(file);
}

CString LoadStringResource(int id)
{
    return ToCString(TheScript().strings.value(id));
}

CString FileVersionResource()
{
    return ToCString(TheScript().fileVersion);
}

} // namespace dialogkit
