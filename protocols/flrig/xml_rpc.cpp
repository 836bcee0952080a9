#include "protocols/flrig/xml_rpc.h"

#include <algorithm>
#include <array>
#include <utility>

namespace cat::flrig {

namespace {

constexpr std::string_view kAnswerStart = "HTTP/1.";
// flrig's headers are four short lines; a run this long without their end is not an answer.
constexpr std::size_t kHeaderLimit = 2048;
// The longest answer taken: a mode or bandwidth table of the largest radios is a few kilobytes.
constexpr std::size_t kBodyLimit = 64 * 1024;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view SkipSpace(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    return text;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::optional<std::size_t> DecimalValue(std::string_view digits) {
    digits = SkipSpace(digits);
    while (!digits.empty() && IsSpace(digits.back())) digits.remove_suffix(1);
    if (digits.empty() || digits.size() > 9) return std::nullopt;
    std::size_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    return value;
}

// "&lt;" and the other four named entities, and numeric ones below 128: all a server's text
// values carry.
std::string Decode(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> kEntities{{
        {"&lt;", '<'},
        {"&gt;", '>'},
        {"&amp;", '&'},
        {"&quot;", '"'},
        {"&apos;", '\''},
    }};
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == '&') {
            bool taken = false;
            for (const auto& [entity, c] : kEntities) {
                if (text.substr(at).starts_with(entity)) {
                    out.push_back(c);
                    at += entity.size();
                    taken = true;
                    break;
                }
            }
            const std::size_t end = text.find(';', at);
            if (!taken && text.substr(at).starts_with("&#") && end != std::string_view::npos) {
                if (const auto code = DecimalValue(text.substr(at + 2, end - at - 2));
                    code && *code > 0 && *code < 128) {
                    out.push_back(static_cast<char>(*code));
                    at = end + 1;
                    taken = true;
                }
            }
            if (taken) continue;
        }
        out.push_back(text[at++]);
    }
    return out;
}

struct Scalar {
    std::string type;
    std::string text;
    std::size_t end = 0;  // just after the value's "</value>" (or "<value/>")
};

// A value's content from just after "<value>": a bare text, or one typed scalar.
std::optional<Scalar> ReadScalar(std::string_view rest) {
    const std::size_t open = rest.find('<');
    if (open == std::string_view::npos) return std::nullopt;
    Scalar scalar;
    const std::string_view lead = rest.substr(0, open);
    const bool onlySpace = SkipSpace(lead).empty();
    if (!onlySpace || rest.substr(open).starts_with("</value>")) {
        // A bare value is a string, its spaces and all.
        const std::size_t close = rest.find("</value>");
        if (close == std::string_view::npos) return std::nullopt;
        scalar.text = Decode(rest.substr(0, close));
        scalar.end = close + 8;
        return scalar;
    }
    const std::size_t tagEnd = rest.find('>', open);
    if (tagEnd == std::string_view::npos) return std::nullopt;
    std::string_view tag = rest.substr(open + 1, tagEnd - open - 1);
    std::size_t after;
    if (tag.ends_with('/')) {
        tag.remove_suffix(1);
        after = tagEnd + 1;
    } else {
        const std::string closing = "</" + std::string(tag) + ">";
        const std::size_t close = rest.find(closing, tagEnd + 1);
        if (close == std::string_view::npos) return std::nullopt;
        scalar.text = Decode(rest.substr(tagEnd + 1, close - tagEnd - 1));
        after = close + closing.size();
    }
    scalar.type = std::string(tag);
    const std::string_view tail = SkipSpace(rest.substr(after));
    if (!tail.starts_with("</value>")) return std::nullopt;
    scalar.end = rest.size() - tail.size() + 8;
    return scalar;
}

// The value at the front of `rest` ("<value>..."), into `answer`.
bool ReadValue(std::string_view rest, RpcAnswer& answer) {
    if (rest.starts_with("<value/>")) {
        answer.hasValue = true;
        return true;
    }
    if (!rest.starts_with("<value>")) return false;
    rest.remove_prefix(7);
    const std::string_view inner = SkipSpace(rest);
    if (inner.starts_with("<array>")) {
        answer.hasValue = true;
        answer.array = true;
        std::string_view data = SkipSpace(inner.substr(7));
        if (!data.starts_with("<data>")) return data.starts_with("<data/>");
        data = SkipSpace(data.substr(6));
        while (data.starts_with("<value>")) {
            const auto item = ReadScalar(data.substr(7));
            if (!item) return false;
            answer.items.push_back(item->text);
            data = SkipSpace(data.substr(7 + item->end));
        }
        return data.starts_with("</data>");
    }
    const auto scalar = ReadScalar(rest);
    if (!scalar) return false;
    answer.hasValue = true;
    answer.type = scalar->type;
    answer.text = scalar->text;
    return true;
}

}  // namespace

