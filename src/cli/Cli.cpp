#include "Cli.h"

#include "AppError.h"
#include "Commands.h"
#include "DataFiles.h"
#include "Install.h"
#include "Services.h"

#include <QTextStream>

#include <algorithm>
#include <map>
#include <new>
#include <optional>

namespace Cli {

namespace {

struct Command {
    int (*run)(DataFolder &, const Arguments &, const Context &);
    QStringList valueOptions; // options followed by a value
    QStringList flags;
    int maxPositional;
};

const std::map<QString, Command> &commands()
{
    static const std::map<QString, Command> table{
        {QStringLiteral("agenda"), {agenda, {QStringLiteral("--days")}, {}, 1}},
        {QStringLiteral("todo"), {toDo, {}, {QStringLiteral("--all")}, 0}},
        {QStringLiteral("search"), {search, {}, {}, 1}},
        {QStringLiteral("upcoming"), {upcoming, {QStringLiteral("--within")}, {}, 0}},
        {QStringLiteral("export"), {exportCalendar, {}, {}, 1}},
        {QStringLiteral("import"), {importCalendar, {}, {}, 1}},
        {QStringLiteral("check"), {check, {}, {}, 0}},
        {QStringLiteral("backups"), {backups, {}, {}, 0}},
        {QStringLiteral("restore"), {restore, {}, {QStringLiteral("--yes")}, 1}},
        {QStringLiteral("sync"),
         {sync,
          {QStringLiteral("--setup"), QStringLiteral("--user")},
          {QStringLiteral("--insecure"), QStringLiteral("--force-delete")},
          0}},
    };
    return table;
}

Failure usageError(const QString &message)
{
    return Failure{BadInput, message + QStringLiteral(" (see --help)")};
}

} // namespace

QString Arguments::value(const QString &option) const
{
    for (const auto &[name, value] : options) {
        if (name == option)
            return value;
    }
    return {};
}

bool Arguments::has(const QString &option) const
{
    for (const auto &[name, value] : options) {
        if (name == option)
            return true;
    }
    return false;
}

int numberOption(const Arguments &args, const QString &option, int fallback, int lowest, int highest)
{
    if (!args.has(option))
        return fallback;
    bool ok = false;
    const int n = args.value(option).toInt(&ok);
    if (!ok || n < lowest || n > highest) {
        throw usageError(QStringLiteral("%1 wants a whole number from %2 to %3, not '%4'")
                             .arg(option)
                             .arg(lowest)
                             .arg(highest)
                             .arg(args.value(option)));
    }
    return n;
}

QString visible(const QString &text)
{
    auto isControl = [](char16_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); };
    if (std::none_of(text.begin(), text.end(), [&](QChar c) { return isControl(c.unicode()); }))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (!isControl(c)) {
            out += ch;
            continue;
        }
        if (c >= 0x80)
            out += QLatin1String("M-");
        out += u'^';
        out += c == 0x7F ? u'?' : QChar(char16_t((c & 0x1F) + 0x40));
    }
    return out;
}

QString shown(const QString &text, const Context &context)
{
    return context.outIsTerminal ? visible(text) : text;
}

