// The to-do pane of the main window: the table and its file, the list and
// the pane's commands.
#include "frmMain.h"

#include "AppError.h"
#include "Controls.h"
#include "Prefs.h"
#include "RecordStore.h"
#include "Rows.h"
#include "Services.h"
#include "frmNewToDo.h"
#include "modMain.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

const QString kFileName = QStringLiteral("todos.cal");
const QString kNoun = QStringLiteral("to-do item");

frmNewToDo::Operations operationsOf(frmMain &main)
{
    return {&main.LostFocus, [&main](bool d, const QString &t, const QString &s) { main.NewToDo(d, t, s); },
            [&main](bool d, const QString &t, const QString &s) { main.EditToDo(d, t, s); }};
}

} // namespace

void frmMain::connectToDos()
{
    connect(lstToDos, &QListWidget::itemSelectionChanged, this, &frmMain::lstToDos_Click);
    connect(lstToDos, &QListWidget::itemDoubleClicked, this, &frmMain::mnuToDoEdit_Click);
    connect(cmdNewToDo, &QPushButton::clicked, this, &frmMain::mnuToDoNew_Click);
    connect(cmdEditToDo, &QPushButton::clicked, this, &frmMain::mnuToDoEdit_Click);
    connect(cmdDeleteToDo, &QPushButton::clicked, this, &frmMain::mnuToDoDelete_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuToDoNew")), &QAction::triggered, this, &frmMain::mnuToDoNew_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuToDoEdit")), &QAction::triggered, this, &frmMain::mnuToDoEdit_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuToDoDelete")), &QAction::triggered, this,
            &frmMain::mnuToDoDelete_Click);
    connect(findChild<QAction *>(QStringLiteral("mnuToDoCompleted")), &QAction::triggered, this,
            &frmMain::mnuToDoCompleted_Click);
}

ToDoItem &frmMain::toDoAt(qint32 index)
{
    if (index < 0 || index >= ToDos.size())
        throw AppError(AppError::SubscriptOutOfRange);
    return ToDos[index];
}

void frmMain::LoadToDos()
{
    RecordStore::load(dataPath(kFileName), QStringLiteral("Main.LoadToDos"), services_.now(), ToDoFile::decode, ToDos,
                      ToDoFile::LargestFile, std::exchange(startToDos_, std::nullopt));
    fillToDoList();
}

void frmMain::fillToDoList()
{
    QStringList rows;
    int pending = 0;
    for (const qint32 i : Rows::toDoOrder(ToDos)) {
        rows << toDoRow(i);
        pending += ToDos[i].Done ? 0 : 1;
    }
    {
        const QSignalBlocker quiet(lstToDos);
        lstToDos->clear();
        lstToDos->addItems(rows);
    }
    lblToDoStatus->setText(QStringLiteral("%1 pending, %2 completed (%3 total)")
                               .arg(pending)
                               .arg(ToDoCount() - pending)
                               .arg(ToDoCount()));
}

bool frmMain::SaveToDos()
{
    const bool saved = RecordStore::save(dataPath(kFileName), QStringLiteral("Main.SaveToDos"), ToDoFile::encode, ToDos);
    // The page follows every change, even one that could not be saved yet.
    if (ExportToDo == 1)
        UpdateToDoHTML();
    return saved;
}

void frmMain::ReloadToDos()
{
    // After a failed save the file is the old one: reading it back would undo
    // the user's change, which stays in the table for the next save to write.
    if (SaveToDos())
        LoadToDos();
    else
        fillToDoList();
}

QString frmMain::toDoRow(qint32 index) const
{
    return Rows::withKey(Rows::toDo(ToDos.at(index)), index);
}

QString frmMain::toDoDetails(qint32 index) const
{
    const ToDoItem &item = ToDos.at(index);
    return item.Title.toString() + QStringLiteral("\r\n") + (item.Done ? QStringLiteral("Status: Completed") : QStringLiteral("Status: Pending"))
           + QStringLiteral("\r\n") + QString(75, u'-') + QStringLiteral("\r\n") + RecordFile::unescape(item.Description);
}

void frmMain::lstToDos_Click()
{
    const qint32 index = lstToDos->selectedKey();
    if (index >= 0 && index < ToDoCount()) {
        findChild<QAction *>(QStringLiteral("mnuToDoCompleted"))->setChecked(ToDos[index].Done);
        txtToDo->setText(toDoDetails(index));
    }
    UpdateCommands();
}

void frmMain::mnuToDoNew_Click()
{
    EditIndex = -1;
    frmNewToDo dialog(operationsOf(*this), this);
    dialog.setWindowTitle(QStringLiteral("New to do"));
    dialog.exec();
}

void frmMain::mnuToDoEdit_Click()
{
    const qint32 selected = lstToDos->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap step(QStringLiteral("Main.mnuToDoEdit"));
    EditIndex = selected;
    frmNewToDo dialog(operationsOf(*this), this);
    step([&] { dialog.setWindowTitle(QStringLiteral("Edit to do [") + toDoAt(EditIndex).Title + u']'); });
    step([&] {
        if (toDoAt(EditIndex).Done)
            dialog.chkDone->setChecked(true);
    });
    step([&] {
        dialog.setTitleText(toDoAt(EditIndex).Title);
        dialog.setDescriptionText(RecordFile::unescape(toDoAt(EditIndex).Description));
    });
    dialog.exec();
}

void frmMain::mnuToDoCompleted_Click()
{
    const qint32 selected = lstToDos->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap(QStringLiteral("Main.mnuToDoCompleted"))([&] {
        EditIndex = selected;
        const ToDoItem item = toDoAt(EditIndex);
        const bool checked = findChild<QAction *>(QStringLiteral("mnuToDoCompleted"))->isChecked();
        // The menu has already flipped its own check mark by now; the item takes the new state.
        EditToDo(checked, item.Title, item.Description);
    });
}

void frmMain::mnuToDoDelete_Click()
{
    const qint32 selected = lstToDos->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap step(QStringLiteral("Main.mnuToDoDelete"));
    step([&] {
        toDoAt(selected);
        ToDos.removeAt(selected);
    });
    step([&] { ReloadToDos(); });
    step([&] { txtToDo->setText(QString()); });
    UpdateCommands();
}

void frmMain::NewToDo(bool Done, const QString &Title, const QString &Description)
{
    modMain::ErrorTrap step(QStringLiteral("Main.NewToDo"));
    const QString escaped = RecordFile::escape(Description);
    const bool added = step([&] {
        RecordFile::ensureFits(ToDoCount() + 1, {&Title, &escaped}, kNoun);
        ToDos.append({Done, Title, escaped});
    });
    if (!added)
        return;
    step([&] { ReloadToDos(); });
    step([&] { lstToDos->selectRow(toDoRow(ToDoCount() - 1)); });
}

void frmMain::EditToDo(bool Done, const QString &Title, const QString &Description)
{
    const QString escaped = RecordFile::escape(Description);
    ToDoItem &item = toDoAt(EditIndex);
    RecordFile::ensureFits(ToDoCount(), {&Title, &escaped}, kNoun);
    item = {Done, Title, escaped};
    ReloadToDos();
    lstToDos->selectRow(toDoRow(EditIndex));
}
