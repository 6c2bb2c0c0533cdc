// Display format, key filter and tolerant reading of numbers.
#include "platform/NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace ixoral {
namespace {

// Exact decimal expansion of a non-negative finite value: all integer digits and 60 fraction digits.
// The rounding below works on these digits, half away from zero, as decimal arithmetic would.
struct TDecimal {
  std::string Digits;  // integer digits followed by fraction digits
  int IntDigits = 0;   // how many of Digits stand before the decimal point
};

TDecimal ExactDecimal(double a) {
  // to_chars, unlike printf, ignores the C locale (the UI toolkit switches it to the user's).
  char buf[400];
  const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, 60);
  std::string s(buf, res.ptr);
  const size_t dot = s.find('.');
  TDecimal d;
  d.IntDigits = static_cast<int>(dot);
  d.Digits = s.substr(0, dot) + s.substr(dot + 1);
  return d;
}

// Rounds Digits so that `keep` digits stay (keep may be 0); may add a leading digit on carry.
void RoundAt(TDecimal& d, int keep) {
  if (keep < 0) keep = 0;
  if (keep >= static_cast<int>(d.Digits.size())) return;
  const bool up = d.Digits[keep] >= '5';
  d.Digits.resize(keep);
  if (!up) return;
  int i = keep - 1;
  while (i >= 0 && d.Digits[i] == '9') d.Digits[i--] = '0';
  if (i >= 0) {
    ++d.Digits[i];
  } else {
    d.Digits.insert(d.Digits.begin(), '1');
    ++d.IntDigits;
  }
}

}  // namespace

std::string FormatNumber(double value, char separator) {
  // Nothing the program writes may be unreadable: a value that is not a number is written as 0,
  // an infinite one as the largest finite single of its sign (what a reader can take back).
  if (std::isnan(value)) value = 0;
  if (std::isinf(value))
    value = value < 0 ? -static_cast<double>(std::numeric_limits<float>::max())
                      : static_cast<double>(std::numeric_limits<float>::max());
  const bool negative = std::signbit(value);
  TDecimal d = ExactDecimal(std::fabs(value));

  // Position of the first significant digit, as a power of ten.
  const size_t first = d.Digits.find_first_not_of('0');
  if (first == std::string::npos) return std::string("0") + separator + "000";

  // Seven significant digits decide whether the fixed form still fits.
  TDecimal sig = d;
  RoundAt(sig, static_cast<int>(first) + 7);
  const size_t sigFirst = sig.Digits.find_first_not_of('0');
  const int sigExponent = sig.IntDigits - 1 - static_cast<int>(sigFirst);
  std::string out = negative ? "-" : "";
  if (sigExponent + 1 > 7) {
    std::string mant = sig.Digits.substr(sigFirst, 7);
    mant.resize(7, '0');
    char exp[16];
    std::snprintf(exp, sizeof exp, "E+%03d", sigExponent);
    return out + mant[0] + separator + mant.substr(1) + exp;
  }

  // Fixed form: the seven significant digits, then rounded again to three decimals. The second
  // rounding works on the first one's result (0.9995f is 0.99949997…: 0,9995000 and then 1,000).
  RoundAt(sig, sig.IntDigits + 3);
  std::string intPart = sig.Digits.substr(0, static_cast<size_t>(sig.IntDigits));
  std::string frac = sig.Digits.substr(static_cast<size_t>(sig.IntDigits));
  frac.resize(3, '0');
  const size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
  if (intPart == "0" && frac == "000") out.clear();  // no "-0,000"
  return out + intPart + separator + frac;
}

bool IsNumberEntry(std::string_view text) { return !text.empty() && text != "-"; }

char NumericKeyFilter(TFieldEdit& f, char key) {
  auto clampSelection = [&f] {
    const int n = static_cast<int>(f.Text.size());
    f.SelStart = std::clamp(f.SelStart, 0, n);
    f.SelLength = std::clamp(f.SelLength, 0, n - f.SelStart);
  };
  clampSelection();
  // Typing over a fully selected field starts it afresh.
  if (!f.Text.empty() && f.SelLength == static_cast<int>(f.Text.size())) {
    f.Text.clear();
    f.SelStart = f.SelLength = 0;
  }
  if (key == '.') key = ',';
  const bool hasMinus = f.Text.find('-') != std::string::npos;
  const bool hasComma = f.Text.find(',') != std::string::npos;
  if (key >= '0' && key <= '9') {
  } else if (key == kBackspace) {
  } else if (key == '-') {
    if (f.SelStart != 0 || hasMinus) key = 0;
  } else if (key == ',') {
    if (hasComma) key = 0;
  } else {
    key = 0;
  }
  // Nothing goes in front of a leading minus sign.
  if (key != 0 && key != kBackspace && f.SelStart == 0 && f.SelLength == 0 && !f.Text.empty() && f.Text[0] == '-')
    key = 0;

  // A text that no key could have produced (pasted letters, a slash) is reset to zero.
  for (char c : f.Text) {
    if (c < ',' || c > '9' || c == '/') {
      // Assigned as one character: from a literal, GCC 12 at -O3 warns of an impossible overlap.
      f.Text.assign(1, '0');
      f.SelStart = 1;
      f.SelLength = 0;
      break;
    }
  }
  clampSelection();
  if (key == 0) return 0;
  if (key == kBackspace) {
    if (f.SelLength > 0) {
      f.Text.erase(f.SelStart, f.SelLength);
    } else if (f.SelStart > 0) {
      f.Text.erase(f.SelStart - 1, 1);
      --f.SelStart;
    }
  } else {
    f.Text.replace(f.SelStart, f.SelLength, 1, key);
    ++f.SelStart;
  }
  f.SelLength = 0;
  return key;
}

std::optional<double> ParseNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  if (text.empty() || text.size() > 400) return std::nullopt;
  std::string s;
  size_t i = 0;
  int mantDigits = 0;
  if (text[i] == '+' || text[i] == '-') s += text[i++];
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') s += text[i++], ++mantDigits;
  if (i < text.size() && (text[i] == ',' || text[i] == '.')) {
    s += '.';
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') s += text[i++], ++mantDigits;
  }
  if (mantDigits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    s += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) s += text[i++];
    int expDigits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') s += text[i++], ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  const char* begin = s.c_str() + (s[0] == '+' ? 1 : 0);
  const auto res = std::from_chars(begin, s.c_str() + s.size(), value);
  if (res.ec == std::errc::result_out_of_range) return std::nullopt;
  if (res.ec != std::errc()) return std::nullopt;
  return value;
}

std::string NotAFloatMessage(const std::string& text) {
  // Built by concatenation rather than replace(): GCC 12 at -O3 warns of an impossible overlap.
  const std::string m = kMsgNotAFloat;
  const size_t at = m.find("%s");
  return m.substr(0, at) + text + m.substr(at + 2);
}

}  // namespace ixoral
