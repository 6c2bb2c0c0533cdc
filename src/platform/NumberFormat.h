// Numbers as the user sees and types them: the fixed display format, the numeric key filter of
// entry fields, and a reader that accepts either decimal separator.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ixoral {

// The program is made for French settings: the regional decimal separator is the comma.
inline constexpr char kRegionalSeparator = ',';

// Rounds to seven significant digits and writes three decimals ("0,500", "-12,346");
// beyond seven integer digits the exponent form is used ("1,234568E+008").
std::string FormatNumber(double value, char separator = kRegionalSeparator);

// A field is read only when its text is neither empty nor just "-".
bool IsNumberEntry(std::string_view text);

// The state of a numeric entry field around one key press.
struct TFieldEdit {
  std::string Text;
  int SelStart = 0;   // caret position, in bytes
  int SelLength = 0;  // length of the selection, in bytes
};

inline constexpr char kBackspace = '\b';

// Applies one typed key to a numeric field: the filter of every numeric field of the program.
// Returns the key actually inserted ('.' arrives as ','), or 0 when the key was refused.
char NumericKeyFilter(TFieldEdit& field, char key);

// The message of a field whose text is not a number: "'<text>' n'est pas une valeur en virgule
// flottante correcte".
inline constexpr const char* kMsgNotAFloat = "'%s' n'est pas une valeur en virgule flottante correcte";
std::string NotAFloatMessage(const std::string& text);

// Reads a decimal number written with a comma or a point, with an optional sign and exponent.
// Surrounding blanks are allowed; anything else gives no value.
std::optional<double> ParseNumber(std::string_view text);

}  // namespace ixoral
