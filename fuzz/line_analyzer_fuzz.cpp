// Arbitrary traffic through the doctor: sent and received bytes at arbitrary times, for each
// family, then the diagnosis and every monitor line. Nothing may crash, hang or grow without end,
// and every byte is in a unit once the line has settled, shown or counted by the monitor.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "doctor/diagnosis.h"
#include "doctor/line_analyzer.h"
#include "doctor/monitor_text.h"
#include "fuzz/every_family.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static const auto families = EveryFamily();
    const cat::RadioFamily& family = *families[data[0] % families.size()];
    cat::doctor::LineAnalyzer line(family.Id(), "5E");
    double now = 0;
    std::size_t fed = 0;
    cat::doctor::MonitorCursor cursor;
    // Each record: a control byte (sent or received, how long, how much later), then its bytes.
    for (std::size_t at = 1; at + 1 < size;) {
        const std::uint8_t control = data[at++];
        const std::size_t length = std::min<std::size_t>(control & 0x1F, size - at);
        const std::string_view bytes(reinterpret_cast<const char*>(data) + at, length);
        at += length;
        fed += length;
        now += (control >> 6) * 0.1;
        if (control & 0x20)
            line.Sent(now, bytes);
        else
            line.Received(now, bytes);
        line.Settle(now);
        cat::doctor::NextMonitorLines(line, cursor, family.Id(), 0, 3);
    }
    line.Settle(now + 1);
    cat::doctor::NextMonitorLines(line, cursor, family.Id(), 0, 3);
    if (line.Bytes() != fed || cursor.bytes != fed) std::abort();
    if (line.Units().size() > cat::doctor::LineAnalyzer::kKeptUnits) std::abort();
    for (const cat::doctor::LineUnit& unit : line.Units())
        cat::doctor::MonitorLine(unit, family.Id(), 0);
    cat::doctor::Observation o;
    o.protocol = family.Id();
    o.radioAddress = "5E";
    o.port = "Com 1";
    o.speed = "9600";
    o.open = o.everOpened = true;
    o.now = now + 1;
    o.line = &line.Summary();
    cat::doctor::Diagnose(o);
    return 0;
}
