#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

class QTextStream;

// The command-line companion: the same data folder, read and written with
// the same store code as the window.
namespace Cli {

// Exit statuses, the same for every command.
enum Exit : int {
    Ok = 0,
    No = 1,         // nothing found, problems found, or a change not confirmed
    BadInput = 2,   // a wrong command line, date, calendar file or data folder
    InUse = 3,      // another writer held the data folder's write lock for longer than the wait
    FileFailed = 4, // a file could not be read or written
};

// A command that cannot go on; the message is one line for standard error.
struct Failure {
    int exit;
    QString message;
};

struct Context {
    QString applicationFolder; // where the default data folder lies
    QDateTime now;             // local time
    QTextStream *out;
    QTextStream *err;
    // Whether `out` reaches a terminal, where a record's control characters
    // are shown as visible escapes rather than obeyed.
    bool outIsTerminal = false;
};

// Runs one command line (without the program's name) and returns the exit status.
int run(const QStringList &arguments, const Context &context);

QString usage();

// The text with each control character (C0, DEL and C1) written as `cat -v`
// writes it: ESC as "^[", BEL as "^G", DEL as "^?", U+009B as "M-^[".
QString visible(const QString &text);

} // namespace Cli
