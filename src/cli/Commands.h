#pragma once

#include "Cli.h"
#include "DataFolder.h"

#include <QStringList>

// The commands, each given its data folder and its own arguments, already
// split into options and the rest by the command line.
namespace Cli {

struct Arguments {
    QStringList positional;
    QString value(const QString &option) const;
    bool has(const QString &option) const;
    QList<std::pair<QString, QString>> options; // "--days" -> "7"; a flag has an empty value
};

int agenda(DataFolder &data, const Arguments &args, const Context &context);
int toDo(DataFolder &data, const Arguments &args, const Context &context);
int search(DataFolder &data, const Arguments &args, const Context &context);
int upcoming(DataFolder &data, const Arguments &args, const Context &context);
int exportCalendar(DataFolder &data, const Arguments &args, const Context &context);
int importCalendar(DataFolder &data, const Arguments &args, const Context &context);
int check(DataFolder &data, const Arguments &args, const Context &context);
int backups(DataFolder &data, const Arguments &args, const Context &context);
int restore(DataFolder &data, const Arguments &args, const Context &context);
int sync(DataFolder &data, const Arguments &args, const Context &context);
// sync without --setup: the records and the server's collections brought in step.
int syncRun(DataFolder &data, const Arguments &args, const Context &context);

// A record's text as a command prints it: visible escapes on a terminal,
// where a stray ESC could recolour or rewrite the screen; as stored
// otherwise, so that a pipe or a file gets the records' own text.
QString shown(const QString &text, const Context &context);

// A whole number from an option, within limits, or a BadInput failure.
int numberOption(const Arguments &args, const QString &option, int fallback, int lowest, int highest);

} // namespace Cli
