#pragma once

#include "EntryDialog.h"

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The one dialog for a new and an edited to-do item. It owns no record: it
// checks the title and hands the three values to the operation it was given.
// Its caption tells the two cases apart.
class frmNewToDo : public EntryDialog
{
    Q_OBJECT

public:
    using Apply = std::function<void(bool Done, const QString &Title, const QString &Description)>;
    struct Operations {
        bool *lostFocus;
        Apply newToDo;
        Apply editToDo;
    };

    explicit frmNewToDo(Operations operations, QWidget *parent = nullptr);

    void cmdOK_Click() override;

    QLabel *lblCaption[2] = {};
    QLineEdit *txtTitle = nullptr;
    QPlainTextEdit *txtDescription = nullptr;
    QCheckBox *chkDone = nullptr;

private:
    Operations operations_;
};
