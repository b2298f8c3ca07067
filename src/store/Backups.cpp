#include "Backups.h"

#include "AppError.h"
#include "FileOps.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// DataFiles::Appointments gives "appointments-20261207-140509-00.cal"; the last
// two digits tell apart copies made within one second, so names sort by age.
QRegularExpression namePattern(const QFileInfo &record)
{
    return QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(record.completeBaseName())
                              + QStringLiteral("-\\d{8}-\\d{6}-\\d{2}\\.") + QRegularExpression::escape(record.suffix())
                              + u'$');
}

} // namespace

namespace Backups {

QStringList copiesOf(const QString &recordFile, const QString &folder)
{
    const QRegularExpression pattern = namePattern(QFileInfo(recordFile));
    QStringList copies;
    for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name)) {
        if (pattern.match(name).hasMatch())
            copies << name;
    }
    return copies;
}

bool isCopyOf(const QString &name, const QString &recordFile)
{
    return namePattern(QFileInfo(recordFile)).match(name).hasMatch();
}

void replaceStartBackup(const QString &recordFile, const QString &backupFile, qint64 largest,
                        std::optional<QByteArray> &content)
{
    // Read once: the same bytes make the backups and the first load.
    content = FileOps::readWhole(recordFile, largest);
    replaceStartBackup(*content, backupFile);
}

void replaceStartBackup(const QByteArray &content, const QString &backupFile)
{
    // Rereading the backup costs far less than rewriting a large file.
    if (!FileOps::isReadOnly(backupFile) && FileOps::holds(backupFile, content))
        return;
    // A backup that is a link would carry the copy out of the data folder.
    FileOps::writeWhole(backupFile, content, FileOps::Links::Refuse);
}

void keepDatedCopy(const QByteArray &bytes, const QString &recordFile, const QString &folder, const QDateTime &now)
{
    if (!QDir().mkpath(folder))
        throw AppError(AppError::PathFileAccessError, QStringLiteral("The folder for backups could not be made."));

    QStringList copies = copiesOf(recordFile, folder);
    const QDir dir(folder);
    // Only a copy of the same size can hold the same bytes; no other needs reading.
    const QString newest = copies.isEmpty() ? QString() : dir.filePath(copies.back());
    if (newest.isEmpty() || !FileOps::holds(newest, bytes)) {
        const QFileInfo record(recordFile);
        const QString stamp = record.completeBaseName() + u'-' + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
        QString name;
        for (int n = 0; n < 100; ++n) {
            name = stamp + QStringLiteral("-%1.").arg(n, 2, 10, QLatin1Char('0')) + record.suffix();
            if (!dir.exists(name))
                break;
        }
        FileOps::createNew(dir.filePath(name), bytes);
        copies = copiesOf(recordFile, folder);
    }
    for (qsizetype i = 0; i + Kept < copies.size(); ++i)
        FileOps::removeIfExists(dir.filePath(copies[i]));
}

StartRun::StartRun(const Record &appointments, const Record &toDos, const QString &datedFolder, const QDateTime &now)
    : appointments_(appointmentsRead_.get_future())
    , toDos_(toDosRead_.get_future())
{
    thread_ = std::thread(&StartRun::run, this, appointments, toDos, datedFolder, now);
}

StartRun::~StartRun()
{
    if (thread_.joinable())
        thread_.join();
}

std::vector<std::exception_ptr> StartRun::failures()
{
    if (thread_.joinable())
        thread_.join();
    return std::exchange(failures_, {});
}

void StartRun::run(Record appointments, Record toDos, QString datedFolder, QDateTime now)
{
    struct Work {
        const Record &record;
        std::promise<std::optional<QByteArray>> &read;
        std::optional<QByteArray> content;
        std::exception_ptr failure;
    };
    Work work[] = {{appointments, appointmentsRead_, {}, {}}, {toDos, toDosRead_, {}, {}}};
    // Both files are read first, so that the window's loading waits for
    // nothing else; an exception may leave a promise unkept, so each is kept
    // whatever happens.
    for (Work &w : work) {
        try {
            if (QFileInfo::exists(w.record.file))
                w.content = FileOps::readWhole(w.record.file, w.record.largest);
        } catch (...) {
            w.failure = std::current_exception();
        }
        w.read.set_value(w.content);
    }
    for (Work &w : work) {
        if (!w.content)
            continue;
        try {
            replaceStartBackup(*w.content, w.record.backup);
        } catch (...) {
            w.failure = std::current_exception();
        }
    }
    for (Work &w : work) {
        if (w.failure)
            failures_.push_back(w.failure);
    }
    // Beside the one backup each start replaces, dated copies that outlive several starts.
    for (Work &w : work) {
        if (!w.content)
            continue;
        try {
            keepDatedCopy(*w.content, w.record.file, datedFolder, now);
        } catch (...) {
            failures_.push_back(std::current_exception());
        }
    }
}

} // namespace Backups
