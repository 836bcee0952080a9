#include "doctor/scan.h"

#include <algorithm>
#include <cstdio>

#include "core/cat_error.h"
#include "core/failure_policy.h"
#include "core/lookup.h"
#include "core/session_state.h"
#include "doctor/diagnosis.h"
#include "doctor/monitor_text.h"
#include "protocols/civ/civ_codes.h"
#include "protocols/ft817/ft817_codes.h"
#include "protocols/kenwood/kenwood_codes.h"

namespace cat::doctor {

namespace {

struct Setting {
    std::int16_t protocolCode;
    int speed;
};

// Where radios usually are, tried right after the operator's own choice: each family's factory
// speed first, then its other common ones.
constexpr Setting kUsual[] = {
    {kICOM, 19200},   {kKenwood, 9600},  {kFT817, 4800},    {kICOM, 9600},     {kKenwood, 115200},
    {kFT817, 9600},   {kFT817, 38400},   {kICOM, 115200},   {kKenwood, 57600}, {kICOM, 4800},
    {kKenwood, 4800}, {kKenwood, 38400}, {kKenwood, 19200}, {kICOM, 38400},    {kICOM, 57600},
};
constexpr std::int16_t kFamilies[] = {kICOM, kKenwood, kFT817};

// Line time of n bytes at 8 data bits, 2 stop bits and a start bit.
double LineSeconds(std::size_t bytes, int speed) { return static_cast<double>(bytes) * 11 / speed; }

// What we send, the longest reply, and a margin for the radio to think.
double ListenSeconds(std::size_t sent, int speed) { return LineSeconds(sent + 16, speed) + 0.12; }

std::string Bytes(std::initializer_list<std::uint8_t> values) {
    std::string out;
    for (std::uint8_t v : values) out.push_back(static_cast<char>(v));
    return out;
}

std::string CivFrame(std::uint8_t to, std::initializer_list<std::uint8_t> body) {
    std::string frame = Bytes({civ::kPreamble, civ::kPreamble, to, civ::kController});
    frame += Bytes(body);
    frame.push_back(static_cast<char>(civ::kEndOfMessage));
    return frame;
}

std::vector<Probe> ProbesFor(const Setting& s) {
    std::vector<Probe> probes;
    auto add = [&](std::string bytes) {
        const double listen = ListenSeconds(bytes.size(), s.speed);
        probes.push_back({s.protocolCode, s.speed, std::move(bytes), listen});
    };
    if (IsICOM(s.protocolCode)) {
        // Every radio on the bus answers "which address?" asked of all; for one that does not,
        // the common factory addresses are asked for the frequency, each in its own frame.
        add(CivFrame(civ::kBroadcast, {civ::kReadAddress, 0x00}));
        std::string each;
        for (const auto& [address, model] : civ::kKnownAddresses) each += CivFrame(address, {0x03});
        add(each);
    } else if (IsKenwood(s.protocolCode)) {
        add(std::string(kenwood::kReadIdentity) + ";");
    } else {
        add(Bytes({0, 0, 0, 0, ft817::kReadFrequencyMode}));
    }
    return probes;
}

bool PackedDecimal(std::string_view data) {
    return std::all_of(data.begin(), data.end(), [](char c) {
        const auto b = static_cast<std::uint8_t>(c);
        return (b >> 4) <= 9 && (b & 15) <= 9;
    });
}

std::string Hex2(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

}  // namespace

std::string Describe(const Found& found) {
    std::string text = ProtocolName(found.protocolCode) + " radio";
    if (!found.address.empty()) text += " at address " + found.address;
    if (!found.model.empty()) text += " (" + found.model + ")";
    return text + ", " + std::to_string(found.speed) + " baud";
}

std::vector<Probe> ScanPlan(std::span<const int> speeds, std::int16_t chosenProtocol,
                            int chosenSpeed) {
    std::vector<Setting> order;
    auto take = [&](Setting s) {
        const bool listed = std::find(speeds.begin(), speeds.end(), s.speed) != speeds.end();
        const bool twice = std::any_of(order.begin(), order.end(), [&](const Setting& o) {
            return o.protocolCode == s.protocolCode && o.speed == s.speed;
        });
        if (listed && !twice && s.protocolCode > 0) order.push_back(s);
    };
    const std::int16_t chosen = IsICOM(chosenProtocol)      ? kICOM
                                : IsKenwood(chosenProtocol) ? kKenwood
                                : IsFT817(chosenProtocol)   ? kFT817
                                                            : 0;
    take({chosen, chosenSpeed});
    for (const Setting& s : kUsual) take(s);
    for (int speed : speeds)
        for (std::int16_t family : kFamilies) take({family, speed});

    std::vector<Probe> plan;
    for (const Setting& s : order)
        for (Probe& p : ProbesFor(s)) plan.push_back(std::move(p));
    return plan;
}

std::optional<Found> Judge(const Probe& probe, const std::string& received) {
    LineAnalyzer line(probe.protocolCode, "");
    line.Sent(0, probe.bytes);
    line.Received(0, received);
    line.Settle(LineAnalyzer::kSettleSeconds);
    for (const LineUnit& u : line.Units()) {
        if (IsICOM(probe.protocolCode) && u.kind == UnitKind::OtherAddress) {
            // fe fe e0 <radio> 19 00 <radio> fd, or fe fe e0 <radio> 03 <frequency> fd.
            const auto to = static_cast<std::uint8_t>(u.bytes[2]);
            const auto command = static_cast<std::uint8_t>(u.bytes[4]);
            const std::string_view data = std::string_view(u.bytes).substr(5, u.bytes.size() - 6);
            const bool id = command == civ::kReadAddress;
            const bool frequency =
                command == 0x03 && (data.size() == 4 || data.size() == 5) && PackedDecimal(data);
            if (to != civ::kController || (!id && !frequency)) continue;
            Found found{kICOM, probe.speed, Hex2(u.address), ""};
            if (const auto model =
                    Lookup(civ::kKnownAddresses, static_cast<std::uint8_t>(u.address)))
                found.model = std::string(*model);
            return found;
        }
        if (IsKenwood(probe.protocolCode) &&
            (u.kind == UnitKind::Refusal ||
             (u.kind == UnitKind::Reply && u.bytes.rfind(kenwood::kReadIdentity, 0) == 0))) {
            Found found{kKenwood, probe.speed, "", ""};
            if (u.bytes.size() >= 6)
                if (const auto model = Lookup(kenwood::kIdentities, u.bytes.substr(2, 3)))
                    found.model = std::string(*model);
            return found;
        }
        if (IsFT817(probe.protocolCode) && u.kind == UnitKind::Reply)
            return Found{kFT817, probe.speed, "", ""};
    }
    return std::nullopt;
}

void Scanner::Finish() {
    if (over_) return;
    over_ = true;
    SkipOnFailure([&] { port_.SetPortOpen(false); });
}

void Scanner::Cancel() { Finish(); }

void Scanner::Send(const Probe& probe, double now) {
    const bool flowControl = IsKenwood(probe.protocolCode) && probe.speed > 4800;
    port_.SetSettings(std::to_string(probe.speed) + ",n,8,2");
    port_.SetHandshaking(flowControl ? 2 : 0);
    if (!port_.PortOpen()) {
        port_.SetInputMode(1);
        port_.SetPortOpen(true);
    }
    port_.ClearInBuffer();
    port_.Output(probe.bytes);
    char head[64];
    std::snprintf(head, sizeof head, "%8.3f %s at %d baud > ", now,
                  ProtocolName(probe.protocolCode).c_str(), probe.speed);
    log_.push_back(head + ShowBytes(probe.bytes, probe.protocolCode));
}

std::optional<double> Scanner::Step(double now) {
    if (over_) return std::nullopt;
    if (next_ >= plan_.size()) {
        Finish();
        return std::nullopt;
    }
    const Probe& probe = plan_[next_];
    try {
        if (!listening_) {
            Send(probe, now);
            listening_ = true;
            return probe.listenSeconds;
        }
        std::string received;
        if (port_.InBufferCount() > 0) received = port_.Input();
        listening_ = false;
        char head[64];
        std::snprintf(head, sizeof head, "%8.3f %s at %d baud < ", now,
                      ProtocolName(probe.protocolCode).c_str(), probe.speed);
        log_.push_back(head + (received.empty() ? std::string("nothing")
                                                : ShowBytes(received, probe.protocolCode)));

        const std::optional<Found> found = Judge(probe, received);
        // An FT-817 reply has no frame and no checksum: the same question asked again must get
        // the same answer before line noise is taken for a radio.
        if (found && IsFT817(probe.protocolCode) && !confirming_) {
            confirming_ = true;
            candidate_ = received;
            return 0.0;
        }
        const bool agrees = !confirming_ || received == candidate_;
        confirming_ = false;
        if (found && agrees) {
            found_ = found;
            Finish();
            return std::nullopt;
        }
        ++next_;
        return 0.0;
    } catch (const CatError& e) {
        failure_ = e.Description();
        Finish();
        return std::nullopt;
    }
}

}  // namespace cat::doctor
