#include "clsINIFile.h"

#include "NumberText.h"
#include "PrivateProfile.h"

#include <optional>

namespace {
QString ordinaryText(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Float:
        return NumberText::fromSingle(v.toFloat());
    case QMetaType::Double:
        return NumberText::fromDouble(v.toDouble());
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return NumberText::fromInteger(v.toLongLong());
    default:
        return v.toString();
    }
}
} // namespace

QString clsINIFile::GetValue(const QString &ValueName, const QString &Default, bool &Fail) const
{
    QString buffer;
    const int count = PrivateProfile::getString(section_, ValueName, Default, BufferSize, file_, buffer);
    if (count >= 1) {
        Fail = false;
        return buffer.left(count);
    }
    Fail = true;
    return Default;
}

void clsINIFile::DeleteSection(const QString &SectionName) const
{
    PrivateProfile::writeString(SectionName, std::nullopt, std::nullopt, file_);
}

void clsINIFile::DeleteKey(const QString &KeyName) const
{
    PrivateProfile::writeString(section_, KeyName, std::nullopt, file_);
}

void clsINIFile::Values(const QString &ValueName, const QVariant &vData) const
{
    PrivateProfile::writeString(section_, ValueName, ordinaryText(vData), file_);
}

void clsINIFile::setFile(const QString &vData)
{
    file_ = vData;
    section_.clear();
}
