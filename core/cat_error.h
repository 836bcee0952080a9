#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace cat {

// Failures raised by the core's own arithmetic and checks, as opposed to those of the port.
enum class ErrorKind { Overflow, IndexOutOfRange, TypeMismatch, InvalidValue };

// The number each kind shows as in "Error <number> : <description>"; operators quote these.
inline constexpr int ErrorNumber(ErrorKind kind) {
    constexpr std::array<std::pair<ErrorKind, int>, 4> kNumbers{{
        {ErrorKind::Overflow, 6},
        {ErrorKind::IndexOutOfRange, 9},
        {ErrorKind::TypeMismatch, 13},
        {ErrorKind::InvalidValue, 380},
    }};
    for (const auto& [k, number] : kNumbers)
        if (k == kind) return number;
    return 0;
}

// The one failure type of the program: a number and a description, as the
// operator sees them in "Error <number> : <description>".
class CatError : public std::runtime_error {
public:
    CatError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    CatError(ErrorKind kind, const std::string& description)
        : std::runtime_error(description), number_(ErrorNumber(kind)), kind_(kind) {}
    int Number() const { return number_; }
    std::string Description() const { return what(); }
    // Set for the core's own failures; a port's failure has only its number.
    std::optional<ErrorKind> Kind() const { return kind_; }

private:
    int number_;
    std::optional<ErrorKind> kind_;
};

}  // namespace cat
