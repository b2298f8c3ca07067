#pragma once

#include "EntryDialog.h"

#include <functional>

class BCGDateTime;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The one dialog for a new and an edited appointment. It owns no record: it
// reads the category list, checks what the user entered and hands the five
// values to the operation it was given. Its caption tells the two cases apart.
class frmNewAppointment : public EntryDialog
{
    Q_OBJECT

public:
    using Apply = std::function<void(double StartTime, double EndTime, const QString &Category, const QString &Title,
                                     const QString &Description)>;
    struct Operations {
        QString dataFolder;
        bool *lostFocus;
        Apply newAppointment;
        Apply editAppointment;
    };

    explicit frmNewAppointment(Operations operations, QWidget *parent = nullptr);

    // Selects the entry that equals the category; with none, no entry is
    // selected, unless addIfMissing puts the category into the list first.
    void selectCategory(const QString &category, bool addIfMissing = false);

    void cmdOK_Click() override;

    BCGDateTime *CalStart = nullptr;
    BCGDateTime *CalEnd = nullptr;
    QComboBox *cmbCategory = nullptr;
    QLineEdit *txtTitle = nullptr;
    QPlainTextEdit *txtDescription = nullptr;
    QLabel *lblCaption[5] = {};

private:
    void buildLayout();
    void Form_Load();

    Operations operations_;
};
