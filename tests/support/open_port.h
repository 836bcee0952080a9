#pragma once

// A port that is always open and takes every setting and write without a word, for benchmarks and
// fuzz targets that only care about what the receive side hands over.

#include <chrono>
#include <cstdint>
#include <string>

#include "core/comm_port.h"

namespace cat::test {

class AlwaysOpenPort : public CommPort {
public:
    void SetCommPort(std::int16_t) override {}
    std::int16_t GetCommPort() const override { return 1; }
    void SetSettings(const std::string&) override {}
    void SetHandshaking(int) override {}
    void SetInputMode(int) override {}
    void SetPortOpen(bool) override {}
    bool PortOpen() const override { return true; }
    void Output(const std::string&) override {}
    int WaitForInput(int, std::chrono::milliseconds) override { return InBufferCount(); }
};

}  // namespace cat::test
