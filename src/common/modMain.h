#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <utility>

class QDateTime;

// The two procedures every part of the program shares.
namespace modMain {

// True when the path names a file or folder; a pattern with * or ? counts
// when anything matches it. Never fails.
bool FileExists(const QString &path);

// Reports the failure now being handled (call it from a catch block): one line
// appended to the error log, then one message box. Error numbers 0 and 20 are
// not reported. A log that cannot be written is skipped; the box still shows.
void ReportError(const QString &source);

// Failures met on another thread that belong before any failure reported
// from now on: `report` runs once, at the next report or at
// ReportEarlierFailures, whichever comes first.
void DeferEarlierFailures(std::function<void()> report);
void ReportEarlierFailures();

// The log line without its CR LF.
QString logLine(const QDateTime &when, int number, const QString &source, const QString &description);

// Runs a procedure's steps under the report-and-continue rule: a step that
// throws is reported with the procedure's label and the next step still runs.
class ErrorTrap
{
public:
    explicit ErrorTrap(QString source)
        : source_(std::move(source))
    {
    }

    // Returns whether the step finished.
    template<class Step>
    bool operator()(Step &&step) noexcept
    {
        try {
            std::forward<Step>(step)();
            return true;
        } catch (...) {
            ReportError(source_);
            return false;
        }
    }

private:
    QString source_;
};

} // namespace modMain
