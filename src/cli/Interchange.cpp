// Export to and import from iCalendar files.
#include "Commands.h"

#include "AppError.h"
#include "DataFiles.h"
#include "FileOps.h"
#include "ICalendar.h"
#include "Journal.h"
#include "RecordFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Cli {

namespace {

// A calendar's own message, to go before "; nothing was ...".
QString withoutStop(QString message)
{
    if (message.endsWith(u'.'))
        message.chop(1);
    return message;
}

// libical writes its parser's complaints straight to standard error; the
// user gets one line from us instead, so they go nowhere while it parses.
class QuietStderr
{
public:
    QuietStderr()
    {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0)
            ::dup2(null, STDERR_FILENO);
        if (null >= 0)
            ::close(null);
    }
    ~QuietStderr()
    {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr &) = delete;
    QuietStderr &operator=(const QuietStderr &) = delete;

private:
    int saved_;
};

// A line of a summary: "1 thing was ..." or "3 things were ...".
QString count(int n, const char *one, const char *many)
{
    return QString::number(n) + u' ' + QLatin1String(n == 1 ? one : many);
}

QString calendarPath(const Arguments &args, const char *command)
{
    if (args.positional.isEmpty())
        throw Failure{BadInput,
                      QStringLiteral("%1 wants the name of an .ics file (see --help)").arg(QLatin1String(command))};
    return args.positional[0];
}

// ---- where an export goes ---------------------------------------------------

[[noreturn]] void cannotWrite(const QString &name, int error)
{
    const int number = error == ENOSPC || error == EDQUOT || error == EFBIG ? AppError::DiskFull
                                                                            : AppError::DeviceIOError;
    throw Failure{FileFailed, QStringLiteral("cannot write %1: %2").arg(name, AppError::standardDescription(number))};
}

// All of the bytes, waiting for a reader that takes them slowly.
void writeAll(int fd, QByteArrayView bytes, const QString &name)
{
    while (!bytes.isEmpty()) {
        const ssize_t n = ::write(fd, bytes.data(), size_t(bytes.size()));
        if (n >= 0) {
            bytes = bytes.sliced(n);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd ready{fd, POLLOUT, 0};
            ::poll(&ready, 1, -1);
        } else if (errno != EINTR) {
            cannotWrite(name, errno);
        }
    }
}

// A calendar on a terminal: export keeps no C0 control but tab, and no DEL,
// yet it keeps C1 controls, which some terminals obey; the line ends are the
// calendar's own.
QByteArray forTerminal(const QByteArray &calendar)
{
    QStringList lines = QString::fromUtf8(calendar).split(QStringLiteral("\r\n"));
    for (QString &line : lines)
        line = visible(line);
    return lines.join(QStringLiteral("\r\n")).toUtf8();
}

// The descriptor behind the command's standard output, or -1 when it has
// none (a test's string).
int outputDescriptor(const Context &context)
{
    const auto *file = qobject_cast<QFileDevice *>(context.out->device());
    return file ? file->handle() : -1;
}

void toStandardOutput(const QByteArray &calendar, const Context &context)
{
    const QByteArray bytes = context.outIsTerminal ? forTerminal(calendar) : calendar;
    QTextStream &out = *context.out;
    out.flush();
    // Straight to the descriptor, where a full disk can be told from other failures.
    if (const int fd = outputDescriptor(context); fd >= 0)
        writeAll(fd, bytes, QStringLiteral("standard output"));
    else
        out << QString::fromUtf8(bytes);
}

// A pipe or a character device (a terminal, /dev/null) is written to as it
// stands; anything else goes to DataFolder::write, which replaces a regular
// file atomically and refuses the rest.
void toFile(const QString &path, const QByteArray &calendar)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat named;
    if (::stat(name.constData(), &named) != 0 || !(S_ISFIFO(named.st_mode) || S_ISCHR(named.st_mode))) {
        DataFolder::write(path, calendar);
        return;
    }
    const int fd = ::open(name.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int number = errno == EACCES || errno == EPERM || errno == EROFS ? AppError::PermissionDenied
                                                                               : AppError::DeviceIOError;
        throw Failure{FileFailed,
                      QStringLiteral("cannot write %1: %2").arg(path, AppError::standardDescription(number))};
    }
    struct stat opened;
    // Something else may have taken the name since it was looked at.
    if (::fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        ::close(fd);
        throw Failure{FileFailed, QStringLiteral("cannot write %1: it changed while it was opened").arg(path)};
    }
    try {
        writeAll(fd, ::isatty(fd) ? forTerminal(calendar) : calendar, path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0 && errno != EINTR)
        cannotWrite(path, errno);
}

