#include "control/frequency_entry.h"

#include <charconv>
#include <optional>
#include <string>

#include "control/frequency_text.h"

namespace cat {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWith(std::string_view text, std::string_view mark) {
    return !mark.empty() && text.substr(0, mark.size()) == mark;
}

// A region whose group separator is a no-break space is typed with a plain space: no keyboard
// offers the other.
bool SpaceLike(std::string_view mark) {
    return mark == " " || mark == "\u00a0" || mark == "\u202f";
}

// The length of the group separator at the start of `text`, 0 when none is there.
std::size_t GroupMarkAt(std::string_view text, const NumberMarks& marks) {
    if (StartsWith(text, marks.groupSeparator)) return marks.groupSeparator.size();
    if (SpaceLike(marks.groupSeparator)) {
        for (std::string_view space : {" ", "\u00a0", "\u202f"})
            if (StartsWith(text, space)) return space.size();
    }
    return 0;
}

// Moves the digits at the start of `text` to `plain`; how many there were.
std::size_t TakeDigits(std::string_view& text, std::string& plain) {
    std::size_t taken = 0;
    for (; taken < text.size() && IsDigit(text[taken]); ++taken) plain += text[taken];
    text.remove_prefix(taken);
    return taken;
}

// Whole megahertz: digits, grouped by three when grouped at all ("14", "1,000"). False for a
// group of another size.
bool TakeWholeMegahertz(std::string_view& text, const NumberMarks& marks, std::string& plain) {
    std::size_t run = TakeDigits(text, plain);
    for (bool grouped = false;;) {
        const std::size_t mark = GroupMarkAt(text, marks);
        if (!mark) return !grouped || run == 3;
        if (run == 0 || run > 3 || (grouped && run != 3)) return false;
        text.remove_prefix(mark);
        grouped = true;
        run = TakeDigits(text, plain);
    }
}

// "e3", "E-3": none is fine, one without digits is not.
bool TakeExponent(std::string_view& text, std::string& plain) {
    if (text.empty() || (text.front() != 'e' && text.front() != 'E')) return true;
    plain += 'e';
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        plain += text.front();
        text.remove_prefix(1);
    }
    return TakeDigits(text, plain) > 0;
}

// Megahertz in the region's format, rewritten for from_chars ("1.000,5" -> "1000.5"), or nothing.
std::optional<std::string> PlainNumber(std::string_view text, const NumberMarks& marks) {
    std::string plain;
    if (StartsWith(text, "+")) text.remove_prefix(1);
    if (!TakeWholeMegahertz(text, marks, plain)) return std::nullopt;
    if (StartsWith(text, marks.decimalPoint)) {
        text.remove_prefix(marks.decimalPoint.size());
        plain += '.';
        TakeDigits(text, plain);
    }
    if (plain.find_first_of("0123456789") == std::string::npos) return std::nullopt;
    if (!TakeExponent(text, plain) || !text.empty()) return std::nullopt;
    return plain;
}

std::optional<std::int64_t> HertzFromTypedMegahertz(std::string_view typed,
                                                    const NumberMarks& marks) {
    const std::optional<std::string> plain = PlainNumber(typed, marks);
    if (!plain) return std::nullopt;
    double megahertz = 0;
    const char* end = plain->data() + plain->size();
    const auto [stop, error] = std::from_chars(plain->data(), end, megahertz);
    if (error != std::errc() || stop != end) return std::nullopt;
    return HertzFromMegahertz(megahertz);
}

}  // namespace

std::variant<std::int64_t, Refusal> HertzFromEntry(std::string_view typed,
                                                   const NumberMarks& marks) {
    std::optional<std::int64_t> hertz = HertzFromDisplayText(typed);
    if (!hertz) hertz = HertzFromTypedMegahertz(typed, marks);
    const std::string quoted(typed);
    if (!hertz)
        return Refusal{"Not a frequency: " + quoted,
                       "\"" + quoted +
                           "\" is not a frequency. Type megahertz, for example 14.074 or 7.0745, "
                           "or the display's own 14.074.50."};
    if (*hertz >= kHighestSetHertz)
        return Refusal{"Out of range: " + quoted + " MHz",
                       quoted +
                           " MHz is more than any radio here takes (below 1000 MHz). The entry is "
                           "in megahertz: 14074 kHz is 14.074."};
    return *hertz;
}

}  // namespace cat
