#pragma once

#include <QString>

#include <exception>

// A failure as the program reports it: a run-time error number and a
// description. Every trapped procedure throws these and nothing else of its own.
class AppError : public std::exception
{
public:
    enum Number : int {
        InvalidProcedureCall = 5,
        Overflow = 6,
        OutOfMemory = 7,
        SubscriptOutOfRange = 9,
        TypeMismatch = 13,
        ResumeWithoutError = 20,
        InternalError = 51,
        BadFileNameOrNumber = 52,
        FileNotFound = 53,
        FileAlreadyOpen = 55,
        DeviceIOError = 57,
        DiskFull = 61,
        InputPastEndOfFile = 62,
        PermissionDenied = 70,
        PathFileAccessError = 75,
        PathNotFound = 76,
        InvalidPicture = 481,
    };

    explicit AppError(int number);
    AppError(int number, QString description);

    int number() const noexcept { return number_; }
    const QString &description() const noexcept { return description_; }
    const char *what() const noexcept override;

    // The plain description that goes with a number; empty for one we never raise.
    static QString standardDescription(int number);

private:
    int number_;
    QString description_;
    QByteArray what_;
};
