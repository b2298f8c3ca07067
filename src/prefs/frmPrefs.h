#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;

// The preferences: what minimising does, and the web page of pending to-do
// items with how many it lists. OK stores all three values and brings the
// page in line at once; Cancel and the close box store nothing.
class frmPrefs : public QDialog
{
    Q_OBJECT

public:
    struct Operations {
        QString dataFolder;
        std::function<void()> updateToDoHTML;
    };

    explicit frmPrefs(Operations operations, QWidget *parent = nullptr);

    void cmdOK_Click();
    void cmdCancel_Click();

    QGroupBox *fraMinimize = nullptr;
    QGroupBox *fraExportToDo = nullptr;
    QWidget *picFrameCont[2] = {};
    QRadioButton *optMinimize[3] = {};
    QCheckBox *chkExportToDo = nullptr;
    QLabel *Label1 = nullptr;
    QScrollBar *hscExportToDo = nullptr;
    QLabel *lblExportToDo = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

private:
    void buildLayout();
    void Form_Load();
    void chkExportToDo_Click();
    void hscExportToDo_Change();

    Operations operations_;
};
