#include "common/RtError.h"

namespace rt {

std::string StandardText(int number)
{
    switch (number) {
    case Overflow:
        return "Overflow";
    case SubscriptOutOfRange:
        return "Subscript out of range";
    case TypeMismatch:
        return "Type mismatch";
    case FileNotFound:
        return "File not found";
    case InputPastEndOfFile:
        return "Input past end of file";
    case PermissionDenied:
        return "Permission denied";
    case PathFileAccessError:
        return "Path/File access error";
    default:
        return "Run-time error " + std::to_string(number);
    }
}

static std::string Compose(const std::string& text, const std::string& subject)
{
    return subject.empty() ? text : text + ": " + subject;
}

RtError::RtError(int number, std::string subject)
    : std::runtime_error(Compose(StandardText(number), subject)), number_(number), subject_(std::move(subject))
{}

RtError::RtError(int number, std::string message, std::string subject)
    : std::runtime_error(Compose(message, subject)), number_(number), subject_(std::move(subject))
{}

}  // namespace rt
