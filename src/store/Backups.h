#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringList>

#include <exception>
#include <future>
#include <optional>
#include <thread>

// Dated copies of a record file, kept beside the single start-up backup so
// that a table emptied by mistake survives more than one start.
namespace Backups {

constexpr int Kept = 10;

// The start's backup of one record file: reads `recordFile` into `content`,
// then makes `backupFile` hold the
// same bytes. A backup that holds them already is left as it is, and one
// that is a link is never written through. Throws AppError; `content` keeps
// what was read even then, for the first load.
void replaceStartBackup(const QString &recordFile, const QString &backupFile, qint64 largest,
                        std::optional<QByteArray> &content);
// Makes `backupFile` hold `content`, unless it holds it already.
void replaceStartBackup(const QByteArray &content, const QString &backupFile);

// Keeps `bytes`, the content of `recordFile`, in `folder` under a dated name
// when they differ from the newest copy there, then removes all but the
// newest `Kept` copies of that file. Throws AppError.
void keepDatedCopy(const QByteArray &bytes, const QString &recordFile, const QString &folder, const QDateTime &now);

// The dated copies of a record file in `folder`, oldest first.
QStringList copiesOf(const QString &recordFile, const QString &folder);
// True when `name`, a file name without its folder, is that of a dated copy
// of `recordFile`.
bool isCopyOf(const QString &name, const QString &recordFile);

// The backups a start makes of both record files, on a second thread while
// the window is built and the records are decoded. The files are read once:
// the same bytes make the backups and the first load. Failures are kept, in
// the order a start on one thread would meet them, for the window to report.
class StartRun
{
public:
    struct Record {
        QString file;   // the record file
        QString backup; // the one backup each start replaces
        qint64 largest; // the most bytes a sound file of its kind holds
    };
    // Starts at once; a record file that does not exist is neither read nor backed up.
    StartRun(const Record &appointments, const Record &toDos, const QString &datedFolder, const QDateTime &now);
    // Waits for the thread: nothing outlives the window that started it.
    ~StartRun();
    StartRun(const StartRun &) = delete;
    StartRun &operator=(const StartRun &) = delete;

    // The record file's content as read for its backup, once read; nothing
    // when it does not exist or could not be read.
    std::optional<QByteArray> appointments() { return appointments_.get(); }
    std::optional<QByteArray> toDos() { return toDos_.get(); }
    // Waits for the end and hands over the failures, oldest first; empty the second time.
    std::vector<std::exception_ptr> failures();

private:
    void run(Record appointments, Record toDos, QString datedFolder, QDateTime now);

    std::promise<std::optional<QByteArray>> appointmentsRead_;
    std::promise<std::optional<QByteArray>> toDosRead_;
    std::future<std::optional<QByteArray>> appointments_;
    std::future<std::optional<QByteArray>> toDos_;
    std::vector<std::exception_ptr> failures_;
    std::thread thread_;
};

} // namespace Backups