// True when the path is the very file standard output goes to, as
// /dev/stdout is: the summary must then not end up behind the calendar.
bool isStandardOutput(const QString &path, const Context &context)
{
    const int fd = outputDescriptor(context);
    struct stat out, named;
    return fd >= 0 && ::fstat(fd, &out) == 0 && ::stat(QFile::encodeName(path).constData(), &named) == 0
           && out.st_dev == named.st_dev && out.st_ino == named.st_ino;
}

// ---- what an import reads and changes ---------------------------------------

// Looked at before it is opened: reading a pipe or a device could keep the
// command waiting for ever. Any other failure is DataFolder::read's to report.
void ensureRegularFile(const QString &path)
{
    struct stat named;
    if (::stat(QFile::encodeName(path).constData(), &named) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw Failure{BadInput, QStringLiteral("there is no file %1").arg(path)};
    } else if (!S_ISREG(named.st_mode)) {
        const QString kind = S_ISDIR(named.st_mode)                             ? QStringLiteral("a folder")
                             : S_ISFIFO(named.st_mode)                          ? QStringLiteral("a pipe")
                             : S_ISCHR(named.st_mode) || S_ISBLK(named.st_mode) ? QStringLiteral("a device")
                                                                                : QStringLiteral("something else");
        throw Failure{BadInput, QStringLiteral("%1 is %2, not a regular file").arg(path, kind)};
    }
}

ICalendar::Imported readCalendar(const QString &path)
{
    const QByteArray text = DataFolder::read(path);
    try {
        const QuietStderr quiet;
        return ICalendar::read(text);
    } catch (const ICalendar::Error &e) {
        throw Failure{BadInput, QStringLiteral("%1: %2; nothing was imported").arg(path, withoutStop(e.message))};
    }
}

using NewFiles = QList<std::pair<QString, QByteArray>>;

// Adds the imported records to the tables and makes the record files that
// change, whole in memory, so that a table too large for its file is refused
// before anything is written.
NewFiles withImported(QList<Appointment> &appointments, QList<ToDoItem> &toDos, const ICalendar::Imported &imported,
                      const QString &path)
{
    QByteArray newAppointments, newToDos;
    try {
        RecordFile::ensureFits(qint64(appointments.size()) + imported.appointments.size(), {},
                               QStringLiteral("appointment"));
        RecordFile::ensureFits(qint64(toDos.size()) + imported.toDos.size(), {}, QStringLiteral("to-do item"));
        appointments += imported.appointments;
        toDos += imported.toDos;
        if (!imported.appointments.isEmpty())
            newAppointments = AppointmentFile::encode(appointments);
        if (!imported.toDos.isEmpty())
            newToDos = ToDoFile::encode(toDos);
    } catch (const AppError &e) {
        throw Failure{BadInput, QStringLiteral("%1: %2; nothing was imported").arg(path, withoutStop(e.description()))};
    }
    NewFiles files;
    if (!newAppointments.isEmpty())
        files.append({DataFiles::Appointments, newAppointments});
    if (!newToDos.isEmpty())
        files.append({DataFiles::ToDos, newToDos});
    return files;
}

// Both files change as one: an import killed between them is finished by
// the next writer to take the folder's write lock, never left half done.
void replaceRecordFiles(const DataFolder &data, const NewFiles &files)
{
    for (const auto &file : files) {
        // The same refusals as any other write: a folder, a pipe or a link in a record file's place.
        struct stat st;
        const QString target = data.file(file.first);
        if (::stat(QFile::encodeName(target).constData(), &st) == 0 && !S_ISREG(st.st_mode))
            throw Failure{FileFailed,
                          QStringLiteral("cannot write %1: it is not a file; nothing was imported").arg(target)};
    }
    if (files.isEmpty())
        return;
    try {
        Journal::replaceTogether(data.path(), files);
    } catch (const AppError &e) {
        const bool begun = QFileInfo::exists(data.file(DataFiles::Journal));
        throw Failure{FileFailed,
                      withoutStop(e.description())
                          + (begun ? QStringLiteral("; the import is finished when the folder is next opened")
                                   : QStringLiteral("; nothing was imported"))};
    }
}

