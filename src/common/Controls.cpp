#include "Controls.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

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
        if (option.widget)
            size.setWidth(qMin(size.width(), static_cast<const QListWidget *>(option.widget)->viewport()->width()));
        return size;
    }
};

} // namespace

RowList::RowList(QWidget *parent)
    : QListWidget(parent)
{
    setItemDelegate(new RowDelegate(this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
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

qint32 RowList::selectedKey() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    if (selected.isEmpty())
        return -1;
    return selected.first()->text().right(KeyLength).toInt();
}

void RowList::selectRow(const QString &row)
{
    const QList<QListWidgetItem *> found = findItems(row, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found.isEmpty())
        clearSelection();
    else
        setCurrentItem(found.first());
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
    QListWidget::mousePressEvent(event);
}

void RowList::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}

QItemSelectionModel::SelectionFlags RowList::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    if (!index.isValid() || (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void RowList::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QListWidget::rowsInserted(parent, start, end);
    speakVisibleTexts();
}

void RowList::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    QListWidget::dataChanged(topLeft, bottomRight, roles);
    if (roles.isEmpty() || roles.contains(Qt::DisplayRole))
        speakVisibleTexts();
}

void RowList::speakVisibleTexts()
{
    // Quietly: the view paints no accessible text, and a change signal would
    // sort a sorted list again in the middle of an insertion.
    const QSignalBlocker quiet(model());
    for (int i = 0; i < count(); ++i) {
        QListWidgetItem *row = item(i);
        const QString spoken = visibleText(row->text());
        if (row->data(Qt::AccessibleTextRole).toString() != spoken)
            row->setData(Qt::AccessibleTextRole, spoken);
    }
}

void RowList::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListWidget::mouseReleaseEvent(event);
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
