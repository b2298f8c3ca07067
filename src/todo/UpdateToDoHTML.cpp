// The web page of the newest pending to-do items, built from two templates
// the user may edit.
#include "frmMain.h"

#include "Ansi.h"
#include "AppError.h"
#include "Prefs.h"
#include "RecordFile.h"
#include "TextFile.h"
#include "modMain.h"

namespace {

// A template's lines joined by CR LF, comment lines ("#" first) left out.
QString readTemplate(const QString &path)
{
    QString text;
    for (const QString &line : TextFile::readLines(path, TextFile::LineEnds::CrOrCrLf)) {
        if (!line.startsWith(u'#'))
            text += line + QStringLiteral("\r\n");
    }
    if (text.isEmpty())
        throw AppError(AppError::InvalidProcedureCall,
                       QStringLiteral("The template %1 holds nothing but comments.").arg(path.section(u'/', -1)));
    text.chop(2);
    return text;
}

QString escapeHtml(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += QStringLiteral("&amp;");
            break;
        case u'<':
            out += QStringLiteral("&lt;");
            break;
        case u'>':
            out += QStringLiteral("&gt;");
            break;
        case u'"':
            out += QStringLiteral("&quot;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

struct Placeholder {
    QString name;
    QString value;
};

// Replaces the placeholders where the template has them; text that a
// replacement brings in is never searched again.
QString fill(const QString &pattern, const QList<Placeholder> &placeholders)
{
    QString out;
    qsizetype from = 0;
    while (true) {
        qsizetype nearest = -1;
        const Placeholder *found = nullptr;
        for (const Placeholder &p : placeholders) {
            const qsizetype at = pattern.indexOf(p.name, from);
            if (at >= 0 && (nearest < 0 || at < nearest)) {
                nearest = at;
                found = &p;
            }
        }
        if (!found)
            break;
        out += QStringView(pattern).mid(from, nearest - from);
        out += found->value;
        from = nearest + found->name.size();
    }
    out += QStringView(pattern).mid(from);
    return out;
}

} // namespace

void frmMain::UpdateToDoHTML()
{
    // Unlike the record files, the export stops at its first failure.
    modMain::ErrorTrap(QStringLiteral("UpdateToDoHTML"))([&] {
        const QString page = readTemplate(dataPath(QStringLiteral("template_page.txt")));
        const QString item = readTemplate(dataPath(QStringLiteral("template_item.txt")));
        QString list;
        int exported = 0;
        for (qint32 i = ToDoCount() - 1; i >= 0; --i) {
            const ToDoItem &todo = ToDos[i];
            if (todo.Done)
                continue;
            QString description = escapeHtml(todo.Description);
            description.replace(QStringLiteral("\\n"), QStringLiteral("<br />"));
            list += fill(item, {{QStringLiteral("[title]"), escapeHtml(todo.Title)},
                                {QStringLiteral("[description]"), description},
                                {QStringLiteral("[pending]"), QStringLiteral("False")}});
            if (++exported == ExportToDoItems)
                break;
        }
        if (exported == 0)
            list = QStringLiteral("There are no pending items.");
        const QString html = fill(page, {{QStringLiteral("[content]"), list}}) + QStringLiteral("\r\n");
        RecordFile::writeWhole(dataPath(QStringLiteral("ToDo.html")), Ansi::encode(html));
    });
}
