#include "ToDoPane.h"

#include "AppError.h"
#include "Controls.h"
#include "DataFiles.h"
#include "PaneHost.h"
#include "Prefs.h"
#include "RecordStore.h"
#include "Rows.h"
#include "Services.h"
#include "ToDoPage.h"
#include "frmNewToDo.h"
#include "modMain.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace {

const QString kNoun = QStringLiteral("to-do item");

void ensureFits(qint64 count, const ToDoItem &item)
{
    const QString title = item.Title;
    const QString description = item.Description;
    RecordFile::ensureFits(count, {&title, &description}, kNoun);
}

QPushButton *button(QWidget *container, const char *name, const char *caption, int left)
{
    auto *b = place<QPushButton>(container, QString::fromLatin1(name), twips(left, 5460, 1230, 300),
                                 QString::fromLatin1(caption));
    b->setAutoDefault(false);
    return b;
}

} // namespace

ToDoPane::ToDoPane(PaneHost &host, const QRect &geometry, QWidget *parent)
    : QGroupBox(QStringLiteral("To Do"), parent)
    , host_(host)
{
    setObjectName(QStringLiteral("fraFrame(0)"));
    setGeometry(geometry);
    buildControls();
    buildMenu();
    connectCommands();
}

void ToDoPane::buildControls()
{
    picFrameCont = place<QWidget>(this, QStringLiteral("picFrameCont(0)"), twips(45, 225, 3930, 5835));
    lblToDoStatus = place<QLabel>(picFrameCont, QStringLiteral("lblToDoStatus"), twips(90, 15, 3750, 195),
                                  QStringLiteral("0 pending, 0 completed (0 total)"));
    lblToDoStatus->setAlignment(Qt::AlignCenter);
    lstToDos = place<RowList>(picFrameCont, QStringLiteral("lstToDos"), twips(90, 285, 3750, 3180));
    // A row may be painted while a change waits to be saved and the list is
    // not yet rebuilt: an index past the end shows nothing rather than failing.
    lstToDos->setVisibleText(
        [this](qint32 index) { return index >= 0 && index < ToDos.size() ? Rows::toDo(ToDos[index]) : QString(); });
    txtToDo = place<DetailsBox>(picFrameCont, QStringLiteral("txtToDo"), twips(90, 3510, 3750, 1875));
    cmdNewToDo = button(picFrameCont, "cmdNewToDo", "New", 90);
    cmdEditToDo = button(picFrameCont, "cmdEditToDo", "Edit", 1350);
    cmdDeleteToDo = button(picFrameCont, "cmdDeleteToDo", "Delete", 2610);

    // No caption names the list and the box; the buttons share their captions
    // with the other pane's, so a description tells them apart.
    lstToDos->setAccessibleName(QStringLiteral("To-do items"));
    txtToDo->setAccessibleName(QStringLiteral("To-do item details"));
    cmdNewToDo->setAccessibleDescription(QStringLiteral("Adds a to-do item"));
    cmdEditToDo->setAccessibleDescription(QStringLiteral("Edits the selected to-do item"));
    cmdDeleteToDo->setAccessibleDescription(QStringLiteral("Deletes the selected to-do item"));
}

void ToDoPane::buildMenu()
{
    mnuToDo = makeMenu(this, "mnuToDo", "&To Do",
                       {{"mnuToDoNew", "New", &mnuToDoNew},
                        {"mnuToDoLine1", "-"},
                        {"mnuToDoEdit", "Edit", &mnuToDoEdit},
                        {"mnuToDoDelete", "Delete", &mnuToDoDelete},
                        {"mnuToDoLine2", "-"},
                        {"mnuToDoCompleted", "Completed", &mnuToDoCompleted}});
    mnuToDoCompleted->setCheckable(true);
}

QList<QWidget *> ToDoPane::tabOrder() const
{
    return {txtToDo, cmdDeleteToDo, cmdEditToDo, lstToDos, cmdNewToDo};
}

