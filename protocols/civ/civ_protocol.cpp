#include <string>

#include "core/lookup.h"
#include "protocols/civ/civ.h"
#include "protocols/civ/civ_codes.h"

namespace cat {

namespace {

constexpr float kPollPeriod = 2.0f;

// CI-V carries the frequency least significant byte first: "00014074000" -> "0040071400".
std::string LeastSignificantFirst(const std::string& hertzDigits) {
    std::string D;
    for (std::size_t i = 0; i < 5; ++i) D += hertzDigits.substr(hertzDigits.size() - 2 - 2 * i, 2);
    return D;
}

class Civ final : public RadioProtocol {
public:
    std::optional<float> PollPeriod() const override { return kPollPeriod; }

    void Poll(SessionState& state, Platform& platform) const override {
        ComICOM(state, platform, civ::kReadFrequency, "", "");
        ComICOM(state, platform, civ::kReadMode, "", "");
    }

    // A radio at another address than the one chosen answers this, and never the polls.
    void ReadAtOpen(SessionState& state, Platform& platform) const override {
        AskEveryRadioItsAddress(state, platform);
    }

    void Receive(SessionState& state, CommPort& port) const override {
        ReadICOMBuffer(state, port);
    }

    void SetFrequency(SessionState& state, Platform& platform,
                      const FrequencyCommand& frequency) const override {
        ComICOM(state, platform, civ::kSetFrequency, "",
                LeastSignificantFirst(frequency.hertzDigits));
    }

    void SetMode(SessionState& state, Platform& platform, ModeIndex mode,
                 bool reversed) const override {
        if (mode == ModeIndex::PKT) return;
        std::optional<int> k;
        if (reversed) k = Lookup(civ::kSentReverseModes, mode);
        if (!k) k = Lookup(civ::kSentModes, mode);
        ComICOM(state, platform, civ::kSetMode, "", "0" + std::to_string(k.value_or(ToInt(mode))));
    }
};

}  // namespace

const RadioProtocol& CivProtocol() {
    static const Civ protocol;
    return protocol;
}

}  // namespace cat