std::string Param(std::string_view type, std::string_view text) {
    return "<param><value><" + std::string(type) + ">" + std::string(text) + "</" +
           std::string(type) + "></value></param>";
}

std::string Request(std::string_view method, std::string_view params) {
    std::string body =
        "<?xml version=\"1.0\"?><methodCall><methodName>" + std::string(method) + "</methodName>";
    if (!params.empty()) body += "<params>" + std::string(params) + "</params>";
    body += "</methodCall>";
    return "POST /RPC2 HTTP/1.1\r\nContent-Type: text/xml\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string MethodOf(std::string_view bytes) {
    if (!bytes.starts_with("POST ")) return {};
    const std::size_t start = bytes.find("<methodName>");
    if (start == std::string_view::npos) return {};
    const std::size_t end = bytes.find("</methodName>", start);
    if (end == std::string_view::npos) return {};
    return std::string(bytes.substr(start + 12, end - start - 12));
}

std::string FirstParamOf(std::string_view bytes) {
    const std::size_t param = bytes.find("<param>");
    if (param == std::string_view::npos) return {};
    RpcAnswer value;
    if (!ReadValue(SkipSpace(bytes.substr(param + 7)), value)) return {};
    return value.text;
}

HttpCut CutHttpAnswer(std::string_view bytes) {
    HttpCut cut;
    if (bytes.size() < kAnswerStart.size()) {
        if (kAnswerStart.starts_with(bytes)) cut.kind = HttpCut::Kind::Partial;
        return cut;
    }
    if (!bytes.starts_with(kAnswerStart)) return cut;
    const std::size_t headerEnd = bytes.substr(0, kHeaderLimit).find("\r\n\r\n");
    if (headerEnd == std::string_view::npos) {
        if (bytes.size() < kHeaderLimit) {
            cut.kind = HttpCut::Kind::Partial;
        } else {
            // No answer starts before the last status line in the run: the whole run is passed
            // over at once, not one status line at a time with the run searched again for each.
            const std::size_t last = bytes.substr(0, kHeaderLimit).rfind(kAnswerStart);
            cut.length = last != std::string_view::npos && last > 0 ? last : kHeaderLimit;
        }
        return cut;
    }
    const std::string_view header = bytes.substr(0, headerEnd);
    // "HTTP/1.1 200 OK"
    const std::size_t lineEnd = std::min(header.find("\r\n"), header.size());
    const std::string_view statusLine = header.substr(0, lineEnd);
    if (statusLine.size() < 12 || statusLine[8] != ' ') return cut;
    const auto status = DecimalValue(statusLine.substr(9, 3));
    if (!status) return cut;
    std::optional<std::size_t> contentLength;
    for (std::size_t at = lineEnd + 2; at < header.size();) {
        const std::size_t end = std::min(header.find("\r\n", at), header.size());
        const std::string_view line = header.substr(at, end - at);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && SameLetters(line.substr(0, colon), "content-length"))
            contentLength = DecimalValue(line.substr(colon + 1));
        at = end + 2;
    }
    if (!contentLength || *contentLength > kBodyLimit) return cut;
    const std::size_t total = headerEnd + 4 + *contentLength;
    if (bytes.size() < total) {
        cut.kind = HttpCut::Kind::Partial;
        return cut;
    }
    cut.kind = HttpCut::Kind::Whole;
    cut.length = total;
    cut.status = static_cast<int>(*status);
    cut.body = bytes.substr(headerEnd + 4, *contentLength);
    return cut;
}

std::size_t NoiseBeforeAnswer(std::string_view bytes, std::size_t limit) {
    const std::size_t end = std::min(bytes.size(), limit);
    for (std::size_t at = 1; at < end; ++at) {
        const std::string_view rest = bytes.substr(at);
        if (rest.starts_with(kAnswerStart) ||
            (rest.size() < kAnswerStart.size() && kAnswerStart.starts_with(rest)))
            return at;
    }
    return end;
}

std::optional<RpcAnswer> ParseAnswer(std::string_view body) {
    const std::size_t start = body.find("<methodResponse>");
    if (start == std::string_view::npos ||
        body.find("</methodResponse>", start) == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = SkipSpace(body.substr(start + 16));
    RpcAnswer answer;
    if (rest.starts_with("<fault>")) {
        answer.fault = true;
        const std::size_t name = rest.find("<name>faultString</name>");
        if (name != std::string_view::npos) {
            RpcAnswer text;
            if (ReadValue(SkipSpace(rest.substr(name + 24)), text)) answer.faultText = text.text;
        }
        return answer;
    }
    if (!rest.starts_with("<params>")) return std::nullopt;
    rest = SkipSpace(rest.substr(8));
    if (!rest.starts_with("<param>")) return answer;
    rest = SkipSpace(rest.substr(7));
    if (rest.starts_with("</param>")) return answer;
    if (!ReadValue(rest, answer)) return std::nullopt;
    return answer;
}

}  // namespace cat::flrig