void ToDoPane::connectCommands()
{
    // A right press on the list pops up the pane's menu of the bar, items and states alike.
    connect(lstToDos, &RowList::rightButtonPressed, this, [this](const QPoint &at) { mnuToDo->exec(at); });
    connect(lstToDos, &RowList::rowSelectionChanged, this, &ToDoPane::lstToDos_Click);
    connect(lstToDos, &RowList::rowDoubleClicked, this, &ToDoPane::mnuToDoEdit_Click);
    connect(cmdNewToDo, &QPushButton::clicked, this, &ToDoPane::mnuToDoNew_Click);
    connect(cmdEditToDo, &QPushButton::clicked, this, &ToDoPane::mnuToDoEdit_Click);
    connect(cmdDeleteToDo, &QPushButton::clicked, this, &ToDoPane::mnuToDoDelete_Click);
    connect(mnuToDoNew, &QAction::triggered, this, &ToDoPane::mnuToDoNew_Click);
    connect(mnuToDoEdit, &QAction::triggered, this, &ToDoPane::mnuToDoEdit_Click);
    connect(mnuToDoDelete, &QAction::triggered, this, &ToDoPane::mnuToDoDelete_Click);
    connect(mnuToDoCompleted, &QAction::triggered, this, &ToDoPane::mnuToDoCompleted_Click);
}

void ToDoPane::UpdateCommands()
{
    const bool selected = lstToDos->hasSelection();
    for (QWidget *command : {cmdEditToDo, cmdDeleteToDo})
        command->setEnabled(selected);
    for (QAction *command : {mnuToDoEdit, mnuToDoDelete, mnuToDoCompleted})
        command->setEnabled(selected);
}

QString ToDoPane::dataFolder() const
{
    return Platform::dataFolder(host_.services().applicationFolder());
}

ToDoItem &ToDoPane::toDoAt(qint32 index)
{
    if (index < 0 || index >= ToDos.size())
        throw AppError(AppError::SubscriptOutOfRange);
    return ToDos[index];
}

ToDoPane::File &ToDoPane::file()
{
    if (!file_) {
        file_ = std::make_unique<File>(
            RecordStore::FileKind<ToDoItem, ToDoFile::Encoder>{
                dataFolder() + u'/' + DataFiles::ToDos, QStringLiteral("Main.LoadToDos"),
                QStringLiteral("Main.SaveToDos"), ToDoFile::decode, ToDoFile::encode, ToDoFile::LargestFile, kNoun},
            ToDos);
    }
    return *file_;
}

void ToDoPane::LoadToDos(std::optional<QByteArray> preread)
{
    file().load(host_.services().now(), std::move(preread));
    fillToDoList();
}

void ToDoPane::fillToDoList()
{
    lstToDos->setRows(Rows::toDoOrder(ToDos));
    lblToDoStatus->setText(Rows::toDoStatus(ToDos));
}

bool ToDoPane::SaveToDos()
{
    const bool saved = file().save();
    // The page follows every change, even one that could not be saved yet.
    if (ExportToDo == 1)
        UpdateToDoHTML();
    return saved;
}

void ToDoPane::ReloadToDos()
{
    // A failed save leaves the user's change in the table for the next save
    // to write; either way the list shows what the table holds.
    SaveToDos();
    fillToDoList();
}

qint32 ToDoPane::commit(const RecordStore::Change<ToDoItem> &change)
{
    const qint32 index = file().commit(change);
    // The page follows every change, even one that could not be saved yet.
    if (ExportToDo == 1)
        UpdateToDoHTML();
    fillToDoList();
    return index;
}

void ToDoPane::replaceToDos(QList<ToDoItem> table)
{
    commit(RecordStore::replacedBy(std::move(table)));
}

