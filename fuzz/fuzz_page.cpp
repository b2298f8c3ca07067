// The templates and the page of pending to-do items: no crash, no hang, and
// no text of an item ever opens a tag in the page.
#include "Ansi.h"
#include "AppError.h"
#include "ToDoPage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // page template NUL item template NUL to-do file
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> parts = input.split('\0');
    if (parts.size() < 3)
        return 0;
    QString page, item;
    try {
        page = ToDoPage::templateText(Ansi::decode(parts[0]), QStringLiteral("page"));
        item = ToDoPage::templateText(Ansi::decode(parts[1]), QStringLiteral("item"));
    } catch (const AppError &) {
        return 0;
    }
    const QByteArray rest = input.mid(parts[0].size() + parts[1].size() + 2);
    const QList<ToDoItem> table = ToDoFile::decode(rest).records;
    const int limit = rest.isEmpty() ? 5 : static_cast<signed char>(rest[0]);
    const QString html = ToDoPage::build(page, item, table, limit);
    // Without the templates' own "<", nothing but the line breaks may open a tag.
    QString stripped = html;
    stripped.remove(QStringLiteral("<br />"));
    if (!page.contains(u'<') && !item.contains(u'<') && stripped.contains(u'<'))
        std::abort();
    return 0;
}
