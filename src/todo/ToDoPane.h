#pragma once

#include "RecordStore.h"
#include "ToDoItem.h"

#include <QGroupBox>

#include <memory>
#include <optional>

class DetailsBox;
class PaneHost;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class RowList;

// The to-do pane: the table and its file, the list with its status line and
// details box, the pane's commands with their menu, and the page of pending
// items that follows every change.
class ToDoPane : public QGroupBox
{
    Q_OBJECT

public:
    // `geometry`: where the window puts the pane, in pixels.
    ToDoPane(PaneHost &host, const QRect &geometry, QWidget *parent);

    // The pane's menu, for the window's menu bar.
    QMenu *menu() const { return mnuToDo; }
    // The pane's controls in the order the Tab key visits them.
    QList<QWidget *> tabOrder() const;
    void UpdateCommands();

    // `preread`, when given, is the file's content read a moment ago.
    void LoadToDos(std::optional<QByteArray> preread = std::nullopt);
    bool SaveToDos();
    void ReloadToDos();
    // Puts a whole table in place of the old one and writes it.
    void replaceToDos(QList<ToDoItem> table);
    // After another writer changed the file: reads it again and shows it,
    // the same item still selected when it is still there.
    void takeOutsideChange();
    // True in the middle of a save of the table.
    bool saving() const { return file_ && file_->saving(); }
    // Writes the page of pending to-do items from the two templates.
    void UpdateToDoHTML();

    // What the to-do dialog hands over; the description arrives with CR LF line breaks.
    void NewToDo(bool Done, const QString &Title, const QString &Description);
    void EditToDo(bool Done, const QString &Title, const QString &Description);

    const QList<ToDoItem> &toDos() const { return ToDos; }
    qint32 ToDoCount() const { return static_cast<qint32>(ToDos.size()); }

    // The record a dialog changes: -1 for a new one.
    qint32 EditIndex = 0;

private:
    void buildControls();
    void buildMenu();
    void connectCommands();
    void fillToDoList();
    void lstToDos_Click();
    void mnuToDoNew_Click();
    void mnuToDoEdit_Click();
    void mnuToDoDelete_Click();
    void mnuToDoCompleted_Click();
    QString toDoRow(qint32 index) const;
    ToDoItem &toDoAt(qint32 index);
    QString dataFolder() const;
    using File = RecordStore::TableFile<ToDoItem, ToDoFile::Encoder>;
    File &file();
    // Applies a command's change, saves it, and shows the table.
    qint32 commit(const RecordStore::Change<ToDoItem> &change);

    PaneHost &host_;

    QWidget *picFrameCont = nullptr;
    QLabel *lblToDoStatus = nullptr;
    RowList *lstToDos = nullptr;
    DetailsBox *txtToDo = nullptr;
    QPushButton *cmdNewToDo = nullptr;
    QPushButton *cmdEditToDo = nullptr;
    QPushButton *cmdDeleteToDo = nullptr;

    QMenu *mnuToDo = nullptr;
    QAction *mnuToDoNew = nullptr;
    QAction *mnuToDoEdit = nullptr;
    QAction *mnuToDoDelete = nullptr;
    QAction *mnuToDoCompleted = nullptr;

    QList<ToDoItem> ToDos;
    std::unique_ptr<File> file_;
};
