#include "doctor/found_verdict.h"

#include <string>
#include <vector>

#include "core/text.h"
#include "doctor/verdict_text.h"

namespace cat::doctor {

namespace {

// One setting of the link that the found radio does not share.
struct Difference {
    std::string what;  // "is at address 94, not 5E"
    std::string fix;   // "address 94"
};

std::string Joined(const std::vector<Difference>& items, std::string Difference::*part) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const char* glue = i == 0 ? "" : i + 1 == items.size() ? " and " : ", ";
        out += glue + items[i].*part;
    }
    return out;
}

std::vector<Difference> Differences(const Observation& o, const Found& found) {
    std::vector<Difference> differ;
    const std::string family = ProtocolName(found.protocol);
    if (found.protocol != o.protocol)
        differ.push_back(
            {"speaks " + family + ", not " + ProtocolName(o.protocol), "the protocol " + family});
    // A radio that answers every address answers the link's too: only its own, once it gave
    // one, is worth a change.
    const bool sameFamily = found.protocol == o.protocol;
    if (sameFamily && !found.address.empty() && !found.everyAddress &&
        UpperCase(found.address) != UpperCase(std::string(Trim(o.radioAddress))))
        differ.push_back({"is at address " + found.address + ", not " + o.radioAddress,
                          "address " + found.address});
    const std::string speed = std::to_string(found.speed);
    if (speed != o.speed)
        differ.push_back({"runs at " + speed + " baud, not " + o.speed, speed + " baud"});
    return differ;
}

}  // namespace

Verdict FoundElsewhere(const Verdict& verdict, const Observation& o, const Found& found) {
    // Another family's or radio's own replies on the link, or a five-byte radio found before
    // the link's commands, already name what differs, with more of the why.
    const bool named =
        verdict.kind == VerdictKind::OtherProtocol || verdict.kind == VerdictKind::OtherAddress;
    if (o.protocol == Protocol::None || named) return verdict;
    const std::vector<Difference> differ = Differences(o, found);
    if (differ.empty()) return verdict;
    const std::string text = "Find radio found it: " + Describe(found) + ". It " +
                             Joined(differ, &Difference::what) + ".";
    const std::string advice = "Use " + Joined(differ, &Difference::fix) +
                               "; the link as set reads nothing from this radio.";
    const std::string speed = std::to_string(found.speed);
    if (found.protocol != o.protocol)
        return Make(VerdictKind::OtherProtocol, true, "other-protocol",
                    "Radio speaks " + ProtocolName(found.protocol), text, advice);
    if (differ.front().fix.rfind("address ", 0) == 0) {
        Verdict v = Make(VerdictKind::OtherAddress, true, "other-address",
                         "Radio at " + found.address + ", not " + o.radioAddress, text, advice);
        v.useAddress = found.address;
        return v;
    }
    // The speed alone: what a garbled line only suggests, the scan has shown.
    return Make(VerdictKind::Garbled, true, "other-speed",
                "Radio at " + speed + " baud, not " + o.speed, text, advice);
}

}  // namespace cat::doctor
