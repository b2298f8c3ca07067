#include "AppError.h"

namespace {
struct Entry {
    int number;
    const char *text;
};

// The one table of numbers and texts; the log and the message box show them as they are.
constexpr Entry kTable[] = {
    {AppError::InvalidProcedureCall, "Invalid procedure call or argument"},
    {AppError::Overflow, "Overflow"},
    {AppError::OutOfMemory, "Out of memory"},
    {AppError::SubscriptOutOfRange, "Subscript out of range"},
    {AppError::TypeMismatch, "Type mismatch"},
    {AppError::ResumeWithoutError, "Resume without error"},
    {AppError::InternalError, "Internal error"},
    {AppError::BadFileNameOrNumber, "Bad file name or number"},
    {AppError::FileNotFound, "File not found"},
    {AppError::FileAlreadyOpen, "File already open"},
    {AppError::DeviceIOError, "Device I/O error"},
    {AppError::DiskFull, "Disk full"},
    {AppError::InputPastEndOfFile, "Input past end of file"},
    {AppError::PermissionDenied, "Permission denied"},
    {AppError::PathFileAccessError, "Path/File access error"},
    {AppError::PathNotFound, "Path not found"},
    {AppError::InvalidPicture, "Invalid picture"},
};
} // namespace

AppError::AppError(int number)
    : AppError(number, standardDescription(number))
{
}

AppError::AppError(int number, QString description)
    : number_(number)
    , description_(std::move(description))
    , what_(description_.toUtf8())
{
}

const char *AppError::what() const noexcept
{
    return what_.constData();
}

QString AppError::standardDescription(int number)
{
    for (const Entry &e : kTable) {
        if (e.number == number)
            return QString::fromLatin1(e.text);
    }
    return {};
}
