#include "tools/radiosim/flrig_server.h"

#include <array>
#include <cstdint>
#include <optional>

namespace radiosim {
namespace {

// The version flrig 1.4.7 (Debian 12) reports, and its answers' headers.
constexpr std::string_view kVersion = "1.4.7";
constexpr std::string_view kAnswerHeader =
    "HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: ";

// What flrig answers without a transceiver: its own starting frequency and mode.
constexpr std::string_view kOwnFrequency = "14070000";
constexpr std::string_view kOwnMode = "USB";

// A header longer than this is no call flrig would read.
constexpr std::size_t kHeaderLimit = 8192;
constexpr std::size_t kBodyLimit = 64 * 1024;

// flrig names modes as the transceiver's own table does; where a maker's name differs from
// radiosim's, it is here.
struct FlrigModeName {
    Protocol protocol;
    std::string_view mode;  // radiosim's
    std::string_view flrig;
};
constexpr std::array<FlrigModeName, 19> kFlrigModeNames{{
    {Protocol::kIcom, "FSK", "RTTY"},         {Protocol::kIcom, "FSK-R", "RTTY-R"},
    {Protocol::kIcom, "PKT", "USB-D"},        {Protocol::kIcom, "DATA-L", "LSB-D"},
    {Protocol::kIcom, "DATA-FM", "FM-D"},     {Protocol::kKenwood, "PKT", "USB-D"},
    {Protocol::kKenwood, "DATA-L", "LSB-D"},  {Protocol::kKenwood, "DATA-FM", "FM-D"},
    {Protocol::kYaesu, "CW", "CW-U"},         {Protocol::kYaesu, "CW-R", "CW-L"},
    {Protocol::kYaesu, "FSK", "RTTY-L"},      {Protocol::kYaesu, "FSK-R", "RTTY-U"},
    {Protocol::kYaesu, "PKT", "DATA-U"},      {Protocol::kYaesu, "DATA-L", "DATA-L"},
    {Protocol::kYaesu, "DATA-FM", "DATA-FM"}, {Protocol::kFt817, "CW-R", "CWR"},
    {Protocol::kFt817, "FSK", "DIG"},         {Protocol::kFt817, "FSK-R", "DIG"},
    {Protocol::kFt817, "PKT", "PKT"},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithLetters(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    }
    return true;
}

std::optional<std::size_t> ContentLength(std::string_view header) {
    for (std::size_t at = 0; at < header.size();) {
        std::size_t end = header.find("\r\n", at);
        if (end == std::string_view::npos) end = header.size();
        std::string_view line = header.substr(at, end - at);
        at = end + 2;
        if (!StartsWithLetters(line, "content-length:")) continue;
        line.remove_prefix(15);
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        if (line.empty() || line.size() > 9) return std::nullopt;
        std::size_t length = 0;
        for (const char c : line) {
            if (c < '0' || c > '9') return std::nullopt;
            length = length * 10 + static_cast<std::size_t>(c - '0');
        }
        return length;
    }
    return std::nullopt;
}

std::string_view Between(std::string_view text, std::string_view open, std::string_view close) {
    const std::size_t start = text.find(open);
    if (start == std::string_view::npos) return {};
    const std::size_t end = text.find(close, start + open.size());
    if (end == std::string_view::npos) return {};
    return text.substr(start + open.size(), end - start - open.size());
}

// The first parameter's text, with its type tag taken off.
std::string_view FirstParam(std::string_view body) {
    std::string_view value = Between(Between(body, "<params>", "</params>"), "<value>", "</value>");
    while (!value.empty() && (value.front() == ' ' || value.front() == '\r' ||
                              value.front() == '\n' || value.front() == '\t'))
        value.remove_prefix(1);
    if (value.starts_with('<')) {
        const std::size_t end = value.find('>');
        const std::size_t close = value.find("</");
        if (end == std::string_view::npos || close == std::string_view::npos || close < end)
            return {};
        return value.substr(end + 1, close - end - 1);
    }
    return value;
}

// "7074000", "7074000.0": whole hertz of the double flrig's rig.set_vfo takes.
std::optional<std::int64_t> Hertz(std::string_view text) {
    const std::string_view whole = text.substr(0, text.find('.'));
    if (whole.empty() || whole.size() > 12) return std::nullopt;
    std::int64_t hz = 0;
    for (const char c : whole) {
        if (c < '0' || c > '9') return std::nullopt;
        hz = hz * 10 + (c - '0');
    }
    return hz;
}

std::string Value(std::string_view text) { return "<value>" + std::string(text) + "</value>"; }
std::string Integer(bool one) {
    return std::string("<value><i4>") + (one ? "1" : "0") + "</i4></value>";
}

std::string Body(std::string_view value) {
    return "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>\r\n\t" + std::string(value) +
           "\r\n</param></params></methodResponse>\r\n";
}

std::string Fault(std::string_view method) {
    return "<?xml version=\"1.0\"?>\r\n<methodResponse><fault>\r\n\t<value><struct><member><name>"
           "faultCode</name><value><i4>-1</i4></value></member><member><name>faultString</name>"
           "<value>" +
           std::string(method) +
           ": unknown method "
           "name</value></member></struct></value>\r\n</fault></methodResponse>\r\n";
}

}  // namespace

std::string FlrigServer::ModeName(const Mode& mode) const {
    for (const FlrigModeName& row : kFlrigModeNames) {
        if (row.protocol == radio_.model().protocol && row.mode == mode.name)
            return std::string(row.flrig);
    }
    return std::string(mode.name);
}

void FlrigServer::Receive(std::string_view bytes) {
    pending_.append(bytes);
    const std::size_t header_end = pending_.find("\r\n\r\n");
    if (header_end == std::string::npos) {
        if (pending_.size() > kHeaderLimit) {
            listener_.Report("flrig: a call without the end of its header, dropped");
            pending_.clear();
        }
        return;
    }
    const std::string_view header = std::string_view(pending_).substr(0, header_end);
    const auto length = ContentLength(header);
    if (!header.starts_with("POST ") || !length || *length > kBodyLimit) {
        listener_.Report("flrig: not a call it reads, dropped");
        pending_.clear();
        return;
    }
    if (pending_.size() < header_end + 4 + *length) return;
    const std::string_view body = std::string_view(pending_).substr(header_end + 4, *length);
    const std::string answer =
        Call(Between(body, "<methodName>", "</methodName>"), FirstParam(body));
    // What came with this call is gone with it, as flrig reads one call from each read.
    pending_.clear();
    listener_.Answer(std::string(kAnswerHeader) + std::to_string(answer.size()) + "\r\n\r\n" +
                     answer);
}

std::string FlrigServer::Call(std::string_view method, std::string_view param) {
    listener_.Report("call " + std::string(method));
    const bool read =
        method == "main.get_version" || method.find(".get_") != std::string_view::npos;
    if (!read) {
        listener_.Report("write flrig " + std::string(method) +
                         (param.empty() ? "" : " " + std::string(param)));
    }
    const Tuning& tuning = radio_.tuning();
    if (method == "main.get_version") return Body(Value(kVersion));
    if (method == "rig.get_xcvr") {
        const std::string_view title = radio_.model().title;
        return Body(Value(!transceiver_ ? "" : title == "radio" ? "radiosim" : title));
    }
    if (method == "rig.get_vfo") {
        return Body(Value(transceiver_ ? std::to_string(tuning.hz) : std::string(kOwnFrequency)));
    }
    if (method == "rig.get_mode") {
        return Body(Value(transceiver_ && tuning.mode != nullptr ? ModeName(*tuning.mode)
                                                                 : std::string(kOwnMode)));
    }
    if (method == "rig.get_modes") {
        if (!transceiver_) return Body(Value(""));
        std::string names;
        for (const std::string_view name : radio_.model().modes) {
            if (const Mode* mode = FindMode(name)) names += Value(ModeName(*mode));
        }
        return Body("<value><array><data>" + names + "</data></array></value>");
    }
    if (method == "rig.get_ptt") return Body(Integer(transceiver_ && radio_.Transmitting()));
    if (method == "rig.set_vfo") {
        // Without a transceiver flrig answers 0 and keeps its own frequency.
        if (!transceiver_) return Body(Integer(false));
        if (const auto hz = Hertz(param)) radio_.Tune(*hz);
        return Body(Value(""));
    }
    if (method == "rig.set_mode") {
        if (!transceiver_) return Body(Integer(false));
        for (const std::string_view name : radio_.model().modes) {
            const Mode* mode = FindMode(name);
            if (mode != nullptr && ModeName(*mode) == param) {
                return Body(Integer(radio_.SelectMode(*mode, tuning.filter)));
            }
        }
        // A name the transceiver's table lacks: flrig answers without a value.
        return Body(Value(""));
    }
    if (method == "rig.set_ptt") {
        if (transceiver_) radio_.Key(KeySource::kCat, param != "0");
        return Body(Value(""));
    }
    return Fault(method);
}

}  // namespace radiosim
