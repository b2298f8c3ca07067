#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// One file in a fresh folder of its own, written and read back whole.
class ScratchFile
{
public:
    // `missing` is what content() gives while there is no such file.
    explicit ScratchFile(const QString &name, const QByteArray &missing = {})
        : name_(name)
        , missing_(missing)
    {
    }

    QString path() const { return dir_.filePath(name_); }
    // Another file in the same folder.
    QString sibling(const QString &name) const { return dir_.filePath(name); }

    void put(const QByteArray &bytes) const
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray content() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : missing_;
    }

private:
    QTemporaryDir dir_;
    QString name_;
    QByteArray missing_;
};
