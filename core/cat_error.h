#pragma once

#include <stdexcept>
#include <string>

namespace cat {

// The one failure type of the program: a number and a description, as the
// operator sees them in "Error <number> : <description>".
class CatError : public std::runtime_error {
public:
    CatError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int Number() const { return number_; }
    std::string Description() const { return what(); }

private:
    int number_;
};

// Numbers for failures raised by the core's own arithmetic and checks.
namespace errors {
inline constexpr int kOverflow = 6;
inline constexpr int kIndexOutOfRange = 9;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kInvalidValue = 380;
}  // namespace errors

}  // namespace cat