void reportImport(QTextStream &out, const ICalendar::Imported &imported, const QString &path)
{
    out << "Imported " << imported.appointments.size() << " appointments and " << imported.toDos.size()
        << " to-do items from " << path << '\n';
    if (imported.recurring)
        out << count(imported.recurring, "recurring event came in as its first occurrence",
                     "recurring events came in as their first occurrence")
            << '\n';
    if (imported.exceptions)
        out << count(imported.exceptions, "changed occurrence of a recurring event was left out",
                     "changed occurrences of recurring events were left out")
            << '\n';
    if (imported.replaced)
        out << count(imported.replaced, "text held characters Brindlewatch cannot store; they read \"?\" now",
                     "texts held characters Brindlewatch cannot store; they read \"?\" now")
            << '\n';
    if (imported.endingBeforeStart)
        out << count(imported.endingBeforeStart, "event ending before it starts was imported as zero-length",
                     "events ending before they start were imported as zero-length")
            << '\n';
    if (imported.leftOut)
        out << count(imported.leftOut, "event or to-do not directly inside a VCALENDAR was left out",
                     "events and to-dos not directly inside a VCALENDAR were left out")
            << '\n';
}

} // namespace

int exportCalendar(DataFolder &data, const Arguments &args, const Context &context)
{
    const QString path = calendarPath(args, "export");
    if (path.isEmpty())
        throw Failure{
            BadInput,
            QStringLiteral("export wants the name of an .ics file, or - for standard output, not an empty name")};
    const bool toOut = path == QLatin1String("-");
    // Export takes no lock, and the window or an import may be writing in
    // the folder; besides, a record file holding a calendar is lost.
    if (!toOut && data.contains(path)) {
        throw Failure{BadInput, QStringLiteral("%1 is inside the data folder %2, which holds Brindlewatch's own files; "
                                               "export to a file elsewhere")
                                    .arg(path, data.path())};
    }
    const QList<Appointment> appointments = data.appointments(DataFolder::Use::Read, *context.err);
    const QList<ToDoItem> toDos = data.toDos(DataFolder::Use::Read, *context.err);
    QByteArray calendar;
    int endingBeforeStart = 0;
    try {
        calendar = ICalendar::write(appointments, toDos, context.now.toUTC(), &endingBeforeStart);
    } catch (const ICalendar::Error &e) {
        throw Failure{FileFailed, withoutStop(e.message) + QStringLiteral("; nothing was written")};
    }
    // The summary keeps out of a calendar that goes to standard output.
    QTextStream &out = toOut || isStandardOutput(path, context) ? *context.err : *context.out;
    if (toOut)
        toStandardOutput(calendar, context);
    else
        toFile(path, calendar);
    out << "Exported " << appointments.size() << " appointments and " << toDos.size() << " to-do items to "
        << (toOut ? QStringLiteral("standard output") : visible(path)) << '\n';
    if (endingBeforeStart)
        out << count(endingBeforeStart, "appointment ending before it starts was exported as zero-length",
                     "appointments ending before they start were exported as zero-length")
            << '\n';
    return Ok;
}

int importCalendar(DataFolder &data, const Arguments &args, const Context &context)
{
    const QString path = calendarPath(args, "import");
    ensureRegularFile(path);
    const ICalendar::Imported imported = readCalendar(path);

    // Held from before the tables are read until after they are written, so
    // that a save of the window in between is neither lost nor overwritten.
    data.lock();
    QList<Appointment> appointments = data.appointments(DataFolder::Use::Write, *context.err);
    QList<ToDoItem> toDos = data.toDos(DataFolder::Use::Write, *context.err);
    replaceRecordFiles(data, withImported(appointments, toDos, imported, path));
    reportImport(*context.out, imported, path);
    // The page lists pending items, so only new to-do items change it.
    if (!imported.toDos.isEmpty())
        data.updateToDoPage(toDos);
    return Ok;
}

} // namespace Cli
