// The backups the program keeps, listed, and one of them put back.
#include "Commands.h"

#include "AppError.h"
#include "Backups.h"
#include "DataFiles.h"
#include "DateText.h"
#include "FileOps.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace Cli {

namespace {

// Each record file with the backup the program makes of it at every start.
struct RecordFileNames {
    QLatin1String file;
    QLatin1String startBackup;
};
const RecordFileNames kRecordFiles[] = {{DataFiles::Appointments, DataFiles::AppointmentsBackup},
                                        {DataFiles::ToDos, DataFiles::ToDosBackup}};

// The record file is always one of kRecordFiles, or none for a name that
// belongs to neither.
bool holdsAppointments(const QString &recordFile)
{
    return recordFile == DataFiles::Appointments;
}

QString nounFor(const QString &recordFile, qsizetype count)
{
    if (holdsAppointments(recordFile))
        return count == 1 ? QStringLiteral("appointment") : QStringLiteral("appointments");
    return count == 1 ? QStringLiteral("to-do item") : QStringLiteral("to-do items");
}

// How many records a copy of a record file holds, and what damage it has.
struct Count {
    qsizetype records = 0;
    std::optional<RecordFile::Damage> damage;
};

// The most bytes a sound copy of the record file holds.
qint64 largestOf(const QString &recordFile)
{
    return holdsAppointments(recordFile) ? AppointmentFile::LargestFile : ToDoFile::LargestFile;
}

Count countRecords(const QString &recordFile, const QByteArray &bytes)
{
    if (holdsAppointments(recordFile)) {
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
    for (const RecordFileNames &record : kRecordFiles) {
        if (QFileInfo::exists(data.file(record.startBackup)))
            names << record.startBackup;
        for (const QString &copy : Backups::copiesOf(data.file(record.file), data.file(DataFiles::Backups)))
            names << DataFiles::Backups + u'/' + copy;
    }
    return names;
}

// The record file a backup belongs to, from its name. The copies a restore
// keeps of the file it replaces count too: restoring one is the way back.
QString recordFileOf(const QString &backup)
{
    static const QRegularExpression kept(QStringLiteral("^(.+)\\.before-restore-\\d{8}-\\d{6}(-\\d+)?$"));
    const QString name = QFileInfo(backup).fileName();
    const QRegularExpressionMatch k = kept.match(name);
    for (const RecordFileNames &record : kRecordFiles) {
        if (name == record.startBackup || Backups::isCopyOf(name, record.file)
            || (k.hasMatch() && k.captured(1) == record.file))
            return record.file;
    }
    return {};
}

// A name beside the record file that nothing else writes.
QString keptName(const DataFolder &data, const QString &recordFile, const QDateTime &now)
{
    const QString stamp = recordFile + QStringLiteral(".before-restore-")
                          + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stamp;
    for (int n = 2; QFileInfo::exists(data.file(name)); ++n)
        name = stamp + u'-' + QString::number(n);
    return name;
}

// What a restore puts back when it is given no name: every start-up backup there is.
QStringList startBackups(const DataFolder &data)
{
    QStringList chosen;
    for (const RecordFileNames &record : kRecordFiles) {
        if (QFileInfo::exists(data.file(record.startBackup)))
            chosen << record.startBackup;
    }
    if (chosen.isEmpty())
        throw Failure{BadInput, QStringLiteral("there is no start-up backup in %1 to restore").arg(data.path())};
    return chosen;
}

// One backup to put back, read whole before anything is changed.
struct Step {
    QString backupPath, recordFile;
    QByteArray bytes;
};

Step readBackup(const DataFolder &data, const QString &name)
{
    // A name as "backups" lists it, or any path to such a copy.
    const QString path = QFileInfo::exists(data.file(name)) ? data.file(name) : name;
    const QString recordFile = recordFileOf(name);
    if (recordFile.isEmpty() || !QFileInfo::exists(path)) {
        throw Failure{BadInput, QStringLiteral("'%1' is not a backup; 'backups' lists them").arg(name)};
    }
    // Before anything is read or kept: the record file will be replaced,
    // which a link must not lead elsewhere.
    try {
        FileOps::ensureReplaceable(data.file(recordFile), FileOps::Links::Refuse);
    } catch (const AppError &e) {
        throw Failure{FileFailed, e.description() + QStringLiteral("; nothing was restored")};
    }
    // Anything but a regular file in the backup's place is refused by the read, naming it.
    Step step{path, recordFile, DataFolder::read(path, largestOf(recordFile))};
    const Count counted = countRecords(recordFile, step.bytes);
    if (counted.damage) {
        throw Failure{BadInput,
                      QStringLiteral("%1 is damaged (%2); nothing was restored").arg(name, counted.damage->what)};
    }
    return step;
}

// Without --yes a restore only tells what it would do.
void tellPlan(const DataFolder &data, const QList<Step> &steps, QTextStream &out)
{
    for (const Step &s : steps) {
        const QString current = data.file(s.recordFile);
        out << "Would replace " << s.recordFile << " ("
            << (QFileInfo::exists(current) ? describe(s.recordFile, DataFolder::read(current, largestOf(s.recordFile)))
                                           : QStringLiteral("none"))
            << ") with " << QDir(data.path()).relativeFilePath(s.backupPath) << " (" << describe(s.recordFile, s.bytes)
            << ")\n";
    }
    out << "Nothing was changed; run the same command with --yes to restore.\n";
}

// Keeps the record file under a new name before the backup replaces it; false
// when it already holds the backup's records and is to be left alone.
bool keepCurrent(const DataFolder &data, const Step &s, const Context &context)
{
    QTextStream &out = *context.out;
    const QString current = data.file(s.recordFile);
    if (!QFileInfo::exists(current))
        return true;
    const QByteArray now = DataFolder::read(current, largestOf(s.recordFile));
    if (now == s.bytes) {
        out << s.recordFile << " already holds these records; left as it is\n";
        return false;
    }
    const QString kept = keptName(data, s.recordFile, context.now);
    try {
        FileOps::createNew(data.file(kept), now);
    } catch (const AppError &e) {
        throw Failure{
            FileFailed,
            QStringLiteral("cannot keep %1 as %2: %3; it was not replaced").arg(s.recordFile, kept, e.description())};
    }
    out << "Kept the current " << s.recordFile << " as " << kept << '\n';
    return true;
}

void putBack(const DataFolder &data, const Step &s, const Context &context)
{
    if (!keepCurrent(data, s, context))
        return;
    DataFolder::write(data.file(s.recordFile), s.bytes);
    *context.out << "Restored " << s.recordFile << " from " << QDir(data.path()).relativeFilePath(s.backupPath) << " ("
                 << describe(s.recordFile, s.bytes) << ")\n";
    if (s.recordFile == DataFiles::ToDos)
        data.updateToDoPage(ToDoFile::decode(s.bytes).records);
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
        const QString recordFile = recordFileOf(name);
        // Read before the line starts, so that a copy that cannot be read leaves no half line behind.
        const QString described = describe(recordFile, DataFolder::read(path, largestOf(recordFile)));
        out << name.leftJustified(width + 2) << when(dateOf(path)) << "  " << described << '\n';
    }
    return Ok;
}

int restore(DataFolder &data, const Arguments &args, const Context &context)
{
    const bool confirmed = args.has(QStringLiteral("--yes"));
    // From before the files are looked at until the last is replaced, so
    // that no save of the window falls between what is kept and what is
    // put back. Only telling the plan writes nothing and needs no lock.
    if (confirmed)
        data.lock();
    const QStringList chosen = args.positional.isEmpty() ? startBackups(data) : QStringList{args.positional[0]};
    QList<Step> steps;
    for (const QString &name : chosen)
        steps.append(readBackup(data, name));

    if (!confirmed) {
        tellPlan(data, steps, *context.out);
        return No;
    }
    for (const Step &s : steps)
        putBack(data, s, context);
    return Ok;
}

} // namespace Cli