QString usage()
{
    return QStringLiteral(R"(Usage: brindlewatch-cli [--data DIR] COMMAND [ARGUMENTS]

Works on the records of Brindlewatch: DIR is the data folder, by default the
folder "data" beside this program or, for an installed copy, the user's
$XDG_DATA_HOME/brindlewatch (~/.local/share/brindlewatch). Commands that
change records refuse while Brindlewatch itself is running on the same folder.

Commands:
  agenda [DATE] [--days N]   The appointments starting on DATE (default today)
                             and the N-1 days after it, as the day list shows
                             them; with N > 1 each line starts with its date.
                             DATE is YYYY-MM-DD, a short date as Brindlewatch
                             shows it, "today" or "tomorrow".
                               brindlewatch-cli agenda 2026-12-24 --days 3
  todo [--all]               Pending to-do items, newest first; with --all the
                             completed ones after them, marked "[ x ]".
                               brindlewatch-cli todo --all
  search TEXT                Appointments (by start time), then to-do items,
                             whose title, category or description holds TEXT,
                             in any letter case. Exit status 1 when none does.
                               brindlewatch-cli search dentist
  upcoming [--within MIN]    Appointments starting in this minute or the next
                             MIN-1 minutes (default 15). Exit status 0 when
                             there is at least one, 1 when there is none.
                               brindlewatch-cli upcoming --within 30
  export FILE.ics            Writes every appointment and to-do item to an
                             iCalendar file, replacing it whole; a pipe, a
                             device such as a terminal, or "-" (standard
                             output) is written to as it is. Never a file in
                             the data folder.
                               brindlewatch-cli export ~/organiser.ics
  import FILE.ics            Adds the events and to-dos of an iCalendar file,
                             times in local time; a recurring event comes in
                             as its first occurrence.
                               brindlewatch-cli import ~/Downloads/party.ics
  check                      Reads %1, %2 and %3
                             and reports every problem with its byte offset.
                             Exit status 0 only when all is sound.
                               brindlewatch-cli check
  backups                    Lists the backups of each start (the .bak files)
                             and the dated copies in backups/, with their
                             record counts and dates.
                               brindlewatch-cli backups
  restore [COPY] --yes       Puts a backup back in place: COPY as "backups"
                             lists it, by default both .bak files. The current
                             file is kept first under a new name. Without
                             --yes it only tells what it would do.
                               brindlewatch-cli restore backups/todos-20261207-081500-01.cal --yes
  sync --setup URL [--user NAME] [--insecure]
                             Finds the calendars of a CalDAV account at URL
                             and records in the [Sync] section of %3 the
                             one for appointments and the one for to-do
                             items; the others found are listed. The password
                             comes from $BRINDLEWATCH_PASSWORD, the file
                             named by $BRINDLEWATCH_PASSWORD_FILE (mode 600),
                             or else the desktop's Secret Service
                             (secret-tool store service brindlewatch user
                             NAME server https://HOST), and is never stored.
                             --insecure skips the certificate check, for a
                             server on this machine.
                               brindlewatch-cli sync --setup https://dav.example.org/ --user ann
  sync [--force-delete] [--insecure]
                             Brings the records and those calendars in step
                             both ways. An entry changed on both sides is
                             kept twice, the server's version with
                             (conflict) after its title. A run that would
                             delete every synced appointment or to-do item
                             on one side stops unless --force-delete is given.
                               brindlewatch-cli sync

Options:
  --data DIR                 The data folder to work on.
  -h, --help                 This text.
  --version                  The version.

Exit status: 0 done, 1 nothing found or problems found or not confirmed,
2 bad command line or input, 3 the folder is in use (Brindlewatch or another
brindlewatch-cli holds it), 4 a file could not be read or written, or a
server could not be reached or refused.

On a terminal, control characters in the records show as "cat -v" shows
them: ESC as ^[, BEL as ^G.
)")
        .arg(DataFiles::Appointments, DataFiles::ToDos, DataFiles::Prefs);
}

namespace {

// A command line taken apart, before anything is done.
struct CommandLine {
    enum class Asked { Command, Help, Version };
    Asked asked = Asked::Command;
    std::optional<QString> dataPath;
    QString name;
    const Command *command = nullptr;
    Arguments args;
};

// One word of the command line; "--days=7" is the option "--days" with the
// value "7" attached.
struct Word {
    QString text;
    std::optional<QString> attached;
};

Word wordOf(const QString &arg)
{
    if (arg.startsWith(QLatin1String("--")) && arg.contains(u'='))
        return {arg.section(u'=', 0, 0), arg.section(u'=', 1)};
    return {arg, std::nullopt};
}

// An option's value: the one attached to it, or the next word.
QString valueOf(const Word &word, const QStringList &arguments, qsizetype &i)
{
    if (word.attached)
        return *word.attached;
    if (i + 1 >= arguments.size())
        throw usageError(QStringLiteral("%1 wants a value").arg(word.text));
    return arguments[++i];
}

void addOption(CommandLine &line, const Word &word, const QStringList &arguments, qsizetype &i)
{
    if (!line.command)
        throw usageError(QStringLiteral("unknown option %1").arg(word.text));
    if (line.command->valueOptions.contains(word.text))
        line.args.options.append({word.text, valueOf(word, arguments, i)});
    else if (line.command->flags.contains(word.text) && !word.attached)
        line.args.options.append({word.text, QString()});
    else
        throw usageError(QStringLiteral("%1 takes no option %2").arg(line.name, word.text));
}

void setCommand(CommandLine &line, const QString &name)
{
    const auto found = commands().find(name);
    if (found == commands().end())
        throw usageError(QStringLiteral("unknown command '%1'").arg(name));
    line.name = name;
    line.command = &found->second;
}

// The words in order; the first problem met is the one reported, and help
// or the version, once met, ends the reading.
CommandLine parse(const QStringList &arguments)
{
    CommandLine line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const Word word = wordOf(arguments[i]);
        const QString &arg = word.text;
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            line.asked = CommandLine::Asked::Help;
            return line;
        }
        if (arg == QLatin1String("--version")) {
            line.asked = CommandLine::Asked::Version;
            return line;
        }
        if (arg == QLatin1String("--data") && !line.command) {
            // An empty value is most likely an unset shell variable; the
            // folder beside the program would then be changed unasked.
            line.dataPath = valueOf(word, arguments, i);
            if (line.dataPath->isEmpty())
                throw usageError(QStringLiteral("--data wants a folder, not an empty name"));
        } else if (arg == QLatin1String("--")) {
            // Everything after it is positional, so a search can look for "--days".
            line.args.positional += arguments.mid(i + 1);
            break;
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            addOption(line, word, arguments, i);
        } else if (!line.command) {
            setCommand(line, arg);
        } else {
            line.args.positional << arg;
        }
    }
    return line;
}

// An installed copy run first by a user makes the same folder the window
// would; a folder that cannot be made is left for the command to report.
void provideShippedFiles(const Context &context)
{
    try {
        Install::provideShippedFiles(context.applicationFolder);
    } catch (const AppError &e) {
        *context.err << "warning: " << visible(e.description()) << '\n';
    }
}

int perform(const CommandLine &line, const Context &context)
{
    QTextStream &out = *context.out;
    switch (line.asked) {
    case CommandLine::Asked::Help:
        out << usage();
        return Ok;
    case CommandLine::Asked::Version:
        out << "brindlewatch-cli " << QStringLiteral(BW_VERSION) << '\n';
        return Ok;
    case CommandLine::Asked::Command:
        break;
    }
    if (!line.command) {
        *context.err << usage();
        return BadInput;
    }
    if (line.args.positional.size() > line.command->maxPositional)
        throw usageError(QStringLiteral("too many arguments for %1").arg(line.name));
    if (!line.dataPath)
        provideShippedFiles(context);
    DataFolder data(line.dataPath.value_or(Platform::dataFolder(context.applicationFolder)));
    const int status = line.command->run(data, line.args, context);
    out.flush();
    return status;
}

// A message may quote a title or a file name; escaped, it stays one line and
// cannot play tricks on the terminal.
int fail(const Context &context, const QString &message, int exit)
{
    context.out->flush();
    *context.err << "brindlewatch-cli: " << visible(message) << '\n';
    return exit;
}

} // namespace

int run(const QStringList &arguments, const Context &context)
{
    try {
        return perform(parse(arguments), context);
    } catch (const Failure &failure) {
        return fail(context, failure.message, failure.exit);
    } catch (const AppError &e) {
        return fail(context, e.description(), FileFailed);
    } catch (const std::bad_alloc &) {
        // A file too large for the memory there is: every command holds a
        // whole file at some point, and none has anything better to do.
        return fail(context, QStringLiteral("out of memory"), FileFailed);
    }
}

} // namespace Cli
