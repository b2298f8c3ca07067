// Export to and import from iCalendar files.
#include "Commands.h"

#include "AppError.h"
#include "FileOps.h"
#include "ICalendar.h"
#include "RecordFile.h"

#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <fcntl.h>
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
        throw Failure{BadInput, QStringLiteral("%1 wants the name of an .ics file (see --help)").arg(QLatin1String(command))};
    return args.positional[0];
}

} // namespace

int exportCalendar(DataFolder &data, const Arguments &args, const Context &context)
{
    const QString path = calendarPath(args, "export");
    const QList<Appointment> appointments = data.appointments(DataFolder::Use::Read, *context.err);
    const QList<ToDoItem> toDos = data.toDos(DataFolder::Use::Read, *context.err);
    QByteArray calendar;
    int endingBeforeStart = 0;
    try {
        calendar = ICalendar::write(appointments, toDos, context.now.toUTC(), &endingBeforeStart);
    } catch (const ICalendar::Error &e) {
        throw Failure{FileFailed, withoutStop(e.message) + QStringLiteral("; nothing was written")};
    }
    DataFolder::write(path, calendar);
    QTextStream &out = *context.out;
    out << "Exported " << appointments.size() << " appointments and " << toDos.size() << " to-do items to " << path << '\n';
    if (endingBeforeStart)
        out << count(endingBeforeStart, "appointment ending before it starts was exported as zero-length",
                     "appointments ending before they start were exported as zero-length")
            << '\n';
    return Ok;
}

int importCalendar(DataFolder &data, const Arguments &args, const Context &context)
{
    const QString path = calendarPath(args, "import");
    if (!QFileInfo(path).isFile())
        throw Failure{BadInput, QStringLiteral("there is no file %1").arg(path)};
    ICalendar::Imported imported;
    const QByteArray text = DataFolder::read(path);
    try {
        const QuietStderr quiet;
        imported = ICalendar::read(text);
    } catch (const ICalendar::Error &e) {
        throw Failure{BadInput, QStringLiteral("%1: %2; nothing was imported").arg(path, withoutStop(e.message))};
    }

    data.lock();
    QList<Appointment> appointments = data.appointments(DataFolder::Use::Write, *context.err);
    QList<ToDoItem> toDos = data.toDos(DataFolder::Use::Write, *context.err);
    const QString appointmentsPath = data.file(QStringLiteral("appointments.cal"));
    const QString toDosPath = data.file(QStringLiteral("todos.cal"));

    // Both files are made in memory first, so that a table too large for its
    // file is refused before anything is written.
    QByteArray newAppointments, newToDos;
    try {
        RecordFile::ensureFits(qint64(appointments.size()) + imported.appointments.size(), {}, QStringLiteral("appointment"));
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

    if (!newAppointments.isEmpty()) {
        const bool existed = QFileInfo::exists(appointmentsPath);
        const QByteArray before = existed ? DataFolder::read(appointmentsPath) : QByteArray();
        DataFolder::write(appointmentsPath, newAppointments);
        if (!newToDos.isEmpty()) {
            try {
                DataFolder::write(toDosPath, newToDos);
            } catch (const Failure &failure) {
                // Half an import would leave the user to guess what came in:
                // the appointments go back to what they were.
                try {
                    if (existed)
                        DataFolder::write(appointmentsPath, before);
                    else
                        FileOps::removeIfExists(appointmentsPath);
                } catch (...) {
                    throw Failure{FileFailed, failure.message
                                                  + QStringLiteral("; the appointments were imported, the to-do items were not")};
                }
                throw Failure{FileFailed, failure.message + QStringLiteral("; nothing was imported")};
            }
        }
    } else if (!newToDos.isEmpty()) {
        DataFolder::write(toDosPath, newToDos);
    }

    QTextStream &out = *context.out;
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
    if (!newToDos.isEmpty())
        data.updateToDoPage(toDos);
    return Ok;
}

} // namespace Cli
