#pragma once

#include <QDialog>

#include <functional>

class BCGDateTime;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The one dialog for a new and an edited appointment. It owns no record: it
// reads the category list, checks what the user entered and hands the five
// values to the operation it was given. Its caption tells the two cases apart.
class frmNewAppointment : public QDialog
{
    Q_OBJECT

public:
    using Apply = std::function<void(double StartTime, double EndTime, const QString &Category,
                                     const QString &Title, const QString &Description)>;
    struct Operations {
        QString dataFolder;
        bool *lostFocus;
        Apply newAppointment;
        Apply editAppointment;
    };

    explicit frmNewAppointment(Operations operations, QWidget *parent = nullptr);
    ~frmNewAppointment() override;

    // Selects the entry that equals the category; with none, no entry is
    // selected, unless addIfMissing puts the category into the list first.
    void selectCategory(const QString &category, bool addIfMissing = false);
    void setTitleText(const QString &title);
    // Text with CR LF line breaks.
    void setDescriptionText(const QString &description);

    void cmdOK_Click();
    void cmdCancel_Click();

    BCGDateTime *CalStart = nullptr;
    BCGDateTime *CalEnd = nullptr;
    QComboBox *cmbCategory = nullptr;
    QLineEdit *txtTitle = nullptr;
    QPlainTextEdit *txtDescription = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QLabel *lblCaption[5] = {};

    static constexpr int TitleLength = 50;
    static constexpr int DescriptionLength = 5000;

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildLayout();
    void Form_Load();
    void Form_Unload();
    void limitDescription();
    QString descriptionText() const;
    void warn(const QString &text);

    Operations operations_;
    QString setDescription_; // as handed in, CR LF
    QString shownDescription_; // as the box showed it then
};
