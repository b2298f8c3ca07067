// The web page of the newest pending to-do items, from two templates the
// user may edit; they are read afresh at every export.
#include "frmMain.h"

#include "Ansi.h"
#include "FileOps.h"
#include "Prefs.h"
#include "ToDoPage.h"
#include "modMain.h"

void frmMain::UpdateToDoHTML()
{
    // Unlike the record files, the export stops at its first failure.
    modMain::ErrorTrap(QStringLiteral("UpdateToDoHTML"))([&] {
        const QString page = ToDoPage::readTemplate(dataPath(QStringLiteral("template_page.txt")));
        const QString item = ToDoPage::readTemplate(dataPath(QStringLiteral("template_item.txt")));
        FileOps::writeWhole(dataPath(QStringLiteral("ToDo.html")),
                            Ansi::encode(ToDoPage::build(page, item, ToDos, ExportToDoItems)));
    });
}
