// The backups the program keeps, listed, and one of them put back.
#include "Commands.h"

#include "AppError.h"
#include "Backups.h"
#include "DateText.h"
#include "FileOps.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace Cli {

namespace {

const char *const kRecordFiles[] = {"appointments.cal", "todos.cal"};

QString nounFor(const QString &recordFile, qsizetype count)
{
    if (recordFile.startsWith(QLatin1String("appointments")))
        return count == 1 ? QStringLiteral("appointment") : QStringLiteral("appointments");
    return count == 1 ? QStringLiteral("to-do item") : QStringLiteral("to-do items");
}

// How many records a copy of a record file holds, and what damage it has.
struct Count {
    qsizetype records = 0;
    std::optional<RecordFile::Damage> damage;
};

Count countRecords(const QString &recordFile, const QByteArray &bytes)
{
    if (recordFile.startsWith(QLatin1String("appointments"))) {
        const auto decoded = AppointmentFile::decode(bytes);
        return {decoded.records.size(), decoded.damage};
    }
    const auto decoded = ToDoFile::decode(bytes);
    return {decoded.records.size(), decoded.damage};
}

QString describe(const QString &recordFile, const QByteArray &bytes)
{
    const Count counted = countRecords(recordFile, bytes);
    QString text = QStringLiteral("%1 %2").arg(counted.records).arg(nounFor(recordFile, counted.records));
    if (counted.damage)
        text += QStringLiteral(", damaged: ") + counted.damage->what;
    return text;
}

QString when(const QDateTime &at)
{
    return DateText::shortDate(at.date()) + u' ' + at.time().toString(QStringLiteral("HH:mm:ss"));
}

// The moment in a dated copy's name, or the file's own time for a start-up backup.
QDateTime dateOf(const QString &path)
{
    static const QRegularExpression stamp(QStringLiteral("-(\\d{8}-\\d{6})-\\d{2}\\.[^.]*$"));
    const QRegularExpressionMatch m = stamp.match(path);
    if (m.hasMatch())
        return QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd-HHmmss"));
    return QFileInfo(path).lastModified();
}

// Every backup as "backups" names it, relative to the data folder.
QStringList allBackups(const DataFolder &data)
{
    QStringList names;
    for (const char *record : kRecordFiles) {
        const QString bak = QFileInfo(QLatin1String(record)).completeBaseName() + QStringLiteral(".bak");
        if (QFileInfo::exists(data.file(bak)))
            names << bak;
        for (const QString &copy : Backups::copiesOf(data.file(QLatin1String(record)), data.file(QStringLiteral("backups"))))
            names << QStringLiteral("backups/") + copy;
    }
    return names;
}

// The record file a backup belongs to, from its name.
QString recordFileOf(const QString &backup)
{
    static const QRegularExpression dated(QStringLiteral("^(.+)-\\d{8}-\\d{6}-\\d{2}\\.cal$"));
    const QString name = QFileInfo(backup).fileName();
    const QRegularExpressionMatch m = dated.match(name);
    for (const char *record : kRecordFiles) {
        const QString base = QFileInfo(QLatin1String(record)).completeBaseName();
        if (name == base + QStringLiteral(".bak") || (m.hasMatch() && m.captured(1) == base))
            return QLatin1String(record);
    }
    return {};
}

// A name beside the record file that nothing else writes.
QString keptName(const DataFolder &data, const QString &recordFile, const QDateTime &now)
{
    const QString stamp = recordFile + QStringLiteral(".before-restore-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stamp;
    for (int n = 2; QFileInfo::exists(data.file(name)); ++n)
        name = stamp + u'-' + QString::number(n);
    return name;
}

} // namespace

int backups(DataFolder &data, const Arguments &, const Context &context)
{
    QTextStream &out = *context.out;
    const QStringList names = allBackups(data);
    if (names.isEmpty()) {
        out << "No backups yet: Brindlewatch makes them when it starts with records.\n";
        return Ok;
    }
    qsizetype width = 0;
    for (const QString &name : names)
        width = qMax(width, name.size());
    for (const QString &name : names) {
        const QString path = data.file(name);
        out << name.leftJustified(width + 2) << when(dateOf(path)) << "  " << describe(recordFileOf(name), DataFolder::read(path))
            << '\n';
    }
    return Ok;
}

int restore(DataFolder &data, const Arguments &args, const Context &context)
{
    QStringList chosen;
    if (args.positional.isEmpty()) {
        for (const char *record : kRecordFiles) {
            const QString bak = QFileInfo(QLatin1String(record)).completeBaseName() + QStringLiteral(".bak");
            if (QFileInfo::exists(data.file(bak)))
                chosen << bak;
        }
        if (chosen.isEmpty())
            throw Failure{BadInput, QStringLiteral("there is no start-up backup in %1 to restore").arg(data.path())};
    } else {
        chosen << args.positional[0];
    }

    struct Step {
        QString backupPath, recordFile;
        QByteArray bytes;
    };
    QList<Step> steps;
    for (const QString &name : chosen) {
        // A name as "backups" lists it, or any path to such a copy.
        const QString path = QFileInfo::exists(data.file(name)) ? data.file(name) : name;
        const QString recordFile = recordFileOf(name);
        if (recordFile.isEmpty() || !QFileInfo(path).isFile()) {
            throw Failure{BadInput, QStringLiteral("'%1' is not a backup; 'backups' lists them").arg(name)};
        }
        Step step{path, recordFile, DataFolder::read(path)};
        const Count counted = countRecords(recordFile, step.bytes);
        if (counted.damage) {
            throw Failure{BadInput, QStringLiteral("%1 is damaged (%2); nothing was restored").arg(name, counted.damage->what)};
        }
        steps.append(step);
    }

    QTextStream &out = *context.out;
    if (!args.has(QStringLiteral("--yes"))) {
        for (const Step &s : steps) {
            const QString current = data.file(s.recordFile);
            out << "Would replace " << s.recordFile << " ("
                << (QFileInfo::exists(current) ? describe(s.recordFile, DataFolder::read(current)) : QStringLiteral("none"))
                << ") with " << QDir(data.path()).relativeFilePath(s.backupPath) << " (" << describe(s.recordFile, s.bytes) << ")\n";
        }
        out << "Nothing was changed; run the same command with --yes to restore.\n";
        return No;
    }

    data.lock();
    for (const Step &s : steps) {
        const QString current = data.file(s.recordFile);
        if (QFileInfo::exists(current)) {
            const QByteArray now = DataFolder::read(current);
            if (now == s.bytes) {
                out << s.recordFile << " already holds these records; left as it is\n";
                continue;
            }
            const QString kept = keptName(data, s.recordFile, context.now);
            try {
                FileOps::createNew(data.file(kept), now);
            } catch (const AppError &e) {
                throw Failure{FileFailed, QStringLiteral("cannot keep %1 as %2: %3; it was not replaced")
                                              .arg(s.recordFile, kept, e.description())};
            }
            out << "Kept the current " << s.recordFile << " as " << kept << '\n';
        }
        DataFolder::write(current, s.bytes);
        out << "Restored " << s.recordFile << " from " << QDir(data.path()).relativeFilePath(s.backupPath) << " ("
            << describe(s.recordFile, s.bytes) << ")\n";
        if (s.recordFile == QLatin1String("todos.cal"))
            data.updateToDoPage(ToDoFile::decode(s.bytes).records);
    }
    return Ok;
}

} // namespace Cli
