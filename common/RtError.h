#pragma once
// Run-time errors that reach the operation the user started.
//
// RtError carries a run-time error number (ErrNo) with its standard text and
// the file or value it concerns ("File not found: /data/in.dat"). FatalError is
// misuse of a data class ("clsDatFile.Rows out of bounds (0)"): the top of each
// program shows it in a message box and decides whether the program ends.
#include <stdexcept>
#include <string>

namespace rt {

enum ErrNo : int {
    Overflow = 6,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    FileNotFound = 53,
    InputPastEndOfFile = 62,
    PathFileAccessError = 75,
    PermissionDenied = 70,
};

// Standard text of a run-time error number ("File not found" for 53).
std::string StandardText(int number);

class RtError : public std::runtime_error {
public:
    // what() is "<standard text>" or "<standard text>: <subject>".
    RtError(int number, std::string subject = {});
    // Free wording for errors that have no number of their own in ErrNo.
    RtError(int number, std::string message, std::string subject);

    int Number() const noexcept { return number_; }
    const std::string& Subject() const noexcept { return subject_; }

private:
    int number_;
    std::string subject_;
};

class FatalError : public std::runtime_error {
public:
    explicit FatalError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace rt