void ToDoPane::takeOutsideChange()
{
    const qint32 selected = lstToDos->selectedKey();
    const std::optional<ToDoItem> shown = selected >= 0 && selected < ToDoCount() ? std::optional(ToDos[selected])
                                                                                  : std::nullopt;
    if (!file().takeOutsideChange(host_.services().now()))
        return;
    if (ExportToDo == 1)
        UpdateToDoHTML();
    fillToDoList();
    txtToDo->setText(QString());
    // The same item stays selected; one that is gone leaves the list as a delete does.
    const qint32 index = shown ? RecordStore::find(ToDos, *shown, selected) : -1;
    if (index >= 0)
        lstToDos->selectRow(toDoRow(index));
    host_.UpdateCommands();
}

void ToDoPane::UpdateToDoHTML()
{
    // The templates are read afresh at every export, as the user may have
    // edited them; unlike the record files, the export stops at its first failure.
    modMain::ErrorTrap(QStringLiteral("UpdateToDoHTML"))(
        [&] { ToDoPage::write(dataFolder(), ToDos, ExportToDoItems); });
}

QString ToDoPane::toDoRow(qint32 index) const
{
    return Rows::withKey(Rows::toDo(ToDos.at(index)), index);
}

void ToDoPane::lstToDos_Click()
{
    const qint32 index = lstToDos->selectedKey();
    if (index >= 0 && index < ToDoCount()) {
        mnuToDoCompleted->setChecked(ToDos[index].Done);
        txtToDo->setText(Rows::toDoDetails(ToDos[index]));
    }
    host_.UpdateCommands();
}

namespace {

// What the dialog may call on the pane.
frmNewToDo::Operations operationsOf(ToDoPane &pane, PaneHost &host)
{
    return {host.lostFocus(), [&pane](bool d, const QString &t, const QString &s) { pane.NewToDo(d, t, s); },
            [&pane](bool d, const QString &t, const QString &s) { pane.EditToDo(d, t, s); }};
}

} // namespace

void ToDoPane::mnuToDoNew_Click()
{
    EditIndex = -1;
    frmNewToDo dialog(operationsOf(*this, host_), window());
    dialog.setWindowTitle(QStringLiteral("New to do"));
    dialog.exec();
}

void ToDoPane::mnuToDoEdit_Click()
{
    const qint32 selected = lstToDos->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap step(QStringLiteral("Main.mnuToDoEdit"));
    EditIndex = selected;
    frmNewToDo dialog(operationsOf(*this, host_), window());
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

void ToDoPane::mnuToDoCompleted_Click()
{
    const qint32 selected = lstToDos->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap(QStringLiteral("Main.mnuToDoCompleted"))([&] {
        EditIndex = selected;
        const ToDoItem item = toDoAt(EditIndex);
        // The menu has already flipped its own check mark by now; the item takes the new state.
        EditToDo(mnuToDoCompleted->isChecked(), item.Title, item.Description);
    });
}

void ToDoPane::mnuToDoDelete_Click()
{
    const qint32 selected = lstToDos->selectedKey();
    if (selected < 0)
        return;
    modMain::ErrorTrap step(QStringLiteral("Main.mnuToDoDelete"));
    ToDoItem original;
    if (!step([&] { original = toDoAt(selected); }))
        return;
    step([&] { commit(RecordStore::deleted(original, selected)); });
    step([&] { txtToDo->setText(QString()); });
    host_.UpdateCommands();
}

void ToDoPane::NewToDo(bool Done, const QString &Title, const QString &Description)
{
    modMain::ErrorTrap step(QStringLiteral("Main.NewToDo"));
    qint32 index = -1;
    step([&] {
        index = commit(RecordStore::added(ToDoItem{Done, Title, RecordFile::escape(Description)}, ensureFits));
    });
    if (index >= 0)
        step([&] { lstToDos->selectRow(toDoRow(index)); });
}

void ToDoPane::EditToDo(bool Done, const QString &Title, const QString &Description)
{
    const qint32 index = commit(RecordStore::edited(
        toDoAt(EditIndex), EditIndex, ToDoItem{Done, Title, RecordFile::escape(Description)}, ensureFits, kNoun));
    lstToDos->selectRow(toDoRow(index));
}
