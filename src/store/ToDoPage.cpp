#include "ToDoPage.h"

#include "Ansi.h"
#include "AppError.h"
#include "DataFiles.h"
#include "FileOps.h"

namespace {

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

// Replaces the placeholders where the pattern has them; text that a
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

namespace ToDoPage {

QString templateText(const QString &fileText, const QString &fileName)
{
    QString text;
    QString line;
    const auto endLine = [&] {
        if (!line.startsWith(u'#'))
            text += line + QStringLiteral("\r\n");
        line.clear();
    };
    for (qsizetype i = 0; i < fileText.size(); ++i) {
        const QChar c = fileText[i];
        if (c == u'\r') {
            if (i + 1 < fileText.size() && fileText[i + 1] == u'\n')
                ++i;
            endLine();
        } else {
            line.append(c);
        }
    }
    if (!line.isEmpty())
        endLine();
    if (text.isEmpty())
        throw AppError(AppError::InvalidProcedureCall,
                       QStringLiteral("The template %1 holds nothing but comments.").arg(fileName));
    text.chop(2);
    return text;
}

QString readTemplate(const QString &path)
{
    return templateText(Ansi::decode(FileOps::readWhole(path)), path.section(u'/', -1));
}

QString build(const QString &page, const QString &item, const QList<ToDoItem> &table, int limit)
{
    QString list;
    int exported = 0;
    for (qsizetype i = table.size() - 1; i >= 0; --i) {
        const ToDoItem &todo = table[i];
        if (todo.Done)
            continue;
        QString description = escapeHtml(todo.Description);
        description.replace(QStringLiteral("\\n"), QStringLiteral("<br />"));
        list += fill(item, {{QStringLiteral("[title]"), escapeHtml(todo.Title)},
                            {QStringLiteral("[description]"), description},
                            {QStringLiteral("[pending]"), QStringLiteral("False")}});
        if (++exported == limit)
            break;
    }
    if (exported == 0)
        list = QStringLiteral("There are no pending items.");
    return fill(page, {{QStringLiteral("[content]"), list}}) + QStringLiteral("\r\n");
}

void write(const QString &dataFolder, const QList<ToDoItem> &table, int limit)
{
    const QString page = readTemplate(dataFolder + u'/' + DataFiles::PageTemplate);
    const QString item = readTemplate(dataFolder + u'/' + DataFiles::ItemTemplate);
    FileOps::writeWhole(dataFolder + u'/' + DataFiles::ExportPage, Ansi::encode(build(page, item, table, limit)));
}

} // namespace ToDoPage
