#pragma once

#include <QString>
#include <QVariant>

// One settings file and one current section; every call goes to the file,
// nothing is cached.
class clsINIFile
{
public:
    // The value as text. Fail is set when the file produced no characters at
    // all, which happens for a key present with an empty value; the result is
    // then Default.
    QString GetValue(const QString &ValueName, const QString &Default, bool &Fail) const;
    void DeleteSection(const QString &SectionName) const;
    void DeleteKey(const QString &KeyName) const;
    // Stores vData, as the ordinary conversion turns it into text, under
    // ValueName in the current section.
    void Values(const QString &ValueName, const QVariant &vData) const;

    const QString &File() const { return file_; }
    // Setting the file forgets the section.
    void setFile(const QString &vData);
    const QString &Section() const { return section_; }
    void setSection(const QString &vData) { section_ = vData; }

    static constexpr int BufferSize = 3072;

private:
    QString file_;
    QString section_;
};
