#pragma once

#include "ToDoItem.h"

#include <QByteArray>
#include <QString>

// The web page of the newest pending to-do items, from two templates.
namespace ToDoPage {

// A template's text: its lines joined by CR LF (a line ends at CR LF or a
// lone CR), comment lines ("#" first) left out. Throws when nothing but
// comments is left.
QString templateText(const QString &fileText, const QString &fileName);
QString readTemplate(const QString &path);

// The page in the code page, as it is written: the item template filled for
// each pending item, newest first, at most `limit` of them (0 or below: all),
// in place of "[content]". Titles and descriptions are written as HTML text,
// escaped line breaks as "<br />". Placeholders are replaced only where the
// templates have them. The bytes are those of the whole page's text encoded at
// once, characters the code page lacks included.
QByteArray encoded(const QString &page, const QString &item, const QList<ToDoItem> &table, int limit);

// The same page read back as text.
QString build(const QString &page, const QString &item, const QList<ToDoItem> &table, int limit);

// Reads both templates from the data folder afresh and replaces the page
// there; throws AppError at the first failure.
void write(const QString &dataFolder, const QList<ToDoItem> &table, int limit);

} // namespace ToDoPage
