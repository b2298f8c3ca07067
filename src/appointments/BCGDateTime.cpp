#include "BCGDateTime.h"

#include "AppError.h"
#include "DateText.h"

#include <QLocale>

BCGDateTime::BCGDateTime(QWidget *parent)
    : QDateTimeEdit(parent)
{
    setCalendarPopup(true);
    setDisplayFormat(DateText::shortDateFormat() + QStringLiteral(" HH:mm"));
    setTimeSpec(Qt::LocalTime);
    // Date and time share a narrow box: a condensed face keeps both in view.
    QFont narrow = font();
    narrow.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    setFont(narrow);
}

void BCGDateTime::setDateTimeValue(const QDateTime &value)
{
    setDateTime(value);
}

void BCGDateTime::setDateTimeValue(const QString &text)
{
    const QDateTime value = DateText::parseShortDateTime(text);
    if (!value.isValid())
        throw AppError(AppError::TypeMismatch);
    setDateTime(value);
}
