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
    void SelectPort(int) override {}
    int PortNumber() const override { return 1; }
    void SetLineSettings(const LineSettings&) override {}
    void SetHandshake(Handshake) override {}
    void Open() override {}
    void Close() override {}
    bool IsOpen() const override { return true; }
    void Write(const std::string&) override {}
    int WaitForInput(int, std::chrono::milliseconds) override { return BytesWaiting(); }
};

}  // namespace cat::test
