#include "modMain.h"

#include "Ansi.h"
#include "AppError.h"
#include "AppInfo.h"
#include "DataFiles.h"
#include "DateText.h"
#include "FileOps.h"
#include "Services.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <new>
#include <utility>

namespace {

struct CurrentError {
    int number = 0;
    QString description;
};

CurrentError currentError()
{
    const std::exception_ptr pending = std::current_exception();
    if (!pending)
        return {};
    try {
        std::rethrow_exception(pending);
    } catch (const AppError &e) {
        return {e.number(), e.description()};
    } catch (const std::bad_alloc &) {
        return {AppError::OutOfMemory, AppError::standardDescription(AppError::OutOfMemory)};
    } catch (const std::exception &e) {
        return {AppError::InternalError, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        return {AppError::InternalError, AppError::standardDescription(AppError::InternalError)};
    }
}

QString executableBaseName()
{
    if (QCoreApplication::instance())
        return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return QString::fromUtf16(AppInfo::Title);
}

// Appends the line; a log that cannot be written is skipped so that the user
// still learns of the failure.
void appendToLog(const QString &line)
{
    const QString path = Platform::dataFolder() + u'/' + DataFiles::ErrorLog;
    if (FileOps::isReadOnly(path))
        return;
    FileOps::append(path, Ansi::encode(line) + QByteArrayLiteral("\r\n"));
}

std::function<void()> &earlierFailures()
{
    static std::function<void()> report;
    return report;
}

} // namespace

namespace modMain {

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    const QString pattern = info.fileName();
    const bool wildcard = pattern.contains(u'*') || pattern.contains(u'?');
    if (!wildcard)
        return info.exists();
    const QString folder = info.path();
    if (folder.contains(u'*') || folder.contains(u'?'))
        return false;
    return !QDir(folder)
                .entryList({pattern}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
}

QString logLine(const QDateTime &when, int number, const QString &source, const QString &description)
{
    return DateText::generalDate(when) + QStringLiteral(" Error ") + QString::number(number) + QStringLiteral(" in ")
           + source + QStringLiteral(" - ") + description;
}

void DeferEarlierFailures(std::function<void()> report)
{
    ReportEarlierFailures();
    earlierFailures() = std::move(report);
}

void ReportEarlierFailures()
{
    // Taken out first: reporting them reports errors too.
    if (const std::function<void()> report = std::exchange(earlierFailures(), {}))
        report();
}

void ReportError(const QString &source)
{
    const QString label = source.isEmpty() ? QStringLiteral("Unknown") : source;
    const CurrentError error = currentError();
    if (error.number == 0 || error.number == AppError::ResumeWithoutError)
        return;
    ReportEarlierFailures();

    Platform::Services &services = Platform::services();
    appendToLog(logLine(services.now(), error.number, label, error.description));

    Platform::Message box;
    box.title = executableBaseName() + QStringLiteral(" Error ") + QString::number(error.number)
                + QStringLiteral(" in ") + label;
    box.text = QStringLiteral("The following error has occured:\r\n[ ") + error.description
               + QStringLiteral(" ]\rPlease report errors to ") + QString::fromUtf16(AppInfo::SupportEmail)
               + QStringLiteral("\r\n");
    box.icon = Platform::MessageIcon::Critical;
    box.buttons = Platform::MessageButtons::Ok;
    services.showMessage(box);

    // A failing operation may have left the hourglass up.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    }
}

} // namespace modMain
