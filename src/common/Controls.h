#pragma once

#include "RowModel.h"
#include "Rows.h"

#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QWidget>

class QLabel;

// Designs are laid out in twips; at 96 dots per inch a pixel is 15 of them.
inline QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

// Makes a control of the design: its name, container and rectangle.
template<class W, class... Args>
W *place(QWidget *container, const QString &name, const QRect &geometry, Args &&...args)
{
    auto *w = new W(std::forward<Args>(args)..., container);
    w->setObjectName(name);
    w->setGeometry(geometry);
    return w;
}

// The name a screen reader gives a control: the caption a sighted user reads
// beside it, without its colon, so that both hear and see the same word.
QString captionName(const QLabel *caption);
void nameAfter(QWidget *control, const QLabel *caption);

// One entry of a menu of the design: its name and caption ("-" makes a
// separator), and where to keep the action when the code uses it.
struct MenuItem {
    const char *name;
    const char *caption;
    QAction **action = nullptr;
};

// Makes a menu of the design; its own action takes the menu's name too.
QMenu *makeMenu(QWidget *owner, const char *name, const char *caption, std::initializer_list<MenuItem> items);

// A list whose rows end in 100 blanks and a 7-digit key. Only the text before
// the blanks is ever painted or spoken, there is no horizontal scrolling, and
// a right press never changes the selection: it only asks for the pane's menu.
// The rows are record indexes over the pane's table; their texts are made
// only for the rows painted, spoken or asked for.
class RowList : public QListView
{
    Q_OBJECT

public:
    explicit RowList(QWidget *parent = nullptr);

    static constexpr int KeyLength = Rows::KeyLength;
    static constexpr int Padding = Rows::Padding;
    // The part of a row text that is shown.
    static QString visibleText(const QString &row);
    // The row text for a visible text and a record index: 100 blanks and the index in 7 digits.
    static QString rowText(const QString &visible, qint32 index);

    // How the rows' visible texts are made from their record indexes.
    void setVisibleText(RowModel::VisibleText visible);
    // Shows the records at `keys`, top to bottom, with no row selected and no
    // signal sent: the pane decides what follows a refill.
    void setRows(QList<qint32> keys);
    const RowModel *rowModel() const { return model_; }

    int count() const { return model_->rowCount(); }
    // The whole text of the row at `row`, key included.
    QString textAt(int row) const { return model_->textAt(row); }
    qint32 keyAt(int row) const { return model_->keyAt(row); }
    // The row with the focus, or -1.
    int currentRow() const;
    // Selects the row at `row` alone and makes it the current row; none for -1.
    void setCurrentRow(int row);
    // The selected rows, top to bottom: none or one.
    QList<int> selectedRows() const;
    bool hasSelection() const { return !selectedRows().isEmpty(); }
    QRect visualRowRect(int row) const;

    // The record index of the selected row, or -1 when no row is selected.
    qint32 selectedKey() const;
    // Selects the row whose text is exactly `row`, as a click on it would; none when there is no such row.
    void selectRow(const QString &row);

signals:
    void rightButtonPressed(const QPoint &globalPos);
    // The selection changed by the user or by the program, but not by setRows.
    void rowSelectionChanged();
    void rowDoubleClicked(int row);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    // Once a row is selected, one stays selected: no click beside the rows and
    // no Ctrl+click or Ctrl+Space takes the selection away, which would leave
    // the details box showing a record the commands no longer act on.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;

private:
    RowModel *model_;
};

// The hourglass while a record file is open.
class BusyCursor
{
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// A read-only, scrollable, selectable details box that holds at most 5000 characters.
class DetailsBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit DetailsBox(QWidget *parent = nullptr);

    static constexpr int MaxLength = 5000;
    // Takes text with CR LF line breaks, as the program builds it.
    void setText(const QString &text);
    const QString &text() const { return text_; }

private:
    QString text_;
};

// A rectangle drawn in a system colour: either a one-pixel outline with a
// transparent inside, or filled without an outline.
class Shape : public QWidget
{
    Q_OBJECT

public:
    enum Style { Outline, Filled };
    Shape(Style style, QPalette::ColorRole role, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Style style_;
    QPalette::ColorRole role_;
};
