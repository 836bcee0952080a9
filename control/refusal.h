#pragma once

#include <string>

namespace cat {

// Why the program did not do what the operator asked: a brief that fits the status line, and the
// whole sentence with the next thing to try for its tooltip and the details.
struct Refusal {
    std::string brief;
    std::string whole;
};

}  // namespace cat
