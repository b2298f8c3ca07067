#include "Controls.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// Paints a row's visible text only, so its key can never come into view,
// whatever the font or the width of the list.
class RowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = RowList::visibleText(option->text);
        option->textElideMode = Qt::ElideNone;
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (const auto *view = qobject_cast<const QAbstractItemView *>(option.widget))
            size.setWidth(qMin(size.width(), view->viewport()->width()));
        return size;
    }
};

// The seven digits at the end of a row text, or -1 when they are not all digits.
qint32 keyOf(const QString &row)
{
    if (row.size() < RowList::KeyLength)
        return -1;
    qint32 key = 0;
    for (const QChar c : QStringView(row).right(RowList::KeyLength)) {
        if (c < u'0' || c > u'9')
            return -1;
        key = key * 10 + (c.unicode() - u'0');
    }
    return key;
}

} // namespace

RowList::RowList(QWidget *parent)
    : QListView(parent)
    , model_(new RowModel(this))
{
    setModel(model_);
    setItemDelegate(new RowDelegate(this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    // The view then measures one row for all: a row's text is made only when it shows.
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { emit rowDoubleClicked(index.row()); });
}

QString RowList::visibleText(const QString &row)
{
    const qsizetype tail = Padding + KeyLength;
    return row.size() >= tail ? row.left(row.size() - tail) : row;
}

QString RowList::rowText(const QString &visible, qint32 index)
{
    return Rows::withKey(visible, index);
}

void RowList::setVisibleText(RowModel::VisibleText visible)
{
    const QSignalBlocker quiet(this);
    model_->setVisibleText(std::move(visible));
}

void RowList::setRows(QList<qint32> keys)
{
    const QSignalBlocker quiet(this);
    model_->setKeys(std::move(keys));
}

int RowList::currentRow() const
{
    return currentIndex().row();
}

void RowList::setCurrentRow(int row)
{
    // Straight to the selection model, as a program's choice: the rules of
    // selectionCommand are for the user's gestures.
    selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

QList<int> RowList::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QRect RowList::visualRowRect(int row) const
{
    return visualRect(model_->index(row, 0));
}

qint32 RowList::selectedKey() const
{
    const QList<int> selected = selectedRows();
    return selected.isEmpty() ? -1 : model_->keyAt(selected.first());
}

void RowList::selectRow(const QString &row)
{
    // Every row text ends in its own key, so only the row of that key can
    // hold the text: one look-up and one comparison, not a search of every row.
    const qint32 key = keyOf(row);
    const int at = key < 0 ? -1 : model_->rowOf(key);
    if (at >= 0 && model_->textAt(at) == row)
        setCurrentRow(at);
    else
        clearSelection();
}

void RowList::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        emit rightButtonPressed(event->globalPosition().toPoint());
        return;
    }
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void RowList::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

QItemSelectionModel::SelectionFlags RowList::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags command = QListView::selectionCommand(index, event);
    if (!index.isValid() || (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void RowList::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QListView::selectionChanged(selected, deselected);
    emit rowSelectionChanged();
}

void RowList::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListView::mouseReleaseEvent(event);
}

BusyCursor::BusyCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

DetailsBox::DetailsBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void DetailsBox::setText(const QString &text)
{
    text_ = text.left(MaxLength);
    QString shown = text_;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(shown);
}

Shape::Shape(Style style, QPalette::ColorRole role, QWidget *parent)
    : QWidget(parent)
    , style_(style)
    , role_(role)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QColor colour = palette().color(role_);
    if (style_ == Filled)
        painter.fillRect(rect(), colour);
    else {
        painter.setPen(colour);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

QString captionName(const QLabel *caption)
{
    QString name = caption->text().trimmed();
    if (name.endsWith(u':'))
        name.chop(1);
    return name;
}

void nameAfter(QWidget *control, const QLabel *caption)
{
    control->setAccessibleName(captionName(caption));
}

QMenu *makeMenu(QWidget *owner, const char *name, const char *caption, std::initializer_list<MenuItem> items)
{
    auto *menu = new QMenu(QString::fromLatin1(caption), owner);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    for (const MenuItem &item : items) {
        QAction *action = qstrcmp(item.caption, "-") == 0 ? menu->addSeparator()
                                                          : menu->addAction(QString::fromLatin1(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        if (item.action)
            *item.action = action;
    }
    return menu;
}
